// The process value's methods (id, exit), identity and description.
#include "factor/process_.hpp"

#include <type_traits>

#include "factor/boolean.hpp"
#include "factor/unsigned_.hpp"
#include "nspace.hpp"
#include "process.hpp"

// This file lives in the value layer but must not need the runtime library at link time: it only reads
// the process's fields and inline queries.

namespace vorla {

type_id_t process_<process>::type_id() const { return p_->pid; }

bool process_<process>::equal(const value& other) const
{
    if (other->type_id() != type_id()) return false;
    const auto* o = dynamic_cast<const process_<process>*>(other.get());
    return o && o->p_ == p_;
}

std::string process_<process>::describe() const
{
    return narrow(p_->root->types->find_str(p_->pid)) + "(" + detail::format_number(p_->serial) + ")";
}

namespace {

const method_table& process_rows()
{
    static constexpr method_table table({
        {method_name::id, 0},
        {method_name::exit, 0},
    });
    return table;
}

} // namespace

method_signatures process_<process>::methods() { return process_rows().signatures(); }

template <class Ch>
value process_<process>::_method(const method_call<Ch>& c) const
{
    switch (process_rows().find(c)) {
    case method_name::id: return make<unsigned_<unsigned int>>(p_->serial);
    case method_name::exit: return make_boolean(p_->finished());
    default: break;
    }
    if constexpr (std::is_same_v<Ch, char>) refuse("method", call_text(c.name, c.v));
    else refuse("method", call_text(narrow(c.name), c.v));
}

template value process_<process>::_method(const method_call<wchar_t>&) const;
template value process_<process>::_method(const method_call<char>&) const;

} // namespace vorla
