// Unit tests of the vector and list values: element copies and aliases, range errors, methods and refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/list_.hpp"
#include "factor/nil.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "locale.hpp"

namespace {

using namespace vorla;

const bool locale_ready = (install_locale(), true);

value i(int n) { return std::make_shared<signed_<int>>(n); }
value u(unsigned int n) { return std::make_shared<unsigned_<unsigned int>>(n); }
value s(const std::wstring& t) { return std::make_shared<string_<wchar_t>>(t); }
value vec() { return std::make_shared<vector_>(); }
value lst() { return std::make_shared<list_>(); }

value call(const value& self, const std::wstring& name, const args& a = {})
{
    return self->method(method_call<wchar_t>{a, name});
}

template <class... V>
value filled(value c, V... v)
{
    (call(c, L"push_back", {v}), ...);
    return c;
}

// The diagnostic text a call raises; fails the test when it raises nothing or something else.
template <class F>
std::string diagnostic(F f)
{
    try {
        f();
    } catch (const vorla::exception& e) {
        return e.text();
    } catch (...) {
        ADD_FAILURE() << "raised something other than a diagnostic";
        return {};
    }
    ADD_FAILURE() << "raised nothing";
    return {};
}

// The script exception value a call throws; fails the test when it throws nothing or something else.
template <class F>
value thrown(F f)
{
    try {
        f();
    } catch (const sig_throw& t) {
        return t.v;
    } catch (...) {
        ADD_FAILURE() << "raised something other than a script throw";
        return std::make_shared<nil>();
    }
    ADD_FAILURE() << "raised nothing";
    return std::make_shared<nil>();
}

bool starts_with(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }
bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A diagnostic raised from a class's header under the given function name with the given message.
void expect_refusal(const std::string& text, const std::string& header, const std::string& function,
                    const std::string& message)
{
    EXPECT_TRUE(starts_with(text, header + "(")) << text;
    EXPECT_TRUE(ends_with(text, ") " + function + ": " + message)) << text;
    EXPECT_EQ(text.find("\n"), std::string::npos) << text;
}

// A range_error thrown by the named dispatcher from the named header.
void expect_range_error(const value& v, const std::string& header, const std::string& function)
{
    EXPECT_EQ(v->type_id(), tid::range_error);
    const std::string d = v->describe();
    EXPECT_TRUE(starts_with(d, "range_error(" + header + "(")) << d;
    EXPECT_TRUE(ends_with(d, ") : " + function + ")")) << d;
}

TEST(SequenceValue, DescribeListsTheElements)
{
    EXPECT_EQ(vec()->describe(), "vector[]");
    EXPECT_EQ(lst()->describe(), "list[]");
    EXPECT_EQ(filled(vec(), i(1), s(L"a"))->describe(), "vector[int(1), string(a)]");
    EXPECT_EQ(filled(lst(), i(1), s(L"a"))->describe(), "list[int(1), string(a)]");
    EXPECT_EQ(filled(vec(), filled(lst(), u(1234)))->describe(), "vector[list[unsigned(1,234)]]");
}

TEST(SequenceValue, PushBackStoresACloneAndReturnsTheStoredElement)
{
    for (value c : {vec(), lst()}) {
        value x = i(5);
        value stored = call(c, L"push_back", {x});
        EXPECT_NE(stored.get(), x.get());
        *x = i(7);
        const std::string tag = c->type_id() == tid::vector_ ? "vector" : "list";
        EXPECT_EQ(c->describe(), tag + "[int(5)]");
        *stored = i(9);
        EXPECT_EQ(call(c, L"back")->describe(), "int(9)");
        EXPECT_EQ(call(c, L"back").get(), stored.get());
    }
}

TEST(SequenceValue, ListPushFrontStoresACloneAndReturnsTheStoredElement)
{
    value l = filled(lst(), i(2));
    value x = i(1);
    value stored = call(l, L"push_front", {x});
    *x = i(7);
    EXPECT_EQ(l->describe(), "list[int(1), int(2)]");
    ++*stored;
    EXPECT_EQ(call(l, L"front")->describe(), "int(2)");
    EXPECT_EQ(l->describe(), "list[int(2), int(2)]");
}

TEST(SequenceValue, AtAliasesTheElement)
{
    value v = filled(vec(), i(1), i(2));
    value e = call(v, L"at", {i(1)});
    *e = i(20);
    EXPECT_EQ(v->describe(), "vector[int(1), int(20)]");
}

TEST(SequenceValue, AtWithTheSizeAsIndexIsARangeError)
{
    value v = filled(vec(), i(1), i(2));
    expect_range_error(thrown([&] { call(v, L"at", {u(2)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
    EXPECT_EQ(call(v, L"at", {u(1)})->describe(), "int(2)");
    expect_range_error(thrown([&] { call(vec(), L"at", {i(0)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
}

TEST(SequenceValue, NegativeIndexGoesThroughUnsignedConversion)
{
    value v = filled(vec(), i(1));
    expect_range_error(thrown([&] { call(v, L"at", {i(-1)}); }), "factor/vector_.hpp", "vorla::vector_::_method");
    expect_range_error(thrown([&] { call(v, L"replace", {i(-1), i(3)}); }), "factor/vector_.hpp",
                       "vorla::vector_::_method");
    EXPECT_EQ(v->describe(), "vector[int(1)]");
}

TEST(SequenceValue, AnIndexThatRefusesConversionThrowsBadCast)
{
    value v = filled(vec(), i(1));
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
    value l = filled(lst(), i(1), i(2), i(3));
    value front = call(l, L"front");
    EXPECT_EQ(call(l, L"pop_front").get(), front.get());
    EXPECT_EQ(call(l, L"pop_back")->describe(), "int(3)");
    EXPECT_EQ(l->describe(), "list[int(2)]");
    EXPECT_EQ(call(l, L"size")->describe(), "unsigned(1)");
}

TEST(SequenceValue, ReplaceStoresACloneAndReturnsTheOldElement)
{
    value v = filled(vec(), i(1), i(2));
    value old = call(v, L"at", {i(0)});
    value x = s(L"a");
    EXPECT_EQ(call(v, L"replace", {i(0), x}).get(), old.get());
    *x = s(L"b");
    EXPECT_EQ(v->describe(), "vector[string(a), int(2)]");
    expect_range_error(thrown([&] { call(v, L"replace", {i(2), x}); }), "factor/vector_.hpp",
                       "vorla::vector_::_method");
    EXPECT_EQ(v->describe(), "vector[string(a), int(2)]");
}

TEST(SequenceValue, ResizeGivesEveryNewPositionItsOwnValue)
{
    for (value c : {vec(), lst()}) {
        call(c, L"resize", {i(3)});
        EXPECT_TRUE(ends_with(c->describe(), "[nil(), nil(), nil()]")) << c->describe();
        EXPECT_NE(call(c, L"front").get(), call(c, L"back").get());
        value fill = i(4);
        call(c, L"resize", {i(5), fill});
        EXPECT_TRUE(ends_with(c->describe(), "[nil(), nil(), nil(), int(4), int(4)]")) << c->describe();
        value last = call(c, L"back");
        EXPECT_NE(last.get(), fill.get());
        call(c, L"pop_back");
        EXPECT_NE(call(c, L"back").get(), last.get());
        call(c, L"resize", {i(1)});
        EXPECT_TRUE(ends_with(c->describe(), "[nil()]")) << c->describe();
    }
    value v = vec();
    call(v, L"resize", {i(3)});
    EXPECT_NE(call(v, L"at", {i(0)}).get(), call(v, L"at", {i(1)}).get());
    EXPECT_NE(call(v, L"at", {i(1)}).get(), call(v, L"at", {i(2)}).get());
}

TEST(SequenceValue, UnknownMethodsAndCountsAreRefusedWithTheCallText)
{
    expect_refusal(diagnostic([] { call(vec(), L"size", {i(1)}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=size, v[0]=int(1)");
    expect_refusal(diagnostic([] { call(vec(), L"push_front", {i(1)}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=push_front, v[0]=int(1)");
    expect_refusal(diagnostic([] { call(vec(), L"at"); }), "factor/vector_.hpp", "vorla::vector_::_method",
                   "id=at, v=0");
    expect_refusal(diagnostic([] { call(lst(), L"at", {i(0)}); }), "factor/list_.hpp", "vorla::list_::_method",
                   "id=at, v[0]=int(0)");
    expect_refusal(diagnostic([] { call(lst(), L"replace", {i(0), s(L"a")}); }), "factor/list_.hpp",
                   "vorla::list_::_method", "id=replace, v[0]=int(0), v[1]=string(a)");
}

TEST(SequenceValue, NarrowMethodNamesReachTheSameMethods)
{
    value v = filled(vec(), i(1));
    const args none;
    const std::string size = "size";
    EXPECT_EQ(v->method(method_call<char>{none, size})->describe(), "unsigned(1)");
    const args one{i(1)};
    expect_refusal(diagnostic([&] { v->method(method_call<char>{one, size}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=size, v[0]=int(1)");
}

TEST(SequenceValue, SwapExchangesOnlyWithItsOwnType)
{
    value a = filled(vec(), i(1));
    value b = filled(vec(), i(2), i(3));
    EXPECT_EQ(call(a, L"swap", {b})->type_id(), tid::nil);
    EXPECT_EQ(a->describe(), "vector[int(2), int(3)]");
    EXPECT_EQ(b->describe(), "vector[int(1)]");
    expect_refusal(diagnostic([&] { call(a, L"swap", {filled(lst(), i(1))}); }), "factor/vector_.hpp",
                   "vorla::vector_::_method", "id=swap, v[0]=list[int(1)]");
    expect_refusal(diagnostic([&] { call(lst(), L"swap", {vec()}); }), "factor/list_.hpp", "vorla::list_::_method",
                   "id=swap, v[0]=vector[]");
    EXPECT_EQ(a->describe(), "vector[int(2), int(3)]");
}

TEST(SequenceValue, VectorAndListWithTheSameElementsDiffer)
{
    value v = filled(vec(), i(1), s(L"a"));
    value l = filled(lst(), i(1), s(L"a"));
    EXPECT_FALSE(v->equal(l));
    EXPECT_FALSE(l->equal(v));
    EXPECT_TRUE(v->equal(filled(vec(), i(1), s(L"a"))));
    EXPECT_FALSE(v->equal(filled(vec(), i(1), s(L"b"))));
    EXPECT_FALSE(v->equal(filled(vec(), i(1))));
    EXPECT_FALSE(v->equal(filled(vec(), u(1), s(L"a"))));
}

TEST(SequenceValue, HashFeedsTheElementsAndTheListAlsoItsTypeId)
{
    std::uint32_t by_elements = 0;
    i(1)->hash(by_elements);
    s(L"a")->hash(by_elements);

    std::uint32_t vector_seed = 0;
    filled(vec(), i(1), s(L"a"))->hash(vector_seed);
    EXPECT_EQ(vector_seed, by_elements);

    std::uint32_t list_expected = 0;
    hash_combine(list_expected, tid::list_);
    i(1)->hash(list_expected);
    s(L"a")->hash(list_expected);
    std::uint32_t list_seed = 0;
    filled(lst(), i(1), s(L"a"))->hash(list_seed);
    EXPECT_EQ(list_seed, list_expected);
}

TEST(SequenceValue, CloneAndAssignmentCopyDeeply)
{
    value v = filled(vec(), i(1), filled(lst(), i(2)));
    value c = v->clone();
    EXPECT_EQ(c->type_id(), tid::vector_);
    EXPECT_TRUE(c->equal(v));
    *call(c, L"at", {i(0)}) = i(10);
    call(call(c, L"at", {i(1)}), L"clear");
    EXPECT_EQ(v->describe(), "vector[int(1), list[int(2)]]");

    value target = filled(vec(), i(99));
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
    value v = filled(vec(), i(1));
    expect_refusal(diagnostic([&] { *v = filled(lst(), i(1), i(2)); }), "factor/vector_.hpp",
                   "vorla::vector_::operator =", "list[int(1), int(2)]");
    expect_refusal(diagnostic([&] { *lst() = i(3); }), "factor/list_.hpp", "vorla::list_::operator =", "int(3)");
    EXPECT_EQ(v->describe(), "vector[int(1)]");
}

TEST(SequenceValue, ConstructorsResizeFillOrCopy)
{
    value v = vec();
    value fill = s(L"z");
    v->call_constructor(args{i(2), fill});
    EXPECT_EQ(v->describe(), "vector[string(z), string(z)]");
    EXPECT_NE(call(v, L"at", {i(0)}).get(), call(v, L"at", {i(1)}).get());
    EXPECT_NE(call(v, L"at", {i(0)}).get(), fill.get());

    expect_refusal(diagnostic([&] { v->call_constructor(args{i(1), i(2), i(3)}); }), "factor/vector_.hpp",
                   "vorla::vector_::call_constructor", "v[0]=int(1), v[1]=int(2), v[2]=int(3)");
    expect_refusal(diagnostic([&] { v->call_constructor(args{}); }), "factor/vector_.hpp",
                   "vorla::vector_::call_constructor", "");

    value l = lst();
    l->call_constructor(s(L"2"));  // a count from the argument's own unsigned conversion
    EXPECT_EQ(l->describe(), "list[nil(), nil()]");
    value source = filled(lst(), i(5));
    l->call_constructor(source);
    EXPECT_EQ(l->describe(), "list[int(5)]");
    EXPECT_NE(call(l, L"front").get(), call(source, L"front").get());
    l->call_constructor();
    EXPECT_EQ(l->describe(), "list[int(5)]");
}

TEST(SequenceValue, OperatorsAndConversionsAreRefused)
{
    value v = vec();
    expect_refusal(diagnostic([&] { (void)(*v + i(1)); }), "factor/vector_.hpp", "vorla::vector_::operator +",
                   "int(1)");
    expect_refusal(diagnostic([&] { (void)lst()->member(std::wstring(L"size")); }), "factor/list_.hpp",
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
    value v = filled(vec(), i(1));
    call(v, L"push_back", {std::make_shared<ref>(v)});  // the clone of a ref keeps the same target
    const std::string text = diagnostic([&] { (void)v->describe(); });
    EXPECT_NE(text.find("vorla::vector_::describe: nesting too deep"), std::string::npos) << text.substr(0, 200);
    call(v, L"clear");  // breaks the cycle so the vector can go
}

} // namespace
