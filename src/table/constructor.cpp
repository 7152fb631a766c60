// The constructors of one class, chosen by the arguments' exact types.
#include "table/constructor.hpp"

namespace vorla::table {

void constructor::define(const parameter_list& params, control_ptr body)
{
    for (const routine& r : entries_)
        if (same_types(r.params, params))
            throw VORLA_EXCEPTION("vorla::table::constructor::define", "overwrite constructor, " + parameter_text(params));
    entries_.push_back(routine{std::move(body), params, 0});
}

const routine* constructor::find(const args& v) const noexcept
{
    for (const routine& r : entries_)
        if (matches(r.params, v)) return &r;
    return nullptr;
}

} // namespace vorla::table
