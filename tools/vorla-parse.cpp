// vorla-parse: prints the parse tree of one script file, or the reason it does not parse.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "locale.hpp"
#include "semantic/grammar.hpp"

namespace {

// UTF-8 to code points without stopping anywhere: a NUL stays a NUL, invalid bytes become U+FFFD.
std::wstring decode_utf8(const std::string& bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) ? 3 : 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0, min = 0;
        if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out += L'\xFFFD';
            ++i;  // resynchronise on the next byte
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace sem = vorla::detail::semantic;
    if (argc != 2) {
        std::cerr << "usage: vorla-parse FILE\n";
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "vorla-parse: cannot open " << argv[1] << '\n';
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    vorla::install_locale();
    const sem::parse_info info = sem::strip_and_parse(decode_utf8(bytes));
    if (info.full) {
        std::cout << sem::dump_tree(info.tree);
        return std::cout ? 0 : 1;
    }
    std::cout << sem::failure_line(info) << '\n';
    return 1;
}
