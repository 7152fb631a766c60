// Scopes (a block's variables plus its resumable statement cursor) and name lookup along the scope chain.
#pragma once

#include <memory>

#include "expression/expression.hpp"
#include "table/variable.hpp"

namespace vorla {

class scope {
public:
    // A namespace's global scope: variables only, no statements.
    explicit scope(scope* parent = nullptr) : parent(parent) {}
    // A scope running one statement (a branch or loop body, a call frame's body).
    scope(scope* parent, const control_ptr& statement) : parent(parent), single_(statement) {}
    // A scope running a block's statements in order.
    scope(scope* parent, std::shared_ptr<const control_list> list) : parent(parent), list_(std::move(list)) {}

    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;

    scope* parent;
    table::variable variables;

    // One step: executes the head statement once under {this, rt.space}; a finished statement leaves the
    // queue. Returns `more` while statements remain, `done` when the queue is empty, or the signal the
    // head statement raised (the queue is then left as it was).
    flow step(runtime& rt);

    // Steps until the queue is empty or a signal arrives.
    flow run(runtime& rt);

    bool finished() const noexcept { return !head_ && !single_ && (!list_ || next_ >= list_->size()); }

    // The statement the next step runs (see control::active); null when the queue is empty.
    const control* active() const;

    // A scope on one statement; a block is given its own scope directly, since the one-statement scope
    // around it would hold no variables and cost no steps of its own.
    static std::shared_ptr<scope> open(scope* parent, const control_ptr& statement);

private:
    bool load_head();

    control_ptr single_;                        // a one-statement queue, not yet started
    std::shared_ptr<const control_list> list_;  // compiled statements, shared with the compiled block
    std::size_t next_ = 0;                      // first statement of list_ not yet started
    control* head_ = nullptr;                   // the running head statement
    control_ptr owned_;                         // the head's private clone, when it keeps state
};
using scope_ptr = std::shared_ptr<scope>;

template <class Ch>
struct nlookup;

template <>
struct nlookup<wchar_t> {
    // The variable's own handle, searching this scope and every enclosing one up to the root scope.
    static value& find_variable(scope* s, symbol name);
    // A member of an instance: searches from the instance's global scope through its base instances,
    // never reaching the root scope (global variables).
    static value& find_member(scope* s, symbol name);
};

} // namespace vorla
