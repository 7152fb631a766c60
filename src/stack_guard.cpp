// Finds the current thread's stack bounds once and compares the stack pointer against them.
#include "stack_guard.hpp"

#include <pthread.h>

#include <cstdint>
#include <exception>
#include <stdexcept>

namespace vorla {
namespace {

// gcc announces AddressSanitizer with a macro, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define VORLA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLA_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(VORLA_ADDRESS_SANITIZER)
constexpr std::size_t reserve = 2u << 20;  // sanitizer frames and reports need more room
#else
constexpr std::size_t reserve = 512u << 10;
#endif

// The lowest address the current thread's stack may reach: a fact of the thread, not of an interpreter
// (interpreters on one thread share its stack), so it is kept per thread.
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

namespace {
struct stack_job {
    const std::function<void()>* f;
    std::exception_ptr error;
};
void* stack_job_main(void* p)
{
    auto* job = static_cast<stack_job*>(p);
    try {
        (*job->f)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}
} // namespace

void run_on_stack(std::size_t bytes, const std::function<void()>& f)
{
    stack_job job{&f, nullptr};
    pthread_attr_t attr;
    pthread_t thread;
    bool started = pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, bytes) == 0 &&
                   pthread_create(&thread, &attr, stack_job_main, &job) == 0;
    pthread_attr_destroy(&attr);
    if (!started) {
        f();  // no thread to be had: run on the current stack, the depth checks still hold
        return;
    }
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

} // namespace vorla
