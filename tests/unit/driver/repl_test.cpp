// What the session makes of an input before running it: complete or not, definitions or statements.
#include <gtest/gtest.h>

#include "driver/repl.hpp"

namespace vorla::driver {
namespace {

TEST(classify, waits_while_a_bracket_string_or_comment_is_open)
{
    EXPECT_EQ(classify("int f(int n) {"), input_kind::incomplete);
    EXPECT_EQ(classify("using::write(1,"), input_kind::incomplete);
    EXPECT_EQ(classify("string s = \"open"), input_kind::incomplete);
    EXPECT_EQ(classify("int x; /* still"), input_kind::incomplete);
    // A brace inside text or a comment opens nothing.
    EXPECT_EQ(classify("string s = \"{\";"), input_kind::definitions);
    EXPECT_EQ(classify("x = 1; // {"), input_kind::statements);
}

TEST(classify, tells_definitions_from_statements)
{
    EXPECT_EQ(classify(""), input_kind::empty);
    EXPECT_EQ(classify("  // nothing"), input_kind::empty);
    EXPECT_EQ(classify("int f(int n) {\n return n; }"), input_kind::definitions);
    EXPECT_EQ(classify("class a { int m; };"), input_kind::definitions);
    EXPECT_EQ(classify("vector v;"), input_kind::definitions);
    EXPECT_EQ(classify("v.push_back(1);"), input_kind::statements);
    EXPECT_EQ(classify("1 + 2"), input_kind::statements);
    // Too many closing brackets is not an open input: it is left to the parse to report.
    EXPECT_EQ(classify("f(1));"), input_kind::statements);
}

} // namespace
} // namespace vorla::driver
