// Execution of every statement node: one resumable step per call, signals carried outward as flows.
#include "expression/statements.hpp"

#include <memory>

#include "expression/signal.hpp"
#include "nspace.hpp"
#include "table/routine.hpp"

namespace vorla {

// Every statement that keeps something open between its steps keeps it in the state of the scope
// running it (rt.current->head): the compiled statement itself never changes.

const control* control::active(const scope&) const { return this; }

flow run_statement(const control& statement, runtime& rt)
{
    try {
        return statement.execute(rt);
    } catch (sig_throw& t) {
        rt.out->v = std::move(t.v);
        rt.out->at = statement.pos;
        rt.out->trace = std::move(t.trace);
        return rt.out->kind = flow::thr;
    } catch (const sig_break&) {
        return rt.out->kind = flow::brk;
    } catch (const sig_continue&) {
        return rt.out->kind = flow::cont;
    }
}

void raise_signal(flow f, script_signal& s)
{
    trace_ptr trace = std::move(s.trace);
    value v = s.take();
    switch (f) {
    case flow::ret:
        throw sig_return{std::move(v)};
    case flow::thr:
        throw sig_throw{std::move(v), std::move(trace)};
    case flow::brk:
        throw sig_break{};
    default:
        throw sig_continue{};
    }
}

namespace {

// Steps the scope the statement holds open. A finished scope is closed and reports `done`; an
// unfinished one reports `more`; a signal goes outward with the scope kept, since only the signal's
// catcher decides what to close.
flow step_inner(scope& s, runtime& rt)
{
    flow f = s.head.inner->step(rt);
    if (f == flow::done) s.close_inner();
    return f;
}

// The body of a branch or loop: a scope of its own, or a transparent statement run directly.
void open_body(scope& s, const control_ptr& statement)
{
    if (statement->transparent()) s.head.direct = statement.get();
    else s.open_inner(statement);
}

bool body_open(const scope& s) noexcept { return s.head.direct || s.head.inner; }

// One step of the open body; a finished body is closed, a signal leaves it open.
flow step_body(scope& s, runtime& rt)
{
    if (s.head.direct) {
        flow f = run_statement(*s.head.direct, rt);
        if (f == flow::done) s.head.direct = nullptr;
        return f;
    }
    return step_inner(s, rt);
}

// The flow of an expression's value: `done`, or the signal that crossed it instead.
flow crossed(const value& v, const runtime& rt) noexcept { return v ? flow::done : rt.out->kind; }

// A condition's truth. A value that cannot be read as bool is placed at the condition.
[[gnu::always_inline]] inline bool holds(const expression& condition, const value& v)
{
    return placed(condition.pos, [&] { return truth(v); });
}

// The statement the next step of `held` runs, or `outer` when nothing is held open or its queue is
// empty (it has finished its last statement and `outer` runs next).
const control* active_in(const scope_ptr& held, const control* outer)
{
    const control* inner = held ? held->active() : nullptr;
    return inner ? inner : outer;
}

// The body of a branch or loop that `outer` holds open in s.
const control* active_body(const scope& s, const control* outer)
{
    if (s.head.direct) return s.head.direct->active(s);
    return active_in(s.head.inner, outer);
}

void close_body(scope& s) noexcept
{
    s.head.direct = nullptr;
    if (s.head.inner) s.close_inner();
}

} // namespace

flow c_compound::execute(runtime& rt) const
{
    // Opening the block costs no step of its own: its first statement runs in this same call.
    scope& s = *rt.current;
    if (!s.head.inner) s.open_block(statements);
    return step_inner(s, rt);
}

// A block not yet open runs its first statement with the step that opens it.
const control* c_compound::active(const scope& s) const
{
    if (s.head.inner || statements->empty()) return active_in(s.head.inner, this);
    return statements->front()->active(s);
}

flow c_single::execute(runtime& rt) const { return crossed(e->evaluate(rt), rt); }

flow c_return::execute(runtime& rt) const
{
    value v = e->evaluate(rt);
    if (!v && rt.out->pending()) return rt.out->kind;
    rt.out->v = std::move(v);
    return rt.out->kind = flow::ret;
}

flow c_throw::execute(runtime& rt) const
{
    value v = e->evaluate(rt);
    if (!v && rt.out->pending()) return rt.out->kind;
    rt.out->v = std::move(v);
    rt.out->at = pos;
    rt.out->trace.reset();
    return rt.out->kind = flow::thr;
}

// The test takes a step of its own; the branch's first step comes with the next call.
flow c_if::execute(runtime& rt) const
{
    scope& s = *rt.current;
    if (body_open(s)) return step_body(s, rt);
    value c = condition->evaluate(rt);
    if (!c && rt.out->pending()) return rt.out->kind;
    if (!holds(*condition, c)) return flow::done;
    open_body(s, then);
    return flow::more;
}

const control* c_if::active(const scope& s) const { return active_body(s, this); }

flow c_if_else::execute(runtime& rt) const
{
    scope& s = *rt.current;
    if (body_open(s)) return step_body(s, rt);
    value c = condition->evaluate(rt);
    if (!c && rt.out->pending()) return rt.out->kind;
    open_body(s, holds(*condition, c) ? then : otherwise);
    return flow::more;
}

const control* c_if_else::active(const scope& s) const { return active_body(s, this); }

// A finished body does not retest in the same call: every iteration's test is a step of its own, so
// an empty endless loop still yields to other processes.
flow c_while::execute(runtime& rt) const
{
    scope& s = *rt.current;
    if (!body_open(s)) {
        // A loop that never ends inside a function call is stopped by a budget, reported at its test.
        rt.space->watch->tick(condition->pos);
        value c = condition->evaluate(rt);
        if (!c && rt.out->pending()) return rt.out->kind;
        if (!holds(*condition, c)) return flow::done;
        open_body(s, body);
        return flow::more;
    }
    switch (flow f = step_body(s, rt)) {
    case flow::more:
        return flow::more;
    case flow::done:
        close_body(s);
        return flow::more;
    case flow::cont:
        rt.out->take();
        close_body(s);
        return flow::more;
    case flow::brk:
        rt.out->take();
        close_body(s);
        return flow::done;
    default:
        return f;  // return and throw belong to an outer catcher
    }
}

const control* c_while::active(const scope& s) const { return active_body(s, this); }

// The expansion's parent is the namespace's global scope, not ours: an inline body cannot see the
// caller's locals, yet its return/break/continue act on the caller's function and loop.
flow c_inline::execute(runtime& rt) const
{
    scope& s = *rt.current;
    if (s.head.inner) {
        const table::inline_nesting level;
        flow f;
        try {
            f = step_inner(s, rt);
        } catch (exception& e) {
            e.script().leave("inline " + narrow(*name), pos);
            throw;
        }
        // A throw that will end the run lists the expansion it leaves.
        if (f == flow::thr && rt.out->trace) rt.out->trace->leave("inline " + narrow(*name), pos);
        return f;
    }
    args v;
    if (!evaluate_args(arguments, rt, v)) return rt.out->kind;
    s.head.inner = placed(pos, [&] { return rt.space->expand_inline(name, v); });
    return flow::more;
}

const control* c_inline::active(const scope& s) const { return active_in(s.head.inner, this); }

const control* c_except::active(const scope& s) const { return active_in(s.head.inner, this); }

flow c_except::execute(runtime& rt) const
{
    scope& s = *rt.current;
    // A throw out of the handler is not ours to match: it leaves the statement.
    if (s.head.handling) {
        flow f = step_inner(s, rt);
        if (f == flow::done) s.head.handling = false;
        return f;
    }

    if (!s.head.inner) s.open_inner(body);
    flow f;
    {
        const handler_scope handling(rt.space->root()->handlers_running);
        f = s.head.inner->step(rt);
    }
    if (f == flow::done) s.close_inner();
    if (f != flow::thr) return f;
    return caught(rt.out->v, rt);
}

flow c_except::caught(const value& thrown, runtime& rt) const
{
    scope& s = *rt.current;
    s.close_inner();
    args v{thrown};
    const table::routine* clause = clauses->find(v);
    if (!clause) {
        v.clear();
        clause = clauses->find(v);
    }
    // No clause matches: the throw goes on outward as it came, account and all.
    if (!clause) return flow::thr;
    rt.out->take();
    // The handler's first step comes with the next call: matching a clause costs no step.
    s.head.inner = table::make_frame(*clause, v, rt.current);
    s.head.handling = true;
    return flow::more;
}

flow c_start_p::execute(runtime& rt) const
{
    args v;
    if (!evaluate_args(arguments, rt, v)) return rt.out->kind;
    rt.current->variables.declare(variable, placed(pos, [&] { return rt.space->start_process(pid, v, pos); }));
    return flow::done;
}

// A constructor never yields: its whole body runs inside the constructor call. Signals go to whoever
// runs the constructor.
flow c_constructor::execute(runtime& rt) const
{
    for (const expr& e : initializers)
        if (flow f = crossed(e->evaluate(rt), rt); f != flow::done) return f;
    for (;;) {
        flow f = body->execute(rt);
        if (f != flow::more) return f;
    }
}

} // namespace vorla
