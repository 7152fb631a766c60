// How much machine stack is left: deep recursion (parser, compiler, calls) stops before it overflows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vorla {

namespace detail {
// The lowest address the current stack may reach before the guard refuses; 0 until first asked.
extern constinit thread_local std::uintptr_t stack_limit;
std::uintptr_t find_stack_limit() noexcept;
} // namespace detail

// True when less than the reserve is left on the current stack. Cheap: one comparison after the first
// call on a thread; inline, since every script call asks it.
inline bool stack_exhausted() noexcept
{
    std::uintptr_t limit = detail::stack_limit;
    if (limit == 0) [[unlikely]]
        limit = detail::stack_limit = detail::find_stack_limit();
    char probe;
    return reinterpret_cast<std::uintptr_t>(&probe) < limit;
}

// The reserve kept free for error handling and the C++ runtime.
std::size_t stack_reserve() noexcept;

// The stack scripts run on: deep enough for thousands of nested script calls even in sanitizer builds,
// whose frames are several times larger. Reserved address space; pages are used only when touched.
constexpr std::size_t script_stack_bytes = std::size_t(256) << 20;

// Runs f to completion on a new stack of the given size, on the calling thread; an exception escaping f
// is rethrown in the caller, on the caller's stack.
void run_on_stack(std::size_t bytes, const std::function<void()>& f);

} // namespace vorla
