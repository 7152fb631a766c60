// Scopes (a block's variables; a stepped one also its resumable statement cursor) and name lookup along
// the scope chain.
#pragma once

#include <memory>

#include "expression/expression.hpp"
#include "expression/signal.hpp"
#include "table/variable.hpp"

namespace vorla {

class stepping_scope;
using scope_ptr = std::shared_ptr<stepping_scope>;

// Variables under an enclosing scope: a namespace's global scope, and the frame or block of a body
// that runs whole, which lives on the C++ stack for exactly as long as it runs.
class scope {
public:
    explicit scope(scope* parent = nullptr) : parent(parent) {}
    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;

    scope* parent;
    table::variable variables;
};

// A scope that also runs statements one step at a time, resumable between steps: a process's frame,
// and the bodies, blocks, tries, handlers and expansions a stepped statement holds open.
class stepping_scope : public scope {
public:
    // A scope running one statement (a branch or loop body, a frame's body).
    stepping_scope(scope* parent, const control_ptr& statement) : scope(parent), single_(statement) { rewind(); }
    // A scope running a block's statements in order.
    stepping_scope(scope* parent, std::shared_ptr<const control_list> list) : scope(parent), list_(std::move(list))
    {
        rewind();
    }

    // What the running head statement keeps open between its steps. Only the head statement runs, so
    // one of these per scope holds the state of every statement kind.
    struct head_state {
        scope_ptr inner;                   // its open body, block, try, handler or expansion scope
        // A body it runs straight in this scope, one statement per step: a transparent statement, or a
        // block of them (which needs no scope of its own either). `direct` is the next one to run. The
        // scope steps it itself (step) and hands the statement only the flow that ends it (resume).
        const control_ptr* direct = nullptr;
        const control_ptr* direct_end = nullptr;
        bool handling = false;             // a try statement: `inner` is the handler, not the try body
        scope_ptr spare;                   // a finished body scope kept for the next one (see open_inner)
    };
    head_state head;

    // One step: executes the head statement once under {this, rt.space}; a finished statement leaves the
    // queue. Returns `more` while statements remain, `done` when the queue is empty, or the signal the
    // head statement raised (the queue is then left as it was).
    // Inline: a process takes every step through here, often straight from the scheduler's pass.
    flow step(runtime& rt)
    {
        if (!head_ && !load_head()) return flow::done;
        flow f;
        {
            const entered in(rt, this);
            if (head.direct) {
                // A body the head statement runs straight in this scope: only the step that ends it
                // goes back to the statement.
                f = run_statement(**head.direct, rt);
                if (f == flow::done) {
                    if (++head.direct != head.direct_end) return flow::more;
                    head.direct = nullptr;
                }
                f = head_->resume(*this, f, rt);
            } else {
                f = run_statement(*head_, rt);
            }
        }
        return after_head(f);
    }

    // Whether this scope's next step is only the step of the inner scope its head statement holds open
    // followed by that statement's resume (control::plain_holder): the step may be taken from there.
    // (A scope is held open only by a running head statement.)
    bool steps_through() const noexcept { return head.inner && head_->plain_holder(); }
    // Finishes a step of this scope that steps_through, the inner scope having taken its part with the
    // result `inner` (not `more`): the head statement resumes, and the scope goes on as step does.
    flow resume(flow inner, runtime& rt);

    // The head statement gives way to `next`, the next link of the else-if chain it heads, which the
    // next step executes as the head in its place: a chain is stepped link by link in this one scope,
    // not one scope deeper per link. The statement that gave way keeps `next` alive.
    void hand_head_to(const control* next) noexcept { head_ = next; }

    // Runs the queue of a scope not yet stepped whole, each statement at once (control::run), until it
    // ends or a signal arrives: an inline expansion inside a call.
    flow run(runtime& rt);

    bool finished() const noexcept { return !head_ && next_ == end_; }

    // The statement the next step runs (see control::active); null when the queue is empty.
    const control* active() const;

    // A scope on one statement; a block is given its own scope directly, since the one-statement scope
    // around it would hold no variables and cost no steps of its own.
    static scope_ptr open(scope* parent, const control_ptr& statement);

    // Opens head.inner on the statement, reusing the spare scope of an earlier body when there is one:
    // a loop body or branch costs no allocation per run.
    void open_inner(const control_ptr& statement);
    void open_block(const std::shared_ptr<const control_list>& statements);
    // Closes head.inner: its variables and anything it held open go now, the scope itself is kept as
    // the spare when nothing else holds it.
    void close_inner() noexcept;

private:
    // Points the queue at the first statement of single_ or list_.
    void rewind() noexcept
    {
        if (single_) {
            next_ = &single_;
            end_ = next_ + 1;
        } else if (list_) {
            next_ = list_->data();
            end_ = next_ + list_->size();
        } else {
            next_ = end_ = nullptr;
        }
    }
    bool load_head() noexcept
    {
        if (next_ == end_) return false;
        head_ = (next_++)->get();  // the queue keeps it alive
        return true;
    }
    // The end of a step whose head statement reported f: a finished statement leaves the queue.
    flow after_head(flow f) noexcept
    {
        if (f != flow::done) return f;
        head_ = nullptr;
        return finished() ? flow::done : flow::more;
    }

    // Makes a scope the current one of a runtime for as long as it steps: the step reuses its caller's
    // runtime (namespace and signal slot) rather than building one of its own, and gives it back as it
    // was whichever way the step ends.
    class entered {
    public:
        entered(runtime& rt, scope* s) noexcept : rt_(rt), was_(rt.current) { rt.current = s; }
        ~entered() { rt_.current = was_; }
        entered(const entered&) = delete;
        entered& operator=(const entered&) = delete;

    private:
        runtime& rt_;
        scope* was_;
    };
    // Under `parent`, with no statement running (the caller sets the queue and rewinds it).
    void restart(scope* parent) noexcept;
    // Drops the variables and whatever the head statement held open.
    void clear() noexcept;

    control_ptr single_;                        // a one-statement queue
    std::shared_ptr<const control_list> list_;  // compiled statements, shared with the compiled block
    // The queue as a range over single_ or list_: the first statement not yet started, and the end.
    const control_ptr* next_ = nullptr;
    const control_ptr* end_ = nullptr;
    const control* head_ = nullptr;             // the running head statement
    bool reusable_ = false;                     // made by open(): may be restarted on another body
};

template <class Ch>
struct nlookup;

template <>
struct nlookup<wchar_t> {
    // The variable's own handle, searching this scope and every enclosing one up to the root scope. A
    // name found nowhere is reported at `at`, the naming node's position: the lookup places its own
    // failure, so the hot path has nothing to guard.
    static value& find_variable(scope* s, symbol name, script_pos at = {});
    // The same for a node's own key, inline: a scope whose name mask rules the name out costs one test,
    // and where the mask lets it in, the remembered slot is tried before a search.
    static value& find_variable(scope* s, const table::name_key& key, script_pos at = {})
    {
        for (scope* p = s; p; p = p->parent) {
            if (!p->variables.may_hold(key)) continue;
            if (value* v = p->variables.at_hint(key)) return *v;
            return search_variable(p, key, at);
        }
        return search_variable(nullptr, key, at);
    }
    // The handle the key names when the first scope outward whose mask lets the name in holds it in the
    // key's remembered slot; nullptr otherwise, and the name then needs find_variable's search. A hit is
    // exact: the scopes passed on the way surely lack the name, and the slot's own name is compared.
    // Forced inline: in a large caller (a method call's evaluation) the compiler would otherwise call it.
    [[gnu::always_inline]] static value* find_hinted(scope* s, const table::name_key& key) noexcept
    {
        for (scope* p = s; p; p = p->parent)
            if (p->variables.may_hold(key)) return p->variables.at_hint(key);
        return nullptr;
    }
    // A member of an instance: searches from the instance's global scope through its base instances,
    // never reaching the root scope (global variables).
    static value& find_member(scope* s, symbol name);

private:
    // find_variable's search from s outward, s's mask having let the name in (or s null: not found).
    static value& search_variable(scope* s, const table::name_key& key, script_pos at);
};

// An operand's value: a variable's stored handle read inline when its remembered slot answers (the
// same handle its evaluate yields), any other node, and a variable that needs a search, evaluated.
[[gnu::always_inline]] inline value read_operand(const expression& e, runtime& rt)
{
    if (e.variable_key)
        if (value* v = nlookup<wchar_t>::find_hinted(rt.current, *e.variable_key)) [[likely]] return *v;
    return e.evaluate(rt);
}

} // namespace vorla
