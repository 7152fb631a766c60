// The C++ form of the script signals, for value code that has no statement to report to.
#pragma once

#include <new>

#include "expression/expression.hpp"

namespace vorla {

// Script signals travel between statements and across calls as flows (script_signal). Value operations
// run inside C++ interfaces with no runtime at hand: a built-in failure (bad_cast, range_error) and a
// signal left over from a constructor, method or conversion body are raised as one of these instead,
// and the statement step they happen in turns them back into the flow (run_statement). Deliberately not
// std::exception: a handler for interpreter diagnostics must never swallow script control flow.
struct sig_break {};
struct sig_continue {};
struct sig_return {
    value v;
};
// A throw carries the script's account of its way out only when no script handler was running where
// it was raised: then it can only end the run, and every layer it passes adds its position or frame.
// A throw a handler may catch carries none and passes every annotating layer untouched: annotating
// it at each call would make scripts that throw and catch in a loop twice as slow.
struct sig_throw {
    value v;
    trace_ptr trace;
};

// Counts the script handlers running on the current C++ stack (try statements and conversions that
// turn a throw into bad_cast, while their protected part runs) in the run's counter.
class handler_scope {
public:
    explicit handler_scope(unsigned& running) noexcept : running_(running) { ++running_; }
    ~handler_scope() { --running_; }
    handler_scope(const handler_scope&) = delete;
    handler_scope& operator=(const handler_scope&) = delete;

private:
    unsigned& running_;
};

// Raises the signal of flow f (brk, cont, ret or thr; the value and account waiting in s) in its C++
// form, emptying the slot.
[[noreturn]] void raise_signal(flow f, script_signal& s);

// A throw raised in its C++ form while `statement` ran, put in rt.out as its flow.
flow took_throw(sig_throw& t, const control& statement, runtime& rt);

// Memory ran out while `statement` ran: the interpreter error "out of memory" at the statement, which
// no script handler takes.
[[noreturn, gnu::cold]] void ran_out_of_memory(const control& statement);
// The same for a statement known by its place (the vm's, whose statements are code offsets).
[[noreturn, gnu::cold]] void ran_out_of_memory(script_pos statement);

// Turns the C++ form of a signal raised while `statement` runs (by a step or whole) into its flow.
// Inline: with no signal, the handlers cost nothing, and the call through here would.
template <class Run>
[[gnu::always_inline]] inline flow signalled(const control& statement, runtime& rt, Run&& run)
{
    try {
        return run();
    } catch (sig_throw& t) {
        return took_throw(t, statement, rt);
    } catch (const sig_break&) {
        rt.out->at = statement.pos;
        return rt.out->kind = flow::brk;
    } catch (const sig_continue&) {
        rt.out->at = statement.pos;
        return rt.out->kind = flow::cont;
    } catch (const std::bad_alloc&) {
        ran_out_of_memory(statement);
    }
}

// Executes one step of a statement; a throw, break or continue raised in its C++ form during the step
// comes out as the statement's flow, a thrown value and its account in rt.out. (A return out of a
// constructor body is no statement's to take: it keeps travelling as sig_return to the top of the
// process.)
[[gnu::always_inline]] inline flow run_statement(const control& statement, runtime& rt)
{
    return signalled(statement, rt, [&] { return statement.execute(rt); });
}

// Runs a statement whole (control::run), its signals turned into flows as a step's are. Inline: a call's
// body runs every statement through here, and the handlers cost nothing where no signal is raised.
[[gnu::always_inline]] inline flow run_whole(const control& statement, runtime& rt)
{
    return signalled(statement, rt, [&] { return statement.run(rt); });
}

// Runs the statements of a list whole, in order, until one ends with a signal: a block's statements,
// in whatever scope the block runs in.
[[gnu::always_inline]] inline flow run_list(const control_list& statements, runtime& rt)
{
    for (const control_ptr& statement : statements)
        if (flow f = run_whole(*statement, rt); f != flow::done) return f;
    return flow::done;
}

// Runs a call. An error leaving it records the call as a frame of the script's call stack, with the
// description `what()` made only then; the call site is the next position the error meets.
template <class What, class F>
decltype(auto) framed(What&& what, F&& call)
{
    try {
        return call();
    } catch (exception& e) {
        e.script().leave(what());
        throw;
    } catch (sig_throw& s) {
        if (s.trace) s.trace->leave(what());
        throw;
    }
}

// Runs one operation of the node at `p`. An error leaving it is marked with p: the innermost mark is
// the error's place, a later one the call site of a frame it left (see script_trace). Nothing is
// done and nothing is stored when no error happens. `p` is the node's own member, taken by reference:
// a copy would have to stay live across the operation, two registers on every evaluation.
template <class F>
[[gnu::always_inline]] inline decltype(auto) placed(const script_pos& p, F&& operation)
{
    try {
        return operation();
    } catch (exception& e) {
        e.script().mark(p);
        throw;
    } catch (sig_throw& s) {
        if (s.trace) s.trace->mark(p);
        throw;
    }
}

} // namespace vorla
