// The process step and the diagnostics for signals that reach the top of a process body.
#include "process.hpp"

#include "expression/signal.hpp"
#include "nspace.hpp"

namespace vorla {

namespace {
constexpr const char* run_name = "vorla::process<wchar_t>::run";
} // namespace

exception uncaught_throw(const value& thrown, trace_ptr trace)
{
    std::string text;
    try {
        text = thrown->describe();
    } catch (exception& refused) {
        // A value too deep to describe: that refusal is the diagnostic, placed where the value was thrown.
        const std::string message = refused.trace() ? refused.trace()->message : std::string();
        refused.adopt(std::move(trace));
        if (!message.empty()) refused.explain(message);
        return refused;
    }
    exception e = VORLA_EXCEPTION(run_name, "catch unexpected throw ") << text;
    e.adopt(std::move(trace));
    e.explain("nothing caught the exception " + text);
    return e;
}

// The process and the ones that started it, outermost last, as frames of the report.
void process::leave(script_trace& trace) const
{
    auto frame_of = [&](type_id_t id, std::uint32_t number, script_pos at) {
        std::string name = root->type_name(id);
        if (name.rfind("p?", 0) == 0) name.erase(0, 2);
        trace.leave_process("process " + name + "#" + std::to_string(number), at);
    };
    auto running = [&](std::uint32_t number) -> const process* {
        for (const auto& p : *root->live)
            if (p->serial == number) return p.get();
        return nullptr;
    };
    frame_of(pid, serial, origin.at);
    std::uint32_t number = origin.starter_serial, up = origin.grand_serial;
    type_id_t id = origin.starter_pid, up_id = origin.grand_pid;
    script_pos at = origin.starter_at;
    // Serials fall along a chain of starts, so the walk ends. A process two levels up that has finished
    // is named without its start, and the walk stops there.
    while (number) {
        frame_of(id, number, at);
        if (const process* p = running(number)) {
            up = p->origin.starter_serial;
            up_id = p->origin.starter_pid;
        }
        if (!up) break;
        number = up;
        id = up_id;
        up = 0;
        at = {};
        if (const process* p = running(number)) {
            at = p->origin.at;
            up = p->origin.starter_serial;
            up_id = p->origin.starter_pid;
        }
    }
}

flow process::step_through()
{
    // Each scope a plain holder opens has the scope holding it as its parent: the way back up.
    stepping_scope* const top = frame.get();
    stepping_scope* s = top;
    do s = s->head.inner.get();
    while (s->steps_through());
    flow f = s->step(context);
    while (f != flow::more && s != top) {
        s = static_cast<stepping_scope*>(s->parent);
        f = s->resume(f, context);
    }
    return f;
}

exception stray_return_report(const value& returned)
{
    return VORLA_EXCEPTION(run_name, "catch unexpected return ") << returned->describe();
}

void process::stray_return(const sig_return& r) { throw stray_return_report(r.v); }

void process::end_with(flow f)
{
    switch (f) {
    case flow::ret:
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << context.out->take()->describe();
    case flow::thr: {
        trace_ptr trace = context.out->take_trace();
        exception e = uncaught_throw(context.out->take(), std::move(trace));
        leave(e.script());
        throw e;
    }
    default: {
        // A break or continue outside every loop, placed at the statement it came from.
        const bool brk = f == flow::brk;
        exception e = VORLA_EXCEPTION(run_name, brk ? "catch unexpected break" : "catch unexpected continue");
        e.explain(std::string(brk ? "a break" : "a continue") + " outside every loop reached the end of the process");
        e.script().mark(context.out->at);
        leave(e.script());
        throw e;
    }
    }
}

} // namespace vorla
