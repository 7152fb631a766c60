// Inline functions of one namespace, overloaded by exact parameter types.
#pragma once

#include <unordered_map>

#include "table/routine.hpp"

namespace vorla::table {

class inline_ {
public:
    void define(const parameter_list& params, symbol name, control_ptr body);  // "overwrite inline function, ..."
    const routine* find(symbol name, const args& v) const noexcept;
    // Every definition of the name, in the order defined (the vm resolves an expansion when compiling).
    const std::vector<routine>& overloads(symbol name) const noexcept;

private:
    std::unordered_map<symbol, std::vector<routine>> entries_;
};

} // namespace vorla::table
