// The value free lists across threads: what a thread freed before it ended serves the threads after it.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "factor/handle.hpp"

namespace {

namespace pool = vorla::value_pool;

// A host that runs each script on a thread of its own frees a run's values on that thread; the next
// thread must get those blocks back instead of carving new chunks, or memory grows with every run.
TEST(value_pool, blocks_freed_by_a_thread_that_ended_serve_the_next_thread)
{
    if (!pool::pooled) GTEST_SKIP() << "sanitizer builds take values from the heap";
    constexpr std::size_t size = 232;  // a size class no other test here uses
    constexpr int count = 5000;        // more than one chunk's worth

    std::set<void*> freed;
    std::thread first([&] {
        std::vector<void*> blocks;
        for (int i = 0; i < count; ++i) blocks.push_back(pool::take(size));
        for (void* b : blocks) {
            freed.insert(b);
            pool::give(b, size);
        }
    });
    first.join();

    std::vector<void*> reused;
    std::thread second([&] {
        for (int i = 0; i < count; ++i) reused.push_back(pool::take(size));
        for (void* b : reused) pool::give(b, size);
    });
    second.join();

    ASSERT_EQ(reused.size(), freed.size());
    for (void* b : reused) EXPECT_TRUE(freed.count(b)) << "a block was carved anew while freed ones waited";
}

} // namespace
