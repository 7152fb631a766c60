// The parser against the grammar's reference form: every script in the project, cut and damaged copies
// of them, and a soup of the language's tokens must give the same tree, stop and error place from both.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "comment_p.hpp"
#include "exception.hpp"
#include "support.hpp"

namespace vorla::test {
namespace {

std::vector<std::filesystem::path> every_script()
{
    std::vector<std::filesystem::path> out;
    for (const char* dir : {"tests/scripts", "examples", "bench", "docs"})
        for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(VORLA_SOURCE_DIR) + "/" + dir))
            if (e.is_regular_file() && e.path().extension() == ".vl") out.push_back(e.path());
    return out;
}

TEST(parser_differential, every_script_and_its_damaged_copies_parse_alike)
{
    std::size_t texts = 0;
    for (const auto& path : every_script()) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        offset_map map;
        std::wstring stripped;
        try {
            stripped = comment_p(decode_utf8(bytes), map);
        } catch (const vorla::exception&) {
            continue;  // a script that pins the comment stripper's own error
        }
        ASSERT_EQ(sem::parse_difference(stripped, &map), "") << path << " with its comment offsets";
        // Every prefix cut at a spread of places, and copies with one character gone.
        std::vector<std::wstring> damaged;
        const std::size_t n = stripped.size();
        for (std::size_t cut = 1; cut < n; cut += 1 + n / 40) damaged.push_back(stripped.substr(0, cut));
        for (std::size_t gap = 0; gap < n; gap += 1 + n / 25)
            damaged.push_back(stripped.substr(0, gap) + stripped.substr(gap + 1));
        for (const std::wstring& text : damaged) {
            ++texts;
            ASSERT_EQ(sem::parse_difference(text), "") << path << ", " << text.size() << " of " << n << " characters";
        }
    }
    EXPECT_GT(texts, 10000u);
}

// Short random runs of tokens, alone and inside a process, a class and an expression: they reach the
// corners (keywords inside names, half a literal, a lone quote) that real scripts rarely do.
TEST(parser_differential, token_soup_parses_alike)
{
    const std::vector<std::wstring> tokens{
        L"int", L"unsigned", L" ", L"\n", L"x", L"y1", L"_z", L"(", L")", L"{", L"}", L";", L",", L"=", L"==", L"+",
        L"-", L"++", L"--", L"!", L"&&", L"||", L"&", L"<", L">", L">=", L"<=", L"+=", L"*", L"/", L"%", L".", L"::",
        L"using", L"process", L"main", L"inline", L"class", L"operator", L"if", L"else", L"while", L"return",
        L"break", L"continue", L"try", L"catch", L"throw", L"1", L"0x1F", L"07", L"1.5", L"1e", L"1e+5", L"f", L"u",
        L"\"a\\\"b\"", L"\"", L"#include", L"<a.vl>", L"vector", L"hash", L"ref", L"this", L"true", L"string",
        L"double", L":", L"\\", L"\u00e9", L"unsigned int"};
    std::uint64_t state = 12345;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::size_t>(state >> 33);
    };
    for (int i = 0; i < 20000; ++i) {
        std::wstring soup;
        for (std::size_t n = 1 + next() % 30; n > 0; --n) soup += tokens[next() % tokens.size()];
        for (const std::wstring& text : {soup, L"process main() { " + soup + L" }", L"class A { " + soup + L" };",
                                         L"int f(int a) { x = " + soup + L"; }"})
            ASSERT_EQ(sem::parse_difference(text), "") << narrow(text);
    }
}

} // namespace
} // namespace vorla::test
