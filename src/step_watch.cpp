// The slow side of the step watch: budgets that come due, the clock, and the observer.
#include "step_watch.hpp"

#include <algorithm>

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

void step_watch::set_marks()
{
    std::uint64_t step = never;
    if (max_steps_) step = after(*max_steps_, 1);
    if (deadline_) step = std::min(step, after(steps_, steps_per_clock_check));
    if (observer_) step = std::min(step, after(steps_, 1));
    step_mark_ = step;

    std::uint64_t tick = never;
    if (max_steps_) tick = after(*max_steps_, 1);
    if (deadline_) tick = std::min(tick, ticks_per_clock_check);
    first_tick_mark_ = tick;
    tick_mark_ = tick;
}

void step_watch::check_clock(const char* function, script_pos at)
{
    if (deadline_ && clock::now() >= *deadline_) {
        const double seconds = std::chrono::duration<double>(allowed_).count();
        spent(VORLA_EXCEPTION(function, "time budget spent, max-time=") << seconds, at);
    }
}

void step_watch::at_step_mark(const process& p)
{
    if (max_steps_ && steps_ > *max_steps_) {
        --steps_;  // the step was refused
        spent(VORLA_EXCEPTION(before_step_name, "step budget spent, max-steps=") << *max_steps_);
    }
    check_clock(before_step_name);
    if (observer_) observer_->before_step(pass_, p);
    set_marks();
}

void step_watch::at_tick_mark(script_pos at)
{
    if (max_steps_ && ticks_ > *max_steps_)
        spent(VORLA_EXCEPTION(tick_name, "step budget spent in one step (calls and loop iterations), max-steps=")
                  << *max_steps_,
              at);
    check_clock(tick_name, at);
    std::uint64_t tick = never;
    if (max_steps_) tick = after(*max_steps_, 1);
    if (deadline_) tick = std::min(tick, after(ticks_, ticks_per_clock_check));
    tick_mark_ = tick;
}

} // namespace vorla
