// The dispatch loop on hand-built code: wrapping int arithmetic, steps that end and resume, calls in
// a register window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "context.hpp"
#include "nspace.hpp"
#include "vm/machine.hpp"

namespace {

using namespace vorla::vm;

unit body(std::vector<instr> code, std::vector<slot> constants, std::uint32_t registers, bool process)
{
    unit u;
    u.code = std::move(code);
    u.constants = std::move(constants);
    u.registers = registers;
    u.process = process;
    return u;
}

// A hand-built program over a namespace of its own (whose watch counts the calls and loop tests), and a
// machine of at most `call_limit` frames stepping a fiber of its unit 0.
struct hand_built {
    explicit hand_built(std::vector<unit> units, unsigned call_limit = 100)
        : p(over(space, std::move(units))), f(p, 0), m(p, call_limit, all)
    {
    }
    static program over(vorla::nspace& space, std::vector<unit> units)
    {
        program p;
        p.space = &space;
        p.units = std::move(units);
        return p;
    }
    vorla::context state;
    vorla::nspace space{state};
    program p;
    fiber f;
    processes all;
    machine m;
};

// r0 = 0; r1 = 3; loop: r2 = r0 < r1; step; unless r2 end; ++r0; step; jump loop. Like a while loop of a
// process: one step per test and one per body statement, the final test one more.
TEST(vm_machine, a_step_ends_at_each_step_instruction_and_the_next_resumes_after_it)
{
    hand_built h({body({{op::constant, 0, 1}, {op::constant, 1, 0}, {op::lt_i, 2, 0, 1}, {op::step},
                        {op::jump_unless, 2, 8}, {op::inc_i, 0}, {op::step}, {op::jump, 2}, {op::end}},
                       {slot::of_int(3), slot::of_int(0)}, 3, true)});
    int steps = 0;
    do ++steps;
    while (h.m.step(h.f));
    // The failing test's step is the last: only jumps lie between it and the end.
    EXPECT_EQ(steps, 7);
    EXPECT_TRUE(h.f.finished());
}

// Results checked inside the program: each comparison must hold, else the body jumps to a second step.
TEST(vm_machine, wrapped_and_converted_results_hold)
{
    hand_built h({body({{op::constant, 0, 0}, {op::inc_i, 0}, {op::constant, 1, 1}, {op::eq_i, 2, 0, 1},
                        {op::jump_unless, 2, 12},
                        {op::constant, 3, 2}, {op::int_of_d, 4, 3}, {op::constant, 5, 3}, {op::eq_i, 2, 4, 5},
                        {op::jump_unless, 2, 12},
                        {op::end}, {op::end}, {op::step}, {op::jump, 12}},
                       {slot::of_int(std::numeric_limits<std::int32_t>::max()),
                        slot::of_int(std::numeric_limits<std::int32_t>::min()), slot::of_double(1e300),
                        slot::of_int(-1)},
                       6, true)});
    // max + 1 wraps to min; 1e300 clamps to the 64-bit maximum, whose low 32 bits are all ones: -1.
    EXPECT_FALSE(h.m.step(h.f)) << "a result did not hold";
}

// Unit 1 doubles its parameter; the caller passes r1 and receives into r0.
TEST(vm_machine, a_call_runs_in_a_window_over_the_callers_registers_and_returns_into_its_register)
{
    unit doubling = body({{op::add_i, 1, 0, 0}, {op::ret, 1}}, {}, 2, false);
    doubling.parameters = 1;
    hand_built h({body({{op::constant, 1, 0}, {op::call, 0, 1, 1}, {op::constant, 2, 1}, {op::eq_i, 3, 0, 2},
                        {op::jump_unless, 3, 6}, {op::end}, {op::step}, {op::jump, 6}},
                       {slot::of_int(21), slot::of_int(42)}, 4, true),
                  doubling});
    EXPECT_FALSE(h.m.step(h.f)) << "the call did not give 42";
}

TEST(vm_machine, calls_beyond_the_frame_bound_end_the_fiber_with_the_depth_report)
{
    hand_built h({body({{op::call, 0, 0, 1}, {op::end}}, {}, 2, true),
                  body({{op::call, 0, 1, 1}, {op::ret, 0}}, {}, 2, false)},  // calls itself for ever
                 50);
    try {
        h.m.step(h.f);
        ADD_FAILURE() << "the runaway calls did not stop";
    } catch (const vorla::exception& e) {
        EXPECT_NE(std::string(e.what()).find("call depth exceeded, depth=50"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(h.f.finished());
}

} // namespace
