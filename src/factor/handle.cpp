// The free lists' slow path: cutting a new block from its size class's newest 64 KiB chunk, and the
// depot where a thread that ends leaves its lists and chunks for the next thread that needs blocks.
#include "factor/handle.hpp"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "lib/carve.hpp"

namespace vorla::value_pool {

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

// The unused tail of each class's newest chunk, per thread like the lists.
thread_local lib::carve_region fresh[classes + 1];

// What ended threads left behind, per size class: each thread's list of freed blocks, and chunk tails
// not yet cut.
// A host that runs each script on a thread of its own would otherwise strand every block its threads
// freed, and its memory would grow by a whole run's worth per thread.
struct depot {
    std::mutex lock;
    std::vector<free_block*> lists[classes + 1];
    std::vector<lib::carve_region> tails[classes + 1];
};

depot& the_depot()
{
    static depot* d = new depot;  // never destroyed: threads may end after static destruction began
    return *d;
}

// Made on a thread's first refill; its destructor runs when the thread ends and hands the thread's
// lists and tails to the depot.
struct thread_leaver {
    ~thread_leaver()
    {
        depot& d = the_depot();
        const std::lock_guard<std::mutex> held(d.lock);
        for (std::size_t cls = 1; cls <= classes; ++cls) {
            // Whole lists are kept, not joined: joining would walk every block at the thread's end.
            if (free_block* head = std::exchange(free_lists[cls], nullptr)) d.lists[cls].push_back(head);
            lib::carve_region& r = fresh[cls];
            if (r.next != r.end) d.tails[cls].push_back(r);
            r = lib::carve_region{};
        }
    }
};

// Takes over, for this thread, what the depot holds for class cls: its freed blocks become this thread's
// list, or a chunk tail becomes this thread's region. False when the depot has nothing of the class.
bool adopt(std::size_t cls)
{
    depot& d = the_depot();
    const std::lock_guard<std::mutex> held(d.lock);
    if (!d.lists[cls].empty()) {
        free_lists[cls] = d.lists[cls].back();
        d.lists[cls].pop_back();
        return true;
    }
    if (!d.tails[cls].empty()) {
        const unsigned chunks = fresh[cls].chunks;
        fresh[cls] = d.tails[cls].back();
        fresh[cls].chunks = std::max(chunks, fresh[cls].chunks);
        d.tails[cls].pop_back();
        return true;
    }
    return false;
}

} // namespace

void* refill(std::size_t cls)
{
    thread_local thread_leaver leaver;
    (void)leaver;  // odr-used: its construction registers the hand-over at thread exit
    if (fresh[cls].next == fresh[cls].end && adopt(cls)) {
        if (free_block* b = free_lists[cls]) {
            free_lists[cls] = b->next;
            return b;
        }
    }
    return fresh[cls].cut(cls * granule, chunk_bytes);
}

} // namespace vorla::value_pool
