// Fixed-size blocks cut one at a time from large chunks: the slow path of the interpreter's free lists.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace lib {

// The unused tail of the newest chunk of one size class. Blocks are cut from it only when a free list
// is empty: threading a whole chunk onto a list up front would touch every page of it, and a short
// script would spend its start-up in page faults for blocks it never uses. Chunks live until the
// process exits.
struct carve_region {
    char* next = nullptr;
    char* end = nullptr;

    char* cut(std::size_t block, std::size_t chunk_bytes)
    {
        if (static_cast<std::size_t>(end - next) < block) {
            const std::size_t count = chunk_bytes / block;
            auto* chunk = static_cast<char*>(std::malloc(block * count));
            if (!chunk) throw std::bad_alloc();
            next = chunk;
            end = chunk + block * count;
        }
        char* b = next;
        next += block;
        return b;
    }
};

} // namespace lib
