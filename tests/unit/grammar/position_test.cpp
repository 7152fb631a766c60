// Source positions through stripping and parsing: node offsets, the furthest point reached, and hints.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "comment_p.hpp"
#include "exception.hpp"
#include "semantic/grammar.hpp"

namespace {

namespace sem = vorla::detail::semantic;

// The first node of rule r in pre-order, or null.
std::optional<sem::pnode> first_of(const sem::pnode& n, sem::rule r)
{
    if (n.id == r) return n;
    for (const auto& c : n.children)
        if (std::optional<sem::pnode> found = first_of(c, r)) return found;
    return std::nullopt;
}

TEST(positions, comment_cuts_map_back_to_the_source)
{
    vorla::offset_map map;
    const std::wstring source = L"a/* x */b// y\nc";
    const std::wstring stripped = vorla::comment_p(source, map);
    ASSERT_EQ(stripped, L"ab\nc");  // stripping itself is unchanged: the text on both sides is joined
    EXPECT_EQ(map.original(0), 0u);                  // a
    EXPECT_EQ(map.original(1), source.find(L'b'));   // b, after the block comment
    EXPECT_EQ(map.original(2), source.find(L'\n'));  // the line feed after the line comment
    EXPECT_EQ(map.original(3), source.find(L'c'));
}

TEST(positions, adjacent_comments_add_up)
{
    vorla::offset_map map;
    const std::wstring source = L"x/**//**/y";
    EXPECT_EQ(vorla::comment_p(source, map), L"xy");
    EXPECT_EQ(map.original(1), source.find(L'y'));
}

TEST(positions, nodes_start_at_their_first_token_in_the_source)
{
    const std::wstring source = L"/* lead */ process main()\n{\n    /* c */ int  x = 1;\n}\n";
    const sem::parse_info info = sem::strip_and_parse(source);
    ASSERT_TRUE(info.full);
    const std::optional<sem::pnode> def = first_of(info.tree, sem::rule::process_def);
    ASSERT_TRUE(def);
    EXPECT_EQ(def->offset, source.find(L"main"));  // the keyword is dropped; the name is its first token
    const std::optional<sem::pnode> statement = first_of(info.tree, sem::rule::statement);
    ASSERT_TRUE(statement);
    EXPECT_EQ(statement->offset, source.find(L"int"));  // leading whitespace and the comment are not part of it
    const std::optional<sem::pnode> literal = first_of(info.tree, sem::rule::numeric_literal);
    ASSERT_TRUE(literal);
    EXPECT_EQ(literal->offset, source.find(L"1;"));
}

TEST(positions, furthest_is_where_the_text_went_wrong)
{
    const std::wstring source = L"process main()\n{\n    int x = 1;\n    x = -1;\n}\n";
    const sem::parse_info info = sem::strip_and_parse(source);
    ASSERT_FALSE(info.full);
    EXPECT_EQ(info.length, 0u);  // the whole definition failed...
    EXPECT_EQ(info.furthest, source.find(L"-1"));  // ...but the parser got as far as the minus
}

// The hint for a statement inside a process body that does not parse.
std::string hint_for(const std::wstring& body)
{
    const sem::parse_info info = sem::strip_and_parse(L"process main()\n{\n" + body + L"\n}\n");
    return info.full ? "(parses)" : info.hint;
}

TEST(positions, hints_for_known_traps)
{
    EXPECT_EQ(hint_for(L"    x = -1;"), "a prefix operator must directly follow the operator before it: write `x =-1;`");
    EXPECT_EQ(hint_for(L"    y = a.b + 1;"),
              "a space after a member name ends the expression unless the member is called: write `a.b+ 1;`");
    EXPECT_EQ(hint_for(L"    i++;"), "there is no postfix `++`: write `++i`");
    EXPECT_EQ(hint_for(L"    i--;"), "there is no postfix `--`: write `--i`");
    EXPECT_EQ(hint_for(L"    y = v[i + 1];"), "there is no `[]` indexing: write `v.at(i + 1)`");
    EXPECT_NE(hint_for(L"    for (i = 0; i < 3; ++i) { }").find("no `for` loop"), std::string::npos);
    EXPECT_NE(hint_for(L"    for (int i = 0; i < 3; ++i) { }").find("no `for` loop"), std::string::npos);
    EXPECT_EQ(hint_for(L"    s = 'a';"), "strings are written in double quotes: \"text\"");
}

TEST(positions, hints_for_definitions)
{
    const sem::parse_info missing = sem::strip_and_parse(L"class a { int n; }\nprocess main() { }\n");
    EXPECT_EQ(missing.hint, "a class definition ends with a semicolon after its closing brace: write `};`");
    const sem::parse_info access = sem::strip_and_parse(L"class a { };\nclass b : public a { };\n");
    EXPECT_EQ(access.hint, "a base class is named without an access word: write `class b : a { };`");
}

TEST(positions, no_hint_where_the_text_is_no_known_trap)
{
    EXPECT_EQ(hint_for(L"    int x = ;"), "");
    EXPECT_EQ(hint_for(L"    x = (1;"), "");
    EXPECT_EQ(hint_for(L"    x =-1;"), "(parses)");
    EXPECT_EQ(hint_for(L"    y = a.b+ 1;"), "(parses)");
    // A block that simply ends is no missing class semicolon.
    EXPECT_EQ(sem::strip_and_parse(L"process main() { }\nx\n").hint, "");
}

} // namespace
