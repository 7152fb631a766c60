// Unit tests of the vector and list values: element copies and aliases, range errors, methods and refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/ref.hpp"
#include "factor/vector_.hpp"
#include "stack_guard.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

value vec() { return make<vector_>(); }
value lst() { return make<list_>(); }

template <class... V>
value filled(value c, V... v)
{
    (call(c, L"push_back", {v}), ...);
    return c;
}

// A refusal that is a single line: nothing chained under it.
void expect_one_line_refusal(const std::string& text, const std::string& header, const std::string& function,
                             const std::string& message)
{
    expect_refusal(text, header, function, message);
    EXPECT_EQ(text.find("\n"), std::string::npos) << text;
}

TEST(SequenceValue, DescribeListsTheElements)
{
    EXPECT_EQ(vec()->describe(), "vector[]");
    EXPECT_EQ(lst()->describe(), "list[]");
    EXPECT_EQ(filled(vec(), int_(1), str(L"a"))->describe(), "vector[int(1), string(a)]");
    EXPECT_EQ(filled(lst(), int_(1), str(L"a"))->describe(), "list[int(1), string(a)]");
    EXPECT_EQ(filled(vec(), filled(lst(), uint_(1234)))->describe(), "vector[list[unsigned(1,234)]]");
}

TEST(SequenceValue, PushBackStoresACloneAndReturnsTheStoredElement)
{
    for (value c : {vec(), lst()}) {
        value x = int_(5);
        value stored = call(c, L"push_back", {x});
        EXPECT_NE(stored.get(), x.get());
        *x = int_(7);
        const std::string tag = c->type_id() == tid::vector_ ? "vector" : "list";
        EXPECT_EQ(c->describe(), tag + "[int(5)]");
        *stored = int_(9);
        EXPECT_EQ(call(c, L"back")->describe(), "int(9)");
        EXPECT_EQ(call(c, L"back").get(), stored.get());
    }
}

TEST(SequenceValue, ListPushFrontStoresACloneAndReturnsTheStoredElement)
{
    value l = filled(lst(), int_(2));
    value x = int_(1);
    value stored = call(l, L"push_front", {x});
    *x = int_(7);
    EXPECT_EQ(l->describe(), "list[int(1), int(2)]");
    ++*stored;
    EXPECT_EQ(call(l, L"front")->describe(), "int(2)");
    EXPECT_EQ(l->describe(), "list[int(2), int(2)]");
}

TEST(SequenceValue, AtAliasesTheElement)
{
    value v = filled(vec(), int_(1), int_(2));
    value e = call(v, L"at", {int_(1)});
    *e = int_(20);
    EXPECT_EQ(v->describe(), "vector[int(1), int(20)]");
}

TEST(SequenceValue, AtWithTheSizeAsIndexIsARangeError)
{
    value v = filled(vec(), int_(1), int_(2));
    expect_range_error(thrown([&] { call(v, L"at", {uint_(2)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
    EXPECT_EQ(call(v, L"at", {uint_(1)})->describe(), "int(2)");
    expect_range_error(thrown([&] { call(vec(), L"at", {int_(0)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
}

TEST(SequenceValue, NegativeIndexGoesThroughUnsignedConversion)
{
    value v = filled(vec(), int_(1));
    expect_range_error(thrown([&] { call(v, L"at", {int_(-1)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
    expect_range_error(thrown([&] { call(v, L"replace", {int_(-1), int_(3)}); }), "factor/vector_.hpp",
                       "vorla::vector_::_method");
    EXPECT_EQ(v->describe(), "vector[int(1)]");
}

TEST(SequenceValue, AnIndexThatRefusesConversionThrowsBadCast)
{
    value v = filled(vec(), int_(1));
    EXPECT_EQ(thrown([&] { call(v, L"at", {vec()}); })->type_id(), tid::bad_cast);
}

TEST(SequenceValue, EmptyContainersRaiseRangeErrors)
{
    for (const char* name : {"front", "back", "pop_back"}) {
        const std::wstring w(name, name + std::char_traits<char>::length(name));
        expect_range_error(thrown([&] { call(vec(), w); }), "factor/vector_.hpp", "vorla::vector_::_method");
        expect_range_error(thrown([&] { call(lst(), w); }), "factor/list_.hpp", "vorla::list_::_method");
    }
    expect_range_error(thrown([&] { call(lst(), L"pop_front"); }), "factor/list_.hpp", "vorla::list_::_method");
}

TEST(SequenceValue, PopsReturnTheRemovedElements)
{
    value l = filled(lst(), int_(1), int_(2), int_(3));
    value front = call(l, L"front");
    EXPECT_EQ(call(l, L"pop_front").get(), front.get());
    EXPECT_EQ(call(l, L"pop_back")->describe(), "int(3)");
    EXPECT_EQ(l->describe(), "list[int(2)]");
    EXPECT_EQ(call(l, L"size")->describe(), "unsigned(1)");
}

TEST(SequenceValue, ReplaceStoresACloneAndReturnsTheOldElement)
{
    value v = filled(vec(), int_(1), int_(2));
    value old = call(v, L"at", {int_(0)});
    value x = str(L"a");
    EXPECT_EQ(call(v, L"replace", {int_(0), x}).get(), old.get());
    *x = str(L"b");
    EXPECT_EQ(v->describe(), "vector[string(a), int(2)]");
    expect_range_error(thrown([&] { call(v, L"replace", {int_(2), x}); }), "factor/vector_.hpp",
                       "vorla::vector_::_method");
    EXPECT_EQ(v->describe(), "vector[string(a), int(2)]");
}

TEST(SequenceValue, ResizeGivesEveryNewPositionItsOwnValue)
{
    for (value c : {vec(), lst()}) {
        call(c, L"resize", {int_(3)});
        EXPECT_TRUE(ends_with(c->describe(), "[nil(), nil(), nil()]")) << c->describe();
        EXPECT_NE(call(c, L"front").get(), call(c, L"back").get());
        value fill = int_(4);
        call(c, L"resize", {int_(5), fill});
        EXPECT_TRUE(ends_with(c->describe(), "[nil(), nil(), nil(), int(4), int(4)]")) << c->describe();
        value last = call(c, L"back");
        EXPECT_NE(last.get(), fill.get());
        call(c, L"pop_back");
        EXPECT_NE(call(c, L"back").get(), last.get());
        call(c, L"resize", {int_(1)});
        EXPECT_TRUE(ends_with(c->describe(), "[nil()]")) << c->describe();
    }
    value v = vec();
    call(v, L"resize", {int_(3)});
    EXPECT_NE(call(v, L"at", {int_(0)}).get(), call(v, L"at", {int_(1)}).get());
    EXPECT_NE(call(v, L"at", {int_(1)}).get(), call(v, L"at", {int_(2)}).get());
}

TEST(SequenceValue, UnknownMethodsAndCountsAreRefusedWithTheCallText)
{
    expect_one_line_refusal(diagnostic([] { call(vec(), L"size", {int_(1)}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=size, v[0]=int(1)");
    expect_one_line_refusal(diagnostic([] { call(vec(), L"push_front", {int_(1)}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=push_front, v[0]=int(1)");
    expect_one_line_refusal(diagnostic([] { call(vec(), L"at"); }), "factor/vector_.hpp", "vorla::vector_::_method",
                   "id=at, v=0");
    expect_one_line_refusal(diagnostic([] { call(lst(), L"at", {int_(0)}); }), "factor/list_.hpp",
                            "vorla::list_::_method", "id=at, v[0]=int(0)");
    expect_one_line_refusal(diagnostic([] { call(lst(), L"replace", {int_(0), str(L"a")}); }), "factor/list_.hpp",
                   "vorla::list_::_method", "id=replace, v[0]=int(0), v[1]=string(a)");
}

TEST(SequenceValue, NarrowMethodNamesReachTheSameMethods)
{
    value v = filled(vec(), int_(1));
    const args none;
    const std::string size = "size";
    EXPECT_EQ(v->method(method_call<char>{none, size})->describe(), "unsigned(1)");
    const args one{int_(1)};
    expect_one_line_refusal(diagnostic([&] { v->method(method_call<char>{one, size}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=size, v[0]=int(1)");
}

TEST(SequenceValue, SwapExchangesOnlyWithItsOwnType)
{
    value a = filled(vec(), int_(1));
    value b = filled(vec(), int_(2), int_(3));
    EXPECT_EQ(call(a, L"swap", {b})->type_id(), tid::nil);
    EXPECT_EQ(a->describe(), "vector[int(2), int(3)]");
    EXPECT_EQ(b->describe(), "vector[int(1)]");
    expect_one_line_refusal(diagnostic([&] { call(a, L"swap", {filled(lst(), int_(1))}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=swap, v[0]=list[int(1)]");
    expect_one_line_refusal(diagnostic([&] { call(lst(), L"swap", {vec()}); }), "factor/list_.hpp",
                            "vorla::list_::_method", "id=swap, v[0]=vector[]");
    EXPECT_EQ(a->describe(), "vector[int(2), int(3)]");
}

TEST(SequenceValue, VectorAndListWithTheSameElementsDiffer)
{
    value v = filled(vec(), int_(1), str(L"a"));
    value l = filled(lst(), int_(1), str(L"a"));
    EXPECT_FALSE(v->equal(l));
    EXPECT_FALSE(l->equal(v));
    EXPECT_TRUE(v->equal(filled(vec(), int_(1), str(L"a"))));
    EXPECT_FALSE(v->equal(filled(vec(), int_(1), str(L"b"))));
    EXPECT_FALSE(v->equal(filled(vec(), int_(1))));
    EXPECT_FALSE(v->equal(filled(vec(), uint_(1), str(L"a"))));
}

TEST(SequenceValue, HashFeedsTheElementsAndTheListAlsoItsTypeId)
{
    std::uint32_t by_elements = 0;
    int_(1)->hash(by_elements);
    str(L"a")->hash(by_elements);

    std::uint32_t vector_seed = 0;
    filled(vec(), int_(1), str(L"a"))->hash(vector_seed);
    EXPECT_EQ(vector_seed, by_elements);

    std::uint32_t list_expected = 0;
    hash_combine(list_expected, tid::list_);
    int_(1)->hash(list_expected);
    str(L"a")->hash(list_expected);
    std::uint32_t list_seed = 0;
    filled(lst(), int_(1), str(L"a"))->hash(list_seed);
    EXPECT_EQ(list_seed, list_expected);
}

TEST(SequenceValue, CloneAndAssignmentCopyDeeply)
{
    value v = filled(vec(), int_(1), filled(lst(), int_(2)));
    value c = v->clone();
    EXPECT_EQ(c->type_id(), tid::vector_);
    EXPECT_TRUE(c->equal(v));
    *call(c, L"at", {int_(0)}) = int_(10);
    call(call(c, L"at", {int_(1)}), L"clear");
    EXPECT_EQ(v->describe(), "vector[int(1), list[int(2)]]");

    value target = filled(vec(), int_(99));
    value kept = call(target, L"front");
    *target = v;
    EXPECT_EQ(target->describe(), "vector[int(1), list[int(2)]]");
    EXPECT_NE(call(target, L"front").get(), call(v, L"front").get());
    EXPECT_EQ(kept->describe(), "int(99)");  // the dropped element lives on with its other holder

    *v = v;
    EXPECT_EQ(v->describe(), "vector[int(1), list[int(2)]]");
}

TEST(SequenceValue, AssigningAListToAVectorIsRefused)
{
    value v = filled(vec(), int_(1));
    expect_one_line_refusal(diagnostic([&] { *v = filled(lst(), int_(1), int_(2)); }), "factor/vector_.hpp",
                   "vorla::vector_::operator =", "list[int(1), int(2)]");
    expect_one_line_refusal(diagnostic([&] { *lst() = int_(3); }), "factor/list_.hpp",
                            "vorla::list_::operator =", "int(3)");
    EXPECT_EQ(v->describe(), "vector[int(1)]");
}

TEST(SequenceValue, ConstructorsResizeFillOrCopy)
{
    value v = vec();
    value fill = str(L"z");
    v->call_constructor(args{int_(2), fill});
    EXPECT_EQ(v->describe(), "vector[string(z), string(z)]");
    EXPECT_NE(call(v, L"at", {int_(0)}).get(), call(v, L"at", {int_(1)}).get());
    EXPECT_NE(call(v, L"at", {int_(0)}).get(), fill.get());

    expect_one_line_refusal(diagnostic([&] {
                                v->call_constructor(args{int_(1), int_(2), int_(3)});
                            }),
                            "factor/vector_.hpp", "vorla::vector_::call_constructor",
                            "v[0]=int(1), v[1]=int(2), v[2]=int(3)");
    expect_one_line_refusal(diagnostic([&] { v->call_constructor(args{}); }), "factor/vector_.hpp",
                   "vorla::vector_::call_constructor", "");

    value l = lst();
    l->call_constructor(str(L"2"));  // a count from the argument's own unsigned conversion
    EXPECT_EQ(l->describe(), "list[nil(), nil()]");
    value source = filled(lst(), int_(5));
    l->call_constructor(source);
    EXPECT_EQ(l->describe(), "list[int(5)]");
    EXPECT_NE(call(l, L"front").get(), call(source, L"front").get());
    l->call_constructor();
    EXPECT_EQ(l->describe(), "list[int(5)]");
}

TEST(SequenceValue, OperatorsAndConversionsAreRefused)
{
    value v = vec();
    expect_one_line_refusal(diagnostic([&] { (void)(*v + int_(1)); }), "factor/vector_.hpp",
                            "vorla::vector_::operator +", "int(1)");
    expect_one_line_refusal(diagnostic([&] { (void)lst()->member(std::wstring(L"size")); }), "factor/list_.hpp",
                   "vorla::list_::member", "size");

    value cast = thrown([&] { (void)static_cast<bool>(*v); });
    EXPECT_EQ(cast->type_id(), tid::bad_cast);
    EXPECT_TRUE(ends_with(cast->describe(), ") : vorla::vector_::operator bool)")) << cast->describe();
    EXPECT_TRUE(starts_with(cast->describe(), "bad_cast(factor/vector_.hpp(")) << cast->describe();
    cast = thrown([&] { (void)static_cast<int>(*lst()); });
    EXPECT_TRUE(ends_with(cast->describe(), ") : vorla::list_::operator int)")) << cast->describe();
}

TEST(SequenceValue, AContainerReachingItselfEndsInADiagnostic)
{
    value v = filled(vec(), int_(1));
    call(v, L"push_back", {ref_(v)});  // the clone of a ref keeps the same target
    // On the stack scripts run on, so the nesting limit (not the machine stack) decides where it stops.
    std::string text;
    run_on_stack(script_stack_bytes, [&] { text = diagnostic([&] { (void)v->describe(); }); });
    EXPECT_NE(text.find("vorla::vector_::describe: nesting too deep"), std::string::npos) << text.substr(0, 200);
    call(v, L"clear");  // breaks the cycle so the vector can go
}

// A vector holding a vector holding ... `depth` levels deep, built without recursion.
value nested(std::size_t depth, value (*make)())
{
    value root = make();
    value at = root;
    for (std::size_t i = 0; i < depth; ++i) at = call(at, L"push_back", {make()});
    return root;
}

TEST(SequenceValue, WalksStopAtTheNestingLimit)
{
    run_on_stack(script_stack_bytes, [] {
        // The limit counts levels: exactly nesting_limit levels are walked, one more is refused.
        value fits = nested(factor::nesting_limit - 1, vec);
        EXPECT_EQ(fits->clone()->describe().size(), fits->describe().size());
        std::uint32_t seed = 0;
        fits->hash(seed);
        EXPECT_TRUE(fits->equal(fits->clone()));
        value deep = nested(factor::nesting_limit, lst);
        EXPECT_HAS(diagnostic([&] { (void)deep->describe(); }), "vorla::list_::describe: nesting too deep");
        EXPECT_HAS(diagnostic([&] { (void)deep->clone(); }), "vorla::list_::clone: nesting too deep");
        EXPECT_HAS(diagnostic([&] { deep->hash(seed); }), "vorla::list_::hash: nesting too deep");
        value other = nested(factor::nesting_limit, lst);
        EXPECT_HAS(diagnostic([&] { (void)deep->equal(other); }), "vorla::list_::equal: nesting too deep");
        // The refusals leave the count where it was: a shallow walk still works afterwards.
        EXPECT_EQ(filled(vec(), filled(lst()))->describe(), "vector[list[]]");
    });
}

// `levels` levels of values holding one another in turn: a vector holding a ref to a hash holding a vector
// under key 0, and so on; built from the top down, so that nothing copies it on the way.
value mixed_chain(unsigned levels)
{
    value root = vec(), at = root;
    bool at_vector = true;
    for (unsigned made = 1; made < levels;) {
        if (at_vector && made + 2 <= levels) {
            const value held = call(at, L"push_back", {ref_(make<hash_>())});
            at = call(held, L"get");
            at_vector = false;
            made += 2;
        } else if (at_vector) {
            at = call(at, L"push_back", {vec()});
            ++made;
        } else {
            call(at, L"insert", {int_(0), vec()});
            at = call(at, L"at", {int_(0)});
            at_vector = true;
            ++made;
        }
    }
    return root;
}

// Every kind of value that holds others hands the walk's depth on to what it holds: a chain through all of
// them meets the limit at the same level as a chain of one kind. (A copy stops at the first ref, which
// shares its target.)
TEST(SequenceValue, MixedChainsCountEveryLevelTowardsTheNestingLimit)
{
    run_on_stack(script_stack_bytes, [] {
        for (unsigned extra = 0; extra < 3; ++extra) {
            value fits = mixed_chain(factor::nesting_limit - extra);
            EXPECT_EQ(fits->clone()->describe().size(), fits->describe().size());
            std::uint32_t seed = 0;
            fits->hash(seed);
            EXPECT_TRUE(fits->equal(fits->clone()));
            value deep = mixed_chain(factor::nesting_limit + 1 + extra), other = mixed_chain(factor::nesting_limit + 1 + extra);
            EXPECT_HAS(diagnostic([&] { (void)deep->describe(); }), "::describe: nesting too deep");
            EXPECT_HAS(diagnostic([&] { deep->hash(seed); }), "::hash: nesting too deep");
            EXPECT_HAS(diagnostic([&] { (void)deep->equal(other); }), "::equal: nesting too deep");
        }
    });
}

TEST(SequenceValue, RefChainsStopAtTheNestingLimit)
{
    run_on_stack(script_stack_bytes, [] {
        value chain = int_(1);
        for (unsigned i = 0; i <= factor::nesting_limit; ++i) chain = ref_(chain);
        EXPECT_HAS(diagnostic([&] { (void)chain->describe(); }), "vorla::ref::describe: nesting too deep");
        std::uint32_t seed = 0;
        EXPECT_HAS(diagnostic([&] { chain->hash(seed); }), "vorla::ref::hash: nesting too deep");
        EXPECT_HAS(diagnostic([&] { (void)chain->equal(ref_(chain)); }), "vorla::ref::equal: nesting too deep");
    });
}

TEST(SequenceValue, DeepStructuresAreReleasedWithoutRecursion)
{
    // Run on a small stack (1 MiB above the reserve the depth checks keep): a destructor inside a
    // destructor for each level would overflow it at once.
    run_on_stack(stack_reserve() + (std::size_t(1) << 20), [] {
        {
            value chain = int_(1);
            for (int i = 0; i < 300000; ++i) chain = ref_(chain);
        }
        { value v = nested(300000, vec); }
        { value l = nested(300000, lst); }
        // Shared parts stay alive for their other holders.
        value shared = filled(vec(), int_(3));
        {
            value holder = filled(vec(), ref_(shared));
        }
        EXPECT_EQ(shared->describe(), "vector[int(3)]");
    });
}

} // namespace
