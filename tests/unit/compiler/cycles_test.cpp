// The cycle collector on whole programs: each kind of value that can close a cycle, and what must survive a collection.
#include <string>

#include "compiled_program.hpp"
#include "context.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/vector_.hpp"

namespace vorla::test {
namespace {

// A context of the test's own, made current before the program's namespace takes it, so that the
// registry holds this program's values alone.
struct own_context {
    context own;
    context::entry current{own};
    // The program is gone by now: what its values still hold among themselves is freed here, so the
    // sanitizer build's leak check sees a cycle only when the collector missed it.
    ~own_context() { own.cycles.collect(); }
};

class cycles : private own_context, public compiled_program {
protected:
    cycles() : compiled_program(own)
    {
        // using::collect(): runs a collection in the middle of the calling expression, and gives the
        // number of values it freed.
        space.natives->define(L"collect", [this](args&) -> value {
            return make<signed_<int>>(static_cast<int>(own.cycles.collect()));
        });
    }

    cycle_registry& registry() { return own.cycles; }

    // Calls make() three times, then collects twice: "<freed> <freed again>".
    std::wstring made_three_times(const std::wstring& make)
    {
        return run(make + L"process main() { int i = 0; while (i < 3) { make(); ++i; }"
                          L" int first = using::collect(); using::write(string(first), \" \","
                          L" string(using::collect())); }");
    }
};

// Each form of cycle is freed whole, the first time: the freed count is every value of every cycle.
TEST_F(cycles, vector_holding_a_ref_to_itself) { EXPECT_EQ(made_three_times(L"nil make() { vector v; ref r(v); v.push_back(r); }"), L"6 0"); }

TEST_F(cycles, hash_value_refers_to_its_hash)
{
    EXPECT_EQ(made_three_times(L"nil make() { hash h; h.insert(\"self\", ref(h)); h.insert(\"n\", 1); }"), L"6 0");
}

TEST_F(cycles, list_holding_a_ref_to_itself) { EXPECT_EQ(made_three_times(L"nil make() { list l; l.push_back(1); l.push_back(ref(l)); }"), L"6 0"); }

TEST_F(cycles, instance_member_refers_to_its_instance)
{
    // The instance, its member vector and the ref in it.
    EXPECT_EQ(made_three_times(L"class Node { vector links; };\n"
                               L"nil make() { Node a; a.links.push_back(ref(a)); }"),
              L"9 0");
}

TEST_F(cycles, instance_reached_through_its_base_part)
{
    // The derived instance holds its base part, whose member holds a ref back to the derived one.
    EXPECT_EQ(made_three_times(L"class Base { vector links; };\n"
                               L"class Derived : Base { int n; };\n"
                               L"nil make() { Derived d; d.links.push_back(ref(d)); }"),
              L"12 0");
}

TEST_F(cycles, ref_to_a_ref)
{
    // v holds a copy of b, which holds the ref a, which holds v.
    EXPECT_EQ(made_three_times(L"nil make() { vector v; ref a(v); ref b(a); v.push_back(b); }"), L"9 0");
}

// The vector holds a copy of the instance, whose reference member shares the vector itself: no ref
// value is in the cycle. The vector and the copy go.
TEST_F(cycles, reference_member_closes_a_cycle_without_a_ref)
{
    EXPECT_EQ(made_three_times(L"class Holder { vector &links; Holder(vector &l) : links(l) { } };\n"
                               L"nil make() { vector v; Holder h(v); v.push_back(h); }"),
              L"6 0");
}

TEST_F(cycles, reference_member_of_a_base_part_closes_a_cycle)
{
    // The derived copy holds its base part, whose reference member shares the vector.
    EXPECT_EQ(made_three_times(L"class Holder { vector &links; Holder(vector &l) : links(l) { } };\n"
                               L"class Derived : Holder { Derived(vector &l) : Holder(l) { } };\n"
                               L"nil make() { vector v; Derived d(v); v.push_back(d); }"),
              L"9 0");
}

TEST_F(cycles, cycle_held_by_a_live_variable_survives)
{
    // `outer` reaches the cycle through a ref; the cycle's own values have no holder from outside.
    EXPECT_EQ(run(L"process main() { vector outer; int i = 0;"
                  L" while (i < 1) { vector v; ref r(v); v.push_back(r); v.push_back(7); outer.push_back(ref(v)); ++i; }"
                  L" int freed = using::collect();"
                  L" using::write(string(freed), \" \", string(outer.at(0).get().at(1)), \" \","
                  L" string(outer.at(0).get().at(0).get().size())); }"),
              L"0 7 2");
}

TEST_F(cycles, live_cycles_of_every_kind_keep_their_contents)
{
    // A handle counted twice by a walk would make a live value look unreachable: each kind's contents
    // are read back after the collection.
    EXPECT_EQ(run(L"class Base { vector links; };\n"
                  L"class Derived : Base { int n; Derived(int k) : n(k) { } };\n"
                  L"process main() { hash h; h.insert(\"self\", ref(h)); h.insert(\"n\", 5);"
                  L" list l; l.push_back(ref(l)); l.push_back(3);"
                  L" Derived d(9); d.links.push_back(ref(d)); d.links.push_back(ref(h));"
                  L" vector v; ref a(v); ref b(a); v.push_back(b); v.push_back(ref(l));"
                  L" int freed = using::collect();"
                  L" using::write(string(freed), \" \", string(h.at(\"n\")), \" \", string(l.back()), \" \","
                  L" string(d.links.at(0).get().n), \" \", string(d.links.at(1).get().at(\"self\").get().size()), \" \","
                  L" string(v.at(0).get().get().size()), \" \", string(v.at(1).get().front().get().size())); }"),
              L"0 5 3 9 2 2 2");
}

TEST_F(cycles, cycle_held_only_from_outside_what_the_roots_reach_survives)
{
    // `outer` holds a copy of v, whose ref copy is the only holder of v from outside the cycle; `outer`
    // itself is no root, so the collection never walks it.
    EXPECT_EQ(run(L"process main() { vector outer; int i = 0;"
                  L" while (i < 1) { vector v; ref r(v); v.push_back(r); v.push_back(5); outer.push_back(v); ++i; }"
                  L" int freed = using::collect();"
                  L" using::write(string(freed), \" \", string(outer.at(0).at(0).get().at(1))); }"),
              L"0 5");
}

TEST_F(cycles, garbage_cycle_leaves_what_it_refers_to_intact)
{
    EXPECT_EQ(run(L"nil make(ref keep) { vector v; ref r(v); v.push_back(r); v.push_back(keep); }\n"
                  L"process main() { vector kept; kept.push_back(1); make(ref(kept));"
                  L" int freed = using::collect();"
                  L" using::write(string(freed), \" \", string(kept.size()), \" \", string(kept.at(0))); }"),
              L"3 1 1");
}

TEST_F(cycles, cycle_held_only_by_a_running_call_survives)
{
    // The argument is the only outside holder of the cycle while the callee collects.
    EXPECT_EQ(run(L"vector cycle() { vector v; ref r(v); v.push_back(r); v.push_back(4); return v; }\n"
                  L"int inside(vector w) { int freed = using::collect(); return freed * 100 + w.at(0).get().at(1); }\n"
                  L"process main() { using::write(string(inside(cycle()))); }"),
              L"4");
}

TEST_F(cycles, a_loop_that_leaks_cycles_collects_by_itself)
{
    registry().least_growth(64);
    run(L"nil make() { vector v; ref r(v); v.push_back(r); }\n"
        L"process main() { int i = 0; while (i < 5000) { make(); ++i; } }");
    // Two values leak per call: without collections the registry would hold 10,000.
    EXPECT_LT(registry().tracked(), 400u);
}

TEST(cycle_registry, a_value_outlives_its_interpreter)
{
    value kept;
    {
        context c;
        const context::entry in(c);
        kept = make<vector_>();
        EXPECT_EQ(c.cycles.tracked(), 1u);
        kept = ref_(kept);  // a root, listed on c's registry
    }
    // The registry is gone; copying the root and dropping both must not reach back into it (the
    // sanitizer build checks).
    value copy = kept->clone();
    kept = nullptr;
    copy = nullptr;
}

} // namespace
} // namespace vorla::test
