// Parameters, routine definitions and call-frame creation, shared by every routine table.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "expression/expression.hpp"
#include "nlookup.hpp"
#include "symbol.hpp"

namespace vorla::table {

struct parameter {
    bool reference;  // declared with '&': bound to the caller's own value
    type_id_t type;
    symbol name;
};
using parameter_list = std::vector<parameter>;

// The entry of the function, inline, process, catch and constructor tables.
struct routine {
    control_ptr body;
    parameter_list params;
    type_id_t return_type = 0;  // function table only
};

// "arguments(type(102) a, type(105) s)"; "arguments()" when empty.
std::string parameter_text(const parameter_list& params);

// Exact overloading: the argument values' type ids equal the parameters' type ids, in order.
bool matches(const parameter_list& params, const args& v) noexcept;
bool same_types(const parameter_list& a, const parameter_list& b) noexcept;

// A new scope under `parent` running a clone of the body, parameters bound in order: a reference
// parameter to the argument's own handle, any other to the argument's clone.
scope_ptr make_frame(const routine& r, const args& v, scope* parent);

} // namespace vorla::table
