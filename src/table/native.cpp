// The native function table: registered by the driver, found by name alone.
#include "table/native.hpp"

namespace vorla::table {

void native::define(const std::wstring& name, native_function f)
{
    if (!entries_.emplace(name, std::move(f)).second)
        throw VORLA_EXCEPTION("vorla::table::native<wchar_t>::define", "overwrite native function, id=") << name;
}

const native_function& native::at(const std::wstring& name) const { return entries_.at(name); }

std::vector<std::wstring> native::names() const
{
    std::vector<std::wstring> out;
    out.reserve(entries_.size());
    for (const auto& entry : entries_) out.push_back(entry.first);
    return out;
}

} // namespace vorla::table
