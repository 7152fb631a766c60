// Fixed-size blocks cut one at a time from large chunks: the slow path of the interpreter's free lists.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "lib/huge_pages.hpp"

namespace lib {

// The unused tail of the newest chunk of one size class. Blocks are cut from it only when a free list
// is empty: threading a whole chunk onto a list up front would touch every page of it, and a short
// script would spend its start-up in page faults for blocks it never uses. Chunks live until the
// process exits.
//
// A class that has taken many chunks is feeding a large structure (a vector of a million numbers): its
// later chunks are 2 MiB huge pages, so it grows with one page fault per 2 MiB instead of one per 4 KiB.
struct carve_region {
    char* next = nullptr;
    char* end = nullptr;
    unsigned chunks = 0;

    static constexpr unsigned small_chunks = 16;  // 1 MiB of 64 KiB chunks before the huge ones
    static constexpr std::size_t cache_line = 64;

    char* cut(std::size_t block, std::size_t chunk_bytes)
    {
        if (static_cast<std::size_t>(end - next) < block) {
            char* chunk = nullptr;
            std::size_t bytes = chunk_bytes;
            if (++chunks > small_chunks) {
                bytes = huge_page;
                chunk = static_cast<char*>(huge_page_block(huge_page));
            } else {
                // On a cache line, so that a block of 64 bytes (a hash entry) fills one line, not two.
                chunk = static_cast<char*>(std::aligned_alloc(cache_line, (bytes + cache_line - 1) / cache_line * cache_line));
            }
            if (!chunk) throw std::bad_alloc();
            next = chunk;
            end = chunk + bytes / block * block;
        }
        char* b = next;
        next += block;
        return b;
    }
};

} // namespace lib
