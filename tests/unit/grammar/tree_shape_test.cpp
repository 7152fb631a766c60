// The tree the compiler walks: labels, dropped elements, tokens, leaves and child sequences.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using vorla::test::child_labels;
using vorla::test::find;
using vorla::test::program_tree;
using vorla::test::shape;
namespace sem = vorla::detail::semantic;

sem::pnode must_find(const sem::pnode& root, sem::rule id)
{
    const std::optional<sem::pnode> n = find(root, id);
    if (!n) throw std::runtime_error(std::string("no node ") + sem::rule_name(id));
    return *n;
}

TEST(tree_shape, rule_names_match_numbers)
{
    EXPECT_STREQ(sem::rule_name(sem::rule::kw_bool), "kw_bool");
    EXPECT_STREQ(sem::rule_name(sem::rule::kw_unsigned_int), "kw_unsigned_int");
    EXPECT_STREQ(sem::rule_name(static_cast<sem::rule>(37)), "op_assign");
    EXPECT_STREQ(sem::rule_name(static_cast<sem::rule>(60)), "numeric_literal");
    EXPECT_STREQ(sem::rule_name(static_cast<sem::rule>(84)), "identifier_word");
    EXPECT_STREQ(sem::rule_name(static_cast<sem::rule>(118)), "function_def");
    EXPECT_STREQ(sem::rule_name(sem::rule::include_def), "include_def");
    EXPECT_STREQ(sem::rule_name(static_cast<sem::rule>(135)), "?");
}

TEST(tree_shape, program_keeps_whitespace_leaves)
{
    sem::ptree tree = program_tree(L" \n#include <a>\tclass A;\n");
    EXPECT_EQ(child_labels(tree), "program program include_def program class_def program");
    EXPECT_TRUE(tree.children[0].leaf);
    EXPECT_EQ(tree.children[0].text, L" ");
    EXPECT_EQ(tree.children[1].text, L"\n");
    EXPECT_EQ(tree.children[3].text, L"\t");
    EXPECT_FALSE(tree.children[2].leaf);
}

TEST(tree_shape, leaves_have_text_and_no_children)
{
    sem::ptree tree = program_tree(L"class A : B { int x; A() : x(1) { } operator int() { return x; } };\n"
                                   L"process main(string s) { s = \"\"; try { } catch (int &e) { } }\n");
    std::vector<sem::pnode> todo{tree};
    std::size_t leaves = 0;
    while (!todo.empty()) {
        const sem::pnode n0 = todo.back();
        const sem::pnode* const n = &n0;
        todo.pop_back();
        if (n->leaf) {
            ++leaves;
            EXPECT_TRUE(n->children.empty()) << sem::rule_name(n->id);
            if (n->id != sem::rule::string_literal) {
                EXPECT_FALSE(n->text.empty()) << sem::rule_name(n->id);
            }
        } else {
            EXPECT_TRUE(n->text.empty()) << sem::rule_name(n->id);
        }
        for (const auto& c : n->children) todo.push_back(c);
    }
    EXPECT_GT(leaves, 20u);
}

TEST(tree_shape, include_path_is_one_leaf)
{
    sem::ptree tree = program_tree(L"#include <dir/a.txt>#include \"b c\"");
    EXPECT_EQ(shape(tree), "program(include_def(include_path(include_path\"dir/a.txt\")) "
                           "include_def(include_path(include_path\"b c\")))");
}

TEST(tree_shape, expression_over_assign_expr)
{
    sem::ptree tree = program_tree(L"int x = 7;");
    const sem::pnode& decl = must_find(tree, sem::rule::declaration);
    EXPECT_EQ(child_labels(decl), "type_name declarator");
    EXPECT_EQ(shape(decl.children[1]),
              "declarator(identifier(identifier_word(identifier_word\"x\")) initializer(expression(assign_expr("
              "or_expr(and_expr(equality_expr(relational_expr(additive_expr(multiplicative_expr(unary_expr("
              "postfix_expr(primary_expr(numeric_literal(decimal_literal(decimal_literal\"7\")))))))))))))))");
}

TEST(tree_shape, dropped_operators_leave_operands_only)
{
    sem::ptree tree = program_tree(L"int x = a || b && c;");
    const sem::pnode& orx = must_find(tree, sem::rule::or_expr);
    EXPECT_EQ(child_labels(orx), "and_expr and_expr");
    EXPECT_EQ(child_labels(orx.children[1]), "equality_expr equality_expr");
}

TEST(tree_shape, kept_operators_sit_between_operands)
{
    sem::ptree tree = program_tree(L"int x = a + b - c;");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::additive_expr)),
              "multiplicative_expr op_plus multiplicative_expr op_minus multiplicative_expr");
    sem::ptree t2 = program_tree(L"int y = a <= b;");
    const sem::pnode& rel = must_find(t2, sem::rule::relational_expr);
    EXPECT_EQ(child_labels(rel), "additive_expr relational_op additive_expr");
    EXPECT_EQ(shape(rel.children[1]), "relational_op(op_le(op_le\"<=\"))");
}

TEST(tree_shape, unary_and_postfix)
{
    sem::ptree tree = program_tree(L"int x =-!a.f(1).g;");
    const sem::pnode& un = must_find(tree, sem::rule::unary_expr);
    EXPECT_EQ(child_labels(un), "op_minus op_not postfix_expr");
    EXPECT_EQ(child_labels(un.children[2]), "primary_expr identifier call_args identifier");
}

TEST(tree_shape, primary_name_is_identifier_word_with_args)
{
    sem::ptree tree = program_tree(L"int x = f( 1 ,2 );");
    const sem::pnode& prim = must_find(tree, sem::rule::primary_expr);
    EXPECT_EQ(child_labels(prim), "identifier_word call_args");
    EXPECT_EQ(child_labels(prim.children[1]), "expression expression");
    sem::ptree t2 = program_tree(L"int y = g();");
    EXPECT_TRUE(must_find(t2, sem::rule::call_args).children.empty());
}

TEST(tree_shape, parenthesised_expression_drops_parentheses)
{
    sem::ptree tree = program_tree(L"int x = ( 1 );");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::primary_expr)), "expression");
}

TEST(tree_shape, using_call)
{
    sem::ptree tree = program_tree(L"int x = using::write(1);");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::using_call)), "identifier call_args");
}

TEST(tree_shape, numeric_literal_with_suffix)
{
    sem::ptree tree = program_tree(L"int x = 0x1Fu;");
    EXPECT_EQ(shape(must_find(tree, sem::rule::numeric_literal)),
              "numeric_literal(hex_literal(hex_literal\"0x1F\") unsigned_suffix(unsigned_suffix\"u\"))");
    sem::ptree t2 = program_tree(L"int y = 1.5e-3F;");
    EXPECT_EQ(shape(must_find(t2, sem::rule::numeric_literal)),
              "numeric_literal(real_literal(real_literal\"1.5e-3\") float_suffix(float_suffix\"F\"))");
}

TEST(tree_shape, string_literal_text_is_raw)
{
    sem::ptree tree = program_tree(L"string s = \"a\\tb\";");
    EXPECT_EQ(shape(must_find(tree, sem::rule::string_literal)), "string_literal(string_literal\"a\\tb\")");
    sem::ptree t2 = program_tree(L"string e = \"\";");
    const sem::pnode& lit = must_find(t2, sem::rule::string_literal);
    ASSERT_EQ(lit.children.size(), 1u);
    EXPECT_TRUE(lit.children[0].leaf);
    EXPECT_EQ(lit.children[0].text, L"");
}

TEST(tree_shape, param_with_and_without_ampersand)
{
    sem::ptree tree = program_tree(L"int f(int &a, Foo b, string& c) { }");
    const sem::pnode& pl = must_find(tree, sem::rule::param_list);
    ASSERT_EQ(child_labels(pl), "param param param");
    EXPECT_EQ(shape(pl.children[0]), "param(type_name(builtin_type(kw_int(kw_int\"int\"))) ampersand(ampersand\"&\") "
                                     "identifier(identifier_word(identifier_word\"a\")))");
    EXPECT_EQ(child_labels(pl.children[1]), "type_name identifier");
    EXPECT_EQ(child_labels(pl.children[2]), "type_name ampersand identifier");
    sem::ptree t2 = program_tree(L"int g( ) { }");
    EXPECT_TRUE(must_find(t2, sem::rule::param_list).children.empty());
}

TEST(tree_shape, function_process_inline_definitions)
{
    sem::ptree tree = program_tree(L"int f() { }process p(int a) { }inline i() { }");
    EXPECT_EQ(child_labels(tree), "function_def process_def inline_def");
    EXPECT_EQ(child_labels(tree.children[0]), "type_name identifier param_list block");
    EXPECT_EQ(child_labels(tree.children[1]), "identifier param_list block");
    EXPECT_EQ(child_labels(tree.children[2]), "identifier param_list block");
}

TEST(tree_shape, statements)
{
    sem::ptree tree = program_tree(L"process main() { return x; break; f(); ; if (a) b; else { } while(a) ; }");
    const sem::pnode& block = must_find(tree, sem::rule::block);
    ASSERT_EQ(block.children.size(), 6u);
    EXPECT_EQ(child_labels(block.children[0]), "jump_stmt");
    EXPECT_EQ(child_labels(block.children[0].children[0]), "kw_return expression semicolon");
    EXPECT_EQ(child_labels(block.children[1].children[0]), "kw_break semicolon");
    EXPECT_EQ(child_labels(block.children[2].children[0]), "expression semicolon");
    EXPECT_EQ(shape(block.children[3]), "statement(simple_stmt(semicolon(semicolon\";\")))");
    EXPECT_EQ(child_labels(block.children[4].children[0].children[0]), "condition statement statement");
    EXPECT_EQ(child_labels(block.children[5].children[0].children[0]), "condition statement");
}

TEST(tree_shape, try_and_declaration_statements)
{
    sem::ptree tree = program_tree(L"process main() { try { } catch (int e) { } catch(string s) { } int a, &b = a; }");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::try_stmt)), "block param_list block param_list block");
    const sem::pnode& decl = must_find(tree, sem::rule::declaration);
    EXPECT_EQ(child_labels(decl), "type_name declarator ref_declarator");
    EXPECT_EQ(child_labels(decl.children[2]), "identifier initializer");
}

TEST(tree_shape, process_and_inline_statements)
{
    sem::ptree tree = program_tree(L"process main() { process::w v(1); inline i; }");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::process_stmt)), "identifier identifier call_args");
    EXPECT_EQ(child_labels(must_find(tree, sem::rule::inline_stmt)), "identifier");
}

TEST(tree_shape, class_definition)
{
    sem::ptree tree = program_tree(
        L"class D : B { int x, &y; D(int a) : x(a), y(a) { } operator bool() { return x; } int f() { } };");
    const sem::pnode& cls = must_find(tree, sem::rule::class_def);
    EXPECT_EQ(child_labels(cls), "identifier base_clause class_body");
    const sem::pnode& body = cls.children[2];
    EXPECT_EQ(child_labels(body), "member_decl member_def member_def member_def");
    EXPECT_EQ(child_labels(body.children[0]), "type_name member_declarator member_ref_declarator");
    EXPECT_EQ(child_labels(body.children[0].children[2]), "identifier");
    EXPECT_EQ(child_labels(body.children[1]), "constructor_def");
    EXPECT_EQ(child_labels(body.children[1].children[0]), "identifier param_list ctor_init_list block");
    EXPECT_EQ(child_labels(body.children[1].children[0].children[2]), "identifier call_args identifier call_args");
    EXPECT_TRUE(shape(body.children[2]).starts_with("member_def(operator_member(operator_def(builtin_type(kw_bool"));
    EXPECT_EQ(child_labels(body.children[2].children[0].children[0]), "builtin_type block");
    EXPECT_EQ(child_labels(body.children[3]), "function_def");
}

}  // namespace
