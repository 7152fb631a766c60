// Unit tests of expression compilation: folds, member access, literals, escapes, type names and depth limits.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../support.hpp"
#include "nspace.hpp"
#include "semantic/core.hpp"
#include "semantic/ptree.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;
using namespace vorla::detail::semantic;

class expression_compile : public ::testing::Test {
protected:
    nspace space{test_context()};
    core<wchar_t> compiler{space};
    ptree tree;
    std::vector<expr> kept;  // compiled trees stay alive for the whole test, so raw node pointers stay valid

    // Compiles the initializer of "int t =<text>;" (no blank after '=', so prefix operators parse).
    expr compile(const std::wstring& text)
    {
        EXPECT_TRUE(locale_installed);
        parse_info info = parse_program(L"int t =" + text + L";");
        if (!info.full) throw std::runtime_error("test text does not parse: " + narrow(text));
        tree = std::move(info.tree);
        pnode n = tree;
        // program > declaration > declarator > initializer > expression
        for (rule r : {rule::declaration, rule::declarator, rule::initializer, rule::expression}) {
            std::optional<pnode> next;
            for (const pnode& c : n.children)
                if (c.id == r) { next = c; break; }
            if (!next) throw std::runtime_error("unexpected tree shape");
            n = *next;
        }
        kept.push_back(compiler.eval_expression(n));
        return kept.back();
    }

    template <class N>
    static const N* as(const expr& e)
    {
        return dynamic_cast<const N*>(e.get());
    }
    static std::wstring var(const expr& e)
    {
        auto v = as<e_variable>(e);
        return v ? *v->name : L"<not a variable>";
    }
};

TEST_F(expression_compile, AssignmentFoldsToTheRight)
{
    expr e = compile(L"a = b = c");
    auto outer = as<e_assign>(e);
    ASSERT_TRUE(outer);
    EXPECT_EQ(var(outer->left), L"a");
    auto inner = as<e_assign>(outer->right);
    ASSERT_TRUE(inner);
    EXPECT_EQ(var(inner->left), L"b");
    EXPECT_EQ(var(inner->right), L"c");

    auto mixed = as<e_assign>(compile(L"a = b += c"));
    ASSERT_TRUE(mixed);
    EXPECT_NE(as<e_add_assign>(mixed->right), nullptr);
}

TEST_F(expression_compile, BinaryLevelsFoldToTheLeft)
{
    auto outer = as<e_sub>(compile(L"a - b - c"));
    ASSERT_TRUE(outer);
    EXPECT_EQ(var(outer->right), L"c");
    auto inner = as<e_sub>(outer->left);
    ASSERT_TRUE(inner);
    EXPECT_EQ(var(inner->left), L"a");
    EXPECT_EQ(var(inner->right), L"b");

    auto lt = as<e_lt>(compile(L"a >= b < c"));
    ASSERT_TRUE(lt);
    EXPECT_NE(as<e_gte>(lt->left), nullptr);

    auto logic = as<e_or>(compile(L"a || b && c || d"));
    ASSERT_TRUE(logic);
    EXPECT_EQ(var(logic->right), L"d");
    auto first = as<e_or>(logic->left);
    ASSERT_TRUE(first);
    EXPECT_NE(as<e_and>(first->right), nullptr);
}

TEST_F(expression_compile, PrefixOperatorsApplyLeftToRight)
{
    auto n = as<e_not>(compile(L"-!x"));
    ASSERT_TRUE(n);
    auto m = as<e_minus>(n->operand);
    ASSERT_TRUE(m);
    EXPECT_EQ(var(m->operand), L"x");

    auto m2 = as<e_minus>(compile(L"!-x"));
    ASSERT_TRUE(m2);
    EXPECT_NE(as<e_not>(m2->operand), nullptr);

    auto inc = as<e_predecr>(compile(L"++--x"));
    ASSERT_TRUE(inc);
    EXPECT_NE(as<e_preincr>(inc->operand), nullptr);
}

TEST_F(expression_compile, MemberAccessAndMethodCalls)
{
    auto d = as<e_member>(compile(L"a.b.c(1).d"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, L"d");
    auto c = as<e_method>(d->operand);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->name, L"c");
    EXPECT_EQ(c->arguments.size(), 1u);
    auto b = as<e_member>(c->operand);
    ASSERT_TRUE(b);
    EXPECT_EQ(var(b->operand), L"a");

    auto empty = as<e_method>(compile(L"x.f()"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->arguments.empty());
}

TEST_F(expression_compile, NamesWithArgumentsAreCastsOrCalls)
{
    auto f = as<e_function>(compile(L"f(1, 2)"));
    ASSERT_TRUE(f);
    EXPECT_EQ(*f->name, L"f");
    EXPECT_EQ(f->arguments.size(), 2u);

    auto c = as<e_cast>(compile(L"int(x)"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->type, tid::signed_);
    auto s = as<e_cast>(compile(L"string()"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->type, tid::string_);
    EXPECT_TRUE(s->arguments.empty());

    auto n = as<e_native>(compile(L"using::write(1)"));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->name, L"write");

    EXPECT_EQ(var(compile(L"(x)")), L"x");
    // Names are interned: the same text gives the same symbol.
    EXPECT_EQ(as<e_variable>(compile(L"x"))->name, as<e_variable>(compile(L"(x)"))->name);
}

// Evaluates a constant node with no scope needed.
value constant(const expr& e)
{
    own_runtime rt{nullptr, nullptr};
    return e->evaluate(rt);
}

TEST_F(expression_compile, IntegerLiteralForms)
{
    struct {
        const wchar_t* text;
        type_id_t type;
        long long v;
    } cases[] = {
        {L"0x10", tid::signed_, 16},     {L"0X1F", tid::signed_, 31},   {L"0x10u", tid::unsigned_, 16},
        {L"010", tid::signed_, 8},       {L"019", tid::signed_, 1},     {L"09", tid::signed_, 0},
        {L"10u", tid::unsigned_, 10},    {L"0", tid::signed_, 0},       {L"2147483647", tid::signed_, 2147483647},
        {L"4294967295u", tid::unsigned_, 4294967295LL}, {L"0xFFFFFFFFu", tid::unsigned_, 4294967295LL},
    };
    for (const auto& c : cases) {
        value v = constant(compile(c.text));
        EXPECT_EQ(v->type_id(), c.type) << narrow(c.text);
        if (c.type == tid::signed_) EXPECT_EQ(static_cast<int>(*v), c.v) << narrow(c.text);
        else EXPECT_EQ(static_cast<unsigned int>(*v), static_cast<unsigned int>(c.v)) << narrow(c.text);
    }
}

TEST_F(expression_compile, RealLiteralForms)
{
    value half = constant(compile(L".5"));
    EXPECT_EQ(half->type_id(), tid::double_);
    EXPECT_EQ(static_cast<double>(*half), 0.5);
    value f = constant(compile(L"1.5f"));
    EXPECT_EQ(f->type_id(), tid::float_);
    EXPECT_EQ(static_cast<float>(*f), 1.5f);
    EXPECT_EQ(static_cast<double>(*constant(compile(L"5."))), 5.0);
    EXPECT_EQ(static_cast<double>(*constant(compile(L"1e+3"))), 1000.0);
    EXPECT_EQ(static_cast<double>(*constant(compile(L"2.5e-1"))), 0.25);
}

TEST_F(expression_compile, LiteralsThatDoNotFitAreRefusedNamingTheText)
{
    for (const wchar_t* text : {L"2147483648", L"0xFFFFFFFF", L"4294967296u", L"1e+400", L"1e+300f", L"0x100000000u"}) {
        try {
            compile(text);
            ADD_FAILURE() << "accepted " << narrow(text);
        } catch (const vorla::exception& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("numeric literal out of range, literal=") + narrow(text)),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST_F(expression_compile, StringEscapes)
{
    auto text = [&](const std::wstring& literal) {
        return static_cast<std::wstring>(*constant(compile(L"\"" + literal + L"\"")));
    };
    EXPECT_EQ(text(L"a\\tb"), L"a\tb");
    EXPECT_EQ(text(L"a\\nb"), L"a\nb");
    EXPECT_EQ(text(L"\\q"), L"q");
    EXPECT_EQ(text(L"\\\""), L"\"");
    EXPECT_EQ(text(L"\\\\"), L"\\");
    EXPECT_EQ(text(L""), L"");
    EXPECT_EQ(text(L"/*x*/"), L"/*x*/");
}

TEST_F(expression_compile, ThisIsRefused)
{
    try {
        compile(L"this");
        FAIL() << "this accepted";
    } catch (const vorla::exception& e) {
        EXPECT_NE(std::string(e.what()).find("invalid use of this"), std::string::npos) << e.what();
    }
}

TEST_F(expression_compile, DeepTreesAreRefusedNotBuilt)
{
    std::wstring prefix(100000, L'!');
    EXPECT_THROW(compile(prefix + L"x"), vorla::exception);
    std::wstring assign = L"a";
    for (int i = 0; i < 5000; ++i) assign += L"=a";
    EXPECT_THROW(compile(assign), vorla::exception);

    // A chain of operators is no nesting: 20,000 terms are one chain, folded from the left.
    std::wstring sum = L"100";
    for (int i = 0; i < 20000; ++i) sum += i % 2 ? L"+1" : L"-2";
    EXPECT_EQ(static_cast<int>(*constant(compile(sum))), 100 - 10000);
}

// A long chain counts two levels over its deepest operand (its own frame and an operator's), however
// long; a chain one operator shorter nests as it folds, each operator a level over the one before.
TEST_F(expression_compile, ChainsCountTwoLevelsOverTheirDeepestOperand)
{
    // `prefix` operators on the first operand (each a level over the literal's one), then `ops` more terms.
    const auto chain = [](std::size_t prefix, std::size_t ops) {
        std::wstring text = std::wstring(prefix, L'!') + L"1";
        for (std::size_t i = 0; i < ops; ++i) text += L"+1";
        return text;
    };
    const auto refusal = [&](std::size_t prefix, std::size_t ops) -> std::string {
        try {
            compile(chain(prefix, ops));
        } catch (const vorla::exception& e) {
            return e.what();
        }
        return "accepted";
    };
    const std::string refused = "expression nesting too deep, limit=1,000";
    const std::size_t by_links = chain_from + 1;
    EXPECT_EQ(refusal(997, by_links), "accepted");
    EXPECT_HAS(refusal(998, by_links), refused);
    EXPECT_EQ(refusal(999 - chain_from, chain_from), "accepted");
    EXPECT_HAS(refusal(1000 - chain_from, chain_from), refused);
}

TEST_F(expression_compile, TypeNames)
{
    parse_info info = parse_program(
        L"bool a; int b; unsigned  int c; float d; double e; string f; nil g; ref h; typeid i; bad_cast j; "
        L"range_error k; vector l; list m; hash n; timer o;");
    ASSERT_TRUE(info.full);
    const type_id_t want[] = {tid::boolean, tid::signed_, tid::unsigned_, tid::float_, tid::double_,
                              tid::string_, tid::nil, tid::ref, tid::typeid_, tid::bad_cast,
                              tid::range_error, tid::vector_, tid::list_, tid::hash_, tid::timer};
    std::size_t k = 0;
    for (const pnode& d : info.tree.children) {
        if (d.id != rule::declaration) continue;
        ASSERT_LT(k, std::size(want));
        EXPECT_EQ(compiler.eval_ex_type(d.children.at(0)), want[k]) << k;
        ++k;
    }
    EXPECT_EQ(k, std::size(want));

    info = parse_program(L"widget w;");
    ASSERT_TRUE(info.full);
    try {
        compiler.eval_ex_type(info.tree.children.at(0).children.at(0));
        FAIL() << "unknown type accepted";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("undefined typeid string, sid=widget"), std::string::npos) << e.what();
    }
}

} // namespace
