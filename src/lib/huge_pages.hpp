// An allocator for arrays that may grow large (a vector's elements): big blocks in 2 MiB huge pages.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#include <sys/mman.h>

namespace lib {

// Blocks of 2 MiB and more are aligned to huge pages and advised as such, so a vector growing to a
// million elements takes a page fault per 2 MiB rather than per 4 KiB (the kernel may decline; the
// block then simply has small pages). Smaller blocks come from the ordinary heap.
template <class T>
struct huge_page_allocator {
    using value_type = T;
    static constexpr std::size_t huge_page = std::size_t(2) << 20;

    huge_page_allocator() noexcept = default;
    template <class U>
    huge_page_allocator(const huge_page_allocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < huge_page) return std::allocator<T>().allocate(n);
        const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        void* p = std::aligned_alloc(huge_page, rounded);
        if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(p, rounded, MADV_HUGEPAGE);
#endif
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
