// Unit tests of the vector's element array: growth past the huge-page size, moves by bytes, and releases.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/mman.h>

#include "factor/integer.hpp"
#include "factor/signed_.hpp"
#include "lib/growing_array.hpp"

namespace {

using namespace vorla;
using array = lib::growing_array<value>;

value num(int i) { return make<signed_<int>>(i); }
int int_of(const value& v) { return static_cast<int>(*v); }

std::vector<int> ints(const array& a)
{
    std::vector<int> out;
    for (const value& v : a) out.push_back(int_of(v));
    return out;
}

TEST(GrowingArray, GrowsPastTheHugePageSizeKeepingEveryElementInOrder)
{
    // 600000 handles take three growths inside huge-page mappings (2, 4 and 8 MiB), the first one
    // moving the heap block into a mapping.
    array a;
    const int n = 600000;
    for (int i = 0; i < n; ++i) a.push_back(num(i));
    ASSERT_EQ(a.size(), std::size_t(n));
    EXPECT_GE(a.capacity(), std::size_t(n));
    if (array::mapped(a.capacity())) {
        EXPECT_EQ(a.capacity() * sizeof(value) % lib::huge_page, 0u);
    }
    bool in_order = true;
    for (int i = 0; i < n; ++i) in_order = in_order && int_of(a[i]) == i;
    EXPECT_TRUE(in_order);
    // Each element is held once: growth moved the handles, it did not copy them.
    EXPECT_EQ(a.front().use_count(), 1u);
    EXPECT_EQ(a.back().use_count(), 1u);
}

TEST(GrowingArray, ReserveKeepsContentsAndLaterPushesDoNotMove)
{
    array a;
    a.push_back(num(1));
    a.reserve(300000);  // past the huge-page size at once
    const value* first = &a.front();
    for (int i = 2; i <= 300000; ++i) a.push_back(num(i));
    EXPECT_EQ(&a.front(), first);
    EXPECT_EQ(int_of(a.front()), 1);
    EXPECT_EQ(int_of(a.back()), 300000);
}

TEST(GrowingArray, ElementsAreReleasedByPopClearAndDestruction)
{
    value held = num(7);
    {
        array a;
        a.push_back(held);
        a.push_back(held);
        EXPECT_EQ(held.use_count(), 3u);
        a.pop_back();
        EXPECT_EQ(held.use_count(), 2u);
        a.push_back(held);
        a.clear();
        EXPECT_EQ(held.use_count(), 1u);
        EXPECT_TRUE(a.empty());
        a.push_back(held);
        a.push_back(held);
    }
    EXPECT_EQ(held.use_count(), 1u);
}

TEST(GrowingArray, InsertAndEraseAtTheFrontShiftTheRest)
{
    array a;
    for (int i = 1; i <= 5; ++i) a.push_back(num(i));
    EXPECT_EQ(int_of(*a.insert(a.begin(), num(0))), 0);
    EXPECT_EQ(ints(a), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(int_of(*a.erase(a.begin())), 1);
    EXPECT_EQ(int_of(*a.erase(a.begin() + 2)), 4);
    EXPECT_EQ(ints(a), (std::vector<int>{1, 2, 4, 5}));
    // Erasing the last element leaves end() in its place.
    const value* after = a.erase(a.end() - 1);
    EXPECT_EQ(after, a.end());
    EXPECT_EQ(ints(a), (std::vector<int>{1, 2, 4}));
}

TEST(GrowingArray, InsertOfItsOwnElementWhenFullSurvivesTheGrowth)
{
    array a;
    for (int i = 0; i < 4; ++i) a.push_back(num(i));
    ASSERT_EQ(a.size(), a.capacity());  // the insert below must grow the array
    a.insert(a.begin(), std::move(a.back()));
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(int_of(a.front()), 3);
    EXPECT_FALSE(a.back());  // the moved-from handle stays behind, empty
}

TEST(GrowingArray, SwapAndMoveExchangeWholeArrays)
{
    array a, b;
    for (int i = 0; i < 3; ++i) a.push_back(num(i));
    b.push_back(num(9));
    a.swap(b);
    EXPECT_EQ(ints(a), std::vector<int>{9});
    EXPECT_EQ(ints(b), (std::vector<int>{0, 1, 2}));
    a = std::move(b);
    EXPECT_EQ(ints(a), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(b.empty());
    array c(std::move(a));
    EXPECT_EQ(c.size(), 3u);
    EXPECT_TRUE(a.empty());
}

TEST(HugeMapping, GrowingAMappingThatCannotExtendMovesItToANewBoundaryWithItsContents)
{
    const std::size_t page = lib::huge_page;
    auto* p = static_cast<unsigned char*>(lib::huge_mapping(page));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % page, 0u);
    for (std::size_t i = 0; i < page; i += 4096) p[i] = static_cast<unsigned char>(i / 4096 + 1);
    // A page mapped right after the block leaves no room to grow where it stands.
    void* blocker = mmap(p + page, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    auto* q = static_cast<unsigned char*>(lib::huge_mapping_grow(p, page, 2 * page));
    ASSERT_NE(q, nullptr);
    if (blocker != MAP_FAILED) {
        EXPECT_NE(q, p);
        munmap(blocker, 4096);
    }
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(q) % page, 0u);
    bool kept = true;
    for (std::size_t i = 0; i < page; i += 4096) kept = kept && q[i] == static_cast<unsigned char>(i / 4096 + 1);
    EXPECT_TRUE(kept);
    bool zero_tail = true;
    for (std::size_t i = page; i < 2 * page; i += 4096) zero_tail = zero_tail && q[i] == 0;
    EXPECT_TRUE(zero_tail);
    lib::huge_mapping_free(q, 2 * page);
}

TEST(HugeMapping, GrowingInPlaceKeepsTheAddress)
{
    const std::size_t page = lib::huge_page;
    // Reserve room for both sizes, then give back the upper half so the block can extend into it.
    auto* p = static_cast<unsigned char*>(lib::huge_mapping(2 * page));
    ASSERT_NE(p, nullptr);
    munmap(p + page, page);
    p[0] = 42;
    auto* q = static_cast<unsigned char*>(lib::huge_mapping_grow(p, page, 2 * page));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q, p);
    EXPECT_EQ(q[0], 42);
    lib::huge_mapping_free(q, 2 * page);
}

} // namespace
