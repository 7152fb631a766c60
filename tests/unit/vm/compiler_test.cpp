// Whole programs compiled for the vm and run beside the tree interpreter: the same output, or a refusal
// that names the construct and its place before anything runs.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../support.hpp"
#include "factor/nil.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"
#include "vm/compiler.hpp"
#include "vm/machine.hpp"

namespace {

using namespace vorla;

// One compiled program in a namespace of its own, with a write that collects what it is given.
struct program_text {
    nspace space{test::test_context()};
    semantic<wchar_t> compiler{space};
    std::wstring out;

    explicit program_text(const std::wstring& text)
    {
        EXPECT_TRUE(test::locale_installed);
        space.natives->define(L"write", [this](args& v) -> value {
            for (const value& x : v) out += static_cast<std::wstring>(*x);
            return make<nil>();
        });
        semantic<wchar_t>::dir_stack dirs;
        compiler.compile_str(text, dirs);
    }

    std::wstring on_tree()
    {
        space.start_process(L"main", args{});
        while (!space.live->empty()) space.schedule();
        return out;
    }

    vm::compiled compiled()
    {
        const table::routine* main = space.processes->find(space.types->find(L"p?main"), args{});
        EXPECT_NE(main, nullptr);
        return vm::compile_process(space, *main, "main");
    }

    // The output, and the number of steps the process took.
    std::pair<std::wstring, int> on_vm()
    {
        vm::compiled c = compiled();
        if (c.refused) return {L"refused: " + widen(c.refused->what), 0};
        vm::processes all;
        vm::fiber& f = all.live.emplace_back(c.code, 0, ++all.started);
        vm::machine m(c.code, 10000, all);
        int steps = 0;
        // Every call is one step; the last one, which finishes the process, gives false.
        do ++steps;
        while (m.step(f));
        return {out, steps};
    }
};

void same_on_both(const std::wstring& text)
{
    const std::wstring tree = program_text(text).on_tree();
    EXPECT_FALSE(tree.empty());
    EXPECT_EQ(program_text(text).on_vm().first, tree) << narrow(text);
}

// The tree prints `printed`, the vm the same, and its process takes `steps` steps when they are given.
void prints_on_both(const std::wstring& text, const std::wstring& printed, std::optional<int> steps = std::nullopt)
{
    const std::wstring tree = program_text(text).on_tree();
    EXPECT_EQ(tree, printed);
    const auto [out, taken] = program_text(text).on_vm();
    EXPECT_EQ(out, tree) << narrow(text);
    if (steps) {
        EXPECT_EQ(taken, *steps);
    }
}

TEST(vm_compiler, numbers_strings_and_conversions_print_as_on_the_tree_interpreter)
{
    same_on_both(L"process main() {\n"
                 L"    int big = 2147483647;\n    ++big;\n    double d = 1.0 / 3.0;\n    bool b = 2 < 2.9;\n"
                 L"    string s = \"v\" + big + \" \" + d + \" \" + b + \" \" + (7 % 3) + \" \" + (7.5 % 2.0);\n"
                 L"    s += 1e+20;\n    int t = d * 10.0;\n    double e = 1 + 2.5;\n"
                 L"    using::write(s + \" \" + t + \" \" + e + \" \" + int(-2.7) + \" \" + (1 + true) + \"\\n\");\n"
                 L"    using::write(\"\" + (\"ab\" < \"b\") + (3 == 3.5) + (2.5 == 2) + (!0) + (!0.5) + (1 && 0.0) + (0 || 2)"
                 L" + (1 && 0.5) + (0.5 || 0) + (true && 0.5) + \"\\n\");\n}\n");
}

TEST(vm_compiler, loops_branches_and_calls_with_globals_behave_as_on_the_tree_interpreter)
{
    same_on_both(L"int total = 0;\nstring log = \"\";\n"
                 L"int square(int x) { return x * x; }\n"
                 L"double half(int x) { return double(x) / 2.0; }\n"
                 L"int pick(int x) { if (x % 2 == 0) { return 1; } else { return 2.9; } }\n"
                 L"nil note(string s) { log += s; }\n"
                 L"process main() {\n    int i = 0;\n    while (true) {\n        ++i;\n"
                 L"        if (i > 10) { break; }\n        if (i % 3 == 0) { continue; }\n"
                 L"        total += square(i) + pick(i);\n        note(\"\" + i);\n        int i = 100;\n    }\n"
                 L"    { int x = total; { int x = 1; total += x; } total += x; }\n"
                 L"    using::write(\"\" + total + \" \" + log + \" \" + half(total) + \" \" + i + \"\\n\");\n}\n");
}

// The statement steps of the language's own worked example of a loop: a declaration, three tests and
// two rounds of two statements each, and the write after the loop.
TEST(vm_compiler, a_process_takes_one_step_per_statement_and_per_loop_test)
{
    const auto [out, steps] = program_text(L"process main() {\n    int i = 1;\n    while (i <= 2) {\n"
                                           L"        using::write(\"a\" + i);\n        ++i;\n    }\n"
                                           L"    using::write(\"\\n\");\n    { }\n}\n").on_vm();
    EXPECT_EQ(out, L"a1a2\n");
    // 1 declaration, 3 tests, 4 body statements, the write, the empty block.
    EXPECT_EQ(steps, 10);
}

// A throw ends its step and the clause's body begins with the next one; matching takes no step, an
// empty clause body takes one, and a throw from a called function ends the step of the call's statement.
TEST(vm_compiler, a_throw_ends_its_step_and_the_clause_runs_from_the_next)
{
    const std::wstring text = L"nil f() { throw 7; }\n"
                              L"process main() {\n    int n = 0;\n"
                              L"    try {\n        ++n;\n        throw n;\n        ++n;\n    }\n"
                              L"    catch (int v) {\n        n += v;\n    }\n"
                              L"    try { ++n; } catch () { }\n"
                              L"    try { throw 1; } catch () { }\n"
                              L"    try { f(); } catch (int v) { n += v; }\n"
                              L"    using::write(\"\" + n + \"\\n\");\n}\n";
    // declaration; ++n, throw, clause; ++n; throw, empty clause; the call, clause; the write.
    prints_on_both(text, L"10\n", 10);
}

// An expansion takes a step of its own, then its body's (an empty body one), as the tree's trace shows.
TEST(vm_compiler, an_inline_expansion_takes_a_step_then_its_bodys)
{
    const std::wstring text = L"inline two(int n) {\n    using::write(\"a\" + n);\n    using::write(\"b\");\n}\n"
                              L"inline none() { }\n"
                              L"process main() {\n    inline two(1);\n    inline none();\n    using::write(\"c\\n\");\n}\n";
    prints_on_both(text, L"a1bc\n", 6);
}

void refused(const std::wstring& text, const std::string& what)
{
    program_text p(text);
    const vm::compiled c = p.compiled();
    ASSERT_TRUE(c.refused.has_value()) << narrow(text);
    EXPECT_NE(c.refused->what.find(what), std::string::npos) << c.refused->what;
    EXPECT_TRUE(c.refused->at.known());
}

TEST(vm_compiler, int_division_by_a_variable_runs_and_rounds_toward_zero)
{
    const std::wstring text = L"process main() {\n    int n = 0 - 3;\n    int q = 7 / n;\n    q += 8 % n;\n"
                              L"    using::write(\"\" + q + \" \" + (0 - 7) % 3 + \"\\n\");\n}\n";
    prints_on_both(text, L"0 -1\n");
}

TEST(vm_compiler, recursive_and_mutually_recursive_calls_run_in_frames)
{
    const std::wstring text = L"int fib(int n) { if (n < 2) { return n; } return fib(n - 1) + fib(n - 2); }\n"
                              L"bool odd(int n) { if (n == 0) { return false; } return even(n - 1); }\n"
                              L"bool even(int n) { if (n == 0) { return true; } return odd(n - 1); }\n"
                              L"process main() {\n    using::write(\"\" + fib(20) + \" \" + odd(7) + even(7) + \"\\n\");\n}\n";
    prints_on_both(text, L"6765 10\n");
}

TEST(vm_compiler, what_it_cannot_run_exactly_is_refused_with_its_place)
{
    refused(L"process main() {\n    try { } catch (int &e) { }\n}\n", "a catch parameter taken by reference");
    // A reference parameter may be a register of the caller, which has no value object a ref could share.
    refused(L"nil f(int &n) { ref r(n); }\nprocess main() {\n    int x = 1;\n    f(x);\n}\n",
            "a ref or reference member bound to a reference parameter of type int");
    // An expansion inside its own body is unrolled level by level; a call's instruction counts the
    // expansions open around it in seven bits.
    refused(L"nil f() { }\ninline g(int n) {\n    f();\n    inline g(n - 1);\n}\nprocess main() {\n    inline g(1);\n}\n",
            "a call inside more than 127 inline expansions");
    // A break that leaves a function would end a loop of its caller.
    refused(L"int f() { break; return 1; }\nprocess main() {\n    while (true) { f(); }\n}\n", "a break or continue outside every loop");
    refused(L"nil f() { }\nprocess main() {\n    using::write(f());\n}\n", "handing a native the nil a function gives");
    // An element handed to a method that two overloads could take: the instance's search decides at run time.
    refused(L"class C { C() { } nil add(string s) { } nil add(int k) { } };\n"
            L"process main() {\n    vector v(1, \"a\");\n    C c;\n    c.add(v.at(0));\n}\n",
            "a method call with an argument whose class only the run knows, which several methods may take");
}

} // namespace
