// The vm's value slot: sixteen bytes, scalars in place, strings owned by one slot each.
#include <gtest/gtest.h>

#include "factor/boolean.hpp"
#include "vm/slot.hpp"

namespace {

using vorla::vm::kind;
using vorla::vm::slot;

TEST(vm_slot, a_copied_string_changes_apart_from_its_original)
{
    slot a = slot::of_text(L"abc");
    slot b = a;
    b.chars() += L"d";
    EXPECT_EQ(a.chars(), L"abc");
    EXPECT_EQ(b.chars(), L"abcd");
    slot c = slot::of_text(L"xy");
    c = a;  // a text over a text reuses the buffer, still a copy
    c.chars()[0] = L'z';
    EXPECT_EQ(a.chars(), L"abc");
    EXPECT_EQ(c.chars(), L"zbc");
}

TEST(vm_slot, scalar_writes_over_a_string_and_moves_leave_no_text_behind)
{
    slot s = slot::of_text(L"gone");
    s.set_int(-7);
    EXPECT_EQ(s.what(), kind::int_);
    EXPECT_EQ(s.i(), -7);
    slot t = slot::of_text(L"moved");
    slot u = std::move(t);
    EXPECT_EQ(t.what(), kind::nil);
    EXPECT_EQ(u.chars(), L"moved");
    u = std::move(u);  // a move onto itself keeps the text
    EXPECT_EQ(u.chars(), L"moved");
    u.set_double(2.5);
    EXPECT_EQ(u.what(), kind::double_);
    EXPECT_EQ(u.d(), 2.5);
}

// A value object is shared, not copied: a copied slot is one more holder, and a scalar written over a
// slot lets its holder go.
TEST(vm_slot, a_value_object_is_held_by_every_copy_and_let_go_by_each)
{
    const vorla::value v = vorla::make<vorla::boolean>(true);
    slot a = slot::of_value(v);
    {
        slot b = a;
        slot c = slot::of_text(L"t");
        c = b;
        EXPECT_EQ(c.object().get(), v.get());
        EXPECT_EQ(v.use_count(), 4u);
    }
    EXPECT_EQ(v.use_count(), 2u);
    slot d = std::move(a);
    EXPECT_EQ(v.use_count(), 2u);
    d.set_int(3);
    EXPECT_EQ(v.use_count(), 1u);
}

} // namespace
