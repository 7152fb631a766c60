// Execution of every statement node, one resumable step at a time or whole; signals carried outward as flows.
#include "expression/statements.hpp"

#include <memory>
#include <utility>

#include "expression/signal.hpp"
#include "nspace.hpp"
#include "table/routine.hpp"

namespace vorla {

// Every statement that keeps something open between its steps keeps it in the state of the scope
// running it (rt.current->head): the compiled statement itself never changes. Run whole, a statement
// keeps the same things in locals of its C++ frame instead; the rules both ways share are written once
// below (test, loop_on, expansion, handler).

const control* control::active(const stepping_scope&) const { return this; }

flow control::resume(stepping_scope& s, flow inner, runtime&) const
{
    if (inner == flow::done && s.head.inner) s.close_inner();
    return inner;
}

namespace {
// The scope a statement's step runs in: a step runs only as the head statement of a stepping scope
// (stepping_scope::step), which the runtime it gets names as current.
stepping_scope& running(const runtime& rt) noexcept { return static_cast<stepping_scope&>(*rt.current); }
} // namespace

flow took_throw(sig_throw& t, const control& statement, runtime& rt)
{
    rt.out->v = std::move(t.v);
    rt.out->at = statement.pos;
    rt.out->trace = std::move(t.trace);
    return rt.out->kind = flow::thr;
}

void ran_out_of_memory(const control& statement) { ran_out_of_memory(statement.pos); }

void ran_out_of_memory(script_pos statement)
{
    // Unwinding to here freed what the statement had made so far, and the diagnostic needs little. Should
    // even that fail, the std::bad_alloc goes on outward, and the driver says "out of memory" unplaced.
    exception e = VORLA_EXCEPTION("vorla::control::execute", "out of memory");
    e.explain("out of memory").mark_out_of_depth();
    e.script().mark(statement);
    throw e;
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
flow step_inner(stepping_scope& s, runtime& rt)
{
    flow f = s.head.inner->step(rt);
    if (f == flow::done) s.close_inner();
    return f;
}

// The body of a branch or loop: a scope of its own, or run directly (see stepped_body). Either way the
// scope steps it (stepping_scope::step), the statement resuming when a step of it ends it or raises a
// signal.
void open_body(stepping_scope& s, const control_ptr& statement, const stepped_body& plan)
{
    if (plan.begin) {
        s.head.direct = plan.begin;
        s.head.direct_end = plan.end;
    } else {
        s.open_inner(statement);
    }
}

// The flow of an expression's value: `done`, or the signal that crossed it instead.
flow crossed(const value& v, const runtime& rt) noexcept { return v ? flow::done : rt.out->kind; }

// Evaluates a branch's or loop's condition: `done` with its truth in `yes`, or the signal that crossed
// it. A value that cannot be read as bool is placed at the condition.
[[gnu::always_inline]] inline flow test(const expression& condition, runtime& rt, bool& yes)
{
    return condition.test(rt, yes);
}

// How a loop goes on once its body has ended with f: `more` (test again, after the body finished or
// continued), `done` (a break ended the loop), or a return or throw going on to an outer catcher.
[[gnu::always_inline]] inline flow loop_on(flow f, script_signal& out) noexcept
{
    switch (f) {
    case flow::done:
        return flow::more;
    case flow::cont:
        out.take();
        return flow::more;
    case flow::brk:
        out.take();
        return flow::done;
    default:
        return f;
    }
}

// Runs `run` in a new scope under the running one; the scope's variables go when it ends.
template <class Run>
flow in_new_scope(runtime& rt, Run&& run)
{
    scope own(rt.current);
    runtime inner{&own, rt.space, *rt.out};
    return run(inner);
}

[[gnu::noinline]] flow run_in_new_scope(const control& body, runtime& rt)
{
    return in_new_scope(rt, [&](runtime& inner) { return run_whole(body, inner); });
}

// Runs a branch or loop body whole: in a scope of its own when it declares a name there, else straight
// in the running scope (a block makes its own scope when it needs one). Inline, with the scope's part
// out of line: most bodies declare nothing, and they cost no call of their own.
[[gnu::always_inline]] inline flow run_body(const control& body, runtime& rt)
{
    if (!body.declares()) [[likely]]
        return run_whole(body, rt);
    return run_in_new_scope(body, rt);
}

[[gnu::noinline]] flow run_list_in_new_scope(const control_list& statements, runtime& rt)
{
    return in_new_scope(rt, [&](runtime& inner) { return run_list(statements, inner); });
}

// The statement the next step of `held` runs, or `outer` when nothing is held open or its queue is
// empty (it has finished its last statement and `outer` runs next).
const control* active_in(const scope_ptr& held, const control* outer)
{
    const control* inner = held ? held->active() : nullptr;
    return inner ? inner : outer;
}

// The body of a branch or loop that `outer` holds open in s.
const control* active_body(const stepping_scope& s, const control* outer)
{
    if (s.head.direct) return (*s.head.direct)->active(s);
    return active_in(s.head.inner, outer);
}

void close_body(stepping_scope& s) noexcept
{
    s.head.direct = nullptr;
    if (s.head.inner) s.close_inner();
}

// How a loop goes on after a step of its body ended with f: `more` while the body or the loop goes on,
// `done` when a break ended it, or a return or throw going outward. A return or throw leaves the body
// open: closing it is the catcher's choice.
[[gnu::always_inline]] inline flow after_body(stepping_scope& s, flow f, script_signal& out) noexcept
{
    if (f == flow::more) return flow::more;
    f = loop_on(f, out);
    if (f == flow::more || f == flow::done) close_body(s);
    return f;
}

} // namespace

c_compound::c_compound(std::shared_ptr<const control_list> list) : control(true, false, false, true), statements(std::move(list))
{
    scoped_ = false;
    flat_ = !statements->empty();
    for (const control_ptr& statement : *statements) {
        scoped_ = scoped_ || statement->declares();
        flat_ = flat_ && statement->transparent();
    }
}

bool c_compound::declared_names(std::vector<symbol>& names) const
{
    for (const control_ptr& statement : *statements) {
        if (!statement->declares()) continue;
        if (const auto* start = dynamic_cast<const c_start_p*>(statement.get())) {
            names.push_back(start->variable);
            continue;
        }
        const auto* single = dynamic_cast<const c_single*>(statement.get());
        const auto* declaration = single ? dynamic_cast<const e_declare*>(single->e.get()) : nullptr;
        if (!declaration) return false;
        for (const expr& d : declaration->declarators) {
            if (const auto* value = dynamic_cast<const e_constructor*>(d.get())) names.push_back(value->name);
            else if (const auto* alias = dynamic_cast<const e_ref_constructor*>(d.get())) names.push_back(alias->name);
            else return false;
        }
    }
    return true;
}

stepped_body::stepped_body(const control_ptr& body) noexcept
{
    if (body->transparent()) {
        begin = &body;
        end = begin + 1;
    } else if (body->is_block() && static_cast<const c_compound&>(*body).flat()) {
        const control_list& list = *static_cast<const c_compound&>(*body).statements;
        begin = list.data();
        end = begin + list.size();
    }
}

flow c_compound::execute(runtime& rt) const
{
    // Opening the block costs no step of its own: its first statement runs in this same call.
    stepping_scope& s = running(rt);
    if (!s.head.inner) s.open_block(statements);
    return resume(s, s.head.inner->step(rt), rt);
}

flow c_compound::run(runtime& rt) const
{
    if (scoped_) return run_list_in_new_scope(*statements, rt);
    return run_list(*statements, rt);
}

// A block not yet open runs its first statement with the step that opens it.
const control* c_compound::active(const stepping_scope& s) const
{
    if (s.head.inner || statements->empty()) return active_in(s.head.inner, this);
    return statements->front()->active(s);
}

flow c_single::execute(runtime& rt) const { return crossed(e->evaluate(rt), rt); }
flow c_single::run(runtime& rt) const { return crossed(e->evaluate(rt), rt); }

flow c_return::execute(runtime& rt) const
{
    value v = read_operand(*e, rt);
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
    stepping_scope& s = running(rt);
    if (s.head.inner) return resume(s, s.head.inner->step(rt), rt);
    bool yes;
    if (flow f = test(*condition, rt, yes); f != flow::done) return f;
    if (!yes) return flow::done;
    open_body(s, then, then_);
    return flow::more;
}

flow c_if::run(runtime& rt) const
{
    bool yes;
    if (flow f = test(*condition, rt, yes); f != flow::done) return f;
    return yes ? run_body(*then, rt) : flow::done;
}

const control* c_if::active(const stepping_scope& s) const { return active_body(s, this); }

c_if_else::c_if_else(expr condition, control_ptr then, control_ptr otherwise, control_list chain)
    : control(false, false, false, true), condition(std::move(condition)), then(std::move(then)),
      otherwise(std::move(otherwise)), then_(this->then), otherwise_(this->otherwise),
      else_if_(dynamic_cast<const c_if_else*>(this->otherwise.get()) || dynamic_cast<const c_if*>(this->otherwise.get())
                   ? this->otherwise.get()
                   : nullptr),
      next_link_(dynamic_cast<const c_if_else*>(this->otherwise.get())), chain_(std::move(chain))
{
}

c_if_else::~c_if_else()
{
    // Each link holds the next, so releasing the head would release the whole chain one frame deeper per
    // link. The head lets go of its own else-branch first (its members are no longer const while it is
    // destroyed); then each link, held only in chain_ by then, goes in turn, letting go of the next
    // one, which chain_ still holds.
    const_cast<control_ptr&>(otherwise).reset();
    for (control_ptr& link : chain_) link.reset();
}

// The test takes a step of its own, and so does each further link's test of an else-if chain.
flow c_if_else::execute(runtime& rt) const
{
    stepping_scope& s = running(rt);
    if (s.head.inner) return resume(s, s.head.inner->step(rt), rt);
    bool yes;
    if (flow f = test(*condition, rt, yes); f != flow::done) return f;
    if (yes) open_body(s, then, then_);
    // The next link needs no scope of its own: a condition declares nothing, and its branch opens its own.
    else if (else_if_) s.hand_head_to(else_if_);
    else open_body(s, otherwise, otherwise_);
    return flow::more;
}

flow c_if_else::run_link(runtime& rt, const c_if_else*& next) const
{
    bool yes;
    if (flow f = test(*condition, rt, yes); f != flow::done) return f;
    if (yes) return run_body(*then, rt);
    if (next_link_) {
        next = next_link_;
        return flow::done;
    }
    return run_body(*otherwise, rt);
}

flow c_if_else::run(runtime& rt) const
{
    const c_if_else* next = nullptr;
    flow f = run_link(rt, next);
    // Each further link runs as it would as this link's else-branch run whole: a signal raised in its
    // C++ form is taken at that link.
    while (next) {
        const c_if_else* link = std::exchange(next, nullptr);
        f = signalled(*link, rt, [&] { return link->run_link(rt, next); });
    }
    return f;
}

const control* c_if_else::active(const stepping_scope& s) const { return active_body(s, this); }

// A finished body does not retest in the same call: every iteration's test is a step of its own, so
// an empty endless loop still yields to other processes.
flow c_while::execute(runtime& rt) const
{
    stepping_scope& s = running(rt);
    if (s.head.inner) return resume(s, s.head.inner->step(rt), rt);
    rt.space->watch->tick(condition->pos);
    rt.space->ctx->cycles.poll();  // between iterations: see cycle_registry
    bool yes;
    if (flow f = test(*condition, rt, yes); f != flow::done) return f;
    if (!yes) return flow::done;
    open_body(s, body, body_);
    return flow::more;
}

flow c_while::resume(stepping_scope& s, flow inner, runtime& rt) const
{
    if (inner == flow::done && s.head.inner) s.close_inner();
    return after_body(s, inner, *rt.out);
}

flow c_while::run(runtime& rt) const
{
    for (;;) {
        // A loop that never ends inside a function call is stopped by a budget, reported at its test.
        rt.space->watch->tick(condition->pos);
        rt.space->ctx->cycles.poll();  // between iterations: see cycle_registry
        bool yes;
        if (flow f = test(*condition, rt, yes); f != flow::done) return f;
        if (!yes) return flow::done;
        if (flow f = loop_on(run_body(*body, rt), *rt.out); f != flow::more) return f;
    }
}

const control* c_while::active(const stepping_scope& s) const { return active_body(s, this); }

namespace {
// Runs a step or the whole of an expansion `statement` opened: an error, or a throw that will end the
// run, leaving it lists the expansion.
template <class Run>
flow expansion(const c_inline& statement, runtime& rt, Run&& run)
{
    const table::inline_nesting level(*rt.space->ctx);
    flow f;
    try {
        f = run();
    } catch (exception& e) {
        e.script().leave("inline " + narrow(*statement.name), statement.pos);
        throw;
    }
    if (f == flow::thr && rt.out->trace) rt.out->trace->leave("inline " + narrow(*statement.name), statement.pos);
    return f;
}
} // namespace

// The expansion's parent is the namespace's global scope, not ours: an inline body cannot see the
// caller's locals, yet its return/break/continue act on the caller's function and loop.
flow c_inline::execute(runtime& rt) const
{
    stepping_scope& s = running(rt);
    if (s.head.inner) return expansion(*this, rt, [&] { return step_inner(s, rt); });
    args v;
    if (!evaluate_args(arguments, rt, v)) return rt.out->kind;
    s.head.inner = placed(pos, [&] { return rt.space->expand_inline(name, v); });
    return flow::more;
}

flow c_inline::run(runtime& rt) const
{
    args v;
    if (!evaluate_args(arguments, rt, v)) return rt.out->kind;
    const scope_ptr frame = placed(pos, [&] { return rt.space->expand_inline(name, v); });
    return expansion(*this, rt, [&] { return frame->run(rt); });
}

const control* c_inline::active(const stepping_scope& s) const { return active_in(s.head.inner, this); }

const control* c_except::active(const stepping_scope& s) const { return active_in(s.head.inner, this); }

flow c_except::execute(runtime& rt) const
{
    stepping_scope& s = running(rt);
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
    s.close_inner();
    args v;
    const table::routine* clause = handler(v, *rt.out);
    if (!clause) return flow::thr;
    // The handler's first step comes with the next call: matching a clause costs no step.
    s.head.inner = table::make_frame(*clause, v, rt.current);
    s.head.handling = true;
    return flow::more;
}

flow c_except::run(runtime& rt) const
{
    flow f;
    {
        const handler_scope handling(rt.space->root()->handlers_running);
        f = run_body(*body, rt);
    }
    if (f != flow::thr) return f;
    args v;
    const table::routine* clause = handler(v, *rt.out);
    return clause ? table::run_frame(*clause, v, rt) : flow::thr;
}

const table::routine* c_except::handler(args& v, script_signal& out) const
{
    v.assign(1, out.v);
    const table::routine* clause = clauses->find(v);
    if (!clause) {
        v.clear();
        clause = clauses->find(v);
    }
    // No clause matches: the throw goes on outward as it came, account and all.
    if (clause) out.take();
    return clause;
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
flow c_constructor::run(runtime& rt) const
{
    for (const expr& e : initializers)
        if (flow f = crossed(e->evaluate(rt), rt); f != flow::done) return f;
    return body->run(rt);
}

} // namespace vorla
