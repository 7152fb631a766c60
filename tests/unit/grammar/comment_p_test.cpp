// Comment stripping: what is removed, what is kept, and every way of running off the end.
#include <gtest/gtest.h>

#include <string>

#include "comment_p.hpp"
#include "exception.hpp"

namespace {

using vorla::comment_p;

void expect_failure(const std::wstring& text)
{
    try {
        comment_p(text);
        ADD_FAILURE() << "no failure for: " << vorla::narrow(text);
    } catch (const vorla::exception& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("vorla::comment_p<wchar_t>::comment_p: comment parser failrue"), std::string::npos)
            << what;
        EXPECT_EQ(what.rfind("comment_p", 0), 0u) << what;  // the source file leads the text
    }
}

TEST(comment_p, block_comment_joins_both_sides)
{
    EXPECT_EQ(comment_p(L"a/*x*/b"), L"ab");
    EXPECT_EQ(comment_p(L"a/* multi\nline */b"), L"ab");
    EXPECT_EQ(comment_p(L"a/**/b"), L"ab");
}

TEST(comment_p, closing_search_starts_at_the_opening_slash)
{
    EXPECT_EQ(comment_p(L"a/*/b"), L"ab");
    EXPECT_EQ(comment_p(L"/*/"), L"");
}

TEST(comment_p, block_comments_do_not_nest)
{
    EXPECT_EQ(comment_p(L"a/* /* */b*/c"), L"ab*/c");
}

TEST(comment_p, line_comment_keeps_its_line_feed)
{
    EXPECT_EQ(comment_p(L"a//x\n"), L"a\n");
    EXPECT_EQ(comment_p(L"a//x\nb//y\nc"), L"a\nb\nc");
    EXPECT_EQ(comment_p(L"a///*x\nb"), L"a\nb");
}

TEST(comment_p, lone_slash_is_copied)
{
    EXPECT_EQ(comment_p(L"a/b"), L"a/b");
    EXPECT_EQ(comment_p(L"x /= 2;"), L"x /= 2;");
}

TEST(comment_p, quoted_text_is_kept)
{
    EXPECT_EQ(comment_p(L"s = \"a/*b*/c\";"), L"s = \"a/*b*/c\";");
    EXPECT_EQ(comment_p(L"s = \"http://x\";\n"), L"s = \"http://x\";\n");
    EXPECT_EQ(comment_p(L"\"\""), L"\"\"");
}

TEST(comment_p, backslash_quote_ends_string_mode)
{
    // The quote after the backslash closes the stripper's string, so the // that follows is a comment.
    EXPECT_EQ(comment_p(L"s = \"a\\\" // b\";\nx"), L"s = \"a\\\" \nx");
}

TEST(comment_p, empty_and_plain_text)
{
    EXPECT_EQ(comment_p(L""), L"");
    EXPECT_EQ(comment_p(L"int x = 1;\n"), L"int x = 1;\n");
}

TEST(comment_p, running_off_the_end_fails)
{
    for (const wchar_t* text : {L"a = \"abc", L"\"", L"a /* never closed", L"a /* almost *", L"/*",
                                L"a // last line without line feed", L"//", L"a /", L"/"})
        expect_failure(text);
}

TEST(comment_p, nul_characters_are_ordinary_text)
{
    const std::wstring text(L"a\0b", 3);
    EXPECT_EQ(comment_p(text), text);
}

}  // namespace
