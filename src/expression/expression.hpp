// The runtime context and the bases of expression and statement nodes, with the flow of a statement step.
#pragma once

#include <memory>
#include <vector>

#include "factor/factor.hpp"
#include "position.hpp"

namespace vorla {

class nspace;
class scope;

// Where a node runs: the current scope (variables) and the current namespace (functions, types,
// natives; the instance's own namespace inside methods and constructors). Owns nothing.
struct runtime {
    scope* current;
    nspace* space;
};

// An expression node: immutable after compilation, shared freely, evaluated whole.
class expression {
public:
    virtual ~expression() = default;
    virtual value evaluate(runtime& rt) const = 0;
    script_pos pos;  // where the node's construct stands in the script; set once by the compiler
};
using expr = std::shared_ptr<const expression>;
using expr_list = std::vector<expr>;

// Evaluates an argument list left to right into a fresh argument vector.
args evaluate_args(const expr_list& list, runtime& rt);

// What one statement step reports. `done`/`more` are the finished/unfinished answers; the others are
// the script's break, continue, return and throw travelling outward by return value (the value of a
// return or throw waits in `in_flight`). Where a signal must cross an expression (a function call
// inside an expression), it is thrown as sig_break / sig_continue / sig_throw instead; every catcher
// handles both forms.
enum class flow : unsigned char { done, more, brk, cont, ret, thr };

// The returned or thrown value of a `ret` / `thr` flow on its way to its catcher.
inline value in_flight;
// Of a `thr` flow: the throw statement, or the account of a throw that crossed a call on its way.
inline script_pos in_flight_at;
inline trace_ptr in_flight_trace;

// The account of the throw in flight, taken off its way: the one it brought across a call, else a new
// one placed at its throw statement.
inline trace_ptr take_thrown_trace()
{
    trace_ptr t = std::move(in_flight_trace);
    in_flight_trace.reset();
    if (!t) {
        t = std::make_shared<script_trace>();
        t->where = in_flight_at;
    }
    return t;
}

// A statement node. Nodes that keep execution state are cloned per activation; stateless nodes
// (expression statements, jumps, empty statements, process starts) run directly from the compiled tree.
class control {
public:
    virtual ~control() = default;
    virtual flow execute(runtime& rt) = 0;
    virtual std::shared_ptr<control> clone() const = 0;
    // A fresh activation of this statement at the same script position. Every copy goes through here,
    // so no clone() override needs to remember the position.
    std::shared_ptr<control> activation() const
    {
        auto copy = clone();
        copy->pos = pos;
        return copy;
    }
    bool stateful() const noexcept { return stateful_; }
    bool is_block() const noexcept { return block_; }  // a c_compound
    // Keeps no state and declares nothing: runs the same directly in its enclosing scope as in a
    // scope of its own, so a branch or loop body of this kind needs none.
    bool transparent() const noexcept { return transparent_; }
    // The statement the next execute runs: the innermost one a block, branch, loop, try or inline
    // expansion has open, or this one. For people watching the run (the trace); never on a hot path.
    virtual const control* active() const { return this; }

    script_pos pos;  // the statement's first token; set by the compiler, kept by activation()

protected:
    explicit control(bool stateful, bool block = false, bool transparent = false)
        : stateful_(stateful), block_(block), transparent_(transparent) {}

private:
    bool stateful_;
    bool block_;
    bool transparent_;
};
using control_ptr = std::shared_ptr<control>;
using control_list = std::vector<control_ptr>;

} // namespace vorla
