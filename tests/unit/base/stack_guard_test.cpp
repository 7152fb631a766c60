// Unit tests of the script stack: the work runs on it in the calling thread, its guard follows it, and
// an escaping error comes back to the caller.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "stack_guard.hpp"

namespace {

// The threads of this process, counted from /proc.
int thread_count()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// Recurses until the guard says stop; returns how deep it got. Each level holds a kilobyte, written
// after the inner call returns, so no level can be folded into a loop.
[[gnu::noinline]] int depth_until_exhausted(int level)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(level);
    if (vorla::stack_exhausted()) return level;
    const int deeper = depth_until_exhausted(level + 1);
    frame[1] = frame[0];
    return deeper;
}

// No second thread: the C++ library then counts shared handles without locked instructions.
TEST(ScriptStack, RunsOnTheCallingThread)
{
    const int before = thread_count();
    int inside = 0;
    vorla::run_on_stack(vorla::script_stack_bytes, [&] { inside = thread_count(); });
    EXPECT_EQ(inside, before);
}

TEST(ScriptStack, AnEscapingErrorIsRethrownInTheCaller)
{
    EXPECT_THROW(vorla::run_on_stack(std::size_t(1) << 20, [] { throw std::runtime_error("inner"); }),
                 std::runtime_error);
    // The caller's own stack and guard are back: a second run works the same.
    int ran = 0;
    vorla::run_on_stack(std::size_t(1) << 20, [&] { ran = 1; });
    EXPECT_EQ(ran, 1);
}

// The guard measures the stack the work runs on: a small one is exhausted after about its size, a big
// one gives far more room than the small one, and neither overflows.
TEST(ScriptStack, TheGuardFollowsTheStackInUse)
{
    const std::size_t small = vorla::stack_reserve() + (std::size_t(1) << 20);
    int small_depth = 0, big_depth = 0;
    vorla::run_on_stack(small, [&] { small_depth = depth_until_exhausted(0); });
    vorla::run_on_stack(small * 8, [&] { big_depth = depth_until_exhausted(0); });
    EXPECT_GT(small_depth, 100);
    EXPECT_LT(small_depth, 1100);
    EXPECT_GT(big_depth, small_depth * 4);
}

TEST(ScriptStack, NestedRunsRestoreTheOuterGuard)
{
    int outer_depth = 0, after_inner = 0;
    vorla::run_on_stack(std::size_t(4) << 20, [&] {
        outer_depth = depth_until_exhausted(0);
        vorla::run_on_stack(vorla::stack_reserve() + (std::size_t(1) << 20), [] { depth_until_exhausted(0); });
        after_inner = depth_until_exhausted(0);
    });
    EXPECT_EQ(after_inner, outer_depth);
}

} // namespace
