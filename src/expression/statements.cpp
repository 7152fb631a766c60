// Execution of every statement node: one resumable step per call, signals carried outward as flows.
#include "expression/statements.hpp"

#include <memory>

#include "expression/signal.hpp"
#include "nspace.hpp"
#include "table/routine.hpp"

namespace vorla {

// A condition's truth. A value that cannot be read as bool is placed at the condition.
static bool condition_holds(const expression& condition, runtime& rt)
{
    value v = condition.evaluate(rt);
    return placed(condition.pos, [&] { return truth(v); });
}

// Steps a scope the statement holds open. A finished scope is released and reports `done`; an
// unfinished one reports `more`; a signal goes outward with the scope kept, since only the signal's
// catcher decides what to release.
static flow step_held(scope_ptr& held, runtime& rt)
{
    flow f = held->step(rt);
    if (f == flow::done) held.reset();
    return f;
}

flow c_compound::execute(runtime& rt)
{
    // Opening the block costs no step of its own: its first statement runs in this same call.
    if (!block_) block_ = std::make_shared<scope>(rt.current, statements);
    return step_held(block_, rt);
}

// A scope held open whose queue is empty has finished its last statement: `outer` runs next.
static const control* active_in(const scope_ptr& held, const control* outer)
{
    const control* inner = held ? held->active() : nullptr;
    return inner ? inner : outer;
}

// A block not yet open runs its first statement with the step that opens it.
const control* c_compound::active() const
{
    if (block_ || statements->empty()) return active_in(block_, this);
    return statements->front()->active();
}

flow c_single::execute(runtime& rt)
{
    e->evaluate(rt);
    return flow::done;
}

flow c_return::execute(runtime& rt)
{
    in_flight = e->evaluate(rt);
    return flow::ret;
}

flow c_throw::execute(runtime& rt)
{
    in_flight = e->evaluate(rt);
    in_flight_at = pos;
    in_flight_trace.reset();
    return flow::thr;
}

void body_state::open(runtime& rt, const control_ptr& statement)
{
    if (statement->transparent()) direct_ = statement.get();
    else scope_ = scope::open(rt.current, statement);
}

flow body_state::step(runtime& rt)
{
    if (direct_) {
        flow f = direct_->execute(rt);
        if (f == flow::done) direct_ = nullptr;
        return f;
    }
    return step_held(scope_, rt);
}

const control* body_state::active(const control* outer) const
{
    if (direct_) return direct_->active();
    return active_in(scope_, outer);
}

// The test takes a step of its own; the branch's first step comes with the next call.
flow c_if::execute(runtime& rt)
{
    if (body_) return body_.step(rt);
    if (!condition_holds(*condition, rt)) return flow::done;
    body_.open(rt, then);
    return flow::more;
}

flow c_if_else::execute(runtime& rt)
{
    if (body_) return body_.step(rt);
    body_.open(rt, condition_holds(*condition, rt) ? then : otherwise);
    return flow::more;
}

// A finished body does not retest in the same call: every iteration's test is a step of its own, so
// an empty endless loop still yields to other processes.
flow c_while::execute(runtime& rt)
{
    if (!body_) {
        // A loop that never ends inside a function call is stopped by a budget, reported at its test.
        placed(condition->pos, [&] { rt.space->watch->tick(); });
        if (!condition_holds(*condition, rt)) return flow::done;
        body_.open(rt, body);
        return flow::more;
    }
    flow f;
    try {
        f = body_.step(rt);
    } catch (const sig_break&) {
        // Thrown rather than returned when the break came out of a function called in an expression.
        body_.release();
        return flow::done;
    } catch (const sig_continue&) {
        body_.release();
        return flow::more;
    }
    switch (f) {
    case flow::more:
        return flow::more;
    case flow::done:
    case flow::cont:
        body_.release();
        return flow::more;
    case flow::brk:
        body_.release();
        return flow::done;
    default:
        return f;  // return and throw belong to an outer catcher
    }
}

// The expansion's parent is the namespace's global scope, not ours: an inline body cannot see the
// caller's locals, yet its return/break/continue act on the caller's function and loop.
flow c_inline::execute(runtime& rt)
{
    if (expansion_) {
        const table::inline_nesting level;
        try {
            return step_held(expansion_, rt);
        } catch (exception& e) {
            e.script().leave("inline " + narrow(*name), pos);
            throw;
        } catch (sig_throw_unhandled& s) {
            s.script().leave("inline " + narrow(*name), pos);
            throw;
        }
    }
    args v = evaluate_args(arguments, rt);
    expansion_ = placed(pos, [&] { return rt.space->expand_inline(name, v); });
    return flow::more;
}

const control* c_inline::active() const { return active_in(expansion_, this); }

const control* c_except::active() const
{
    if (handler_) return active_in(handler_, this);
    return active_in(try_, this);
}

flow c_except::execute(runtime& rt)
{
    // A throw out of the handler is not ours to match: it leaves the statement.
    if (handler_) return step_held(handler_, rt);

    if (!try_) try_ = scope::open(rt.current, body);
    value thrown;
    try {
        const handler_scope handling;
        flow f = try_->step(rt);
        switch (f) {
        case flow::done:
            try_.reset();
            return flow::done;
        case flow::thr:
            thrown = std::move(in_flight);
            in_flight.reset();
            break;
        default:
            return f;
        }
    } catch (sig_throw& s) {
        // A throw from a value operation or out of a function called in an expression.
        thrown = std::move(s.v);
        in_flight_trace = std::move(s.trace);
    }
    return caught(thrown, rt);
}

flow c_except::caught(const value& thrown, runtime& rt)
{
    try_.reset();
    args v{thrown};
    const table::routine* clause = clauses->find(v);
    if (!clause) {
        v.clear();
        clause = clauses->find(v);
    }
    if (!clause) {
        in_flight = thrown;
        return flow::thr;
    }
    in_flight_trace.reset();
    // The handler's first step comes with the next call: matching a clause costs no step.
    handler_ = table::make_frame(*clause, v, rt.current);
    return flow::more;
}

flow c_start_p::execute(runtime& rt)
{
    args v = evaluate_args(arguments, rt);
    rt.current->variables.declare(variable, placed(pos, [&] { return rt.space->start_process(pid, v, pos); }));
    return flow::done;
}

// A constructor never yields: its whole body runs inside the constructor call. Signals go to whoever
// runs the constructor.
flow c_constructor::execute(runtime& rt)
{
    for (const expr& e : initializers) e->evaluate(rt);
    for (;;) {
        flow f = body->execute(rt);
        if (f != flow::more) return f;
    }
}

} // namespace vorla
