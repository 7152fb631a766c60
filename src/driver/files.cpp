// The files group of natives over POSIX calls, so that every failure carries the system's own reason.
#include "driver/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "driver/console.hpp"
#include "driver/native_kit.hpp"
#include "factor/boolean.hpp"
#include "factor/nil.hpp"
#include "factor/vector_.hpp"

namespace vorla::driver {

namespace {

// Closes a descriptor that an error leaves open; a descriptor whose close must be checked is released
// and closed by its owner.
class descriptor {
public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }
    // Closes it now: 0, or the error number of a close that reported lost data.
    int close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

[[noreturn]] void cannot(const char* doing, const std::string& path, int error)
{
    refuse_outside(std::string("cannot ") + doing + " '" + path + "': " + std::strerror(error));
}

// The text as UTF-8 bytes, every code point kept (a NUL too).
std::string utf8_bytes(const std::wstring& text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t c : text) encode_utf8(c, bytes);
    return bytes;
}

// 0, or the error number of the write that failed.
int write_all(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// How much of `bytes` ends on a whole UTF-8 sequence: the rest (at most three bytes) begins a sequence
// that the next read completes. Decoding the two parts apart gives what decoding them together would: a
// sequence that reaches the cut holds a lead byte where a continuation should be, invalid either way.
std::size_t complete_prefix(std::string_view bytes)
{
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((b & 0xC0) == 0x80) continue;
        const std::size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return length > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

// The whole content of a file as text. It is decoded as it is read, so a text past the string limit is
// refused when the limit is passed, not once it has all been read: a device such as /dev/zero never ends.
std::wstring read_text(native_id id, const std::string& path)
{
    descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) cannot("read", path, errno);
    std::wstring text;
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            cannot("read", path, errno);
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
        const std::size_t whole = n == 0 ? bytes.size() : complete_prefix(bytes);
        text += decode_utf8(std::string_view(bytes).substr(0, whole));
        bytes.erase(0, whole);
        if (!within_string_limit(text.size())) throw_string_limit(text.size(), __FILE__, info(id).name, __LINE__);
        if (n == 0) return text;
    }
}

// Writes the whole text to a new file beside the target and renames it over the target, so that the
// target holds the old text or the new, never a part. A target that is no regular file (a device, a
// pipe) is written in place: renaming over it would replace the device itself.
void replace_file(const std::string& path, const std::string& bytes)
{
    std::string target = path;
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) cannot("write", path, EISDIR);
    if (existed && !S_ISREG(st.st_mode)) {
        descriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (fd.get() < 0) cannot("write", path, errno);
        if (const int e = write_all(fd.get(), bytes)) cannot("write", path, e);
        if (const int e = fd.close()) cannot("write", path, e);
        return;
    }
    // A link is followed: the file it names gets the new text, and the link stays.
    if (existed) {
        char real[PATH_MAX];
        if (::realpath(path.c_str(), real)) target = real;
    }
    const auto slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    int fd_number = -1;
    for (unsigned attempt = 0; fd_number < 0; ++attempt) {
        temporary = directory + "." + name + ".vorla-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd_number = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_number < 0 && (errno != EEXIST || attempt == 100)) cannot("write", path, errno);
    }
    descriptor fd(fd_number);
    int error = write_all(fd.get(), bytes);
    if (!error && existed && ::fchmod(fd.get(), st.st_mode & 07777) != 0) error = errno;
    if (const int e = fd.close(); !error) error = e;
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        cannot("write", path, error);
    }
}

void append_to_file(const std::string& path, const std::string& bytes)
{
    descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0) cannot("append to", path, errno);
    if (const int e = write_all(fd.get(), bytes)) cannot("append to", path, e);
    if (const int e = fd.close()) cannot("append to", path, e);
}

// The path argument as the system takes it; an empty one names no file.
std::string path_argument(native_id id, const args& v)
{
    const std::wstring& path = text_argument(id, v, 0);
    if (path.find(L'\0') != std::wstring::npos) refuse_outside("a path cannot hold the character U+0000");
    return narrow(path);
}

} // namespace

void define_file_natives(nspace& space)
{
    define_native(space, native_id::read_file, [](args& v) -> value {
        const std::string path = path_argument(native_id::read_file, v);
        return make<string_<wchar_t>>(read_text(native_id::read_file, path));
    });
    define_native(space, native_id::lines, [](args& v) -> value {
        const std::string path = path_argument(native_id::lines, v);
        const std::wstring text = read_text(native_id::lines, path);
        // One element per line, within the limit of any container's size.
        const auto count = static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n')) + 1;
        if (count > vector_::size_limit)
            throw VORLA_EXCEPTION(info(native_id::lines).name, "container size limit exceeded, size=")
                << count << " limit=" << vector_::size_limit;
        const value out = make<vector_>();
        // Each line without its end ("\n" or "\r\n"); a line end at the very end opens no further line.
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            std::size_t stop = end;
            if (stop > start && text[stop - 1] == L'\r') --stop;
            const value line = make<string_<wchar_t>>(text.substr(start, stop - start));
            out->builtin_method(method_name::push_back, arg_span(&line, 1));
            start = end + 1;
        }
        return out;
    });
    define_native(space, native_id::write_file, [](args& v) -> value {
        const std::string path = path_argument(native_id::write_file, v);
        replace_file(path, utf8_bytes(text_argument(native_id::write_file, v, 1)));
        return make<nil>();
    });
    define_native(space, native_id::append_file, [](args& v) -> value {
        const std::string path = path_argument(native_id::append_file, v);
        append_to_file(path, utf8_bytes(text_argument(native_id::append_file, v, 1)));
        return make<nil>();
    });
    define_native(space, native_id::exists, [](args& v) -> value {
        struct stat st {};
        return make_boolean(::stat(path_argument(native_id::exists, v).c_str(), &st) == 0);
    });
}

} // namespace vorla::driver
