// Whole-file reading for the compiler: bytes in one read, then a UTF-8 decode that never stops early.
#include "lib/file.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    // A directory opens as a stream on this platform but cannot be read: refuse it the same way.
    if (std::filesystem::is_directory(p, ec)) throw std::invalid_argument("lib/file/open");
    std::ifstream in(p, std::ios::in | std::ios::binary);
    if (!in) throw std::invalid_argument("lib/file/open");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::invalid_argument("lib/file/open");
    out = decode_utf8(bytes);
}

} // namespace lib::file
