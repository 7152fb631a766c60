// Process definitions of one namespace, keyed by parameter types and process id.
#pragma once

#include <span>
#include <unordered_map>

#include "table/routine.hpp"

namespace vorla::table {

class process {
public:
    void define(const parameter_list& params, type_id_t pid, control_ptr body);  // "overwrite inline function, id=<pid> ..."
    const routine* find(type_id_t pid, const args& v) const noexcept;
    // Every definition of the process, in the order they were made; empty when there is none.
    std::span<const routine> overloads(type_id_t pid) const noexcept;

private:
    std::unordered_map<type_id_t, std::vector<routine>> entries_;
};

} // namespace vorla::table
