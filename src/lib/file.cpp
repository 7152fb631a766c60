// Whole-file reading for the compiler: bytes in one read, then a UTF-8 decode that never stops early.
#include "lib/file.hpp"

#include <cstdint>
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
    std::error_code ec;
    const auto status = std::filesystem::status(p, ec);
    // A missing file, and a directory (which opens as a stream on this platform but cannot be read).
    if (ec || !std::filesystem::exists(status) || std::filesystem::is_directory(status))
        throw std::invalid_argument("lib/file/open");
    // A device or a pipe (/dev/zero, a FIFO) may never end, or block the open itself.
    if (!std::filesystem::is_regular_file(status)) throw std::invalid_argument("lib/file/open: not a regular file");
    std::ifstream in(p, std::ios::in | std::ios::binary);
    if (!in) throw std::invalid_argument("lib/file/open");
    const auto size = std::filesystem::file_size(p, ec);
    if (ec) throw std::invalid_argument("lib/file/open");
    if (size > size_limit)
        throw std::invalid_argument("lib/file/open: larger than " + std::to_string(size_limit >> 20) + " MiB");
    // The bytes the size promises, or fewer if the file shrank meanwhile.
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw std::invalid_argument("lib/file/open");
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    out = decode_utf8(bytes);
}

} // namespace lib::file
