// The runtime context and the bases of expression and statement nodes, with the flow of a statement step.
#pragma once

#include <memory>
#include <vector>

#include "factor/factor.hpp"

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

// A statement node: immutable after compilation and shared by every activation. What a statement
// keeps open between its steps (a body, block, try, handler or expansion scope) lives in the scope
// that runs it (scope::head_state), so starting a statement copies and allocates nothing.
class control {
public:
    virtual ~control() = default;
    virtual flow execute(runtime& rt) const = 0;
    bool is_block() const noexcept { return block_; }  // a c_compound
    // Keeps nothing open and declares nothing: runs the same directly in its enclosing scope as in a
    // scope of its own, so a branch or loop body of this kind needs none.
    bool transparent() const noexcept { return transparent_; }

protected:
    explicit control(bool block = false, bool transparent = false) : block_(block), transparent_(transparent) {}

private:
    bool block_;
    bool transparent_;
};
using control_ptr = std::shared_ptr<control>;
using control_list = std::vector<control_ptr>;

} // namespace vorla
