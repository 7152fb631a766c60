// Expression nodes: evaluation order, handles versus copies, declarators and name lookup.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../support.hpp"
#include "nlookup.hpp"
#include "nspace.hpp"

namespace vorla {
namespace {

using namespace vorla::test;
using int_const = e_constant<signed_<int>, int>;

// Notes in a log when it is evaluated, then yields what the wrapped node yields.
class probe final : public expression {
public:
    probe(std::vector<std::string>& log, std::string tag, expr inner)
        : log_(log), tag_(std::move(tag)), inner_(std::move(inner)) {}
    value evaluate(runtime& rt) const override
    {
        log_.push_back(tag_);
        return inner_->evaluate(rt);
    }

private:
    std::vector<std::string>& log_;
    std::string tag_;
    expr inner_;
};

class NodesTest : public ::testing::Test {
protected:
    NodesTest() : local(&space.global), rt{&local, &space} {}

    // Declares a fresh int variable in the local scope and returns its handle.
    value declare_int(const wchar_t* name, int n)
    {
        return local.variables.declare(intern(name), make<signed_<int>>(n));
    }
    expr probed(const std::string& tag, expr inner) { return std::make_shared<probe>(log, tag, std::move(inner)); }

    nspace space{test_context()};
    scope local;
    own_runtime rt;
    std::vector<std::string> log;
};

TEST_F(NodesTest, LogicalOperatorsEvaluateBothSides)
{
    int calls = 0;
    space.natives->define(L"f", [&calls](args&) -> value {
        ++calls;
        return make<boolean>(true);
    });
    auto f = std::make_shared<e_native>(L"f", expr_list{});

    value r = e_and(bool_expr(false), f).evaluate(rt);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(truth(r));

    r = e_or(bool_expr(true), f).evaluate(rt);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(truth(r));
}

TEST_F(NodesTest, AssignmentEvaluatesRightOperandFirstAndYieldsTheLeftHandle)
{
    value x = declare_int(L"x", 1);
    declare_int(L"y", 7);

    value r = e_assign(probed("left", var(L"x")), probed("right", var(L"y"))).evaluate(rt);
    EXPECT_EQ(log, (std::vector<std::string>{"right", "left"}));
    EXPECT_EQ(r.get(), x.get());
    EXPECT_EQ(as_int(x), 7);

    log.clear();
    r = e_add_assign(probed("left", var(L"x")), probed("right", int_expr(3))).evaluate(rt);
    EXPECT_EQ(log, (std::vector<std::string>{"right", "left"}));
    EXPECT_EQ(r.get(), x.get());
    EXPECT_EQ(as_int(x), 10);
}

TEST_F(NodesTest, PreincrementYieldsTheVariableItself)
{
    value x = declare_int(L"x", 1);
    // ++x = 5
    value r = e_assign(std::make_shared<e_preincr>(var(L"x")), int_expr(5)).evaluate(rt);
    EXPECT_EQ(r.get(), x.get());
    EXPECT_EQ(as_int(x), 5);

    r = e_predecr(var(L"x")).evaluate(rt);
    EXPECT_EQ(r.get(), x.get());
    EXPECT_EQ(as_int(x), 4);
}

TEST_F(NodesTest, OperatorsYieldNewValuesAndLeaveOperandsAlone)
{
    value x = declare_int(L"x", 6);
    value sum = e_add(var(L"x"), int_expr(1)).evaluate(rt);
    EXPECT_NE(sum.get(), x.get());
    EXPECT_EQ(as_int(sum), 7);
    EXPECT_EQ(as_int(e_minus(var(L"x")).evaluate(rt)), -6);
    EXPECT_FALSE(truth(e_not(var(L"x")).evaluate(rt)));
    EXPECT_TRUE(truth(e_lt(var(L"x"), int_expr(7)).evaluate(rt)));
    EXPECT_FALSE(truth(e_gt(var(L"x"), int_expr(7)).evaluate(rt)));
    EXPECT_EQ(as_int(x), 6);
}

TEST_F(NodesTest, PlainDeclaratorCopiesReferenceDeclaratorAliases)
{
    value y = declare_int(L"y", 1);

    value x = e_constructor(intern(L"x"), tid::signed_, expr_list{var(L"y")}).evaluate(rt);
    EXPECT_NE(x.get(), y.get());
    e_assign(var(L"x"), int_expr(3)).evaluate(rt);
    EXPECT_EQ(as_int(x), 3);
    EXPECT_EQ(as_int(y), 1);

    value r = e_ref_constructor(intern(L"r"), tid::signed_, var(L"y")).evaluate(rt);
    EXPECT_EQ(r.get(), y.get());
    e_assign(var(L"r"), int_expr(3)).evaluate(rt);
    EXPECT_EQ(as_int(y), 3);
}

// A temporary of exactly the declared type that nothing else holds becomes the variable itself; a
// literal (its node keeps it), another type or a held value is copied.
TEST_F(NodesTest, DeclaratorKeepsAnUnheldTemporaryOfItsTypeAndCopiesTheRest)
{
    // Yields a new int each time and remembers which.
    struct fresh final : expression {
        mutable const factor* last = nullptr;
        value evaluate(runtime&) const override
        {
            value v = make<signed_<int>>(5);
            last = v.get();
            return v;
        }
    };
    auto made = std::make_shared<fresh>();
    value s = e_constructor(intern(L"s"), tid::signed_, expr_list{made}).evaluate(rt);
    EXPECT_EQ(s.get(), made->last);
    EXPECT_EQ(as_int(s), 5);

    auto literal = std::make_shared<int_const>(7);
    value l = e_constructor(intern(L"l"), tid::signed_, expr_list{literal}).evaluate(rt);
    value again = literal->evaluate(rt);
    EXPECT_NE(l.get(), again.get());
    e_assign(var(L"l"), int_expr(1)).evaluate(rt);
    EXPECT_EQ(as_int(literal->evaluate(rt)), 7);

    value d = e_constructor(intern(L"d"), tid::double_, expr_list{made}).evaluate(rt);
    EXPECT_NE(d.get(), made->last);
    EXPECT_EQ(d->type_id(), tid::double_);
    EXPECT_EQ(as_double(d), 5.0);
}

TEST_F(NodesTest, DeclaratorConvertsItsInitializerToTheDeclaredType)
{
    declare_int(L"y", 9);
    value u = e_constructor(intern(L"u"), tid::unsigned_, expr_list{var(L"y")}).evaluate(rt);
    EXPECT_EQ(u->type_id(), tid::unsigned_);
    EXPECT_EQ(static_cast<unsigned int>(*u), 9u);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&local, intern(L"u")).get(), u.get());
}

TEST_F(NodesTest, ReferenceDeclaratorRefusesAnotherTypeEvenWhenConvertible)
{
    local.variables.declare(intern(L"y"), make<unsigned_<unsigned int>>(1u));
    try {
        e_ref_constructor(intern(L"r"), tid::signed_, var(L"y")).evaluate(rt);
        FAIL() << "an int& bound to an unsigned value";
    } catch (const exception& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("e_ref_constructor"), std::string::npos) << text;
        EXPECT_NE(text.find("fail to initialize refference, int& r"), std::string::npos) << text;
    }
    EXPECT_EQ(local.variables.find(intern(L"r")), nullptr);
}

TEST_F(NodesTest, ConstantsAreFreshValuesEveryTime)
{
    int_const five(5);
    value a = five.evaluate(rt);
    value b = five.evaluate(rt);
    EXPECT_NE(a.get(), b.get());
    a->operator=(int_expr(9)->evaluate(rt));
    EXPECT_EQ(as_int(five.evaluate(rt)), 5);
    EXPECT_EQ(as_int(b), 5);
}

// Once nobody holds a literal's value it is handed out again, with the literal's content even when a
// holder changed it; while held it never is.
TEST_F(NodesTest, ConstantsReuseOnlyAValueNobodyHolds)
{
    int_const five(5);
    factor* first = five.evaluate(rt).get();
    value again = five.evaluate(rt);
    EXPECT_EQ(again.get(), first);
    again->operator++();
    again.reset();
    EXPECT_EQ(as_int(five.evaluate(rt)), 5);

    e_constant<string_<wchar_t>, std::wstring> text(L"k");
    value held = text.evaluate(rt);
    held->operate_in_place(arith::add, int_(12));
    value other = text.evaluate(rt);
    EXPECT_NE(other.get(), held.get());
    EXPECT_EQ(as_text(held), L"k12");
    EXPECT_EQ(as_text(other), L"k");
    held.reset();
    other.reset();
    EXPECT_EQ(as_text(text.evaluate(rt)), L"k");
}

// A comparison as a condition answers what its bool value holds, and fails the same way, at the same place.
TEST_F(NodesTest, ConditionOfAComparisonIsItsValuesTruth)
{
    auto vec = std::make_shared<e_cast>(tid::vector_, expr_list{});
    std::uint32_t offset = 0;  // every node its own place, so a failure shows which one placed it
    auto at = [&](auto node) {
        node->pos = script_pos{1, ++offset};
        return expr(node);
    };
    const expr cases[] = {
        at(std::make_shared<e_lt>(int_expr(1), int_expr(2))),
        at(std::make_shared<e_gte>(int_expr(1), int_expr(2))),
        at(std::make_shared<e_equal>(int_expr(0), bool_expr(false))),
        at(std::make_shared<e_and>(int_expr(0), vec)),
        at(std::make_shared<e_or>(bool_expr(false), int_expr(3))),
        at(std::make_shared<e_nequal>(vec, int_expr(3))),
        at(std::make_shared<e_lt>(int_expr(1), vec)),
        // && and || of comparisons: both sides always run, either may fail
        at(std::make_shared<e_or>(at(std::make_shared<e_lt>(int_expr(1), int_expr(2))), at(std::make_shared<e_gt>(int_expr(1), int_expr(2))))),
        at(std::make_shared<e_and>(at(std::make_shared<e_lt>(int_expr(2), int_expr(1))), at(std::make_shared<e_gt>(int_expr(1), int_expr(0))))),
        at(std::make_shared<e_and>(at(std::make_shared<e_gt>(int_expr(1), int_expr(0))), at(std::make_shared<e_equal>(int_expr(1), int_expr(1))))),
        at(std::make_shared<e_or>(at(std::make_shared<e_lt>(int_expr(1), int_expr(2))), at(std::make_shared<e_lt>(int_expr(1), vec)))),
        at(std::make_shared<e_and>(at(std::make_shared<e_nequal>(vec, int_expr(1))), at(std::make_shared<e_lt>(int_expr(1), int_expr(2))))),
    };
    // What a failure says and where it is placed.
    auto failure = [](auto f) -> std::string {
        try {
            f();
        } catch (vorla::exception& x) {
            return std::string(x.what()) + " | " + x.script().message + " @" + std::to_string(x.script().where.offset);
        } catch (const sig_throw& t) {
            return "throw " + t.v->describe() + (t.trace ? " @" + std::to_string(t.trace->where.offset) : "");
        }
        return {};
    };
    for (const expr& e : cases) {
        bool expected = false, answered = false;
        const std::string by_value = failure([&] { expected = truth(e->evaluate(rt)); });
        const std::string by_test = failure([&] { EXPECT_EQ(e->test(rt, answered), flow::done); });
        EXPECT_EQ(by_test, by_value);
        if (by_value.empty()) {
            EXPECT_EQ(answered, expected);
        }
    }
}

TEST_F(NodesTest, DeclarationYieldsAnEmptyHandleAndDeclaresInOrder)
{
    e_declare d(expr_list{
        std::make_shared<e_constructor>(intern(L"a"), tid::signed_, expr_list{int_expr(1)}),
        std::make_shared<e_constructor>(intern(L"b"), tid::signed_, expr_list{var(L"a")}),
    });
    EXPECT_EQ(d.evaluate(rt), nullptr);
    EXPECT_EQ(as_int(nlookup<wchar_t>::find_variable(&local, intern(L"b"))), 1);
}

// A variable node remembers where it found its name; that must never hide a nearer binding made
// since, nor survive a scope emptied and filled again in another order.
TEST_F(NodesTest, VariableNodeFollowsShadowingAndReusedScopes)
{
    e_variable x(intern(L"x"));
    value outer = space.global.variables.declare(intern(L"x"), make<signed_<int>>(1));
    EXPECT_EQ(x.evaluate(rt).get(), outer.get());
    value near = declare_int(L"x", 2);
    EXPECT_EQ(x.evaluate(rt).get(), near.get());

    local.variables.clear();
    EXPECT_EQ(x.evaluate(rt).get(), outer.get());
    declare_int(L"a", 3);
    declare_int(L"b", 4);
    value again = declare_int(L"x", 5);  // another slot than before
    EXPECT_EQ(x.evaluate(rt).get(), again.get());

    // Past the size where a table keeps an index, and through a mask bit other names share.
    local.variables.clear();
    for (int i = 0; i < 80; ++i) local.variables.declare(intern(L"v" + std::to_wstring(i)), make<signed_<int>>(i));
    EXPECT_EQ(x.evaluate(rt).get(), outer.get());
    value late = declare_int(L"x", 6);
    EXPECT_EQ(x.evaluate(rt).get(), late.get());
    EXPECT_EQ(as_int(e_variable(intern(L"v77")).evaluate(rt)), 77);
}

TEST_F(NodesTest, UnknownVariable)
{
    try {
        var(L"nowhere")->evaluate(rt);
        FAIL() << "an undeclared name was found";
    } catch (const exception& e) {
        EXPECT_NE(std::string(e.what()).find("reffer to undefined id, id=nowhere"), std::string::npos) << e.what();
    }
}

TEST_F(NodesTest, InnerDeclarationShadowsAndDuplicatesAreRefused)
{
    value outer = declare_int(L"x", 1);
    scope inner(&local);
    own_runtime irt{&inner, &space};
    value shadow = e_constructor(intern(L"x"), tid::signed_, expr_list{int_expr(2)}).evaluate(irt);
    EXPECT_EQ(var(L"x")->evaluate(irt).get(), shadow.get());
    EXPECT_EQ(var(L"x")->evaluate(rt).get(), outer.get());

    try {
        e_constructor(intern(L"x"), tid::signed_, expr_list{int_expr(3)}).evaluate(irt);
        FAIL() << "a second x in one scope";
    } catch (const exception& e) {
        EXPECT_NE(std::string(e.what()).find("variable already exists, id=x value=int(3)"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(as_int(var(L"x")->evaluate(irt)), 2);
}

TEST_F(NodesTest, CastBuildsANewValueAndLeavesItsArgument)
{
    value x = declare_int(L"x", 5);
    value d = e_cast(tid::double_, expr_list{var(L"x")}).evaluate(rt);
    EXPECT_EQ(d->type_id(), tid::double_);
    EXPECT_EQ(static_cast<double>(*d), 5.0);
    EXPECT_EQ(x->type_id(), tid::signed_);

    value zero = e_cast(tid::signed_, expr_list{}).evaluate(rt);
    EXPECT_EQ(as_int(zero), 0);
}

TEST_F(NodesTest, ArgumentsAreEvaluatedLeftToRightBeforeTheCallResolves)
{
    EXPECT_THROW(
        e_function(intern(L"missing"), expr_list{probed("a", int_expr(1)), probed("b", int_expr(2))}).evaluate(rt),
        exception);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));

    log.clear();
    // The receiver comes after the arguments.
    EXPECT_THROW(e_method(probed("target", int_expr(1)), intern(L"nosuch"), expr_list{probed("arg", int_expr(2))}).evaluate(rt),
                 exception);
    EXPECT_EQ(log, (std::vector<std::string>{"arg", "target"}));
}

TEST_F(NodesTest, ArgumentsArePassedAsTheVariablesOwnValues)
{
    value x = declare_int(L"x", 4);
    value seen;
    space.natives->define(L"keep", [&seen](args& v) -> value {
        seen = v.at(0);
        return make<boolean>(true);
    });
    e_native(L"keep", expr_list{var(L"x")}).evaluate(rt);
    EXPECT_EQ(seen.get(), x.get());
}

TEST_F(NodesTest, MethodCallReachesTheValue)
{
    declare_int(L"x", -4);
    value r = e_method(var(L"x"), intern(L"abs"), expr_list{}).evaluate(rt);
    EXPECT_EQ(as_int(r), 4);
}

TEST_F(NodesTest, FunctionSeesGlobalsButNotItsCallersLocals)
{
    // int peek() { return x; }
    space.functions->define({}, tid::signed_, intern(L"peek"),
                            std::make_shared<c_compound>(control_list{std::make_shared<c_return>(var(L"x"))}));
    declare_int(L"x", 1);  // the caller's local
    try {
        e_function(intern(L"peek"), expr_list{}).evaluate(rt);
        FAIL() << "the callee saw its caller's local variable";
    } catch (const exception& e) {
        EXPECT_NE(std::string(e.what()).find("reffer to undefined id, id=x"), std::string::npos) << e.what();
    }

    space.global.variables.declare(intern(L"x"), make<signed_<int>>(42));
    EXPECT_EQ(as_int(e_function(intern(L"peek"), expr_list{}).evaluate(rt)), 42);
}

TEST_F(NodesTest, MemberInitializerDeclaresIntoTheNamespaceGlobalScope)
{
    value r = e_declare_member(intern(L"m"), tid::signed_, expr_list{int_expr(8)}).evaluate(rt);
    EXPECT_EQ(r->type_id(), tid::nil);
    value* m = space.global.variables.find(intern(L"m"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(as_int(*m), 8);
    EXPECT_EQ(local.variables.find(intern(L"m")), nullptr);
}

// ---- operators on two ints

// The int rules worked out independently, in 64 bits: the 32-bit wrap of the exact answer, division and
// remainder toward zero; nothing for a refused divisor (zero, or -2^31 / -1).
std::optional<int> int_reference(arith op, int a, int b)
{
    const std::int64_t x = a, y = b;
    std::int64_t exact = 0;
    switch (op) {
    case arith::add: exact = x + y; break;
    case arith::sub: exact = x - y; break;
    case arith::mul: exact = x * y; break;
    case arith::div:
    case arith::mod:
        if (y == 0 || (x == std::numeric_limits<int>::min() && y == -1)) return std::nullopt;
        exact = op == arith::div ? x / y : x % y;
        break;
    }
    return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(exact)));
}

const int int_grid[] = {0, 1, -1, 2, -2, 3, -7, 7, 65536, -65537, std::numeric_limits<int>::max(),
                        std::numeric_limits<int>::min(), std::numeric_limits<int>::min() + 1};

// A node for each operator, over the given operands.
expr arith_node(arith op, expr l, expr r)
{
    switch (op) {
    case arith::add: return std::make_shared<e_add>(std::move(l), std::move(r));
    case arith::sub: return std::make_shared<e_sub>(std::move(l), std::move(r));
    case arith::mul: return std::make_shared<e_mul>(std::move(l), std::move(r));
    case arith::div: return std::make_shared<e_div>(std::move(l), std::move(r));
    case arith::mod: break;
    }
    return std::make_shared<e_mod>(std::move(l), std::move(r));
}
expr compound_node(arith op, expr l, expr r)
{
    switch (op) {
    case arith::add: return std::make_shared<e_add_assign>(std::move(l), std::move(r));
    case arith::sub: return std::make_shared<e_sub_assign>(std::move(l), std::move(r));
    case arith::mul: return std::make_shared<e_mul_assign>(std::move(l), std::move(r));
    case arith::div: return std::make_shared<e_div_assign>(std::move(l), std::move(r));
    case arith::mod: break;
    }
    return std::make_shared<e_mod_assign>(std::move(l), std::move(r));
}

// Every operator over every pair of the grid, with the right operand a variable and a literal, as a value
// and as a compound assignment: the int rules' answer, or a range_error, and the operands as they were.
TEST_F(NodesTest, IntOperatorsFollowTheIntRulesForEveryForm)
{
    value x = declare_int(L"x", 0);
    value y = declare_int(L"y", 0);
    for (arith op : {arith::add, arith::sub, arith::mul, arith::div, arith::mod}) {
        for (int a : int_grid) {
            for (int b : int_grid) {
                const std::optional<int> expected = int_reference(op, a, b);
                const std::string what = std::to_string(a) + " op" + std::to_string(static_cast<int>(op)) + " " + std::to_string(b);
                const expr forms[] = {arith_node(op, var(L"x"), var(L"y")), arith_node(op, var(L"x"), int_expr(b))};
                for (const expr& e : forms) {
                    ASSERT_TRUE(std::dynamic_pointer_cast<const binary>(e));
                    static_cast<signed_<int>&>(*x).set(a);
                    static_cast<signed_<int>&>(*y).set(b);
                    if (expected) {
                        const value r = e->evaluate(rt);
                        EXPECT_EQ(r->type_id(), tid::signed_) << what;
                        EXPECT_EQ(as_int(r), *expected) << what;
                        EXPECT_NE(r.get(), x.get());
                        EXPECT_NE(r.get(), y.get());
                    } else {
                        expect_script_throw([&] { e->evaluate(rt); }, tid::range_error);
                    }
                    EXPECT_EQ(as_int(x), a) << what;
                    EXPECT_EQ(as_int(y), b) << what;
                }
                const expr compounds[] = {compound_node(op, var(L"x"), var(L"y")), compound_node(op, var(L"x"), int_expr(b))};
                for (const expr& e : compounds) {
                    static_cast<signed_<int>&>(*x).set(a);
                    static_cast<signed_<int>&>(*y).set(b);
                    if (expected) {
                        EXPECT_EQ(e->evaluate(rt).get(), x.get());
                        EXPECT_EQ(as_int(x), *expected) << what;
                    } else {
                        expect_script_throw([&] { e->evaluate(rt); }, tid::range_error);
                        EXPECT_EQ(as_int(x), a) << what;  // a refused compound assignment changes nothing
                    }
                    EXPECT_EQ(as_int(y), b) << what;
                }
            }
        }
    }
}

// An int with an unsigned int on its right reads it as the int of the same bits, in every form, and the
// result is an int of its own, never the unsigned operand.
TEST_F(NodesTest, IntWithUnsignedReadsTheSameBits)
{
    value x = declare_int(L"x", 0);
    value u = local.variables.declare(intern(L"u"), make<unsigned_<unsigned int>>(0u));
    const unsigned int sizes[] = {0u, 1u, 2u, 7u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    for (arith op : {arith::add, arith::sub, arith::mul, arith::div, arith::mod}) {
        for (int a : int_grid) {
            for (unsigned int b : sizes) {
                const std::optional<int> expected = int_reference(op, a, static_cast<int>(b));
                static_cast<signed_<int>&>(*x).set(a);
                static_cast<unsigned_<unsigned int>&>(*u).set(b);
                const expr e = arith_node(op, var(L"x"), std::make_shared<e_cast>(tid::unsigned_, expr_list{var(L"u")}));
                const expr compound = compound_node(op, var(L"x"), var(L"u"));
                if (!expected) {
                    expect_script_throw([&] { e->evaluate(rt); }, tid::range_error);
                    expect_script_throw([&] { compound->evaluate(rt); }, tid::range_error);
                    EXPECT_EQ(as_int(x), a);
                    continue;
                }
                const value r = e->evaluate(rt);
                EXPECT_EQ(r->type_id(), tid::signed_);
                EXPECT_EQ(as_int(r), *expected) << a << " " << b;
                compound->evaluate(rt);
                EXPECT_EQ(as_int(x), *expected) << a << " " << b;
                EXPECT_EQ(as_unsigned(u), b);
            }
        }
    }
    static_cast<signed_<int>&>(*x).set(-1);
    static_cast<unsigned_<unsigned int>&>(*u).set(0xFFFFFFFFu);
    EXPECT_TRUE(as_bool(e_equal(var(L"x"), var(L"u")).evaluate(rt)));
    bool yes = false;
    EXPECT_EQ(e_lt(var(L"x"), var(L"u")).test(rt, yes), flow::done);
    EXPECT_FALSE(yes);  // -1 < -1
    e_assign(var(L"x"), var(L"u")).evaluate(rt);
    EXPECT_EQ(x->describe(), "int(-1)");
}

// The comparisons and logical operators of two ints, as a value and as a condition, with the right
// operand a variable and a literal, against the plain C++ answers.
TEST_F(NodesTest, IntComparisonsAnswerAsPlainInts)
{
    value x = declare_int(L"x", 0);
    value y = declare_int(L"y", 0);
    for (int a : int_grid) {
        for (int b : int_grid) {
            const std::pair<expr, bool> cases[] = {
                {std::make_shared<e_lt>(var(L"x"), var(L"y")), a < b},
                {std::make_shared<e_lte>(var(L"x"), int_expr(b)), a <= b},
                {std::make_shared<e_gt>(var(L"x"), int_expr(b)), a > b},
                {std::make_shared<e_gte>(var(L"x"), var(L"y")), a >= b},
                {std::make_shared<e_equal>(var(L"x"), int_expr(b)), a == b},
                {std::make_shared<e_nequal>(var(L"x"), var(L"y")), a != b},
                {std::make_shared<e_and>(var(L"x"), int_expr(b)), a != 0 && b != 0},
                {std::make_shared<e_or>(var(L"x"), var(L"y")), a != 0 || b != 0},
            };
            static_cast<signed_<int>&>(*x).set(a);
            static_cast<signed_<int>&>(*y).set(b);
            for (const auto& [e, expected] : cases) {
                const value v = e->evaluate(rt);
                EXPECT_EQ(v->type_id(), tid::boolean);
                EXPECT_EQ(as_bool(v), expected) << a << " " << b;
                bool yes = !expected;
                EXPECT_EQ(e->test(rt, yes), flow::done);
                EXPECT_EQ(yes, expected) << a << " " << b;
            }
        }
    }
}

// Only an int literal on the right is read from the node; any other literal, or an int literal opposite
// another class, goes through the left value's rules.
TEST_F(NodesTest, OnlyAnIntLiteralOnTheRightIsReadFromTheNode)
{
    EXPECT_EQ(e_add(var(L"x"), int_expr(3)).right_int, std::optional<int>(3));
    EXPECT_EQ(e_add(int_expr(3), var(L"x")).right_int, std::nullopt);
    EXPECT_EQ(e_add(var(L"x"), bool_expr(true)).right_int, std::nullopt);
    EXPECT_EQ(e_lt(var(L"x"), probed("r", int_expr(3))).right_int, std::nullopt);

    local.variables.declare(intern(L"d"), make<real<double>>(2.5));
    local.variables.declare(intern(L"u"), make<unsigned_<unsigned int>>(1u));
    local.variables.declare(intern(L"s"), make<string_<wchar_t>>(L"n"));
    EXPECT_EQ(e_add(var(L"d"), int_expr(1)).evaluate(rt)->describe(), "double(3.5)");
    EXPECT_EQ(e_sub(var(L"u"), int_expr(2)).evaluate(rt)->describe(), "unsigned(4,294,967,295)");
    EXPECT_EQ(e_add(var(L"s"), int_expr(7)).evaluate(rt)->describe(), "string(n7)");
    EXPECT_TRUE(as_bool(e_gt(var(L"d"), int_expr(2)).evaluate(rt)));
    e_mul_assign(var(L"d"), int_expr(2)).evaluate(rt);
    e_assign(var(L"u"), int_expr(-1)).evaluate(rt);
    EXPECT_EQ(as_double(*local.variables.find(intern(L"d"))), 5.0);
    EXPECT_EQ(as_unsigned(*local.variables.find(intern(L"u"))), 4294967295u);
}

// Notes the object each evaluation of the wrapped node yields.
class yields final : public expression {
public:
    yields(std::vector<const factor*>& seen, expr inner) : seen_(seen), inner_(std::move(inner)) {}
    value evaluate(runtime& rt) const override
    {
        value v = inner_->evaluate(rt);
        seen_.push_back(v.get());
        return v;
    }

private:
    std::vector<const factor*>& seen_;
    expr inner_;
};

// An int result goes into an operand only the expression holds, left first; a variable's value, and a
// literal's value (its node keeps it), are never taken.
TEST_F(NodesTest, IntResultsReuseOnlyOperandsNobodyElseHolds)
{
    value x = declare_int(L"x", 6);
    value y = declare_int(L"y", 4);
    std::vector<const factor*> seen;
    auto fresh = [&](int n) { return std::make_shared<yields>(seen, std::make_shared<e_cast>(tid::signed_, expr_list{int_expr(n)})); };

    value r = e_sub(var(L"x"), fresh(1)).evaluate(rt);  // the right operand is a temporary
    EXPECT_EQ(as_int(r), 5);
    EXPECT_EQ(r.get(), seen.back());
    r = e_sub(fresh(10), var(L"y")).evaluate(rt);  // the left one is
    EXPECT_EQ(as_int(r), 6);
    EXPECT_EQ(r.get(), seen.back());
    r = e_mul(var(L"x"), std::make_shared<yields>(seen, var(L"y"))).evaluate(rt);  // neither
    EXPECT_EQ(as_int(r), 24);
    EXPECT_NE(r.get(), y.get());
    EXPECT_NE(r.get(), x.get());
    auto literal = std::make_shared<int_const>(2);
    r = e_add(var(L"x"), std::make_shared<yields>(seen, literal)).evaluate(rt);
    EXPECT_EQ(as_int(r), 8);
    EXPECT_NE(r.get(), seen.back());
    EXPECT_EQ(as_int(literal->evaluate(rt)), 2);
    EXPECT_EQ(as_int(x), 6);
    EXPECT_EQ(as_int(y), 4);
}

// A refused int divisor is placed at its operator, whichever way the operands came: the same failure
// as when the left int's own operator refuses a divisor of another class.
TEST_F(NodesTest, RefusedIntDivisorIsPlacedAtTheOperator)
{
    declare_int(L"x", 9);
    declare_int(L"zero", 0);
    local.variables.declare(intern(L"half"), make<real<double>>(0.5));  // truncates to 0 as an int divisor
    std::uint32_t offset = 0;
    auto at = [&](auto node) {
        node->pos = script_pos{1, ++offset};
        return expr(node);
    };
    const expr cases[] = {
        at(std::make_shared<e_div>(var(L"x"), var(L"zero"))), at(std::make_shared<e_mod>(var(L"x"), int_expr(0))),
        at(std::make_shared<e_div_assign>(var(L"x"), int_expr(0))), at(std::make_shared<e_mod_assign>(var(L"x"), var(L"zero"))),
        at(std::make_shared<e_div>(var(L"x"), var(L"half"))),
    };
    std::uint32_t expected_offset = 0;
    for (const expr& e : cases) {
        ++expected_offset;
        try {
            e->evaluate(rt);
            ADD_FAILURE() << "no throw at " << expected_offset;
        } catch (const sig_throw& t) {
            EXPECT_EQ(t.v->type_id(), tid::range_error);
            ASSERT_TRUE(t.trace);
            EXPECT_EQ(t.trace->message, "division by zero");
            EXPECT_EQ(t.trace->where.offset, expected_offset);
        }
    }
    EXPECT_EQ(as_int(*local.variables.find(intern(L"x"))), 9);
}

} // namespace
} // namespace vorla
