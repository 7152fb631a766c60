// The process step and the diagnostics for signals that reach the top of a process body.
#include "process.hpp"

#include "expression/signal.hpp"

namespace vorla {

namespace {
constexpr const char* run_name = "vorla::process<wchar_t>::run";

// The value of a ret/thr flow, taken off its way so nothing else sees it again.
value take_in_flight()
{
    value v = std::move(in_flight);
    in_flight.reset();
    return v;
}
} // namespace

bool process::run()
{
    flow f;
    try {
        f = frame->step(context);
    } catch (const sig_throw& t) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected throw ") << t.v->describe();
    } catch (const sig_return& r) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << r.v->describe();
    } catch (const sig_break&) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected break");
    } catch (const sig_continue&) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected continue");
    }
    switch (f) {
    case flow::more:
        return true;
    case flow::done:
        return false;
    case flow::ret:
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << take_in_flight()->describe();
    case flow::thr:
        throw VORLA_EXCEPTION(run_name, "catch unexpected throw ") << take_in_flight()->describe();
    case flow::brk:
        throw VORLA_EXCEPTION(run_name, "catch unexpected break");
    case flow::cont:
        throw VORLA_EXCEPTION(run_name, "catch unexpected continue");
    }
    return false;
}

} // namespace vorla
