// The slow side of the step watch: budgets that come due, the clock, and the observer.
#include "step_watch.hpp"

#include <algorithm>
#include <thread>

#include "exception.hpp"

namespace vorla {

namespace {

constexpr const char* before_step_name = "vorla::step_watch::before_step";
constexpr const char* tick_name = "vorla::step_watch::tick";

std::uint64_t after(std::uint64_t n, std::uint64_t more) noexcept
{
    return n > std::numeric_limits<std::uint64_t>::max() - more ? std::numeric_limits<std::uint64_t>::max() : n + more;
}

// A budget that is spent ends the run: no script handler may catch it and carry on.
[[noreturn]] void spent(exception e, script_pos at = {})
{
    if (at.known()) e.script().mark(at);
    e.script().stops_run = true;
    throw e.mark_out_of_depth();
}

} // namespace

void step_watch::limit_steps(std::uint64_t n)
{
    max_steps_ = n;
    set_marks();
}

void step_watch::limit_time(clock::duration d)
{
    allowed_ = d;
    deadline_ = clock::now() + d;
    set_marks();
}

void step_watch::observe(observer* o)
{
    observer_ = o;
    set_marks();
}

step_watch::call_limits step_watch::begin_call(std::optional<std::uint64_t> steps, std::optional<clock::duration> time)
{
    call_limits saved = call_;
    saved.ticks = ticks_;
    if (steps) {
        const std::uint64_t end = after(steps_, *steps);
        if (!call_.steps || end < call_.step_end) {
            call_.steps = steps;
            call_.step_end = end;
        }
    }
    if (time) {
        const clock::time_point deadline = clock::now() + *time;
        if (!call_.deadline || deadline < *call_.deadline) {
            call_.deadline = deadline;
            call_.allowed = *time;
        }
    }
    // A host call that runs a function counts its calls and loops from nothing, as a step does.
    ticks_ = 0;
    set_marks();
    return saved;
}

void step_watch::end_call(const call_limits& saved)
{
    call_ = saved;
    ticks_ = saved.ticks;
    set_marks();
}

std::uint64_t step_watch::tick_limit() const noexcept
{
    std::uint64_t limit = never;
    if (max_steps_) limit = *max_steps_;
    if (call_.steps) limit = std::min(limit, *call_.steps);
    return limit;
}

void step_watch::set_marks()
{
    std::uint64_t step = never;
    if (max_steps_) step = after(*max_steps_, 1);
    if (call_.steps) step = std::min(step, after(call_.step_end, 1));
    // Always looked at now and then: an interrupt may come at any time.
    step = std::min(step, after(steps_, steps_per_clock_check));
    if (observer_) step = std::min(step, after(steps_, 1));
    step_mark_ = step;

    std::uint64_t tick = after(tick_limit(), 1);
    tick = std::min(tick, ticks_per_clock_check);
    first_tick_mark_ = tick;
    tick_mark_ = tick;
}

void step_watch::wait_until(clock::time_point t)
{
    // The run's own deadline or the host call's, whichever comes first, cuts the wait short.
    clock::time_point cut = t;
    if (deadline_) cut = std::min(cut, *deadline_);
    if (call_.deadline) cut = std::min(cut, *call_.deadline);
    // In slices, so that an interrupt ends the wait soon after it comes.
    constexpr auto slice = std::chrono::milliseconds(50);
    for (clock::time_point now = clock::now(); now < cut; now = clock::now()) {
        std::this_thread::sleep_until(std::min(cut, now + slice));
        check_interrupt(before_step_name);
    }
    if (cut < t) {
        check_clock(before_step_name);
        std::this_thread::sleep_until(t);
    }
}

void step_watch::check_clock(const char* function, script_pos at)
{
    if (!timed()) return;
    const clock::time_point now = clock::now();
    const bool own = deadline_ && now >= *deadline_;
    if (own || (call_.deadline && now >= *call_.deadline)) {
        const double seconds = std::chrono::duration<double>(own ? allowed_ : call_.allowed).count();
        spent(VORLA_EXCEPTION(function, "time budget spent, max-time=") << seconds, at);
    }
}

void step_watch::check_interrupt(const char* function, script_pos at)
{
    if (interrupt_.exchange(false, std::memory_order_relaxed)) spent(VORLA_EXCEPTION(function, "interrupted"), at);
}

void step_watch::at_step_mark(const process& p)
{
    check_step();
    if (observer_) observer_->before_step(pass_, p);
    set_marks();
}

void step_watch::at_step_mark(const vm::fiber& f)
{
    check_step();
    if (observer_) observer_->before_step(pass_, f);
    set_marks();
}

void step_watch::check_step()
{
    const bool own = max_steps_ && steps_ > *max_steps_;
    if (own || (call_.steps && steps_ > call_.step_end)) {
        --steps_;  // the step was refused
        spent(VORLA_EXCEPTION(before_step_name, "step budget spent, max-steps=") << (own ? *max_steps_ : *call_.steps));
    }
    check_clock(before_step_name);
    check_interrupt(before_step_name);
}

void step_watch::at_tick_mark(script_pos at)
{
    if (ticks_ > tick_limit())
        spent(VORLA_EXCEPTION(tick_name, "step budget spent in one step (calls and loop iterations), max-steps=")
                  << tick_limit(),
              at);
    check_clock(tick_name, at);
    check_interrupt(tick_name, at);
    tick_mark_ = std::min(after(tick_limit(), 1), after(ticks_, ticks_per_clock_check));
}

} // namespace vorla
