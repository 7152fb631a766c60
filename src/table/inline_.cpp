// The inline function table: definition and overload lookup by exact argument types.
#include "table/inline_.hpp"

namespace vorla::table {

void inline_::define(const parameter_list& params, symbol name, control_ptr body)
{
    auto& overloads = entries_[name];
    for (const routine& r : overloads)
        if (same_types(r.params, params))
            throw VORLA_EXCEPTION("vorla::table::inline_::define", "overwrite inline function, id=")
                << *name << " " << parameter_text(params);
    overloads.push_back(routine{std::move(body), params, 0});
}

const std::vector<routine>& inline_::overloads(symbol name) const noexcept
{
    static const std::vector<routine> none;
    auto it = entries_.find(name);
    return it == entries_.end() ? none : it->second;
}

const routine* inline_::find(symbol name, const args& v) const noexcept
{
    auto it = entries_.find(name);
    if (it == entries_.end()) return nullptr;
    for (const routine& r : it->second)
        if (matches(r.params, v)) return &r;
    return nullptr;
}

} // namespace vorla::table
