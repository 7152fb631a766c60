// The process definition table: keyed by process id and exact parameter types.
#include "table/process.hpp"

namespace vorla::table {

void process::define(const parameter_list& params, type_id_t pid, control_ptr body)
{
    auto& overloads = entries_[pid];
    for (const routine& r : overloads)
        if (same_types(r.params, params))
            // Same words as the inline table: the two were one table type once.
            throw VORLA_EXCEPTION("vorla::table::process::define", "overwrite inline function, id=")
                << pid << " " << parameter_text(params);
    overloads.push_back(routine{std::move(body), params, 0});
}

const routine* process::find(type_id_t pid, const args& v) const noexcept
{
    auto it = entries_.find(pid);
    if (it == entries_.end()) return nullptr;
    for (const routine& r : it->second)
        if (matches(r.params, v)) return &r;
    return nullptr;
}

std::span<const routine> process::overloads(type_id_t pid) const noexcept
{
    auto it = entries_.find(pid);
    if (it == entries_.end()) return {};
    return it->second;
}

} // namespace vorla::table
