// The catch clauses of one try statement, keyed by parameter types (one parameter or none).
#pragma once

#include "table/routine.hpp"

namespace vorla::table {

class except {
public:
    void define(const parameter_list& params, control_ptr body);  // "overwrite catch statement"
    const routine* find(const args& v) const noexcept;
    // The clauses in the order they were written (the vm compiles each).
    const std::vector<routine>& clauses() const noexcept { return entries_; }

private:
    std::vector<routine> entries_;
};

} // namespace vorla::table
