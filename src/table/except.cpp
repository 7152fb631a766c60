// The catch clauses of one try statement, chosen by the thrown value's exact type.
#include "table/except.hpp"

namespace vorla::table {

void except::define(const parameter_list& params, control_ptr body)
{
    for (const routine& r : entries_)
        if (same_types(r.params, params)) throw VORLA_EXCEPTION("vorla::table::except::define", "overwrite catch statement");
    entries_.push_back(routine{std::move(body), params, 0});
}

const routine* except::find(const args& v) const noexcept
{
    for (const routine& r : entries_)
        if (matches(r.params, v)) return &r;
    return nullptr;
}

} // namespace vorla::table
