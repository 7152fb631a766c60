// Statement nodes: step accounting, loops and jumps, try/catch clause choice, inline expansion, constructors.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support.hpp"
#include "nlookup.hpp"
#include "nspace.hpp"
#include "table/except.hpp"

namespace vorla {
namespace {

using namespace vorla::test;

control_ptr incr(const wchar_t* name) { return stmt(std::make_shared<e_preincr>(var(name))); }
control_ptr assign(const wchar_t* name, expr e) { return stmt(std::make_shared<e_assign>(var(name), std::move(e))); }
control_ptr declare_int(const wchar_t* name, int n)
{
    return stmt(std::make_shared<e_declare>(
        expr_list{std::make_shared<e_constructor>(intern(name), tid::signed_, expr_list{int_expr(n)})}));
}
expr eq(expr l, expr r) { return std::make_shared<e_equal>(std::move(l), std::move(r)); }
expr lt(expr l, expr r) { return std::make_shared<e_lt>(std::move(l), std::move(r)); }
control_ptr if_(expr c, control_ptr then) { return std::make_shared<c_if>(std::move(c), std::move(then)); }
control_ptr while_(expr c, control_ptr body) { return std::make_shared<c_while>(std::move(c), std::move(body)); }
control_ptr throw_(expr e) { return std::make_shared<c_throw>(std::move(e)); }

// Raises a C++ signal, as a value operation or a constructor body does when a throw or jump leaves it.
template <class Signal>
class raise final : public expression {
public:
    explicit raise(Signal s) : s_(std::move(s)) {}
    value evaluate(runtime&) const override { throw s_; }

private:
    Signal s_;
};

class StatementsTest : public ::testing::Test {
protected:
    script_signal out;  // where the steps below report a signal

    value global_int(const wchar_t* name, int n = 0)
    {
        return space.global.variables.declare(intern(name), make<signed_<int>>(n));
    }

    // Steps a scope holding the statements until it finishes or signals; returns the number of steps.
    int steps(const control_list& statements, flow* last = nullptr)
    {
        stepping_scope s(&space.global, std::make_shared<const control_list>(statements));
        runtime rt{&space.global, &space, out};
        for (int n = 1; n <= 10000; ++n) {
            flow f = s.step(rt);
            if (f != flow::more) {
                if (last) *last = f;
                return n;
            }
        }
        ADD_FAILURE() << "statement did not finish";
        return -1;
    }
    int steps(control_ptr statement, flow* last = nullptr) { return steps(control_list{std::move(statement)}, last); }

    // Runs the statements whole in a frame under the global scope, as a call's body runs.
    flow whole(const control_list& statements)
    {
        scope frame(&space.global);
        runtime rt{&frame, &space, out};
        return run_whole(*block(statements), rt);
    }

    // Runs the program stepped, then whole, each from the named globals set to 0, and expects the same
    // flow, signal value and globals both ways.
    void expect_same_both_ways(const control_list& program, std::initializer_list<const wchar_t*> globals)
    {
        auto reset = [&] {
            for (const wchar_t* name : globals) space.global.variables.rebind(intern(name), make<signed_<int>>(0));
            out.take();
        };
        auto state = [&](flow f) {
            std::wstring s = std::to_wstring(static_cast<int>(f)) + L":" +
                             (out.v ? std::to_wstring(as_int(out.v)) : std::wstring(L"-"));
            for (const wchar_t* name : globals) s += L" " + std::to_wstring(as_int(*space.global.variables.find(intern(name))));
            return s;
        };
        for (const wchar_t* name : globals)
            if (!space.global.variables.find(intern(name))) global_int(name);
        reset();
        flow stepped;
        steps(program, &stepped);
        const std::wstring by_steps = state(stepped);
        reset();
        const std::wstring at_once = state(whole(program));
        EXPECT_EQ(by_steps, at_once);
    }

    // catch (T name) body
    static void clause(table::except& t, type_id_t type, const wchar_t* name, control_ptr body)
    {
        t.define({table::parameter{false, type, intern(name)}}, std::move(body));
    }

    nspace space{test_context()};
};

TEST_F(StatementsTest, SimpleStatementsTakeOneStep)
{
    global_int(L"i");
    EXPECT_EQ(steps(incr(L"i")), 1);
    EXPECT_EQ(steps(std::make_shared<c_empty>()), 1);
    EXPECT_EQ(steps(declare_int(L"d", 1)), 1);
    EXPECT_EQ(steps(block()), 1);  // an empty block still costs its step
    EXPECT_EQ(steps(block({incr(L"i"), incr(L"i"), incr(L"i")})), 3);
    EXPECT_EQ(steps(block({block(), block({incr(L"i")})})), 2);
    EXPECT_EQ(as_int(*space.global.variables.find(intern(L"i"))), 5);
}

TEST_F(StatementsTest, IfTakesOneStepForTheTestThenTheBranch)
{
    value i = global_int(L"i");
    EXPECT_EQ(steps(if_(bool_expr(false), incr(L"i"))), 1);
    EXPECT_EQ(as_int(i), 0);
    EXPECT_EQ(steps(if_(bool_expr(true), block())), 2);
    EXPECT_EQ(steps(if_(bool_expr(true), block({incr(L"i"), incr(L"i")}))), 3);
    EXPECT_EQ(as_int(i), 2);

    EXPECT_EQ(steps(std::make_shared<c_if_else>(bool_expr(false), incr(L"i"),
                                                block({assign(L"i", int_expr(10)), incr(L"i")}))),
              3);
    EXPECT_EQ(as_int(i), 11);
    EXPECT_EQ(steps(std::make_shared<c_if_else>(bool_expr(true), block(), incr(L"i"))), 2);
    EXPECT_EQ(as_int(i), 11);
}

TEST_F(StatementsTest, WhileTestsOncePerIteration)
{
    value i = global_int(L"i");
    // while (i < 3) { ++i; }: three rounds of test + body, then the final false test.
    EXPECT_EQ(steps(while_(lt(var(L"i"), int_expr(3)), block({incr(L"i")}))), 7);
    EXPECT_EQ(as_int(i), 3);
    EXPECT_EQ(steps(while_(bool_expr(false), block())), 1);
}

TEST_F(StatementsTest, EmptyEndlessLoopYieldsEveryStep)
{
    stepping_scope s(&space.global, while_(bool_expr(true), block()));
    own_runtime rt{&space.global, &space};
    for (int n = 0; n < 100; ++n) ASSERT_EQ(s.step(rt), flow::more);
}

TEST_F(StatementsTest, BreakAndContinueInsideIfInsideWhile)
{
    value i = global_int(L"i");
    value n = global_int(L"n");
    // while (true) { ++i; if (i == 2) continue; if (i == 4) break; ++n; }
    control_ptr loop = while_(bool_expr(true), block({
                                               incr(L"i"),
                                               if_(eq(var(L"i"), int_expr(2)), std::make_shared<c_continue>()),
                                               if_(eq(var(L"i"), int_expr(4)), block({std::make_shared<c_break>()})),
                                               incr(L"n"),
                                           }));
    flow last;
    steps(control_list{loop, incr(L"n")}, &last);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(i), 4);
    EXPECT_EQ(as_int(n), 3);  // 2 from the loop, 1 from the statement after it
}

TEST_F(StatementsTest, JumpsThrownOutOfAnExpressionAreCaughtByTheLoop)
{
    value i = global_int(L"i");
    value n = global_int(L"n");
    // while (i < 3) { ++i; <continue from a call>; ++n; } then while (true) { <break from a call>; }
    control_list program{
        while_(lt(var(L"i"), int_expr(3)),
               block({incr(L"i"), stmt(std::make_shared<raise<sig_continue>>(sig_continue{})), incr(L"n")})),
        while_(bool_expr(true), block({stmt(std::make_shared<raise<sig_break>>(sig_break{})), incr(L"n")})),
    };
    flow last;
    steps(program, &last);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(i), 3);
    EXPECT_EQ(as_int(n), 0);
}

TEST_F(StatementsTest, JumpsOutsideALoopTravelOutward)
{
    flow last;
    EXPECT_EQ(steps(block({block({std::make_shared<c_break>()})}), &last), 1);
    EXPECT_EQ(last, flow::brk);
    steps(if_(bool_expr(true), std::make_shared<c_continue>()), &last);
    EXPECT_EQ(last, flow::cont);
}

TEST_F(StatementsTest, ReturnCarriesItsValue)
{
    flow last;
    EXPECT_EQ(steps(block({std::make_shared<c_return>(int_expr(12)), stmt(int_expr(0))}), &last), 1);
    EXPECT_EQ(last, flow::ret);
    ASSERT_NE(out.v, nullptr);
    EXPECT_EQ(as_int(out.v), 12);
}

TEST_F(StatementsTest, ReturnLeavesALoop)
{
    flow last;
    steps(while_(bool_expr(true), block({std::make_shared<c_return>(int_expr(3))})), &last);
    EXPECT_EQ(last, flow::ret);
    EXPECT_EQ(as_int(out.v), 3);
}

TEST_F(StatementsTest, CatchPrefersTheClauseOfTheThrownType)
{
    value r = global_int(L"r");
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::signed_, L"e", block({assign(L"r", var(L"e"))}));
    clauses->define({}, block({assign(L"r", int_expr(-1))}));
    // try { ++r; throw 7; ++r; } catch (int e) { r = e; } catch () { r = -1; }
    auto t = std::make_shared<c_except>(block({incr(L"r"), throw_(int_expr(7)), incr(L"r")}), clauses);
    flow last;
    // Two try steps (the second throws), then the handler's one; matching costs nothing.
    EXPECT_EQ(steps(t, &last), 3);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(r), 7);
    EXPECT_FALSE(out.pending());
    EXPECT_EQ(out.v, nullptr);
}

TEST_F(StatementsTest, CatchFallsBackToTheParameterlessClause)
{
    value r = global_int(L"r");
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::unsigned_, L"e", block({assign(L"r", int_expr(1))}));
    clauses->define({}, block({assign(L"r", int_expr(-1))}));
    EXPECT_EQ(steps(std::make_shared<c_except>(block({throw_(int_expr(7))}), clauses)), 2);
    EXPECT_EQ(as_int(r), -1);
}

TEST_F(StatementsTest, UnmatchedThrowLeavesTheTryWithTheSameValue)
{
    value r = global_int(L"r");
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::unsigned_, L"e", block({assign(L"r", int_expr(1))}));
    value thrown = make<signed_<int>>(7);
    global_int(L"x", 0);
    space.global.variables.rebind(intern(L"x"), thrown);
    flow last;
    EXPECT_EQ(steps(std::make_shared<c_except>(block({throw_(var(L"x"))}), clauses), &last), 1);
    EXPECT_EQ(last, flow::thr);
    EXPECT_EQ(out.v.get(), thrown.get());
    EXPECT_EQ(as_int(r), 0);
}

TEST_F(StatementsTest, AThrowOutOfACalledFunctionReachesTheCatchAsAFlow)
{
    // int f() { throw 9; }   try { r = f(); } catch (int e) { r = e; }
    value r = global_int(L"r");
    symbol f = intern(L"f");
    space.functions->define({}, tid::signed_, f, block({throw_(int_expr(9))}));
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::signed_, L"e", block({assign(L"r", var(L"e"))}));
    auto call = std::make_shared<e_function>(f, expr_list{});
    flow last;
    EXPECT_EQ(steps(std::make_shared<c_except>(block({assign(L"r", call)}), clauses), &last), 2);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(r), 9);
    EXPECT_FALSE(out.pending());
}

TEST_F(StatementsTest, ABreakOutOfACalledFunctionEndsTheCallersLoop)
{
    // int b() { break; }   while (true) { ++n; b(); ++n; }
    value n = global_int(L"n");
    symbol b = intern(L"b");
    space.functions->define({}, tid::signed_, b, block({std::make_shared<c_break>()}));
    auto call = std::make_shared<e_function>(b, expr_list{});
    flow last;
    steps(while_(bool_expr(true), block({incr(L"n"), stmt(call), incr(L"n")})), &last);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(n), 1);
    EXPECT_FALSE(out.pending());
}

TEST_F(StatementsTest, ClauseParameterIsACopyUnlessDeclaredAReference)
{
    value x = global_int(L"x", 5);
    auto by_value = std::make_shared<table::except>();
    clause(*by_value, tid::signed_, L"e", incr(L"e"));
    steps(std::make_shared<c_except>(throw_(var(L"x")), by_value));
    EXPECT_EQ(as_int(x), 5);

    auto by_ref = std::make_shared<table::except>();
    by_ref->define({table::parameter{true, tid::signed_, intern(L"e")}}, incr(L"e"));
    steps(std::make_shared<c_except>(throw_(var(L"x")), by_ref));
    EXPECT_EQ(as_int(x), 6);
}

TEST_F(StatementsTest, ThrowInsideAHandlerLeavesTheStatement)
{
    value r = global_int(L"r");
    auto inner = std::make_shared<table::except>();
    clause(*inner, tid::signed_, L"e", block({throw_(int_expr(2))}));
    inner->define({}, block({assign(L"r", int_expr(99))}));
    auto outer = std::make_shared<table::except>();
    clause(*outer, tid::signed_, L"e", block({assign(L"r", var(L"e"))}));

    // try { try { throw 1; } catch (int e) { throw 2; } catch () { r = 99; } } catch (int e) { r = e; }
    auto t = std::make_shared<c_except>(std::make_shared<c_except>(block({throw_(int_expr(1))}), inner), outer);
    flow last;
    steps(t, &last);
    EXPECT_EQ(last, flow::done);
    EXPECT_EQ(as_int(r), 2);
}

TEST_F(StatementsTest, ThrowFromAnExpressionIsCaught)
{
    value r = global_int(L"r");
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::signed_, L"e", block({assign(L"r", var(L"e"))}));
    auto t = std::make_shared<c_except>(
        block({stmt(std::make_shared<raise<sig_throw>>(sig_throw{make<signed_<int>>(5), nullptr}))}), clauses);
    EXPECT_EQ(steps(t), 2);
    EXPECT_EQ(as_int(r), 5);
}

TEST_F(StatementsTest, TryStatementPassesOtherSignalsAndDiagnostics)
{
    auto clauses = std::make_shared<table::except>();
    clauses->define({}, block());
    flow last;
    steps(std::make_shared<c_except>(block({std::make_shared<c_return>(int_expr(1))}), clauses), &last);
    EXPECT_EQ(last, flow::ret);
    EXPECT_THROW(steps(std::make_shared<c_except>(block({stmt(var(L"undeclared"))}), clauses)), exception);
}

TEST_F(StatementsTest, TwoActivationsOfOneLoopKeepSeparateState)
{
    value total = global_int(L"total");
    // { int n = 0; while (n < 3) { ++n; ++total; } }, compiled once and run by two activations in turn.
    control_ptr compiled =
        block({declare_int(L"n", 0), while_(lt(var(L"n"), int_expr(3)), block({incr(L"n"), incr(L"total")}))});
    stepping_scope a(&space.global, compiled);
    stepping_scope b(&space.global, compiled);
    own_runtime rt{&space.global, &space};
    int steps_a = 0, steps_b = 0;
    flow fa = flow::more, fb = flow::more;
    while (fa == flow::more || fb == flow::more) {
        if (fa == flow::more) fa = a.step(rt), ++steps_a;
        if (fb == flow::more) fb = b.step(rt), ++steps_b;
        ASSERT_LT(steps_a, 100);
    }
    EXPECT_EQ(fa, flow::done);
    EXPECT_EQ(fb, flow::done);
    EXPECT_EQ(steps_a, 1 + 3 * 3 + 1);
    EXPECT_EQ(steps_b, steps_a);
    EXPECT_EQ(as_int(total), 6);
}

TEST_F(StatementsTest, BlockVariablesDieWithTheBlock)
{
    try {
        steps(control_list{block({declare_int(L"local", 1)}), stmt(var(L"local"))});
        FAIL() << "a variable outlived its block";
    } catch (const exception& e) {
        EXPECT_NE(std::string(e.what()).find("reffer to undefined id, id=local"), std::string::npos) << e.what();
    }
}

TEST_F(StatementsTest, InlineRunsStepByStepUnderTheGlobalScope)
{
    value g = global_int(L"g");
    // inline bump(int k) { g = g + k; ++g; }
    space.inlines->define({table::parameter{false, tid::signed_, intern(L"k")}}, intern(L"bump"),
                          block({assign(L"g", std::make_shared<e_add>(var(L"g"), var(L"k"))), incr(L"g")}));
    auto use = std::make_shared<c_inline>(intern(L"bump"), expr_list{int_expr(4)});
    EXPECT_EQ(steps(use), 3);  // the expansion, then the body's two statements
    EXPECT_EQ(as_int(g), 5);

    // A caller's local is invisible inside the expansion.
    space.inlines->define({}, intern(L"peek"), block({stmt(var(L"hidden"))}));
    EXPECT_THROW(steps(block({declare_int(L"hidden", 1), std::make_shared<c_inline>(intern(L"peek"), expr_list{})})),
                 exception);
}

TEST_F(StatementsTest, ReturnInsideAnInlineLeavesThroughTheCaller)
{
    space.inlines->define({}, intern(L"leave"), block({std::make_shared<c_return>(int_expr(8)), stmt(var(L"never"))}));
    flow last;
    steps(block({std::make_shared<c_inline>(intern(L"leave"), expr_list{}), stmt(var(L"never"))}), &last);
    EXPECT_EQ(last, flow::ret);
    EXPECT_EQ(as_int(out.v), 8);
}

TEST_F(StatementsTest, ProcessStartDeclaresTheProcessAndRunsLater)
{
    value g = global_int(L"g");
    const type_id_t pid = space.types->generate_p(L"worker");
    // process worker(int k) { g = g + k; }
    space.processes->define({table::parameter{false, tid::signed_, intern(L"k")}}, pid,
                            block({assign(L"g", std::make_shared<e_add>(var(L"g"), var(L"k")))}));
    auto start = std::make_shared<c_start_p>(pid, intern(L"w"), expr_list{int_expr(3)});
    stepping_scope s(&space.global, start);
    own_runtime rt{&space.global, &space};
    EXPECT_EQ(s.step(rt), flow::done);  // one step, and the new process has not run yet
    EXPECT_EQ(as_int(g), 0);
    value* w = s.variables.find(intern(L"w"));
    ASSERT_NE(w, nullptr);
    EXPECT_NE((*w)->type_id(), tid::nil);
    EXPECT_EQ(space.live->size(), 1u);
    for (int n = 0; n < 10 && !space.live->empty(); ++n) space.schedule();
    EXPECT_EQ(as_int(g), 3);
}

TEST_F(StatementsTest, ConstructorBodyRunsToCompletionInOneStep)
{
    value g = global_int(L"g");
    c_constructor ctor(
        expr_list{std::make_shared<e_declare_member>(intern(L"m"), tid::signed_, expr_list{int_expr(3)})},
        block({incr(L"g"), block({incr(L"g"), incr(L"g")}), while_(lt(var(L"g"), int_expr(5)), incr(L"g"))}));
    scope frame(&space.global);
    own_runtime rt{&frame, &space};
    EXPECT_EQ(ctor.execute(rt), flow::done);
    EXPECT_EQ(as_int(g), 5);
    value* m = space.global.variables.find(intern(L"m"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(as_int(*m), 3);
}

TEST_F(StatementsTest, ConstructorPassesSignalsOut)
{
    c_constructor ctor(expr_list{}, block({throw_(int_expr(4)), stmt(var(L"never"))}));
    scope frame(&space.global);
    own_runtime rt{&frame, &space};
    EXPECT_EQ(ctor.execute(rt), flow::thr);
    EXPECT_EQ(as_int(rt.out->v), 4);
}

TEST_F(StatementsTest, RunningWholeMatchesStepping)
{
    // while (true) { ++i; if (i == 2) continue; if (i == 4) break; ++n; } ++n;
    expect_same_both_ways({while_(bool_expr(true), block({
                                                       incr(L"i"),
                                                       if_(eq(var(L"i"), int_expr(2)), std::make_shared<c_continue>()),
                                                       if_(eq(var(L"i"), int_expr(4)), block({std::make_shared<c_break>()})),
                                                       incr(L"n"),
                                                   })),
                           incr(L"n")},
                          {L"i", L"n"});
    // A body declaring a name gets a fresh scope every iteration: while (i < 3) { int d = 2; ++i; n = n + d; }
    expect_same_both_ways({while_(lt(var(L"i"), int_expr(3)),
                                  block({declare_int(L"d", 2), incr(L"i"),
                                         assign(L"n", std::make_shared<e_add>(var(L"n"), var(L"d")))}))},
                          {L"i", L"n"});
    // A return deep in loops and branches carries its value out: while (true) { while (true) { if (i == 3) return n; ++i; ++n; } }
    expect_same_both_ways({while_(bool_expr(true),
                                  while_(bool_expr(true),
                                         block({if_(eq(var(L"i"), int_expr(3)), std::make_shared<c_return>(var(L"n"))),
                                                incr(L"i"), incr(L"n")})))},
                          {L"i", L"n"});
    // A handler sees the enclosing block's locals, and a throw out of it goes on outward:
    // { int d = 5; try { ++i; throw 1; } catch (int e) { n = d; throw 2; } }
    auto clauses = std::make_shared<table::except>();
    clause(*clauses, tid::signed_, L"e", block({assign(L"n", var(L"d")), throw_(int_expr(2))}));
    expect_same_both_ways({block({declare_int(L"d", 5),
                                  std::make_shared<c_except>(block({incr(L"i"), throw_(int_expr(1))}), clauses)})},
                          {L"i", L"n"});
    // An if-else picks its branch and a break inside an inline ends the caller's loop.
    space.inlines->define({}, intern(L"stop"), block({std::make_shared<c_break>()}));
    expect_same_both_ways({while_(bool_expr(true),
                                  block({incr(L"i"),
                                         std::make_shared<c_if_else>(lt(var(L"i"), int_expr(3)), incr(L"n"),
                                                                     std::make_shared<c_inline>(intern(L"stop"), expr_list{}))}))},
                          {L"i", L"n"});
}

TEST_F(StatementsTest, RunningWholeKeepsEachBlocksNamesToItself)
{
    // { { int d = 1; } d; } and if (true) int d = 1; d;  fail at the use after the block or branch.
    EXPECT_THROW(whole({block({declare_int(L"d", 1)}), stmt(var(L"d"))}), exception);
    EXPECT_THROW(whole({if_(bool_expr(true), declare_int(L"d", 1)), stmt(var(L"d"))}), exception);
    // A name declared twice in one block is refused; in a loop body it is declared anew each time.
    EXPECT_THROW(whole({declare_int(L"d", 1), declare_int(L"d", 2)}), exception);
    value i = global_int(L"i");
    EXPECT_EQ(whole({while_(lt(var(L"i"), int_expr(3)), block({declare_int(L"d", 1), incr(L"i")}))}), flow::done);
    EXPECT_EQ(as_int(i), 3);
    EXPECT_EQ(space.global.variables.find(intern(L"d")), nullptr);
}

TEST_F(StatementsTest, AFlatLoopBodyStillStepsOneStatementAtATime)
{
    // while (i < 2) { ++i; ++n; ; }: the body runs in the loop's scope, yet each statement is a step and
    // the next step's statement is the one reported as active.
    value i = global_int(L"i");
    value n = global_int(L"n");
    control_list body{incr(L"i"), incr(L"n"), std::make_shared<c_empty>()};
    control_ptr loop = while_(lt(var(L"i"), int_expr(2)), block(body));
    stepping_scope s(&space.global, loop);
    runtime rt{&space.global, &space, out};
    EXPECT_EQ(s.active(), loop.get());
    EXPECT_EQ(s.step(rt), flow::more);  // the test
    EXPECT_EQ(s.head.inner, nullptr);
    for (const control_ptr& statement : body) {
        EXPECT_EQ(s.active(), statement.get());
        EXPECT_EQ(s.step(rt), flow::more);
    }
    EXPECT_EQ(s.active(), loop.get());
    EXPECT_EQ(as_int(i), 1);
    EXPECT_EQ(as_int(n), 1);
    int more = 0;
    while (s.step(rt) == flow::more) ++more;
    EXPECT_EQ(more, 4);  // the second round's test and three statements; the final test finishes
}

} // namespace
} // namespace vorla
