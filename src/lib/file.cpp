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
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;

    std::wstring out;
    out.reserve(n - i);
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        int len = 0;
        std::uint32_t cp = 0, min = 0;
        if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
        bool ok = len != 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are as invalid as a stray byte.
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
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
