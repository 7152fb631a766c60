// The process step and the diagnostics for signals that reach the top of a process body.
#include "process.hpp"

#include "expression/signal.hpp"
#include "nspace.hpp"

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

// The report of a script exception nothing caught: placed at its throw, naming the value.
exception uncaught(const value& thrown, trace_ptr trace)
{
    const std::string text = thrown->describe();
    exception e = VORLA_EXCEPTION(run_name, "catch unexpected throw ") << text;
    e.adopt(std::move(trace));
    e.explain("nothing caught the exception " + text);
    return e;
}
} // namespace

// The process and the ones that started it, outermost last, as frames of the report.
void process::leave(script_trace& trace) const
{
    for (const process_origin* o = origin.get(); o; o = o->up.get()) {
        std::string name = root->type_name(o->pid);
        if (name.rfind("p?", 0) == 0) name.erase(0, 2);
        trace.leave_process("process " + name + "#" + std::to_string(o->serial), o->at);
    }
}

bool process::run()
{
    flow f;
    try {
        f = frame->step(context);
    } catch (sig_throw& t) {
        exception e = uncaught(t.v, std::move(t.trace));
        leave(e.script());
        throw e;
    } catch (const sig_return& r) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << r.v->describe();
    } catch (const sig_break&) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected break");
    } catch (const sig_continue&) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected continue");
    } catch (exception& e) {
        leave(e.script());
        throw;
    }
    switch (f) {
    case flow::more:
        return true;
    case flow::done:
        return false;
    case flow::ret:
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << take_in_flight()->describe();
    case flow::thr: {
        trace_ptr trace = take_thrown_trace();
        exception e = uncaught(take_in_flight(), std::move(trace));
        leave(e.script());
        throw e;
    }
    case flow::brk:
        throw VORLA_EXCEPTION(run_name, "catch unexpected break");
    case flow::cont:
        throw VORLA_EXCEPTION(run_name, "catch unexpected continue");
    }
    return false;
}

} // namespace vorla
