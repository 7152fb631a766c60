// The constructors of one class, keyed by parameter types.
#pragma once

#include <span>

#include "table/routine.hpp"

namespace vorla::table {

class constructor {
public:
    void define(const parameter_list& params, control_ptr body);  // "overwrite constructor, " + parameter text
    const routine* find(const args& v) const noexcept;
    // Every constructor, in definition order (a compiler reads the member order they declare).
    std::span<const routine> all() const noexcept { return entries_; }

private:
    std::vector<routine> entries_;
};

} // namespace vorla::table
