// The scope step, run-to-completion and the two name walks.
#include "nlookup.hpp"

namespace vorla {

bool scope::load_head()
{
    const control_ptr* next;
    if (single_) {
        next = &single_;
    } else if (list_ && next_ < list_->size()) {
        next = &(*list_)[next_];
    } else {
        return false;
    }
    head_ = (*next)->stateful() ? (*next)->clone() : *next;
    if (single_) single_.reset();
    else ++next_;
    return true;
}

flow scope::step(runtime& rt)
{
    if (!head_ && !load_head()) return flow::done;
    runtime inner{this, rt.space};
    flow f = head_->execute(inner);
    if (f == flow::done) {
        head_.reset();
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

value& nlookup<wchar_t>::find_variable(scope* s, symbol name)
{
    for (scope* p = s; p; p = p->parent)
        if (value* v = p->variables.find(name)) return *v;
    throw VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_variable", "reffer to undefined id, id=") << *name;
}

value& nlookup<wchar_t>::find_member(scope* s, symbol name)
{
    for (scope* p = s; p; p = p->parent) {
        if (value* v = p->variables.find(name)) return *v;
        if (!p->parent || !p->parent->parent) break;
    }
    throw VORLA_EXCEPTION("vorla::nlookup<wchar_t>::find_member", "undefined member, ") << *name;
}

} // namespace vorla
