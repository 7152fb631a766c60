// The free lists behind value objects: one per 8-byte size class, carved from 64 KiB chunks.
#include "factor/handle.hpp"

#include <cstdlib>
#include <new>

namespace vorla {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool pooled = false;  // the sanitizer must see every allocation
#else
constexpr bool pooled = true;
#endif

constexpr std::size_t granule = 8;
constexpr std::size_t classes = 32;  // objects up to 256 bytes are pooled
constexpr std::size_t chunk_bytes = 64 * 1024;

struct free_block {
    free_block* next;
};

// One set of lists per thread: interpreters on different threads run at the same time, and a list is
// touched by no lock. A block freed on another thread than the one that carved it simply joins that
// thread's list; chunks are never returned, so nothing is lost.
thread_local free_block* free_lists[classes + 1];

std::size_t size_class(std::size_t size) { return (size + granule - 1) / granule; }

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

} // namespace

void* counted::operator new(std::size_t size)
{
    const std::size_t cls = size_class(size);
    if (!pooled || cls == 0 || cls > classes) return ::operator new(size);
    if (free_block* b = free_lists[cls]) {
        free_lists[cls] = b->next;
        return b;
    }
    return refill(cls);
}

void counted::operator delete(void* p, std::size_t size) noexcept
{
    if (!p) return;
    const std::size_t cls = size_class(size);
    if (!pooled || cls == 0 || cls > classes) {
        ::operator delete(p);  // unsized: clang offers the sized form only with -fsized-deallocation
        return;
    }
    auto* b = static_cast<free_block*>(p);
    b->next = free_lists[cls];
    free_lists[cls] = b;
}

} // namespace vorla
