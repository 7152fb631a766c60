// The scope step, running a stepping scope's queue whole, and the two name walks.
#include "nlookup.hpp"

#include "expression/signal.hpp"
#include "expression/statements.hpp"
#include "nspace.hpp"

namespace vorla {

flow stepping_scope::resume(flow inner, runtime& rt)
{
    // Closing a scope and moving a loop on raise no signal: nothing here needs run_statement.
    const entered in(rt, this);
    return after_head(head_->resume(*this, inner, rt));
}

flow stepping_scope::run(runtime& rt)
{
    const entered in(rt, this);
    for (const control_ptr* p = next_; p != end_; ++p)
        if (flow f = run_whole(**p, rt); f != flow::done) return f;
    return flow::done;
}

const control* stepping_scope::active() const
{
    if (head_) return head_->active(*this);
    if (next_ != end_) return (*next_)->active(*this);
    return nullptr;
}

scope_ptr stepping_scope::open(scope* parent, const control_ptr& statement)
{
    scope_ptr s = statement->is_block()
                      ? std::make_shared<stepping_scope>(parent, static_cast<const c_compound&>(*statement).statements)
                      : std::make_shared<stepping_scope>(parent, statement);
    s->reusable_ = true;
    return s;
}

void stepping_scope::restart(scope* p) noexcept
{
    parent = p;
    head_ = nullptr;
}

void stepping_scope::clear() noexcept
{
    variables.clear();
    head_ = nullptr;
    head.direct = nullptr;
    head.handling = false;
    if (head.inner) close_inner();
}

void stepping_scope::open_inner(const control_ptr& statement)
{
    if (statement->is_block()) return open_block(static_cast<const c_compound&>(*statement).statements);
    if (!head.spare) {
        head.inner = open(this, statement);
        return;
    }
    head.inner = std::move(head.spare);
    stepping_scope& s = *head.inner;
    s.restart(this);
    if (s.single_ != statement) s.single_ = statement;
    s.list_.reset();
    s.rewind();
}

void stepping_scope::open_block(const std::shared_ptr<const control_list>& statements)
{
    if (!head.spare) {
        head.inner = std::make_shared<stepping_scope>(this, statements);
        head.inner->reusable_ = true;
        return;
    }
    head.inner = std::move(head.spare);
    stepping_scope& s = *head.inner;
    s.restart(this);
    if (s.list_ != statements) s.list_ = statements;
    s.single_.reset();
    s.rewind();
}

void stepping_scope::close_inner() noexcept
{
    scope_ptr closing = std::move(head.inner);
    if (closing->reusable_ && closing.use_count() == 1) {
        closing->clear();
        head.spare = std::move(closing);
    }
}

// Out of line and cold: building the report inline would weigh on every successful lookup.
[[noreturn, gnu::cold, gnu::noinline]] static void no_variable(symbol name, script_pos at)
{
    exception e = VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_variable", "reffer to undefined id, id=") << *name;
    if (at.known()) e.script().mark(at);
    e.explain("no variable named '" + narrow(*name) + "'");
    // `return;` and `throw;` parse as expressions naming a variable.
    if (*name == L"return" || *name == L"throw")
        e.hint("`" + narrow(*name) + "` needs a value after a space, as in `" + narrow(*name) +
               " 0;`; a function body that simply ends returns nil");
    throw e;
}

[[noreturn, gnu::cold, gnu::noinline]] static void no_member(symbol name)
{
    throw VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_member", "undefined member, ")
              .explain("no member named '" + narrow(*name) + "'")
        << *name;
}

value& nlookup<wchar_t>::find_variable(scope* s, symbol name, script_pos at)
{
    for (scope* p = s; p; p = p->parent)
        if (value* v = p->variables.find(name)) return *v;
    no_variable(name, at);
}

value& nlookup<wchar_t>::search_variable(scope* s, const table::name_key& key, script_pos at)
{
    for (scope* p = s; p; p = p->parent)
        if (p->variables.may_hold(key))
            if (value* v = p->variables.find(key)) return *v;
    no_variable(key.name, at);
}

value& nlookup<wchar_t>::find_member(scope* s, symbol name)
{
    for (scope* p = s; p; p = p->parent) {
        if (value* v = p->variables.find(name)) return *v;
        if (!p->parent || !p->parent->parent) break;
    }
    no_member(name);
}

} // namespace vorla
