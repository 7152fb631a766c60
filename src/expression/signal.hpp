// The C++ form of the script signals, for value code that has no statement to report to.
#pragma once

#include "expression/expression.hpp"

namespace vorla {

// Script signals travel between statements and across calls as flows (script_signal). Value operations
// run inside C++ interfaces with no runtime at hand: a built-in failure (bad_cast, range_error) and a
// signal left over from a constructor or conversion body are raised as one of these instead, and the
// statement step they happen in turns them back into the flow (run_statement). Deliberately not
// std::exception: a handler for interpreter diagnostics must never swallow script control flow.
struct sig_break {};
struct sig_continue {};
struct sig_return {
    value v;
};
struct sig_throw {
    value v;
};

// Raises the signal of flow f (brk, cont, ret or thr; the value waiting in s) in its C++ form,
// emptying the slot.
[[noreturn]] void raise_signal(flow f, script_signal& s);

// Executes one step of a statement; a throw, break or continue raised in its C++ form during the step
// comes out as the statement's flow, a thrown value in rt.out. (A return out of a constructor body is
// no statement's to take: it keeps travelling as sig_return to the top of the process.)
flow run_statement(const control& statement, runtime& rt);

} // namespace vorla
