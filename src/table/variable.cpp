// Declaration into a scope's variable table, with the duplicate-variable diagnostic.
#include "table/variable.hpp"

#include <stdexcept>

namespace vorla::table {

const value& variable::declare(symbol name, value v)
{
    if (find(name))
        throw VORLA_EXCEPTION("vorla::table::variable<wchar_t>::declare", "variable already exists, id=")
            << *name << " value=" << v->describe();
    declare_new(name, std::move(v));
    return entries_.back().second;
}

void variable::index_last()
{
    if (index_) {
        index_->emplace(entries_.back().first, entries_.size() - 1);
        return;
    }
    index_ = std::make_unique<std::unordered_map<symbol, std::size_t>>();
    for (std::size_t i = 0; i < entries_.size(); ++i) index_->emplace(entries_[i].first, i);
}

void variable::rebind(symbol name, value v)
{
    if (value* slot = find(name)) {
        *slot = std::move(v);
        return;
    }
    declare(name, std::move(v));
}

const value& variable::at(symbol name)
{
    if (value* slot = find(name)) return *slot;
    throw std::out_of_range("Unable to find key in unordered_map.");
}

} // namespace vorla::table
