// Watches a run: counts scheduler steps and the calls and loop iterations inside them, so that a step or
// time budget stops a runaway script, and shows every step to an observer (the trace).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>

#include "position.hpp"

namespace vorla {

class process;
namespace vm {
class fiber;
}

class step_watch {
public:
    // Sees each scheduler step just before it runs.
    class observer {
    public:
        virtual ~observer() = default;
        virtual void before_step(std::uint64_t pass, const process& p) = 0;
        // The same for a process of the vm.
        virtual void before_step(std::uint64_t pass, const vm::fiber& f) = 0;
    };

    using clock = std::chrono::steady_clock;

    // At most this many scheduler steps in all, and at most this many calls and loop iterations within
    // any one step (a function that never returns runs inside a single step).
    void limit_steps(std::uint64_t n);
    // The run may go on until this much wall-clock time has passed from now.
    void limit_time(clock::duration d);
    void observe(observer* o);
    // Asks the run to stop, as Ctrl-C does: at the next step boundary, or within a step that does not end
    // (a loop or a call), at its next iteration or call. Safe from a signal handler or another thread.
    void interrupt() noexcept { interrupt_.store(true, std::memory_order_relaxed); }
    // Waits, using no processor, until `t`, or until the time budget is spent, which ends the run.
    void wait_until(clock::time_point t);

    // The limits of one host call (interpreter::run, step, call), on top of the budgets above: steps
    // counted from the call's start, and a deadline. What begin_call replaces, for end_call to put back.
    struct call_limits {
        std::optional<std::uint64_t> steps;
        std::uint64_t step_end = 0;  // the step count past which a step is refused
        std::optional<clock::time_point> deadline;
        clock::duration allowed{};
        std::uint64_t ticks = 0;  // the calls and loop iterations of the step the call began in
    };
    // A budget nested in another is held to the tighter of the two.
    call_limits begin_call(std::optional<std::uint64_t> steps, std::optional<clock::duration> time);
    void end_call(const call_limits& saved);

    // The driver's loop starts a scheduler pass.
    void begin_pass() noexcept { ++pass_; }
    std::uint64_t pass() const noexcept { return pass_; }
    std::uint64_t steps() const noexcept { return steps_; }

    // The scheduler is about to step p. Costs one compare unless something watches.
    void before_step(const process& p)
    {
        if (++steps_ >= step_mark_) at_step_mark(p);
        ticks_ = 0;
        tick_mark_ = first_tick_mark_;
    }
    void before_step(const vm::fiber& f)
    {
        if (++steps_ >= step_mark_) at_step_mark(f);
        ticks_ = 0;
        tick_mark_ = first_tick_mark_;
    }
    // The next pass and step at once, for a scheduler whose one live process runs on into its next step
    // without leaving the machine: false, counting nothing, when a mark is due (a budget, the clock, the
    // interrupt, an observer), which the scheduler's own before_step must then see.
    bool quiet_step() noexcept
    {
        if (steps_ + 1 >= step_mark_) return false;
        ++pass_;
        ++steps_;
        ticks_ = 0;
        tick_mark_ = first_tick_mark_;
        return true;
    }
    // The scheduler must see the next step (a process of the vm slept or was stopped in this one): a
    // step mark comes due, so that quiet_step goes back to it.
    void call_scheduler() noexcept { step_mark_ = steps_ + 1; }
    // A call or loop iteration inside the current step. Costs one compare unless a budget is due. A
    // budget spent here is reported at `at` (a loop's test), when the caller knows a script position.
    void tick(script_pos at = {})
    {
        if (++ticks_ >= tick_mark_) at_tick_mark(at);
    }
    // tick() in two halves, for the vm, whose loop turns what the second half raises into the failure of
    // the process: whether the count has come to a mark, and what is due there (a budget spent, the
    // clock, an interrupt).
    bool tick_due() noexcept { return ++ticks_ >= tick_mark_; }
    // n ticks at once, for the vm's constructions that count several calls, when none of them would reach
    // the mark (else it ticks them one by one, as the tree does).
    bool ticks_fit(std::uint64_t n) const noexcept { return ticks_ + n < tick_mark_; }
    void add_ticks(std::uint64_t n) noexcept { ticks_ += n; }
    void at_tick_mark(script_pos at);

private:
    static constexpr std::uint64_t never = std::numeric_limits<std::uint64_t>::max();
    // The clock and the interrupt are read every this many steps or in-step ticks, not at each.
    static constexpr std::uint64_t steps_per_clock_check = 64;
    static constexpr std::uint64_t ticks_per_clock_check = 4096;

    void at_step_mark(const process& p);
    void at_step_mark(const vm::fiber& f);
    // Budgets, the clock and the interrupt at a step mark; the observer is told of the step after.
    void check_step();
    void check_clock(const char* function, script_pos at = {});
    void check_interrupt(const char* function, script_pos at = {});
    void set_marks();
    // The most calls and loop iterations one step may take under the budgets; never for none.
    std::uint64_t tick_limit() const noexcept;
    bool timed() const noexcept { return deadline_ || call_.deadline; }

    std::uint64_t pass_ = 0;
    std::uint64_t steps_ = 0;
    // Until a budget or an observer sets them, the marks come round for the interrupt alone.
    std::uint64_t step_mark_ = steps_per_clock_check;  // the step count at which at_step_mark runs
    std::uint64_t ticks_ = 0;                          // calls and loop iterations in the current step
    std::uint64_t tick_mark_ = ticks_per_clock_check;
    std::uint64_t first_tick_mark_ = ticks_per_clock_check;

    std::optional<std::uint64_t> max_steps_;
    std::optional<clock::time_point> deadline_;
    clock::duration allowed_{};
    observer* observer_ = nullptr;
    call_limits call_;
    std::atomic<bool> interrupt_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "interrupt() is called from signal handlers");
};

} // namespace vorla
