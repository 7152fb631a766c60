// Which texts the grammar accepts: whitespace placement, literals, reserved words, statements, definitions.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support.hpp"

namespace {

using vorla::test::find;
using vorla::test::parses;
using vorla::test::program_tree;
namespace sem = vorla::detail::semantic;

// A statement inside a process body.
std::wstring in_body(const std::wstring& stmt) { return L"process main() {\n" + stmt + L"\n}\n"; }

bool statement_parses(const std::wstring& stmt) { return parses(in_body(stmt)); }

// A text and whether the grammar takes it whole.
struct sample {
    const wchar_t* text;
    bool accepted;
};

// Each text as a whole program.
void expect_programs(std::initializer_list<sample> samples)
{
    for (const sample& s : samples) EXPECT_EQ(parses(s.text), s.accepted) << vorla::narrow(s.text);
}

// Each text as a statement inside a process body.
void expect_statements(std::initializer_list<sample> samples)
{
    for (const sample& s : samples) EXPECT_EQ(statement_parses(s.text), s.accepted) << vorla::narrow(s.text);
}

TEST(grammar_accept, empty_and_whitespace_programs)
{
    expect_programs({
        {L"", true},
        {L" \n\t\r\n  ", true},
    });
    sem::parse_info info = sem::strip_and_parse(L"");
    EXPECT_TRUE(info.match);
    EXPECT_EQ(info.length, 0u);
    EXPECT_TRUE(info.tree.children.empty());
    EXPECT_EQ(info.tree.id, sem::rule::program);
}

TEST(grammar_accept, prefix_operator_must_follow_directly)
{
    expect_statements({
        {L"x = -1;", false},
        {L"x =-1;", true},
        {L"x = (-1);", true},
        {L"return -1;", true},
        {L"if ( !a) x;", false},
        {L"if (!a) x;", true},
        {L"if(a)x;else y;", true},
        {L"x =!!--++y;", true},
    });
    expect_programs({
        {L"int x = -1;", false},
        {L"int x =-1;", true},
    });
}

TEST(grammar_accept, binary_operators)
{
    expect_statements({
        {L"x += a * b - c / d % e;", true},
        {L"x -= 1; x *= 2; x /= 3; x %= 4;", true},
        {L"b = a >= 1 && a <= 2 || a > 3 && a < 4 || a == 5 || a != 6;", true},
        {L"a = b = c;", true},
        {L"v.push_back(1).size();", true},
        {L"x = a ? b : c;", false},
        {L"x = v[1];", false},
        {L"x++;", false},
    });
}

TEST(grammar_accept, member_access_takes_no_trailing_whitespace)
{
    // Only primary_expr and call_args skip whitespace after themselves; a member name does not.
    expect_statements({
        {L"x = p.x < 2;", false},
        {L"x = p.x< 2;", true},
        {L"x = p.f() < 2;", true},
        {L"x = p .x;", true},
        {L"x = p. x;", false},
    });
}

TEST(grammar_accept, numeric_literals)
{
    expect_programs({
        {L"int x = 1e5;", false},
        {L"int x = 1e+5;", true},
        {L"int x = 1E-5;", true},
        {L"int x = .5;", true},
        {L"int x = 5.;", true},
        {L"int x = 1.5e+3F;", true},
        {L"int x = 0x1Fu;", true},
        {L"int x = 0XabU;", true},
        {L"int x = 1.5f;", true},
        {L"int x = 1f;", false},
        {L"int x = 0x;", false},
        {L"int x = 017u;", true},
        {L"int x = 1.5u;", false},
        {L"int x = 0x1G;", false},
    });
}

TEST(grammar_accept, literal_kinds_follow_alternative_order)
{
    auto kind = [](const std::wstring& lit) {
        sem::ptree tree = program_tree(L"int x = " + lit + L";");
        const std::optional<sem::pnode> n = find(tree, sem::rule::numeric_literal);
        return n ? std::string(sem::rule_name(n->children.at(0).id)) : std::string("none");
    };
    EXPECT_EQ(kind(L"1.5"), "real_literal");
    EXPECT_EQ(kind(L".5"), "real_literal");
    EXPECT_EQ(kind(L"5."), "real_literal");
    EXPECT_EQ(kind(L"1e+3"), "real_literal");
    EXPECT_EQ(kind(L"0"), "decimal_literal");
    EXPECT_EQ(kind(L"017"), "octal_literal");
    EXPECT_EQ(kind(L"0x17"), "hex_literal");
    EXPECT_EQ(kind(L"42"), "decimal_literal");
}

TEST(grammar_accept, string_literals)
{
    expect_programs({
        {L"string s = \"\";", true},
        {L"string s = \"a/*b*/c\";", true},
        {L"string s = \"tab\\tnew\\n\";", true},
        {L"string s = \"abc;", false},
        // The stripper leaves string mode at \" and then never finds a closing quote.
        {L"string s = \"a\\\"b\";", false},
    });
}

TEST(grammar_accept, unsigned_int_and_unsigned)
{
    sem::ptree t1 = program_tree(L"unsigned int x;");
    std::optional<sem::pnode> tn = find(t1, sem::rule::type_name);
    ASSERT_TRUE(tn);
    EXPECT_EQ(vorla::test::shape(*tn),
              "type_name(builtin_type(kw_unsigned_int(kw_unsigned(kw_unsigned\"unsigned\") kw_unsigned_int\" \" "
              "kw_int(kw_int\"int\"))))");
    EXPECT_TRUE(parses(L"unsigned \t int x;"));

    sem::ptree t2 = program_tree(L"unsigned x;");
    tn = find(t2, sem::rule::type_name);
    ASSERT_TRUE(tn);
    EXPECT_EQ(vorla::test::shape(*tn), "type_name(identifier(identifier_word(identifier_word\"unsigned\")))");
}

TEST(grammar_accept, reserved_word_prefixes)
{
    expect_programs({
        {L"int integer;", true},
        {L"int int2;", true},
        {L"int stringify;", true},
        {L"int unsigned;", true},
        {L"int trueValue;", true},
        {L"int int;", false},
        {L"int double;", false},
        {L"int while;", false},
        // As a type name the keyword is taken and never revisited.
        {L"integer x;", false},
    });
    expect_statements({
        // An operand is a plain word: conversions are written as calls, but true/false/this win first.
        {L"x = int(y) + string(z);", true},
        {L"x = trueValue;", false},
        {L"x = thisOne;", false},
        {L"x = integer;", true},
    });
}

TEST(grammar_accept, return_needs_a_value_after_whitespace)
{
    sem::ptree tree = program_tree(in_body(L"return x;"));
    EXPECT_TRUE(find(tree, sem::rule::jump_stmt));
    // These are not return statements: `return` is read as an operand name (and a call), which only
    // the compiler can refuse.
    for (const wchar_t* text : {L"return;", L"return(x);"}) {
        sem::parse_info info = sem::strip_and_parse(in_body(text));
        ASSERT_TRUE(info.full);
        EXPECT_FALSE(find(info.tree, sem::rule::jump_stmt));
        const std::optional<sem::pnode> word = find(info.tree, sem::rule::primary_expr);
        ASSERT_TRUE(word);
        EXPECT_EQ(word->children.at(0).children.at(0).text, std::wstring_view(L"return"));
    }
    expect_statements({
        {L"break;", true},
        {L"continue ;", true},
        {L"throw e;", true},
        {L"break x;", false},
    });
}

TEST(grammar_accept, includes)
{
    expect_programs({
        {L"#include <lib.txt>", true},
        {L"#include\"lib.txt\"", true},
        {L"#include   \"dir/a b.txt\"\n#include<x>", true},
        {L"#include <>", false},
        {L"#include \"\"", false},
        {L"#include <a<b>", false},
        {L"# include <a>", false},
    });
}

TEST(grammar_accept, declarations)
{
    expect_programs({
        {L"int a, b = 2, c(3);", true},
        {L"vector v;", true},
        {L"Foo f(1, \"a\");", true},
        {L"intx;", false},
    });
    expect_statements({
        {L"int &r = x;", true},
        {L"int& r(x);", true},
        {L"int &r;", false},
    });
}

TEST(grammar_accept, class_bodies)
{
    expect_programs({
        {L"class A;", true},
        {L"class A {};", true},
        {L"class D : B { };", true},
        {L"class A {\n"
         L"  int x, &y;\n"
         L"  string s;\n"
         L"  A(int a, int &b) : x(a), y(b) { }\n"
         L"  A() { x = 0; }\n"
         L"  operator int() { return x; }\n"
         L"  operator string ( ) { return s; }\n"
         L"  int get() { return x; }\n"
         L"};",
         true},
        {L"class A { int x; }", false},                // the final ';' is required
        {L"class A { int x = 1; };", false},           // members take no initializer
        {L"class A { operator Foo() { } };", false},  // conversions only to built-in types
    });
}

TEST(grammar_accept, try_catch)
{
    expect_statements({
        {L"try { f(); } catch (int e) { g(); }", true},
        {L"try{}catch(bad_cast e){}catch(range_error &r){}", true},
        {L"try { f(); }", false},
    });
}

TEST(grammar_accept, process_and_inline_statements)
{
    expect_statements({
        {L"process::worker w(1, 2);", true},
        {L"process::worker w;", true},
        {L"process::worker;", false},
        {L"inline expand(1);", true},
        {L"inline expand;", true},
        {L"x = using::write(\"a\");", true},
    });
}

TEST(grammar_accept, top_level_definitions_only)
{
    expect_programs({
        {L"process main(string a, int b) { }\ninline helper() { }\nint f(int &x, Foo y) { return x; }", true},
        {L"x = 1;", false},
        {L"f();", false},
        {L"process main() { x; } extra", false},
    });
}

TEST(grammar_accept, stop_reports_the_unparsed_rest)
{
    sem::parse_info info = sem::strip_and_parse(L"int a;\nint b = 1e5;\n");
    EXPECT_TRUE(info.match);
    EXPECT_FALSE(info.full);
    EXPECT_EQ(info.length, 7u);
    EXPECT_EQ(info.stop, L"int b = 1e5;\n");
    EXPECT_EQ(sem::failure_line(info), "parsing failure, match=1 full=0 length=7 stop=int b = 1e5;\\n");
}

TEST(grammar_accept, text_after_nul_is_ignored)
{
    const std::wstring text(L"int a;\0garbage", 14);
    sem::parse_info info = sem::parse_program(text);
    EXPECT_TRUE(info.full);
    EXPECT_EQ(info.length, 6u);
    EXPECT_TRUE(info.stop.empty());
}

TEST(grammar_accept, stripping_failure_is_reported_as_empty_result)
{
    sem::parse_info info = sem::strip_and_parse(L"int a; // no line feed");
    EXPECT_FALSE(info.match);
    EXPECT_FALSE(info.full);
    EXPECT_EQ(info.length, 0u);
    EXPECT_EQ(sem::failure_line(info), "parsing failure, match=0 full=0 length=0 stop=");
}

TEST(grammar_accept, non_ascii_letters_are_letters)
{
    expect_programs({
        {L"int \u00e9t\u00e9 = 1;", true},
        {L"int \u5909\u6570;\u3000", true},  // ideographic space is whitespace too
    });
}

}  // namespace
