// The runtime context and the bases of expression and statement nodes, with the flow of a statement step.
#pragma once

#include <memory>
#include <vector>

#include "factor/factor.hpp"
#include "position.hpp"

namespace vorla {

class nspace;
class scope;
class stepping_scope;
namespace table {
struct name_key;
}

// What one statement step reports. `done`/`more` are the finished/unfinished answers; the others are
// the script's break, continue, return and throw travelling outward by return value to their catcher.
enum class flow : unsigned char { done, more, brk, cont, ret, thr };

// A break, continue, return or throw on its way out, with the value of a return or throw. A statement
// reports the kind as its flow. Where the signal crosses an expression (a called function's body threw
// or broke out), every node on the way yields an empty handle instead of a value and the signal waits
// here, in the slot of the runtime that made the call, until the statement around the expression
// picks it up.
//
// A throw also carries where it was thrown and, once it has crossed a call while no script handler was
// running (so nothing can catch it and the run will report it), the script's account of its way out.
struct script_signal {
    flow kind = flow::done;
    value v;
    script_pos at;         // of a throw: the throw statement; of a break or continue: where it was
    trace_ptr trace;       // of a throw no handler can catch, made when it first crosses a call

    bool pending() const noexcept { return kind != flow::done; }
    // The value, with the slot emptied for the next signal.
    value take() noexcept
    {
        kind = flow::done;
        trace.reset();
        return std::move(v);
    }
    // The account of a throw, taken off its way: the one it brought across a call, else a new one
    // placed at its throw statement.
    trace_ptr take_trace()
    {
        if (trace) return std::move(trace);
        auto t = std::make_shared<script_trace>();
        t->where = at;
        return t;
    }
    // A throw about to cross a call: with no script handler running it can only end the run, so from
    // here on it carries its account, which every frame it leaves adds to.
    void crossing_call(unsigned handlers_running)
    {
        if (kind == flow::thr && !handlers_running && !trace) trace = take_trace();
    }
};

// Where a node runs: the current scope (variables), the current namespace (functions, types, natives;
// the instance's own namespace inside methods and constructors) and the slot where a signal crossing an
// expression waits. Owns nothing: every script call makes one or two of these, so it holds no slot of
// its own to build and tear down (own_runtime is the one that does).
struct runtime {
    runtime(scope* current, nspace* space, script_signal& out) noexcept : current(current), space(space), out(&out) {}
    runtime(const runtime&) = delete;
    runtime& operator=(const runtime&) = delete;

    scope* current;
    nspace* space;
    script_signal* out;
};

// A runtime with a slot of its own: the start of a process, a global initializer, a call made from
// outside any statement.
struct own_runtime : runtime {
    // The slot's address is only stored here; the slot is constructed right after the base.
    own_runtime(scope* current, nspace* space) noexcept : runtime(current, space, own_) {}

private:
    script_signal own_;
};

// An expression node: immutable after compilation, shared freely, evaluated whole.
class expression {
public:
    virtual ~expression() = default;
    virtual value evaluate(runtime& rt) const = 0;
    // The value's truth, as a branch or loop condition asks it: `done` with the answer in `yes`, or the
    // signal that crossed the expression. A value that cannot be read as bool is refused at pos. Nodes
    // that can answer without making a value (comparisons) override it.
    virtual flow test(runtime& rt, bool& yes) const;
    script_pos pos;  // where the node's construct stands in the script; set once by the compiler
    // Set by a node that names a variable, to its key: a node reading it as an operand finds the handle
    // inline (read_operand) instead of through the virtual call. Null for every other node.
    const table::name_key* variable_key = nullptr;
};
using expr = std::shared_ptr<const expression>;
using expr_list = std::vector<expr>;

// Arguments of a script call, held on the machine stack when there are a few: calling costs no
// allocation for them.
using arg_buffer = boost::container::small_vector<value, 4>;

// Evaluates an argument list left to right into `out`; false when a signal crossed one of them (the
// rest are then not evaluated).
bool evaluate_args(const expr_list& list, runtime& rt, args& out);
bool evaluate_args(const expr_list& list, runtime& rt, arg_buffer& out);

// A statement node: immutable after compilation and shared by every activation. What a statement
// keeps open between its steps (a body, block, try, handler or expansion scope) lives in the scope
// that steps it (stepping_scope::head_state), so starting a statement copies and allocates nothing.
class control {
public:
    virtual ~control() = default;
    // A statement is shared, never copied: its parts may point into it (see stepped_body).
    control(const control&) = delete;
    control& operator=(const control&) = delete;
    // One step: the part of the statement that runs before it yields to the other processes. `more`
    // while it has not finished.
    virtual flow execute(runtime& rt) const = 0;
    // The whole statement at once, for a body that runs inside one step (a call's body and anything in
    // it): the same meaning as stepping until the statement finishes, with the same budget ticks, and
    // never `more`. What stays open between its parts lives on the C++ stack, not in the scope.
    virtual flow run(runtime& rt) const = 0;
    bool is_block() const noexcept { return block_; }  // a c_compound
    // Keeps nothing open and declares nothing: runs the same directly in its enclosing scope as in a
    // scope of its own, so a branch or loop body of this kind needs none.
    bool transparent() const noexcept { return transparent_; }
    // Declares a name in the scope it runs in. A body that runs whole needs a scope of its own only
    // then: every other statement leaves the scope's variables as they were.
    bool declares() const noexcept { return declares_; }
    // The statement the next execute runs, this statement being the head of `s`: the innermost one a
    // block, branch, loop, try or inline expansion has open in s, or this one. For people watching the
    // run (the trace); never on a hot path.
    virtual const control* active(const stepping_scope& s) const;

    // While it holds an inner scope open (a block, or a branch or loop body with a scope of its own),
    // a step of this statement is that scope's step and then only resume: the process may step the
    // inner scope itself and hand the result here, rather than calling down through every statement
    // above it. Blocks, branches and loops; not a try or an inline expansion, whose steps do more
    // around their inner scope's.
    bool plain_holder() const noexcept { return plain_holder_; }
    // What a step of this statement does once the inner scope it holds open in s, or the body it runs
    // straight in s (stepping_scope::head_state::direct, already cleared when it has finished), has taken
    // a step that ended with `inner`: an inner scope is closed when finished, and the statement goes on
    // as its execute would. The plain rule, for a statement that ends with its body: close an inner
    // scope when done, and pass the flow on.
    virtual flow resume(stepping_scope& s, flow inner, runtime& rt) const;

    script_pos pos;  // the statement's first token; set once by the compiler

protected:
    explicit control(bool block = false, bool transparent = false, bool declares = false, bool plain_holder = false)
        : block_(block), transparent_(transparent), declares_(declares), plain_holder_(plain_holder) {}

private:
    bool block_;
    bool transparent_;
    bool declares_;
    bool plain_holder_;
};
using control_ptr = std::shared_ptr<control>;
using control_list = std::vector<control_ptr>;

} // namespace vorla
