// The free lists' slow path: carving a 64 KiB chunk into blocks of one size class.
#include "factor/handle.hpp"

#include <cstdlib>
#include <new>

namespace vorla::value_pool {

namespace {
constexpr std::size_t chunk_bytes = 64 * 1024;
}

void* refill(std::size_t cls)
{
    const std::size_t block = cls * granule;
    const std::size_t count = chunk_bytes / block;
    auto* chunk = static_cast<char*>(std::malloc(block * count));
    if (!chunk) throw std::bad_alloc();
    // Keep the first block, thread the others onto the list. Chunks live until the process exits.
    for (std::size_t i = count - 1; i >= 1; --i) {
        auto* b = reinterpret_cast<free_block*>(chunk + i * block);
        b->next = free_lists[cls];
        free_lists[cls] = b;
    }
    return chunk;
}

} // namespace vorla::value_pool
