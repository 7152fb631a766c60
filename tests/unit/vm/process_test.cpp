// Several processes on the vm beside the tree interpreter: start order, interleaving, copies of the
// arguments, the process frames of a failure and what the others do after it.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

#include "vorla/vorla.hpp"
#include "engine_options.hpp"

namespace {

using vm_test::refused;

// The output of a whole run, and of a failure its diagnostic, its report and how many processes the
// failure left live; after it the run goes on, as a host may, with the processes still live.
std::string run(const std::string& source, bool vm, bool system = false)
{
    std::ostringstream out;
    vorla::interpreter_options o = writing_to(out, vm);
    o.natives.system = system;
    vorla::interpreter i(o);
    i.compile_string("t.vl", source);
    i.start("main");
    std::string failures;
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            i.run();
            break;
        } catch (const vorla::script_error& e) {
            failures += "\n--\n" + std::string(e.what()) + "\n--\n" + e.report() + "\nlive " + std::to_string(i.processes());
        }
    }
    return out.str() + failures;
}

void same_on_both(const std::string& source, bool system = false)
{
    const std::string tree = run(source, false, system);
    EXPECT_FALSE(tree.empty());
    EXPECT_EQ(run(source, true, system), tree) << source;
}

TEST(vm_processes, starts_and_steps_interleave_in_the_tree_interpreters_order)
{
    // Started in a loop, by a function, by a started process (stepped later in the same pass), an empty
    // body (ends in its first step), loops and branches taking one step per test.
    same_on_both("int done = 0;\n"
                 "process leaf(int k) { using::write(\"leaf\" + k + \" \"); ++done; }\n"
                 "process empty() { }\n"
                 "process mid(int k, string tag) {\n    using::write(tag + k + \" \");\n"
                 "    process::leaf a(k * 10);\n    if (k > 1) { using::write(\"big \"); } else { using::write(\"small \"); }\n"
                 "    process::empty e;\n    using::write(tag + \"end \");\n}\n"
                 "nil spawn(int k) { process::leaf l(k + 100); }\n"
                 "process main() {\n    int i = 0;\n    while (i < 3) {\n        process::mid m(i, \"m\");\n        ++i;\n    }\n"
                 "    spawn(5);\n    while (done < 4) { }\n    using::write(\"main sees \" + done + \"\\n\");\n}\n");
}

TEST(vm_processes, vectors_and_instances_are_copied_by_their_classes_as_the_process_starts)
{
    // The copy constructor runs in the starting statement's step; the started process changes its own
    // copies only. A copy constructor's throw is caught by the starter's try, its error fails the start.
    const std::string widget = "class W {\n    int n;\n    W() : n(1) { }\n"
                               "    W(W& o) : n(o.n+ 10) { using::write(\"copy \" + o.n+ \" \"); if (o.n> 5) { throw o.n; }"
                               " if (o.n< 0) { int k = o.zz; } }\n};\n";
    same_on_both(widget + "process p(vector v, W w) {\n    v.push_back(2);\n    w.n+= 100;\n"
                          "    using::write(\"p \" + v.size() + \" \" + w.n+ \" \");\n}\n"
                          "process main() {\n    vector v(1, 1);\n    W w;\n    process::p a(v, w);\n"
                          "    using::write(\"main \" + v.size() + \" \" + w.n+ \" \");\n    w.n= 7;\n"
                          "    try { process::p b(v, w); } catch (int e) { using::write(\"caught \" + e + \" \"); }\n"
                          "    w.n= 0 - 1;\n    process::p c(v, w);\n}\n");
}

TEST(vm_processes, a_process_value_tells_its_process_and_refuses_the_rest)
{
    // Its text, id and end, while it runs and after (the scheduler has dropped it); a value read in a
    // loop and passed on; a refusal of its class ends the run as the tree interpreter's does.
    same_on_both("process two() { using::write(\"t1 \"); using::write(\"t2 \"); }\n"
                 "process idle() { }\n"
                 "process main() {\n    process::idle i;\n    process::two t;\n"
                 "    using::write(using::debug(t) + \" \" + t.id() + \" \" + t.exit() + \" \" + i.exit() + \" \");\n"
                 "    while (!t.exit()) { using::write(\"wait \"); }\n"
                 "    using::write(using::debug(t.exit()) + \" \" + using::debug(t.id()) + \"\\n\");\n"
                 "    t.id(1);\n}\n");
    same_on_both("process two() { using::write(\"t \"); }\nprocess main() {\n    process::two t;\n    t.stop();\n}\n");
    same_on_both("process two() { using::write(\"t \"); }\nprocess main() {\n    process::two t;\n    t = t;\n}\n");
}

TEST(vm_processes, a_failure_names_the_processes_that_started_it_and_the_others_run_on)
{
    // A grandchild divides by zero inside a function while its starter and main still run (its report
    // names both, with the starts), then after the host goes on, a child whose starter has ended fails;
    // the process left runs to its end.
    same_on_both("int split(int n) { return 10 / n; }\n"
                 "process grand(int n) { using::write(\"g\" + n + \" \"); using::write(\"\" + split(n)); }\n"
                 "process child(int n) {\n    process::grand g(n);\n    using::write(\"c \");\n    using::write(\"c \");\n}\n"
                 "process late() { int k = 0; while (k < 6) { ++k; } using::write(\"late \" + split(k - 6)); }\n"
                 "process steady() { int k = 0; while (k < 10) { ++k; } using::write(\"steady done\\n\"); }\n"
                 "process main() {\n    process::steady s;\n    process::child c(0);\n    process::late l;\n"
                 "    using::write(\"main \");\n    using::write(\"main \");\n}\n");
}

// Branches taken and not, loops left by their test, by break and by continue, nested and empty blocks,
// a loop and an if as a body's last statement, processes started by processes: every shape of step.
const std::string shapes =
    "int calls = 0;\n"
    "int count(int n) { int k = 0; while (k < n) { ++k; } ++calls; return k; }\n"
    "process branchy(int n) {\n    int i = 0;\n    while (true) {\n        ++i;\n"
    "        if (i % 2 == 0) { continue; }\n        if (i > n) { break; } else { using::write(\"b\" + i + \" \"); }\n"
    "        { }\n    }\n    { { using::write(\"b end \"); } }\n    if (i > 100) { using::write(\"never\"); }\n}\n"
    "process looper(int n) {\n    process::branchy b(n);\n    while (n > 0) { --n; using::write(\"l\" + count(n) + \" \"); if (n > 1) { } else { } }\n"
    "    while (calls < 0) { }\n    if (calls > 0) { }\n}\n"
    "process main() {\n    process::looper a(3);\n    { }\n    process::looper c(1);\n"
    "    if (calls < 1000) { using::write(\"main \"); }\n}\n";

// The output after each host step, and how many processes are live then.
std::string stepped(bool vm)
{
    std::ostringstream out;
    vorla::interpreter i(writing_to(out, vm));
    i.compile_string("t.vl", shapes);
    i.start("main");
    std::string seen;
    while (i.step()) seen += out.str() + " | " + std::to_string(i.processes()) + "\n";
    i.run_for(5);
    return seen + out.str();
}

TEST(vm_processes, host_steps_advance_every_process_as_on_the_tree_interpreter)
{
    const std::string tree = stepped(false);
    EXPECT_NE(tree.find("b end"), std::string::npos) << tree;
    EXPECT_EQ(stepped(true), tree);
}

// A run under a step budget of n: its output and its report (where each other process stood).
std::string budgeted(const std::string& source, std::uint64_t n, bool vm, bool per_call)
{
    std::ostringstream out;
    vorla::interpreter_options o = writing_to(out, vm);
    if (!per_call) o.step_budget = n;
    vorla::interpreter i(o);
    i.compile_string("t.vl", source);
    i.start("main");
    std::string seen;
    try {
        if (per_call) i.run({n, {}});
        else i.run();
    } catch (const vorla::script_error& e) {
        seen = "\n--\n" + std::string(e.what()) + "\n--\n" + e.report();
    }
    // A budget of one call leaves the processes ready for the next (a bounded one: a process may spin).
    if (per_call) i.run_for(50);
    return out.str() + seen + "\nlive " + std::to_string(i.processes());
}

TEST(vm_processes, step_budgets_stop_at_the_same_step_and_report_every_process)
{
    // Spent between steps, and inside one step by the calls and loop tests of a function (count(n)
    // takes n + 1 tests and one call).
    const std::string inside = "int count(int n) { int k = 0; while (k < n) { ++k; } return k; }\n"
                               "process side() { while (true) { if (true) { } else { } } }\n"
                               "process main() {\n    process::side s;\n    using::write(\"\" + count(3));\n"
                               "    using::write(\"\" + count(40));\n}\n";
    for (std::uint64_t n : {1u, 7u, 12u, 13u, 30u, 41u, 60u, 61u, 62u})
        for (bool per_call : {false, true}) {
            for (const std::string* source : {&shapes, &inside}) {
                const std::string tree = budgeted(*source, n, false, per_call);
                EXPECT_EQ(budgeted(*source, n, true, per_call), tree) << "budget " << n << (per_call ? " per call" : "");
            }
        }
    EXPECT_NE(budgeted(inside, 30, false, false).find("in one step"), std::string::npos);
}

// The trace the run writes to a file.
std::string traced(const std::string& source, bool vm)
{
    std::FILE* file = std::tmpfile();
    std::ostringstream out;
    vorla::interpreter_options o = writing_to(out, vm);
    o.trace_fd = fileno(file);
    {
        vorla::interpreter i(o);
        i.compile_string("t.vl", source);
        i.start("main");
        i.run();
    }
    std::rewind(file);
    std::string lines;
    for (int c; (c = std::fgetc(file)) != EOF;) lines += static_cast<char>(c);
    std::fclose(file);
    return out.str() + "\n" + lines;
}

TEST(vm_processes, a_sleep_anywhere_in_a_step_keeps_the_process_out_of_the_passes_until_it_wakes)
{
    // Sleeps from a function and from a constructor the class code runs for the vm are the fiber's; two in
    // one step add up (0.2 s against the other's 0.15 s); a refused length is a catchable range_error.
    same_on_both("class Nap {\n    int n;\n    Nap() : n(0) { using::sleep(0.15); }\n};\n"
                 "nil doze(double s) { using::sleep(s); using::sleep(s); }\n"
                 "process twice() { doze(0.1); using::write(\"twice woke \"); }\n"
                 "process once() { Nap n; using::write(\"once woke \"); }\n"
                 "process main() {\n    process::twice t;\n    process::once o;\n"
                 "    try { using::sleep(-1); } catch (range_error e) { using::write(\"refused \"); }\n"
                 "    int i = 0;\n    while (i < 3) { ++i; }\n    using::write(\"main ends \" + i + \" \");\n}\n",
                 true);
}

TEST(vm_processes, a_reference_parameter_shares_the_starters_value_whatever_holds_it)
{
    // Shared: a local, a process's by-value parameter handed on, a function's local that outlives the
    // call, a global, a member, a vector, a fresh value, a reference parameter handed on and named again,
    // a catch and an inline parameter (boxed as the clause or expansion begins: the trace sees no step).
    const std::string source = ("class Box {\n    int n;\n    Box() : n(0) { }\n};\nint g = 0;\n"
                 "process bump(int &n, string &s, int times) {\n    while (times > 0) { ++n; s += \"+\"; --times; }\n}\n"
                 "process relay(int &n) {\n    process::bump b(n, \"fresh\", 1);\n    int &alias = n;\n    alias += 10;\n}\n"
                 "process grow(vector &v) { v.push_back(v.size()); }\n"
                 "nil spawn(int k) { int mine = k; string t = \"f\"; process::bump b(mine, t, 2); }\n"
                 "process handed(int k, string t) {\n    process::bump b(k, t, 1);\n    while (!b.exit()) { }\n"
                 "    using::write(\"handed \" + k + \" \" + t + \"\\n\");\n}\n"
                 "inline twice(int k) { process::bump a(k, \"i\", 1); process::bump b(k, \"i\", 1); using::write(\"k=\" + k); }\n"
                 "process main() {\n    int total = 0;\n    string trail = \"\";\n    Box box;\n    vector v(0, 0);\n"
                 "    try { throw 5; } catch (int e) { process::bump a(e, trail, 1); using::write(\"e=\" + e); }\n"
                 "    inline twice(1);\n"
                 "    process::bump a(total, trail, 3);\n    process::bump c(g, trail, 2);\n    process::bump d(box.n, trail, 1);\n"
                 "    process::relay r(total);\n    process::grow w(v);\n    process::handed h(5, \"h\");\n    spawn(7);\n"
                 "    int i = 0;\n    while (i < 12) { ++i; }\n"
                 "    using::write(\"total=\" + total + \" g=\" + g + \" box=\" + box.n+ \" \" + trail + \" v=\" + v.size() + \"\\n\");\n}\n");
    const std::string tree = traced(source, false);
    EXPECT_NE(tree.find("total=14 g=2 box=1"), std::string::npos) << tree;
    EXPECT_EQ(traced(source, true), tree);
}

TEST(vm_processes, a_process_the_host_starts_shares_the_hosts_values_taken_by_reference)
{
    for (const bool vm : {false, true}) {
        std::ostringstream out;
        vorla::interpreter i(writing_to(out, vm));
        i.compile_string("t.vl", "process add(int &n, vector &v, int k) { n += k; v.push_back(n); }\n");
        const vorla::script_value n = vorla::make_int(1), v = vorla::make_vector({});
        i.start("add", {n, v, vorla::make_int(2)});
        i.run();
        EXPECT_EQ(n.as_int(), 3) << (vm ? "vm" : "tree");
        EXPECT_EQ(v.describe(), "vector[int(3)]") << (vm ? "vm" : "tree");
    }
}

// Values the host hands by value are copies the process may change; a copy's failure is the start's, as on
// the tree interpreter.
TEST(vm_processes, a_process_the_host_starts_gets_copies_of_held_values)
{
    const std::string source = "class c { int k; c() : k(1) { } c(c& o) : k(o.k) { throw \"no copy\"; } };\nc g;\n"
                               "process show(string s, vector v, double d) { s += \"!\"; v.push_back(s);"
                               " using::write(s + \" \" + v.size() + \" \" + d); }\n"
                               "process take(c x) { using::write(\"taken\"); }\n";
    const auto outcome = [&](bool vm) {
        std::ostringstream out;
        vorla::interpreter i(writing_to(out, vm));
        i.compile_string("t.vl", source);
        const vorla::script_value s = vorla::make_string("hé"), v = vorla::make_vector({vorla::make_int(1)});
        i.start("show", {s, v, vorla::make_double(0.5)});
        i.run();
        std::string seen = out.str() + " | " + s.describe() + " " + v.describe();
        try {
            i.start("take", {i.global("g")});
            i.run();
        } catch (const vorla::script_error& e) {
            seen += " | " + std::string(e.what()) + " | " + e.report();
        }
        return seen;
    };
    const std::string tree = outcome(false);
    EXPECT_NE(tree.find("hé! 2 0.5 | string(hé) vector[int(1)] | "), std::string::npos) << tree;
    EXPECT_NE(tree.find("nothing caught the exception string(no copy)"), std::string::npos) << tree;
    EXPECT_EQ(outcome(true), tree);
}

// By default a program runs on the vm, and on the tree interpreter from the first start the vm refuses
// while none of its processes is live; a refusal while one is live is the host's to see.
TEST(vm_processes, the_default_engine_takes_the_tree_interpreter_only_for_what_the_vm_refuses)
{
    const std::string source = "nil f() { }\nprocess odd() { using::write(f()); }\n"
                               "process main() { int k = 0; while (k < 3) { ++k; using::write(k); } }\n";
    std::ostringstream tree_out;
    vorla::interpreter tree(writing_to(tree_out, false));
    tree.compile_string("t.vl", source);
    tree.start("odd");
    tree.start("main");
    tree.run();

    std::ostringstream out;
    vorla::interpreter_options o;
    o.output = &out;
    vorla::interpreter chosen(o);
    chosen.compile_string("t.vl", source);
    chosen.start("main");
    chosen.step();
    EXPECT_THROW(chosen.start("odd"), vorla::engine_refusal);
    chosen.run();
    chosen.start("odd");  // nothing of the vm is live: this and what follows go to the tree interpreter
    chosen.start("main");
    chosen.run();
    EXPECT_EQ(out.str(), "123" + tree_out.str());
}

TEST(vm_processes, a_sleeping_process_the_host_stops_leaves_at_once)
{
    for (const bool vm : {false, true}) {
        std::ostringstream out;
        vorla::interpreter_options o = writing_to(out, vm);
        o.natives.system = true;
        vorla::interpreter i(o);
        i.compile_string("t.vl", "process nap() { using::write(\"a\"); using::sleep(100); using::write(\"b\"); }\n");
        vorla::process_handle h = i.start("nap");
        i.step();
        EXPECT_FALSE(h.finished());
        h.stop();
        EXPECT_TRUE(h.finished());
        EXPECT_EQ(i.processes(), 0u) << (vm ? "vm" : "tree");
        i.run();
        EXPECT_EQ(out.str(), "a");
    }
}

TEST(vm_processes, a_lone_process_stopped_inside_its_step_takes_no_step_after_it)
{
    // Alone, a process of the vm runs on into its next steps inside the machine: the stop sends it back.
    for (const bool vm : {false, true}) {
        std::ostringstream out;
        vorla::interpreter i(writing_to(out, vm));
        std::optional<vorla::process_handle> h;
        i.define_native("halt", [&](const std::vector<vorla::script_value>&) {
            h->stop();
            return vorla::make_nil();
        });
        i.compile_string("t.vl", "process loop() {\n    using::write(\"a\");\n    using::halt();\n    using::write(\"b\");\n}\n");
        h = i.start("loop");
        i.run();
        EXPECT_EQ(out.str(), "a") << (vm ? "vm" : "tree");
        EXPECT_TRUE(h->finished());
    }
}

TEST(vm_processes, the_trace_names_each_step_as_on_the_tree_interpreter)
{
    const std::string tree = traced(shapes, false);
    EXPECT_NE(tree.find("pass 3: branchy#3 at t.vl:"), std::string::npos) << tree;
    EXPECT_EQ(traced(shapes, true), tree);
}

TEST(vm_processes, what_the_vm_cannot_start_exactly_is_refused_at_the_start)
{
    // The value of a start is not kept; values copied by their classes, and references, are not passed.
    refused("process p(int k) { }\nprocess main() {\n    vector v(1, 1);\n    process::p a(v.at(0));\n}\n",
            "a process started with ");
    refused("process p(int &n) { }\nnil f(int &n) { process::p a(n); }\nprocess main() {\n    int n = 0;\n    f(n);\n}\n",
            "a reference parameter of a function handed on to a process by reference at t.vl:2:");
    refused("process p() { }\nprocess main() {\n    process::p a;\n    process::p a;\n}\n",
            "a second declaration of a in one block");
    // A refusal in a started process's body is found before anything runs.
    refused("process p() { try { } catch (int &e) { } }\nprocess main() {\n    using::write(\"x\");\n    process::p a;\n}\n",
            "a catch parameter taken by reference at t.vl:1:");
}

// A process alone runs its next steps without going back to the scheduler: a host's run_for still
// counts one pass per step, and a process it starts takes its turns from the next pass on.
TEST(vm_processes, a_lone_process_takes_exactly_the_passes_a_host_gives_it)
{
    const std::string source = "int n = 0;\nprocess other() { using::write(\"o\" + n + \" \"); using::write(\"o \"); }\n"
                               "process main() {\n    ++n;\n    using::write(\"\" + n + \" \");\n    ++n;\n"
                               "    while (n < 6) { ++n; using::write(\"\" + n + \" \"); }\n    process::other p;\n"
                               "    ++n;\n    using::write(\"\" + n + \" \");\n    ++n;\n    using::write(\"end \");\n}\n";
    const auto passes = [&](bool vm) {
        std::ostringstream out;
        vorla::interpreter i(writing_to(out, vm));
        i.compile_string("t.vl", source);
        i.start("main");
        std::string seen;
        for (std::uint64_t k : {1u, 2u, 3u, 1u, 4u, 2u, 1u, 100u}) {
            i.run_for(k);
            seen += out.str() + "| ";
        }
        return seen;
    };
    const std::string tree = passes(false);
    EXPECT_NE(tree.find("o6 o 7"), std::string::npos) << tree;
    EXPECT_EQ(passes(true), tree);
}

} // namespace
