// The script signals: break, continue, return and throw unwind the interpreter as plain C++ throws.
#pragma once

#include "factor/factor.hpp"

namespace vorla {

// Deliberately not std::exception: a handler for interpreter diagnostics must never swallow script control flow.
struct sig_break {};
struct sig_continue {};
struct sig_return {
    value v;
};
struct sig_throw {
    value v;
};

} // namespace vorla
