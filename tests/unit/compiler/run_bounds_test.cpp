// Unit tests of what a host uses to run many scripts in one process: the step bound and a context per run.
#include <gtest/gtest.h>

#include <string>

#include "compiled_program.hpp"
#include "context.hpp"
#include "stack_guard.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

class run_bounds : public compiled_program {};

// Every place a script can loop without end takes steps: a process body, a function body, a global's
// initializer at compile time, processes side by side, a recursion that doubles at every level.
TEST_F(run_bounds, EveryEndlessLoopEndsAtTheStepBound)
{
    const wchar_t* scripts[] = {
        L"process main() { while (true) {} }",
        L"int f() { while (true) {} return 1; } process main() { f(); }",
        L"int f() { while (true) {} return 1; } int g = f(); process main() {}",
        L"process w(int n) { while (true) {} } process main() { process::w a(1); process::w b(2); }",
        L"int f(int n) { return f(n + 1) + f(n + 1); } process main() { while (true) { f(0); } }",
    };
    for (const wchar_t* text : scripts) {
        nspace fresh{test_context()};
        semantic<wchar_t> c(fresh);
        fresh.watch->limit_steps(5000);
        std::string what;
        // On the stack scripts run on, so the doubling recursion meets the step bound before the stack
        // guard (sanitizer builds take much more stack per call).
        run_on_stack(script_stack_bytes, [&] {
            try {
                semantic<wchar_t>::dir_stack dirs;
                c.compile_str(text, dirs);
                fresh.start_process(L"main", args{});
                while (!fresh.live->empty()) fresh.schedule();
            } catch (const std::exception& e) {
                what = e.what();
            }
        });
        EXPECT_NE(what.find("step budget spent"), std::string::npos) << narrow(text) << "\n" << what;
        EXPECT_EQ(test_context().call_depth, 0u) << narrow(text);
    }
}

TEST_F(run_bounds, AFinishedRunCountsTheStepsItTook)
{
    space.watch->limit_steps(1000);
    EXPECT_EQ(run(L"process main() { int i = 0; while (i < 10) { ++i; } using::write(i); }"), L"10");
    // Each of the ten iterations takes its test and its body as steps of their own.
    EXPECT_GE(space.watch->steps(), 20u);
    EXPECT_LT(space.watch->steps(), 100u);
}

// An else-if chain, whose links no longer nest, takes the steps of the same branches written as ifs
// nested in braces: a step per test, and the taken branch's own.
TEST_F(run_bounds, AnElseIfChainStepsAsNestedIfsDo)
{
    const auto steps = [&](const std::wstring& branches) {
        nspace fresh{test_context()};
        fresh.natives = space.natives;
        fresh.watch->limit_steps(1000);
        semantic<wchar_t> c(fresh);
        semantic<wchar_t>::dir_stack dirs;
        c.compile_str(L"process main() { int x =3; int i = 0; while (i < 4) { ++i; " + branches + L" } }", dirs);
        fresh.start_process(L"main", args{});
        while (!fresh.live->empty()) fresh.schedule();
        return fresh.watch->steps();
    };
    const std::size_t chain = steps(L"if (x == i) using::write(\"a\"); else if (x == i + 1) using::write(\"b\");"
                                    L" else if (x == i + 2) ; else using::write(\"c\");");
    EXPECT_EQ(out, L"bac");
    EXPECT_EQ(steps(L"if (x == i) using::write(\"a\"); else { if (x == i + 1) using::write(\"b\");"
                    L" else { if (x == i + 2) ; else using::write(\"c\"); } }"),
              chain);
    EXPECT_EQ(out, L"bacbac");
}

// Each run in a context of its own starts the random sequence afresh; a run in the same context goes on
// where the last one stopped.
TEST_F(run_bounds, EachContextHasItsOwnRandomSequence)
{
    const std::wstring text = L"process main() { int i = 0; using::write(i.rand()); using::write(\",\"); using::write(i.rand()); }";
    auto run_in = [&](context& where) {
        out.clear();
        nspace again{where};
        semantic<wchar_t> c(again);
        again.natives = space.natives;
        semantic<wchar_t>::dir_stack dirs;
        c.compile_str(text, dirs);
        again.start_process(L"main", args{});
        while (!again.live->empty()) again.schedule();
        return out;
    };
    context first, second;
    EXPECT_EQ(run_in(first), L"41,18467");
    EXPECT_EQ(run_in(second), L"41,18467");
    EXPECT_EQ(run_in(first), L"6334,26500");
    EXPECT_EQ(first.call_depth, 0u);
}

} // namespace
