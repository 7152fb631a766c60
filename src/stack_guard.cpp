// Finds the current thread's stack bounds once and compares the stack pointer against them.
#include "stack_guard.hpp"

#include <pthread.h>

#include <cstdint>

namespace vorla {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t reserve = 2u << 20;  // sanitizer frames and reports need more room
#else
constexpr std::size_t reserve = 512u << 10;
#endif

thread_local std::uintptr_t limit = 0;

std::uintptr_t find_limit() noexcept
{
    pthread_attr_t attr;
    void* addr = nullptr;
    std::size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 1;
    pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
    auto low = reinterpret_cast<std::uintptr_t>(addr);
    return low + reserve;
}

} // namespace

std::size_t stack_reserve() noexcept { return reserve; }

bool stack_exhausted() noexcept
{
    if (limit == 0) limit = find_limit();
    char probe;
    return reinterpret_cast<std::uintptr_t>(&probe) < limit;
}

} // namespace vorla
