// Nesting deeper than the stack allows ends the match there; it never crashes, and the guard leaves no trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.hpp"

namespace {

namespace sem = vorla::detail::semantic;
using vorla::test::shape;

std::wstring repeat(const std::wstring& s, std::size_t n)
{
    std::wstring out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::size_t depth(const sem::pnode& root)
{
    std::size_t best = 0;
    std::vector<std::pair<sem::pnode, std::size_t>> todo{{root, 1}};
    while (!todo.empty()) {
        const auto [n, d] = todo.back();
        todo.pop_back();
        best = std::max(best, d);
        for (const auto& c : n.children) todo.emplace_back(c, d + 1);
    }
    return best;
}

TEST(nesting, ten_thousand_parentheses_fail_cleanly)
{
    const std::wstring text = L"int x = " + repeat(L"(", 10000) + L"1" + repeat(L")", 10000) + L";";
    sem::parse_info info = sem::strip_and_parse(text);
    EXPECT_TRUE(info.match);
    EXPECT_FALSE(info.full);
    EXPECT_EQ(info.length, 0u);
    EXPECT_EQ(info.stop, text);
}

TEST(nesting, unclosed_parentheses_fail_cleanly)
{
    EXPECT_FALSE(vorla::test::parses(L"int x = " + repeat(L"(", 10000)));
}

TEST(nesting, two_hundred_thousand_braces_fail_cleanly)
{
    const std::wstring text = L"process main() " + repeat(L"{", 200000) + repeat(L"}", 200000);
    EXPECT_FALSE(vorla::test::parses(text));
}

TEST(nesting, fifty_thousand_ifs_fail_cleanly)
{
    const std::wstring text = L"process main() { " + repeat(L"if(a)", 50000) + L"x; }";
    EXPECT_FALSE(vorla::test::parses(text));
}

TEST(nesting, nested_calls_fail_cleanly)
{
    const std::wstring text = L"int x = " + repeat(L"f(", 10000) + L"1" + repeat(L")", 10000) + L";";
    EXPECT_FALSE(vorla::test::parses(text));
}

TEST(nesting, wide_expressions_are_not_deep)
{
    std::wstring text = L"int x = a";
    for (int i = 0; i < 5000; ++i) text += L"+a";
    text += L";";
    sem::parse_info info = sem::strip_and_parse(text);
    ASSERT_TRUE(info.full);
    const std::optional<sem::pnode> add = vorla::test::find(info.tree, sem::rule::additive_expr);
    ASSERT_TRUE(add);
    EXPECT_EQ(add->children.size(), 10001u);
}

TEST(nesting, moderate_nesting_parses_with_exact_depth)
{
    // Each level is primary_expr over expression and the ten rules down to the next primary_expr;
    // the guards at their heads would show up as extra levels.
    const std::size_t n = 50;
    const std::wstring text = L"int x = " + repeat(L"(", n) + L"1" + repeat(L")", n) + L";";
    sem::parse_info info = sem::strip_and_parse(text);
    ASSERT_TRUE(info.full) << sem::failure_line(info);
    sem::ptree flat = vorla::test::program_tree(L"int x = 1;");
    EXPECT_EQ(depth(info.tree), depth(flat) + 11 * n);

    sem::ptree one = vorla::test::program_tree(L"int x = (1);");
    const std::optional<sem::pnode> prim = vorla::test::find(one, sem::rule::primary_expr);
    ASSERT_TRUE(prim);
    EXPECT_TRUE(shape(*prim).starts_with("primary_expr(expression(assign_expr(or_expr("));
}

TEST(nesting, moderate_statement_nesting_parses)
{
    const std::size_t n = 40;
    const std::wstring text = L"process main() { " + repeat(L"if(a)", n) + L"{" + repeat(L"{", n) + repeat(L"}", n) +
                              L"}}";
    sem::parse_info info = sem::strip_and_parse(text);
    ASSERT_TRUE(info.full) << sem::failure_line(info);
    sem::ptree flat = vorla::test::program_tree(L"process main() { {} }");
    // if: statement, selection_stmt, if_stmt per level; a nested block: statement, block per level.
    EXPECT_EQ(depth(info.tree), depth(flat) + 3 * n + 2 * n);
}

}  // namespace
