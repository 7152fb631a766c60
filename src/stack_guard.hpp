// How much machine stack is left: deep recursion (parser, compiler, calls) stops before it overflows.
#pragma once

#include <cstddef>

namespace vorla {

// True when less than the reserve is left on the current thread's stack. Cheap: one comparison
// after the first call on a thread.
bool stack_exhausted() noexcept;

// The reserve kept free for error handling and the C++ runtime.
std::size_t stack_reserve() noexcept;

} // namespace vorla
