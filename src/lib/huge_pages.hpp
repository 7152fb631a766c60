// Memory in 2 MiB huge pages: one block for a pool's chunk, and mappings for arrays that may grow large.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace lib {

constexpr std::size_t huge_page = std::size_t(2) << 20;

// A block of `bytes` (a multiple of huge_page) aligned to huge pages and advised as such, so touching it
// takes a page fault per 2 MiB rather than per 4 KiB. The kernel may decline the advice; the block then
// simply has small pages. Null when there is no memory; free it with std::free. Out of line, so that
// the free lists' refill keeps this rare path out of its code.
[[gnu::noinline]] inline void* huge_page_block(std::size_t bytes) noexcept
{
    void* p = std::aligned_alloc(huge_page, bytes);
#ifdef MADV_HUGEPAGE
    if (p) madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

// The bytes of whole huge pages that hold `bytes`.
constexpr std::size_t huge_pages_for(std::size_t bytes) { return (bytes + huge_page - 1) / huge_page * huge_page; }

namespace huge_detail {

// An anonymous mapping of `bytes` (a multiple of huge_page) starting on a huge-page boundary, with
// protection `prot`; nullptr when there is no room. Mapped one huge page larger, then trimmed to the
// boundary, as mmap promises only small-page alignment.
inline void* aligned_mapping(std::size_t bytes, int prot) noexcept
{
    const std::size_t span = bytes + huge_page;
    void* m = mmap(nullptr, span, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    char* base = static_cast<char*>(m);
    char* start = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(base) + huge_page - 1) / huge_page * huge_page);
    if (start > base) munmap(base, static_cast<std::size_t>(start - base));
    char* tail = start + bytes;
    if (tail < base + span) munmap(tail, static_cast<std::size_t>(base + span - tail));
    return start;
}

} // namespace huge_detail

// A zero-filled mapping of `bytes` (a multiple of huge_page) on a huge-page boundary, advised to use huge
// pages; nullptr when there is no memory. Free it with huge_mapping_free. Out of line, as a rare path.
[[gnu::noinline]] inline void* huge_mapping(std::size_t bytes) noexcept
{
    void* p = huge_detail::aligned_mapping(bytes, PROT_READ | PROT_WRITE);
#ifdef MADV_HUGEPAGE
    if (p) madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

// Grows a huge_mapping from old_bytes to new_bytes (multiples of huge_page), keeping its contents. The
// kernel moves the pages themselves: nothing is copied and nothing already touched is zeroed again. The
// mapping grows where it stands when the addresses after it are free, else it moves to a new huge-page
// boundary (so its huge pages stay whole). nullptr when there is no room; the old mapping then stays.
[[gnu::noinline]] inline void* huge_mapping_grow(void* p, std::size_t old_bytes, std::size_t new_bytes) noexcept
{
    void* grown = mremap(p, old_bytes, new_bytes, 0);
    if (grown != MAP_FAILED) return grown;
    void* spot = huge_detail::aligned_mapping(new_bytes, PROT_NONE);  // only an address range, no memory
    if (!spot) return nullptr;
    grown = mremap(p, old_bytes, new_bytes, MREMAP_MAYMOVE | MREMAP_FIXED, spot);
    if (grown == MAP_FAILED) {
        munmap(spot, new_bytes);
        return nullptr;
    }
    return grown;
}

inline void huge_mapping_free(void* p, std::size_t bytes) noexcept { munmap(p, bytes); }

} // namespace lib
