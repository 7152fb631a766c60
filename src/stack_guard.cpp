// Finds the current stack's bounds once and compares the stack pointer against them; runs work on a big stack.
#include "stack_guard.hpp"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <stdexcept>

// gcc announces AddressSanitizer with a macro, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define VORLA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLA_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(VORLA_ADDRESS_SANITIZER)
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace vorla {
namespace {

#if defined(VORLA_ADDRESS_SANITIZER)
constexpr std::size_t reserve = 2u << 20;  // sanitizer frames and reports need more room
#else
constexpr std::size_t reserve = 512u << 10;
#endif

} // namespace

// A fact of the thread, not of an interpreter (interpreters on one thread share its stack), so it is kept
// per thread.
constinit thread_local std::uintptr_t detail::stack_limit = 0;

std::uintptr_t detail::find_stack_limit() noexcept
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

std::size_t stack_reserve() noexcept { return reserve; }

namespace {

// The script runs on a stack of its own, switched to on the same thread (a context, not a thread): with
// no second thread in the process, the C++ library counts shared handles without locked instructions.
struct stack_job {
    const std::function<void()>* f;
    std::exception_ptr error;
    ucontext_t caller;
    void* caller_fake_stack = nullptr;  // the sanitizer's record of the caller's stack while we are away
    const void* caller_bottom = nullptr;
    std::size_t caller_size = 0;
};

#if defined(VORLA_ADDRESS_SANITIZER)
// The sanitizer must be told of every stack switch, or a throw on the new stack confuses its shadow.
void leaving(void** fake_stack, const void* bottom, std::size_t size)
{
    __sanitizer_start_switch_fiber(fake_stack, bottom, size);
}
void arrived(void* fake_stack, const void** bottom, std::size_t* size)
{
    __sanitizer_finish_switch_fiber(fake_stack, bottom, size);
}
// The sanitizer's own swapcontext warns on standard error at its first use (output the script tests
// compare) and does nothing for a fresh stack that the fiber calls above leave undone: the C library's
// is called directly.
int switch_context(ucontext_t* from, const ucontext_t* to)
{
    using swap_fn = int (*)(ucontext_t*, const ucontext_t*);
    static const swap_fn swap = [] {
        void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        void* f = libc ? dlsym(libc, "swapcontext") : nullptr;
        return f ? reinterpret_cast<swap_fn>(f) : &::swapcontext;
    }();
    return swap(from, to);
}
#else
void leaving(void**, const void*, std::size_t) {}
void arrived(void*, const void**, std::size_t*) {}
int switch_context(ucontext_t* from, const ucontext_t* to) { return swapcontext(from, to); }
#endif

// makecontext passes int arguments only: the job's address comes in two halves.
void stack_job_main(unsigned high, unsigned low)
{
    auto* job = reinterpret_cast<stack_job*>((std::uintptr_t(high) << 32) | std::uintptr_t(low));
    arrived(nullptr, &job->caller_bottom, &job->caller_size);
    try {
        (*job->f)();
    } catch (...) {
        job->error = std::current_exception();
    }
    // Returning resumes job->caller (uc_link); this stack is done for good.
    leaving(nullptr, job->caller_bottom, job->caller_size);
}

} // namespace

void run_on_stack(std::size_t bytes, const std::function<void()>& f)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    bytes = (bytes + page - 1) / page * page;
    // Address space only: pages are used when touched. The lowest page stays unmapped as a guard.
    void* mem = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
                     -1, 0);
    if (mem == MAP_FAILED) {
        f();  // no stack to be had: run on the current one, the depth checks still hold
        return;
    }
    mprotect(mem, page, PROT_NONE);
    stack_job job{&f, nullptr, {}};
    ucontext_t inner;
    getcontext(&inner);
    inner.uc_stack.ss_sp = mem;
    inner.uc_stack.ss_size = bytes;
    inner.uc_link = &job.caller;
    const auto address = reinterpret_cast<std::uintptr_t>(&job);
    makecontext(&inner, reinterpret_cast<void (*)()>(stack_job_main), 2, unsigned(address >> 32),
                unsigned(address & 0xFFFFFFFFu));
    // The guard's limit follows the stack we are on.
    const std::uintptr_t outer_limit = detail::stack_limit;
    detail::stack_limit = reinterpret_cast<std::uintptr_t>(mem) + page + reserve;
    leaving(&job.caller_fake_stack, mem, bytes);
    switch_context(&job.caller, &inner);
    arrived(job.caller_fake_stack, nullptr, nullptr);
    detail::stack_limit = outer_limit;
    munmap(mem, bytes);
    if (job.error) std::rethrow_exception(job.error);
}

} // namespace vorla
