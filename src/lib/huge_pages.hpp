// Memory in 2 MiB huge pages: one block for a pool's chunk, and an allocator for arrays that may grow large.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#include <sys/mman.h>

namespace lib {

constexpr std::size_t huge_page = std::size_t(2) << 20;

// A block of `bytes` (a multiple of huge_page) aligned to huge pages and advised as such, so touching it
// takes a page fault per 2 MiB rather than per 4 KiB. The kernel may decline the advice; the block then
// simply has small pages. Null when there is no memory; free it with std::free. Out of line, so that a
// vector's growth, which inlines its allocator, keeps this rare path out of its code.
[[gnu::noinline]] inline void* huge_page_block(std::size_t bytes) noexcept
{
    void* p = std::aligned_alloc(huge_page, bytes);
#ifdef MADV_HUGEPAGE
    if (p) madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

// Blocks of 2 MiB and more are huge_page_blocks, so a vector growing to a million elements takes few
// page faults. Smaller blocks come from the ordinary heap.
template <class T>
struct huge_page_allocator {
    using value_type = T;

    huge_page_allocator() noexcept = default;
    template <class U>
    huge_page_allocator(const huge_page_allocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < huge_page) return std::allocator<T>().allocate(n);
        const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        void* p = huge_page_block(rounded);
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n * sizeof(T) < huge_page) std::allocator<T>().deallocate(p, n);
        else std::free(p);
    }
    template <class U>
    bool operator==(const huge_page_allocator<U>&) const noexcept { return true; }
};

} // namespace lib
