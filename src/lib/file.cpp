// Whole-file reading for the compiler: bytes in one read, then a UTF-8 decode that never stops early.
#include "lib/file.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "exception.hpp"

namespace lib::file {

std::wstring decode_utf8(std::string_view bytes)
{
    // A byte-order mark is a marker, not text.
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.remove_prefix(3);
    return vorla::decode_utf8(bytes);
}

void open(const std::wstring& path, std::wstring& out)
{
    const std::filesystem::path p(vorla::narrow(path));
    const std::string plain = "lib/file/open";
    std::error_code ec;
    const auto status = std::filesystem::status(p, ec);
    if (ec || !std::filesystem::exists(status))
        throw unreadable(plain, ec ? ec.message() : std::make_error_code(std::errc::no_such_file_or_directory).message());
    // A directory opens as a stream on this platform but cannot be read.
    if (std::filesystem::is_directory(status)) throw unreadable(plain, "it is a directory");
    // A device or a pipe (/dev/zero, a FIFO) may never end, or block the open itself.
    if (!std::filesystem::is_regular_file(status))
        throw unreadable(plain + ": not a regular file", "it is not a regular file but a device, a pipe or a socket");
    errno = 0;
    std::ifstream in(p, std::ios::in | std::ios::binary);
    if (!in) throw unreadable(plain, errno ? std::strerror(errno) : "it cannot be opened");
    const auto size = std::filesystem::file_size(p, ec);
    if (ec) throw unreadable(plain, ec.message());
    if (size > size_limit) {
        const std::string limit = std::to_string(size_limit >> 20) + " MiB";
        throw unreadable(plain + ": larger than " + limit, "it is larger than " + limit + ", the most a script may be");
    }
    // The bytes the size promises, or fewer if the file shrank meanwhile.
    std::string bytes(static_cast<std::size_t>(size), '\0');
    errno = 0;
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw unreadable(plain, errno ? std::strerror(errno) : "reading it failed");
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    out = decode_utf8(bytes);
}

} // namespace lib::file
