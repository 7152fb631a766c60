// The constructors of one class, keyed by parameter types.
#pragma once

#include "table/routine.hpp"

namespace vorla::table {

class constructor {
public:
    void define(const parameter_list& params, control_ptr body);  // "overwrite constructor, " + parameter text
    const routine* find(const args& v) const noexcept;

private:
    std::vector<routine> entries_;
};

} // namespace vorla::table
