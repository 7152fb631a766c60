// Step and time budgets stop a script between steps and inside one step; the trace shows every step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "../compiler/compiled_program.hpp"
#include "driver/trace.hpp"
#include "process.hpp"
#include "step_watch.hpp"
#include "vm/machine.hpp"

namespace vorla::test {
namespace {

class watched_program : public compiled_program {
protected:
    // Runs like the driver: one pass after another until no process is left.
    void drive(const std::wstring& text)
    {
        compile(text);
        space.start_process(L"main", args{});
        while (!space.live->empty()) {
            space.watch->begin_pass();
            space.schedule();
        }
    }

    std::string failure_of(const std::wstring& text)
    {
        try {
            drive(text);
        } catch (const std::exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "no failure for: " << narrow(text);
        return {};
    }
};

const std::wstring three_lines = L"process main() { using::write(\"a\"); using::write(\"b\"); using::write(\"c\"); }";

TEST_F(watched_program, a_step_budget_stops_the_run_after_that_many_steps)
{
    space.watch->limit_steps(2);
    const std::string report = failure_of(three_lines);
    EXPECT_HAS(report, "step budget spent, max-steps=2");
    EXPECT_EQ(out, L"ab");
    EXPECT_EQ(space.watch->steps(), 2u);
}

TEST_F(watched_program, a_budget_as_large_as_the_run_is_not_spent)
{
    space.watch->limit_steps(3);
    drive(three_lines);
    EXPECT_EQ(out, L"abc");
    EXPECT_EQ(space.watch->steps(), 3u);
}

TEST_F(watched_program, a_step_budget_of_zero_runs_nothing)
{
    space.watch->limit_steps(0);
    EXPECT_HAS(failure_of(three_lines), "step budget spent, max-steps=0");
    EXPECT_EQ(out, L"");
}

TEST_F(watched_program, a_loop_that_never_ends_inside_a_call_is_stopped)
{
    space.watch->limit_steps(1000);
    const std::string report = failure_of(LR"(
        int spin() { bool on = true; while (on) { } return 0; }
        process main() { using::write("before"); spin(); using::write("after"); })");
    EXPECT_HAS(report, "step budget spent in one step (calls and loop iterations), max-steps=1,000");
    EXPECT_EQ(out, L"before");
}

TEST_F(watched_program, calls_that_take_too_long_inside_one_step_are_stopped)
{
    // Exponential recursion: never deep, so only the count of calls stops it.
    space.watch->limit_steps(5000);
    const std::string report = failure_of(LR"(
        int f(int n) { if (n == 0) { return 1; } return f(n - 1) + f(n - 1); }
        process main() { using::write(f(40)); })");
    EXPECT_HAS(report, "step budget spent in one step");
}

TEST_F(watched_program, a_script_handler_cannot_catch_a_spent_budget)
{
    space.watch->limit_steps(100);
    const std::string report = failure_of(LR"(
        int spin() { bool on = true; while (on) { } return 0; }
        process main() {
            try { spin(); } catch () { using::write("caught"); }
            using::write("went on");
        })");
    EXPECT_HAS(report, "step budget spent");
    EXPECT_EQ(out, L"");
}

TEST_F(watched_program, a_time_budget_stops_a_loop_inside_a_call)
{
    space.watch->limit_time(std::chrono::milliseconds(0));
    const std::string report = failure_of(LR"(
        int spin() { bool on = true; while (on) { } return 0; }
        process main() { spin(); })");
    EXPECT_HAS(report, "time budget spent, max-time=0");
}

TEST_F(watched_program, a_time_budget_stops_endless_steps)
{
    space.watch->limit_time(std::chrono::milliseconds(0));
    const std::string report = failure_of(LR"(
        process main() { bool on = true; while (on) { using::write("."); } })");
    EXPECT_HAS(report, "time budget spent");
    EXPECT_GT(space.watch->steps(), 0u);
}

TEST_F(watched_program, no_budget_leaves_long_steps_alone)
{
    drive(LR"(
        int count(int n) { int i = 0; while (i < n) { ++i; } return i; }
        process main() { using::write(count(100000)); })");
    EXPECT_EQ(out, L"100000");
}

// Reads back what the trace wrote to a temporary file.
class traced_program : public watched_program {
protected:
    std::FILE* file = std::tmpfile();
    std::string traced()
    {
        std::string text;
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        return text;
    }
    ~traced_program() override { std::fclose(file); }
};

TEST_F(traced_program, one_line_per_step_in_the_order_the_steps_run)
{
    {
        driver::trace_writer trace(fileno(file), false);
        space.watch->observe(&trace);
        drive(LR"(
            process worker(string name) { using::write(name); using::write(name); }
            process main() { process::worker a("a"); process::worker b("b"); })");
        space.watch->observe(nullptr);
    }
    EXPECT_EQ(out, L"aabb");
    EXPECT_EQ(traced(),
              "pass 1: main#1\n"
              "pass 1: worker#2\n"
              "pass 2: main#1\n"
              "pass 2: worker#2\n"
              "pass 2: worker#3\n"
              "pass 3: worker#3\n");
}

TEST_F(traced_program, the_trace_ends_with_the_step_a_budget_refused)
{
    {
        driver::trace_writer trace(fileno(file), false);
        space.watch->observe(&trace);
        space.watch->limit_steps(2);
        EXPECT_HAS(failure_of(three_lines), "step budget spent");
        space.watch->observe(nullptr);
    }
    EXPECT_EQ(traced(), "pass 1: main#1\npass 2: main#1\n");
}

// What a pipe holds right now, without waiting.
std::string drain(int fd)
{
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    return text;
}

TEST_F(watched_program, a_trace_to_a_terminal_is_written_line_by_line_else_in_blocks)
{
    compile(L"process main() { }");
    space.start_process(L"main", args{});
    const process& p = *space.live->front();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    {
        driver::trace_writer lines(fds[1], true);
        lines.before_step(7, p);
        EXPECT_EQ(drain(fds[0]), "pass 7: main#1\n");
        driver::trace_writer blocks(fds[1], false);
        blocks.before_step(8, p);
        EXPECT_EQ(drain(fds[0]), "");
        blocks.flush();
        EXPECT_EQ(drain(fds[0]), "pass 8: main#1\n");
        blocks.before_step(9, p);
    }  // a trace that ends writes what it holds
    EXPECT_EQ(drain(fds[0]), "pass 9: main#1\n");
    ::close(fds[0]);
    ::close(fds[1]);
}

// What kind of statement each step is about to run, as the trace's position column will show it.
class statement_recorder final : public step_watch::observer {
public:
    std::vector<std::string> seen;
    void before_step(std::uint64_t, const process& p) override
    {
        const control* c = p.frame->active();
        std::string kind = !c                                            ? "none"
                           : dynamic_cast<const c_while*>(c)             ? "while"
                           : dynamic_cast<const c_start_p*>(c)           ? "start"
                           : dynamic_cast<const c_single*>(c)            ? "expression"
                           : dynamic_cast<const c_if*>(c)                ? "if"
                           : dynamic_cast<const c_compound*>(c)          ? "block"
                                                                         : "other";
        seen.push_back(std::to_string(p.serial) + " " + kind);
    }
    void before_step(std::uint64_t, const vm::fiber& f) override { seen.push_back(std::to_string(f.serial()) + " vm"); }
};

TEST_F(watched_program, each_step_knows_the_innermost_statement_it_runs)
{
    statement_recorder recorder;
    space.watch->observe(&recorder);
    drive(LR"(
        process counter(int n) {
            int i = 1;
            while (i <= n) { if (i > 0) { using::write(i); } ++i; }
        }
        process main() { using::write("go"); { process::counter a(2); } })");
    space.watch->observe(nullptr);
    EXPECT_EQ(out, L"go12");
    const std::vector<std::string> expected{
        "1 expression", "1 start",                       // main; the nested block opens with its first statement
        "2 expression", "2 while", "2 if", "2 expression", "2 expression",  // i = 1, test, if test, write, ++i
        "2 while", "2 if", "2 expression", "2 expression", "2 while"};
    EXPECT_EQ(recorder.seen, expected);
}

} // namespace
} // namespace vorla::test
