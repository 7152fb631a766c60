// How much machine stack is left: deep recursion (parser, compiler, calls) stops before it overflows.
#pragma once

#include <cstddef>
#include <functional>

namespace vorla {

// True when less than the reserve is left on the current stack. Cheap: one comparison
// after the first call on a thread.
bool stack_exhausted() noexcept;

// The reserve kept free for error handling and the C++ runtime.
std::size_t stack_reserve() noexcept;

// The stack scripts run on: deep enough for thousands of nested script calls even in sanitizer builds,
// whose frames are several times larger. Reserved address space; pages are used only when touched.
constexpr std::size_t script_stack_bytes = std::size_t(256) << 20;

// Runs f to completion on a new stack of the given size, on the calling thread; an exception escaping f
// is rethrown in the caller, on the caller's stack.
void run_on_stack(std::size_t bytes, const std::function<void()>& f);

} // namespace vorla
