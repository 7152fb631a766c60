// The scope step, run-to-completion and the two name walks.
#include "nlookup.hpp"

#include "expression/statements.hpp"
#include "nspace.hpp"

namespace vorla {

bool scope::load_head()
{
    // Stateless statements run straight from the compiled tree; only stateful ones need a clone.
    if (single_) {
        owned_ = single_->stateful() ? single_->activation() : std::move(single_);
        single_.reset();
        head_ = owned_.get();
        return true;
    }
    if (!list_ || next_ >= list_->size()) return false;
    const control_ptr& next = (*list_)[next_++];
    if (next->stateful()) {
        owned_ = next->activation();
        head_ = owned_.get();
    } else {
        head_ = next.get();  // list_ keeps it alive
    }
    return true;
}

flow scope::step(runtime& rt)
{
    if (!head_ && !load_head()) return flow::done;
    nspace& root = *rt.space->root();
    if (root.steps_left == 0) throw VORLA_EXCEPTION("vorla::scope::step", "step limit reached");
    --root.steps_left;
    runtime inner{this, rt.space};
    flow f = head_->execute(inner);
    if (f == flow::done) {
        head_ = nullptr;
        owned_.reset();
        return finished() ? flow::done : flow::more;
    }
    return f;
}

flow scope::run(runtime& rt)
{
    for (;;) {
        flow f = step(rt);
        if (f != flow::more) return f;
    }
}

const control* scope::active() const
{
    if (head_) return head_->active();
    if (single_) return single_->active();
    if (list_ && next_ < list_->size()) return (*list_)[next_]->active();
    return nullptr;
}

std::shared_ptr<scope> scope::open(scope* parent, const control_ptr& statement)
{
    if (statement->is_block())
        return std::make_shared<scope>(parent, static_cast<const c_compound&>(*statement).statements);
    return std::make_shared<scope>(parent, statement);
}

value& nlookup<wchar_t>::find_variable(scope* s, symbol name)
{
    for (scope* p = s; p; p = p->parent)
        if (value* v = p->variables.find(name)) return *v;
    exception e = VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_variable", "reffer to undefined id, id=") << *name;
    e.explain("no variable named '" + narrow(*name) + "'");
    // `return;` and `throw;` parse as expressions naming a variable.
    if (*name == L"return" || *name == L"throw")
        e.hint("`" + narrow(*name) + "` needs a value after a space, as in `" + narrow(*name) +
               " 0;`; a function body that simply ends returns nil");
    throw e;
}

value& nlookup<wchar_t>::find_member(scope* s, symbol name)
{
    for (scope* p = s; p; p = p->parent) {
        if (value* v = p->variables.find(name)) return *v;
        if (!p->parent || !p->parent->parent) break;
    }
    throw VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_member", "undefined member, ")
              .explain("no member named '" + narrow(*name) + "'")
        << *name;
}

} // namespace vorla
