// The script signals: break, continue, return and throw unwind the interpreter as plain C++ throws.
#pragma once

#include "factor/factor.hpp"
#include "position.hpp"

namespace vorla {

// Deliberately not std::exception: a handler for interpreter diagnostics must never swallow script control flow.
struct sig_break {};
struct sig_continue {};
struct sig_return {
    value v;
};
struct sig_throw {
    value v;
    trace_ptr trace = nullptr;  // where it was thrown and the calls it left, made when first needed

    script_trace& script()
    {
        if (!trace) trace = std::make_shared<script_trace>();
        return *trace;
    }
};

} // namespace vorla

namespace vorla {

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
        s.script().leave(what());
        throw;
    }
}

// Runs one operation of the node at `p`. An error leaving it is marked with p: the innermost mark is
// the error's place, a later one the call site of a frame it left (see script_trace). Nothing is
// done and nothing is stored when no error happens.
template <class F>
decltype(auto) placed(script_pos p, F&& operation)
{
    try {
        return operation();
    } catch (exception& e) {
        e.script().mark(p);
        throw;
    } catch (sig_throw& s) {
        s.script().mark(p);
        throw;
    }
}

} // namespace vorla
