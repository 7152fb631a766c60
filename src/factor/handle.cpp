// The free lists' slow path: cutting a new block from its size class's newest 64 KiB chunk.
#include "factor/handle.hpp"

#include "lib/carve.hpp"

namespace vorla::value_pool {

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

// The unused tail of each class's newest chunk, per thread like the lists.
thread_local lib::carve_region fresh[classes + 1];

} // namespace

void* refill(std::size_t cls) { return fresh[cls].cut(cls * granule, chunk_bytes); }

} // namespace vorla::value_pool
