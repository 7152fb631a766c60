// Small-object allocation for the interpreter binary: values, scopes and nodes come and go on every
// step, and a free list per size class serves them far faster than the general-purpose heap.
// Linked into `vorla` only (single-threaded), and left out of sanitizer builds so those keep seeing
// every allocation.
#include <cstddef>
#include <cstdlib>
#include <new>

#include "lib/carve.hpp"

namespace {

constexpr std::size_t header = 16;      // keeps payloads 16-byte aligned; holds the size class
constexpr std::size_t granule = 16;
constexpr std::size_t classes = 32;     // payloads up to 512 bytes are pooled (call frames among them)
constexpr std::size_t large = 0xFF;
constexpr std::size_t chunk_bytes = 64 * 1024;

struct free_block {
    free_block* next;
};

free_block* free_lists[classes + 1];

// The unused tail of each class's newest chunk.
lib::carve_region fresh[classes + 1];

void* carve(std::size_t cls)
{
    char* b = fresh[cls].cut(header + cls * granule, chunk_bytes);
    *reinterpret_cast<std::size_t*>(b) = cls;
    return b + header;
}

} // namespace

void* operator new(std::size_t size)
{
    const std::size_t cls = (size + granule - 1) / granule;
    if (cls == 0 || cls > classes) {
        auto* p = static_cast<char*>(std::malloc(size + header));
        if (!p) throw std::bad_alloc();
        *reinterpret_cast<std::size_t*>(p) = large;
        return p + header;
    }
    if (free_block* b = free_lists[cls]) {
        free_lists[cls] = b->next;
        return b;
    }
    return carve(cls);
}

void operator delete(void* p) noexcept
{
    if (!p) return;
    char* base = static_cast<char*>(p) - header;
    const std::size_t cls = *reinterpret_cast<std::size_t*>(base);
    if (cls == large) {
        std::free(base);
        return;
    }
    auto* b = static_cast<free_block*>(p);
    b->next = free_lists[cls];
    free_lists[cls] = b;
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
