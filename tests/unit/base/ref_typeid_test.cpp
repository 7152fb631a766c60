// Unit tests of the reference and type-id values: aliasing through get, refusals, type comparison.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "../support.hpp"
#include "factor/ref.hpp"
#include "factor/typeid_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

value get(const value& r) { return call(r, L"get"); }

value make_ref(const value& target)
{
    value r = ref_();
    r->call_constructor(target);
    return r;
}

value make_typeid(const value& of)
{
    value t = make<typeid_>();
    t->call_constructor(of);
    return t;
}

TEST(RefValue, GetReturnsTheVeryTarget)
{
    value variable = int_(5);
    value r = make_ref(variable);
    value through = get(r);
    EXPECT_EQ(through.get(), variable.get());
    *through = int_(9);
    EXPECT_EQ(variable->describe(), "int(9)");
    EXPECT_EQ(r->describe(), "ref(int(9))");
}

TEST(RefValue, CloneSharesTheTarget)
{
    value variable = str(L"a");
    value r = make_ref(variable);
    value c = r->clone();
    EXPECT_NE(c.get(), r.get());
    EXPECT_EQ(get(c).get(), variable.get());
}

TEST(RefValue, DefaultTargetIsNil)
{
    value r = ref_();
    r->call_constructor();
    EXPECT_EQ(get(r)->type_id(), tid::nil);
    EXPECT_EQ(r->describe(), "ref(nil())");
}

TEST(RefValue, GetWithoutAnyTargetGivesAFreshNil)
{
    value r = ref_();
    value a = get(r), b = get(r);
    EXPECT_EQ(a->type_id(), tid::nil);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(r->describe(), "ref(nil())");
}

TEST(RefValue, RefusesComparisonAndAssignment)
{
    value a = make_ref(int_(1)), b = make_ref(int_(1));
    const std::string eq = diagnostic([&] { (void)(*a == b); });
    EXPECT_EQ(eq.rfind("factor/ref.hpp(", 0), 0u) << eq;
    EXPECT_TRUE(ends_with(eq, ") vorla::ref::operator ==: ref(int(1))")) << eq;
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*a != b); }), " vorla::ref::operator !=: ref(int(1))"));
    EXPECT_TRUE(ends_with(diagnostic([&] { *a = int_(2); }), " vorla::ref::operator =: int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)!*a; }), " vorla::ref::operator !: "));
    EXPECT_TRUE(ends_with(diagnostic([&] { a->call_constructor(args{int_(1), int_(2)}); }),
                          " vorla::ref::call_constructor: v[0]=int(1), v[1]=int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)a->member(std::wstring(L"x")); }), " vorla::ref::member: x"));
    std::wostringstream out;
    EXPECT_TRUE(ends_with(diagnostic([&] { a->write_ostream(out); }), " vorla::ref::write_ostream: "));
}

TEST(RefValue, OnlyGetWithoutArgumentsIsAMethod)
{
    value r = make_ref(int_(1));
    const std::wstring get_name = L"get", size = L"size";
    const args one{int_(1)}, none;
    EXPECT_TRUE(ends_with(diagnostic([&] { r->method(method_call<wchar_t>{one, get_name}); }),
                          " vorla::ref::method: id=get, v[0]=int(1)"));
    EXPECT_TRUE(
        ends_with(diagnostic([&] { r->method(method_call<wchar_t>{none, size}); }), " vorla::ref::method: id=size, v=0"));
    const std::string narrow_get = "get";
    EXPECT_EQ(r->method(method_call<char>{none, narrow_get})->describe(), "int(1)");
}

TEST(RefValue, ConversionsThrowBadCast)
{
    value r = make_ref(int_(1));
    const std::string d = thrown_text([&] { (void)static_cast<int>(*r); });
    EXPECT_EQ(d.rfind("bad_cast(factor/ref.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") : vorla::ref::operator int)")) << d;
    EXPECT_TRUE(ends_with(thrown_text([&] { (void)static_cast<bool>(*r); }), " : vorla::ref::operator bool)"));
}

TEST(RefValue, EqualAndHashFollowTheTarget)
{
    value a = make_ref(int_(1)), b = make_ref(int_(1)), c = make_ref(int_(2));
    EXPECT_TRUE(a->equal(b));
    EXPECT_FALSE(a->equal(c));
    EXPECT_FALSE(a->equal(int_(1)));
    std::uint32_t h1 = 0, h2 = 0;
    a->hash(h1);
    int_(1)->hash(h2);
    EXPECT_EQ(h1, h2);
    EXPECT_EQ(a->type_id(), tid::ref);
}

TEST(TypeidValue, SameTypeComparesEqual)
{
    EXPECT_TRUE(as_bool(*make_typeid(int_(1)) == make_typeid(int_(2))));
    EXPECT_FALSE(as_bool(*make_typeid(int_(1)) != make_typeid(int_(2))));
    EXPECT_FALSE(as_bool(*make_typeid(int_(1)) == make_typeid(uint_(1))));
    EXPECT_TRUE(as_bool(*make_typeid(int_(1)) != make_typeid(uint_(1))));
    // A typeid compared with something that is not a typeid is simply unequal.
    EXPECT_FALSE(as_bool(*make_typeid(int_(1)) == int_(static_cast<int>(tid::signed_))));
}

TEST(TypeidValue, DefaultIsZeroAndFalse)
{
    value t = make_typeid(int_(1));
    t->call_constructor();
    EXPECT_FALSE(as_bool(t));
    EXPECT_EQ(static_cast<unsigned int>(*t), 0u);
    EXPECT_EQ(t->describe(), "typeid(0)");
}

TEST(TypeidValue, ConvertsToTheId)
{
    value t = make_typeid(str(L"x"));
    EXPECT_TRUE(as_bool(t));
    EXPECT_EQ(static_cast<unsigned int>(*t), tid::string_);
    EXPECT_EQ(static_cast<int>(*t), static_cast<int>(tid::string_));
    EXPECT_DOUBLE_EQ(static_cast<double>(*t), tid::string_);
    EXPECT_EQ(static_cast<std::wstring>(*t), std::to_wstring(tid::string_));
    EXPECT_EQ(t->describe(), "typeid(" + std::to_string(tid::string_) + ")");
    // A typeid joins strings like any number.
    EXPECT_EQ(static_cast<std::wstring>(*(*str(L"t=") + t)), L"t=" + std::to_wstring(tid::string_));
    // The typeid of a typeid is typeid's own id.
    EXPECT_EQ(static_cast<unsigned int>(*make_typeid(t)), tid::typeid_);
}

TEST(TypeidValue, RefusesOtherOperators)
{
    value t = make_typeid(int_(1));
    const std::string d = diagnostic([&] { *t = make_typeid(uint_(1)); });
    EXPECT_EQ(d.rfind("factor/typeid_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") vorla::typeid_::operator =: typeid(" + std::to_string(tid::unsigned_) + ")")) << d;
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*t < t); }), " vorla::typeid_::operator <: typeid(102)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*t + int_(1)); }), " vorla::typeid_::operator +: int(1)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { t->call_constructor(args{}); }), " vorla::typeid_::call_constructor: "));
    const std::wstring name = L"id";
    const args none;
    EXPECT_TRUE(ends_with(diagnostic([&] { t->method(method_call<wchar_t>{none, name}); }),
                          " vorla::typeid_::method: id=id, v=0"));
}

} // namespace
