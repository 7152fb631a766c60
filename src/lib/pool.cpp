// Small-object allocation for the interpreter binary: values, scopes and nodes come and go on every
// step, and a free list per size class serves them far faster than the general-purpose heap.
// Linked into `vorla` only (single-threaded), and left out of sanitizer builds so those keep seeing
// every allocation.
//
// Blocks carry no header: a big script compiles to millions of small nodes, and 16 bytes in front of
// each was a sixth of the memory it took. A delete that is told the size finds the class from it; one
// that is not (delete[], C code) looks the address up in a map of the chunks the pool owns.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "lib/huge_pages.hpp"

namespace {

constexpr std::size_t granule = 16;
constexpr std::size_t classes = 32;  // payloads up to 512 bytes are pooled (call frames among them)
constexpr std::size_t largest = classes * granule;
constexpr unsigned chunk_bits = 16;  // 64 KiB chunks
constexpr std::size_t chunk_bytes = std::size_t{1} << chunk_bits;
// After this many chunks a class is feeding a large structure (a vector of a million numbers), and its
// later chunks are whole huge pages: one page fault per 2 MiB instead of one per 4 KiB.
constexpr unsigned small_chunks = 16;

struct free_block {
    free_block* next;
};

free_block* free_lists[classes + 1];

// The uncut tail of each class's newest chunk. Blocks are cut from it only when the free list is
// empty: threading a whole chunk onto a list up front would touch every page of it, and a short script
// would spend its start-up in page faults for blocks it never uses. Chunks live until the process exits.
struct tail {
    char* next = nullptr;
    char* end = nullptr;
    unsigned chunks = 0;
};
tail fresh[classes + 1];

// The size class of every 64 KiB chunk the pool owns, 0 for every other address: two levels over 48-bit
// addresses, bits 47..32 choosing a leaf and bits 31..16 the entry in it. Leaves are made as chunks
// appear (a few in a run); the root is zero pages until then.
constexpr unsigned leaf_bits = 16;
std::uint8_t* chunk_map[std::size_t{1} << (48 - chunk_bits - leaf_bits)];

std::size_t class_at(const void* p) noexcept
{
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    if (a >> 48) return 0;
    const std::uint8_t* leaf = chunk_map[a >> (chunk_bits + leaf_bits)];
    return leaf ? leaf[(a >> chunk_bits) & ((std::uintptr_t{1} << leaf_bits) - 1)] : 0;
}

void mark(char* chunk, std::size_t bytes, std::size_t cls)
{
    for (std::size_t at = 0; at < bytes; at += chunk_bytes) {
        const auto a = reinterpret_cast<std::uintptr_t>(chunk + at);
        std::uint8_t*& leaf = chunk_map[a >> (chunk_bits + leaf_bits)];
        if (!leaf) {
            leaf = static_cast<std::uint8_t*>(std::calloc(std::size_t{1} << leaf_bits, 1));
            if (!leaf) throw std::bad_alloc();
        }
        leaf[(a >> chunk_bits) & ((std::uintptr_t{1} << leaf_bits) - 1)] = static_cast<std::uint8_t>(cls);
    }
}

// 64 KiB chunks are cut from 2 MiB blocks on 2 MiB boundaries, so that a chunk is the pool's alone from
// one map entry's boundary to the next: no block of the general heap shares an entry with it.
char* block_next = nullptr;
char* block_end = nullptr;

char* small_chunk()
{
    if (block_next == block_end) {
        block_next = static_cast<char*>(std::aligned_alloc(lib::huge_page, lib::huge_page));
        if (!block_next) throw std::bad_alloc();
        block_end = block_next + lib::huge_page;
    }
    char* c = block_next;
    block_next += chunk_bytes;
    return c;
}

[[gnu::noinline]] void* carve(std::size_t cls)
{
    const std::size_t block = cls * granule;
    tail& t = fresh[cls];
    if (static_cast<std::size_t>(t.end - t.next) < block) {
        std::size_t bytes = chunk_bytes;
        char* chunk = nullptr;
        if (++t.chunks > small_chunks) {
            bytes = lib::huge_page;
            chunk = static_cast<char*>(lib::huge_page_block(bytes));
            if (!chunk) throw std::bad_alloc();
        } else {
            chunk = small_chunk();
        }
        mark(chunk, bytes, cls);
        t.next = chunk;
        t.end = chunk + bytes / block * block;
    }
    char* b = t.next;
    t.next += block;
    return b;
}

void give_back(void* p, std::size_t cls) noexcept
{
    auto* b = static_cast<free_block*>(p);
    b->next = free_lists[cls];
    free_lists[cls] = b;
}

} // namespace

void* operator new(std::size_t size)
{
    if (size > largest) {
        void* p = std::malloc(size);
        if (!p) throw std::bad_alloc();
        return p;
    }
    const std::size_t cls = size ? (size + granule - 1) / granule : 1;
    if (free_block* b = free_lists[cls]) {
        free_lists[cls] = b->next;
        return b;
    }
    return carve(cls);
}

void operator delete(void* p) noexcept
{
    if (!p) return;
    if (const std::size_t cls = class_at(p)) give_back(p, cls);
    else std::free(p);
}

// The size is the one new was asked for, so it names the class (or the general heap) without the map.
void operator delete(void* p, std::size_t size) noexcept
{
    if (!p) return;
    if (size > largest) std::free(p);
    else give_back(p, size ? (size + granule - 1) / granule : 1);
}
