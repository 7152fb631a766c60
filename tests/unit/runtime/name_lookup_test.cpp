// Name lookup along a scope chain: a node's remembered slot and the tables' name masks never yield a
// variable other than the one a full search finds.
#include <gtest/gtest.h>

#include <string>

#include "../support.hpp"
#include "expression/nodes.hpp"
#include "nlookup.hpp"

using namespace vorla;
using namespace vorla::test;

namespace {

// A name whose mask bit is the same as `other`'s: a table holding it admits `other` too.
symbol colliding_with(symbol other)
{
    for (int i = 0;; ++i) {
        symbol s = intern(L"collider" + std::to_wstring(i));
        if (s != other && table::name_key::bit_of(s) == table::name_key::bit_of(other)) return s;
    }
}

class name_lookup : public ::testing::Test {
protected:
    symbol x = intern(L"x");
    scope outer;
    scope inner{&outer};
};

TEST_F(name_lookup, a_slot_found_outside_gives_way_to_a_nearer_declaration)
{
    outer.variables.declare(intern(L"a"), int_(1));
    outer.variables.declare(x, int_(2));
    const table::name_key key(x);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&inner, key)->describe(), "int(2)");
    ASSERT_EQ(nlookup<wchar_t>::find_hinted(&inner, key), outer.variables.find(x));

    // Declared later in the nearer scope, at another slot than the one remembered.
    inner.variables.declare(x, int_(3));
    EXPECT_EQ(nlookup<wchar_t>::find_hinted(&inner, key), nullptr);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&inner, key)->describe(), "int(3)");
    // The search remembered the nearer slot, which now answers directly.
    EXPECT_EQ(nlookup<wchar_t>::find_hinted(&inner, key), inner.variables.find(x));
}

TEST_F(name_lookup, a_remembered_slot_holding_another_name_is_no_answer)
{
    const table::name_key key(x);
    inner.variables.declare(x, int_(1));
    nlookup<wchar_t>::find_variable(&inner, key);  // remembers slot 0
    scope other(&outer);
    other.variables.declare(intern(L"y"), int_(7));
    other.variables.declare(x, int_(8));
    EXPECT_EQ(nlookup<wchar_t>::find_hinted(&other, key), nullptr);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&other, key)->describe(), "int(8)");
}

TEST_F(name_lookup, a_nearer_table_whose_mask_only_seems_to_hold_the_name_is_searched_past)
{
    outer.variables.declare(x, int_(4));
    inner.variables.declare(colliding_with(x), int_(5));
    const table::name_key key(x);
    ASSERT_TRUE(inner.variables.may_hold(key));
    EXPECT_EQ(nlookup<wchar_t>::find_hinted(&inner, key), nullptr);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&inner, key)->describe(), "int(4)");
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&inner, key)->describe(), "int(4)");
}

TEST_F(name_lookup, a_cleared_table_admits_none_of_its_old_names)
{
    outer.variables.declare(x, int_(6));
    inner.variables.declare(x, int_(7));
    const table::name_key key(x);
    EXPECT_EQ(nlookup<wchar_t>::find_variable(&inner, key)->describe(), "int(7)");
    inner.variables.clear();
    EXPECT_FALSE(inner.variables.may_hold(key));
    EXPECT_EQ(nlookup<wchar_t>::find_hinted(&inner, key), outer.variables.find(x));
}

TEST_F(name_lookup, an_operand_naming_a_variable_is_its_stored_handle_or_the_missing_name_report)
{
    outer.variables.declare(x, int_(9));
    script_signal out;
    runtime rt{&inner, nullptr, out};
    const expr e = var(L"x");
    ASSERT_NE(e->variable_key, nullptr);
    for (int i = 0; i < 2; ++i) {  // the first read searches, the second answers from the slot
        value v = read_operand(*e, rt);
        EXPECT_EQ(v.get(), outer.variables.find(x)->get());
    }
    EXPECT_EQ(int_expr(1)->variable_key, nullptr);
    EXPECT_EQ(failure_chain([&] { read_operand(*var(L"nowhere"), rt); }),
              lines{"nlookup.cpp vorla::nlookup<wchar_t>::find_variable: reffer to undefined id, id=nowhere"});
}

} // namespace
