// The free lists' slow path: cutting a new block from its size class's newest 64 KiB chunk.
#include "factor/handle.hpp"

#include <cstdlib>
#include <new>

namespace vorla::value_pool {

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

// The unused tail of each class's newest chunk, per thread like the lists. Blocks are cut from it one
// at a time when the list is empty: threading a whole chunk onto the list up front would touch every
// page of it, and a short script would spend its start-up in page faults for blocks it never uses.
struct carve_region {
    char* next = nullptr;
    char* end = nullptr;
};
thread_local carve_region fresh[classes + 1];

} // namespace

void* refill(std::size_t cls)
{
    const std::size_t block = cls * granule;
    carve_region& r = fresh[cls];
    if (static_cast<std::size_t>(r.end - r.next) < block) {
        // Chunks live until the process exits.
        const std::size_t count = chunk_bytes / block;
        auto* chunk = static_cast<char*>(std::malloc(block * count));
        if (!chunk) throw std::bad_alloc();
        r.next = chunk;
        r.end = chunk + block * count;
    }
    char* b = r.next;
    r.next += block;
    return b;
}

} // namespace vorla::value_pool
