// Which texts the grammar accepts: whitespace placement, literals, reserved words, statements, definitions.
#include <gtest/gtest.h>

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

TEST(grammar_accept, empty_and_whitespace_programs)
{
    EXPECT_TRUE(parses(L""));
    EXPECT_TRUE(parses(L" \n\t\r\n  "));
    sem::parse_info info = sem::strip_and_parse(L"");
    EXPECT_TRUE(info.match);
    EXPECT_EQ(info.length, 0u);
    EXPECT_TRUE(info.tree.children.empty());
    EXPECT_EQ(info.tree.id, sem::rule::program);
}

TEST(grammar_accept, prefix_operator_must_follow_directly)
{
    EXPECT_FALSE(statement_parses(L"x = -1;"));
    EXPECT_TRUE(statement_parses(L"x =-1;"));
    EXPECT_TRUE(statement_parses(L"x = (-1);"));
    EXPECT_TRUE(statement_parses(L"return -1;"));
    EXPECT_FALSE(statement_parses(L"if ( !a) x;"));
    EXPECT_TRUE(statement_parses(L"if (!a) x;"));
    EXPECT_TRUE(statement_parses(L"if(a)x;else y;"));
    EXPECT_FALSE(parses(L"int x = -1;"));
    EXPECT_TRUE(parses(L"int x =-1;"));
    EXPECT_TRUE(statement_parses(L"x =!!--++y;"));
}

TEST(grammar_accept, binary_operators)
{
    EXPECT_TRUE(statement_parses(L"x += a * b - c / d % e;"));
    EXPECT_TRUE(statement_parses(L"x -= 1; x *= 2; x /= 3; x %= 4;"));
    EXPECT_TRUE(statement_parses(L"b = a >= 1 && a <= 2 || a > 3 && a < 4 || a == 5 || a != 6;"));
    EXPECT_TRUE(statement_parses(L"a = b = c;"));
    EXPECT_TRUE(statement_parses(L"v.push_back(1).size();"));
    EXPECT_FALSE(statement_parses(L"x = a ? b : c;"));
    EXPECT_FALSE(statement_parses(L"x = v[1];"));
    EXPECT_FALSE(statement_parses(L"x++;"));
}

TEST(grammar_accept, member_access_takes_no_trailing_whitespace)
{
    // Only primary_expr and call_args skip whitespace after themselves; a member name does not.
    EXPECT_FALSE(statement_parses(L"x = p.x < 2;"));
    EXPECT_TRUE(statement_parses(L"x = p.x< 2;"));
    EXPECT_TRUE(statement_parses(L"x = p.f() < 2;"));
    EXPECT_TRUE(statement_parses(L"x = p .x;"));
    EXPECT_FALSE(statement_parses(L"x = p. x;"));
}

TEST(grammar_accept, numeric_literals)
{
    EXPECT_FALSE(parses(L"int x = 1e5;"));
    EXPECT_TRUE(parses(L"int x = 1e+5;"));
    EXPECT_TRUE(parses(L"int x = 1E-5;"));
    EXPECT_TRUE(parses(L"int x = .5;"));
    EXPECT_TRUE(parses(L"int x = 5.;"));
    EXPECT_TRUE(parses(L"int x = 1.5e+3F;"));
    EXPECT_TRUE(parses(L"int x = 0x1Fu;"));
    EXPECT_TRUE(parses(L"int x = 0XabU;"));
    EXPECT_TRUE(parses(L"int x = 1.5f;"));
    EXPECT_FALSE(parses(L"int x = 1f;"));
    EXPECT_FALSE(parses(L"int x = 0x;"));
    EXPECT_TRUE(parses(L"int x = 017u;"));
    EXPECT_FALSE(parses(L"int x = 1.5u;"));
    EXPECT_FALSE(parses(L"int x = 0x1G;"));
}

TEST(grammar_accept, literal_kinds_follow_alternative_order)
{
    auto kind = [](const std::wstring& lit) {
        sem::pnode tree = program_tree(L"int x = " + lit + L";");
        const sem::pnode* n = find(tree, sem::rule::numeric_literal);
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
    EXPECT_TRUE(parses(L"string s = \"\";"));
    EXPECT_TRUE(parses(L"string s = \"a/*b*/c\";"));
    EXPECT_TRUE(parses(L"string s = \"tab\\tnew\\n\";"));
    EXPECT_FALSE(parses(L"string s = \"abc;"));
    // The stripper leaves string mode at \" and then never finds a closing quote.
    EXPECT_FALSE(parses(L"string s = \"a\\\"b\";"));
}

TEST(grammar_accept, unsigned_int_and_unsigned)
{
    sem::pnode t1 = program_tree(L"unsigned int x;");
    const sem::pnode* tn = find(t1, sem::rule::type_name);
    ASSERT_NE(tn, nullptr);
    EXPECT_EQ(vorla::test::shape(*tn),
              "type_name(builtin_type(kw_unsigned_int(kw_unsigned(kw_unsigned\"unsigned\") kw_unsigned_int\" \" "
              "kw_int(kw_int\"int\"))))");
    EXPECT_TRUE(parses(L"unsigned \t int x;"));

    sem::pnode t2 = program_tree(L"unsigned x;");
    tn = find(t2, sem::rule::type_name);
    ASSERT_NE(tn, nullptr);
    EXPECT_EQ(vorla::test::shape(*tn), "type_name(identifier(identifier_word(identifier_word\"unsigned\")))");
}

TEST(grammar_accept, reserved_word_prefixes)
{
    EXPECT_TRUE(parses(L"int integer;"));
    EXPECT_TRUE(parses(L"int int2;"));
    EXPECT_TRUE(parses(L"int stringify;"));
    EXPECT_TRUE(parses(L"int unsigned;"));
    EXPECT_TRUE(parses(L"int trueValue;"));
    EXPECT_FALSE(parses(L"int int;"));
    EXPECT_FALSE(parses(L"int double;"));
    EXPECT_FALSE(parses(L"int while;"));
    // An operand is a plain word: conversions are written as calls, but true/false/this win first.
    EXPECT_TRUE(statement_parses(L"x = int(y) + string(z);"));
    EXPECT_FALSE(statement_parses(L"x = trueValue;"));
    EXPECT_FALSE(statement_parses(L"x = thisOne;"));
    EXPECT_TRUE(statement_parses(L"x = integer;"));
    // As a type name the keyword is taken and never revisited.
    EXPECT_FALSE(parses(L"integer x;"));
}

TEST(grammar_accept, return_needs_a_value_after_whitespace)
{
    sem::pnode tree = program_tree(in_body(L"return x;"));
    EXPECT_NE(find(tree, sem::rule::jump_stmt), nullptr);
    // These are not return statements: `return` is read as an operand name (and a call), which only
    // the compiler can refuse.
    for (const wchar_t* text : {L"return;", L"return(x);"}) {
        sem::parse_info info = sem::strip_and_parse(in_body(text));
        ASSERT_TRUE(info.full);
        EXPECT_EQ(find(info.tree, sem::rule::jump_stmt), nullptr);
        const sem::pnode* word = find(info.tree, sem::rule::primary_expr);
        ASSERT_NE(word, nullptr);
        EXPECT_EQ(word->children.at(0).children.at(0).text, L"return");
    }
    EXPECT_TRUE(statement_parses(L"break;"));
    EXPECT_TRUE(statement_parses(L"continue ;"));
    EXPECT_TRUE(statement_parses(L"throw e;"));
    EXPECT_FALSE(statement_parses(L"break x;"));
}

TEST(grammar_accept, includes)
{
    EXPECT_TRUE(parses(L"#include <lib.txt>"));
    EXPECT_TRUE(parses(L"#include\"lib.txt\""));
    EXPECT_TRUE(parses(L"#include   \"dir/a b.txt\"\n#include<x>"));
    EXPECT_FALSE(parses(L"#include <>"));
    EXPECT_FALSE(parses(L"#include \"\""));
    EXPECT_FALSE(parses(L"#include <a<b>"));
    EXPECT_FALSE(parses(L"# include <a>"));
}

TEST(grammar_accept, declarations)
{
    EXPECT_TRUE(parses(L"int a, b = 2, c(3);"));
    EXPECT_TRUE(parses(L"vector v;"));
    EXPECT_TRUE(parses(L"Foo f(1, \"a\");"));
    EXPECT_TRUE(statement_parses(L"int &r = x;"));
    EXPECT_TRUE(statement_parses(L"int& r(x);"));
    EXPECT_FALSE(statement_parses(L"int &r;"));
    EXPECT_FALSE(parses(L"intx;"));
}

TEST(grammar_accept, class_bodies)
{
    EXPECT_TRUE(parses(L"class A;"));
    EXPECT_TRUE(parses(L"class A {};"));
    EXPECT_TRUE(parses(L"class D : B { };"));
    EXPECT_TRUE(parses(L"class A {\n"
                       L"  int x, &y;\n"
                       L"  string s;\n"
                       L"  A(int a, int &b) : x(a), y(b) { }\n"
                       L"  A() { x = 0; }\n"
                       L"  operator int() { return x; }\n"
                       L"  operator string ( ) { return s; }\n"
                       L"  int get() { return x; }\n"
                       L"};"));
    EXPECT_FALSE(parses(L"class A { int x; }"));          // the final ';' is required
    EXPECT_FALSE(parses(L"class A { int x = 1; };"));     // members take no initializer
    EXPECT_FALSE(parses(L"class A { operator Foo() { } };"));  // conversions only to built-in types
}

TEST(grammar_accept, try_catch)
{
    EXPECT_TRUE(statement_parses(L"try { f(); } catch (int e) { g(); }"));
    EXPECT_TRUE(statement_parses(L"try{}catch(bad_cast e){}catch(range_error &r){}"));
    EXPECT_FALSE(statement_parses(L"try { f(); }"));
}

TEST(grammar_accept, process_and_inline_statements)
{
    EXPECT_TRUE(statement_parses(L"process::worker w(1, 2);"));
    EXPECT_TRUE(statement_parses(L"process::worker w;"));
    EXPECT_FALSE(statement_parses(L"process::worker;"));
    EXPECT_TRUE(statement_parses(L"inline expand(1);"));
    EXPECT_TRUE(statement_parses(L"inline expand;"));
    EXPECT_TRUE(statement_parses(L"x = using::write(\"a\");"));
}

TEST(grammar_accept, top_level_definitions_only)
{
    EXPECT_TRUE(parses(L"process main(string a, int b) { }\ninline helper() { }\nint f(int &x, Foo y) { return x; }"));
    EXPECT_FALSE(parses(L"x = 1;"));
    EXPECT_FALSE(parses(L"f();"));
    EXPECT_FALSE(parses(L"process main() { x; } extra"));
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
    EXPECT_TRUE(parses(L"int \u00e9t\u00e9 = 1;"));
    EXPECT_TRUE(parses(L"int \u5909\u6570;\u3000"));  // ideographic space is whitespace too
}

}  // namespace
