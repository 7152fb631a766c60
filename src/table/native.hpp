// Native functions reachable as using::name(args), by name only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "factor/factor.hpp"
#include "lib/hash.hpp"

namespace vorla::table {

using native_function = std::function<value(args&)>;

class native {
public:
    void define(const std::wstring& name, native_function f);  // "overwrite native function, id=" + name
    // The function, or the map's standard out-of-range error.
    const native_function& at(const std::wstring& name) const;
    bool has(const std::wstring& name) const { return entries_.find(name) != entries_.end(); }
    // Every defined name, in no particular order.
    std::vector<std::wstring> names() const;

private:
    lib::hash<std::wstring, native_function> entries_;
};

} // namespace vorla::table
