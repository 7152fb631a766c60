// Unit tests of the reference and type-id values: aliasing through get, refusals, type comparison.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/nil.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/typeid_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"

namespace {

using namespace vorla;

const bool locale_ready = (install_locale(), true);

value i(int n) { return std::make_shared<signed_<int>>(n); }
value u(unsigned int n) { return std::make_shared<unsigned_<unsigned int>>(n); }
value s(const std::wstring& t) { return std::make_shared<string_<wchar_t>>(t); }
bool yes(const value& v) { return static_cast<bool>(*v); }

value get(const value& r)
{
    const args none;
    const std::wstring name = L"get";
    return r->method(method_call<wchar_t>{none, name});
}

value make_ref(const value& target)
{
    value r = std::make_shared<ref>();
    r->call_constructor(target);
    return r;
}

value make_typeid(const value& of)
{
    value t = std::make_shared<typeid_>();
    t->call_constructor(of);
    return t;
}

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

template <class F>
std::string thrown(F f)
{
    try {
        f();
    } catch (const sig_throw& t) {
        return t.v->describe();
    } catch (...) {
        ADD_FAILURE() << "raised something other than a script throw";
        return {};
    }
    ADD_FAILURE() << "raised nothing";
    return {};
}

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(RefValue, GetReturnsTheVeryTarget)
{
    value variable = i(5);
    value r = make_ref(variable);
    value through = get(r);
    EXPECT_EQ(through.get(), variable.get());
    *through = i(9);
    EXPECT_EQ(variable->describe(), "int(9)");
    EXPECT_EQ(r->describe(), "ref(int(9))");
}

TEST(RefValue, CloneSharesTheTarget)
{
    value variable = s(L"a");
    value r = make_ref(variable);
    value c = r->clone();
    EXPECT_NE(c.get(), r.get());
    EXPECT_EQ(get(c).get(), variable.get());
}

TEST(RefValue, DefaultTargetIsNil)
{
    value r = std::make_shared<ref>();
    r->call_constructor();
    EXPECT_EQ(get(r)->type_id(), tid::nil);
    EXPECT_EQ(r->describe(), "ref(nil())");
}

TEST(RefValue, GetWithoutAnyTargetGivesAFreshNil)
{
    value r = std::make_shared<ref>();
    value a = get(r), b = get(r);
    EXPECT_EQ(a->type_id(), tid::nil);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(r->describe(), "ref(nil())");
}

TEST(RefValue, RefusesComparisonAndAssignment)
{
    value a = make_ref(i(1)), b = make_ref(i(1));
    const std::string eq = diagnostic([&] { (void)(*a == b); });
    EXPECT_EQ(eq.rfind("factor/ref.hpp(", 0), 0u) << eq;
    EXPECT_TRUE(ends_with(eq, ") vorla::ref::operator ==: ref(int(1))")) << eq;
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*a != b); }), " vorla::ref::operator !=: ref(int(1))"));
    EXPECT_TRUE(ends_with(diagnostic([&] { *a = i(2); }), " vorla::ref::operator =: int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)!*a; }), " vorla::ref::operator !: "));
    EXPECT_TRUE(ends_with(diagnostic([&] { a->call_constructor(args{i(1), i(2)}); }),
                          " vorla::ref::call_constructor: v[0]=int(1), v[1]=int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)a->member(std::wstring(L"x")); }), " vorla::ref::member: x"));
    std::wostringstream out;
    EXPECT_TRUE(ends_with(diagnostic([&] { a->write_ostream(out); }), " vorla::ref::write_ostream: "));
}

TEST(RefValue, OnlyGetWithoutArgumentsIsAMethod)
{
    value r = make_ref(i(1));
    const std::wstring get_name = L"get", size = L"size";
    const args one{i(1)}, none;
    EXPECT_TRUE(ends_with(diagnostic([&] { r->method(method_call<wchar_t>{one, get_name}); }),
                          " vorla::ref::method: id=get, v[0]=int(1)"));
    EXPECT_TRUE(
        ends_with(diagnostic([&] { r->method(method_call<wchar_t>{none, size}); }), " vorla::ref::method: id=size, v=0"));
    const std::string narrow_get = "get";
    EXPECT_EQ(r->method(method_call<char>{none, narrow_get})->describe(), "int(1)");
}

TEST(RefValue, ConversionsThrowBadCast)
{
    value r = make_ref(i(1));
    const std::string d = thrown([&] { (void)static_cast<int>(*r); });
    EXPECT_EQ(d.rfind("bad_cast(factor/ref.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") : vorla::ref::operator int)")) << d;
    EXPECT_TRUE(ends_with(thrown([&] { (void)static_cast<bool>(*r); }), " : vorla::ref::operator bool)"));
}

TEST(RefValue, EqualAndHashFollowTheTarget)
{
    value a = make_ref(i(1)), b = make_ref(i(1)), c = make_ref(i(2));
    EXPECT_TRUE(a->equal(b));
    EXPECT_FALSE(a->equal(c));
    EXPECT_FALSE(a->equal(i(1)));
    std::uint32_t h1 = 0, h2 = 0;
    a->hash(h1);
    i(1)->hash(h2);
    EXPECT_EQ(h1, h2);
    EXPECT_EQ(a->type_id(), tid::ref);
}

TEST(TypeidValue, SameTypeComparesEqual)
{
    EXPECT_TRUE(yes(*make_typeid(i(1)) == make_typeid(i(2))));
    EXPECT_FALSE(yes(*make_typeid(i(1)) != make_typeid(i(2))));
    EXPECT_FALSE(yes(*make_typeid(i(1)) == make_typeid(u(1))));
    EXPECT_TRUE(yes(*make_typeid(i(1)) != make_typeid(u(1))));
    // A typeid compared with something that is not a typeid is simply unequal.
    EXPECT_FALSE(yes(*make_typeid(i(1)) == i(static_cast<int>(tid::signed_))));
}

TEST(TypeidValue, DefaultIsZeroAndFalse)
{
    value t = make_typeid(i(1));
    t->call_constructor();
    EXPECT_FALSE(yes(t));
    EXPECT_EQ(static_cast<unsigned int>(*t), 0u);
    EXPECT_EQ(t->describe(), "typeid(0)");
}

TEST(TypeidValue, ConvertsToTheId)
{
    value t = make_typeid(s(L"x"));
    EXPECT_TRUE(yes(t));
    EXPECT_EQ(static_cast<unsigned int>(*t), tid::string_);
    EXPECT_EQ(static_cast<int>(*t), static_cast<int>(tid::string_));
    EXPECT_DOUBLE_EQ(static_cast<double>(*t), tid::string_);
    EXPECT_EQ(static_cast<std::wstring>(*t), std::to_wstring(tid::string_));
    EXPECT_EQ(t->describe(), "typeid(" + std::to_string(tid::string_) + ")");
    // A typeid joins strings like any number.
    EXPECT_EQ(static_cast<std::wstring>(*(*s(L"t=") + t)), L"t=" + std::to_wstring(tid::string_));
    // The typeid of a typeid is typeid's own id.
    EXPECT_EQ(static_cast<unsigned int>(*make_typeid(t)), tid::typeid_);
}

TEST(TypeidValue, RefusesOtherOperators)
{
    value t = make_typeid(i(1));
    const std::string d = diagnostic([&] { *t = make_typeid(u(1)); });
    EXPECT_EQ(d.rfind("factor/typeid_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") vorla::typeid_::operator =: typeid(" + std::to_string(tid::unsigned_) + ")")) << d;
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*t < t); }), " vorla::typeid_::operator <: typeid(102)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*t + i(1)); }), " vorla::typeid_::operator +: int(1)"));
    EXPECT_TRUE(ends_with(diagnostic([&] { t->call_constructor(args{}); }), " vorla::typeid_::call_constructor: "));
    const std::wstring name = L"id";
    const args none;
    EXPECT_TRUE(ends_with(diagnostic([&] { t->method(method_call<wchar_t>{none, name}); }),
                          " vorla::typeid_::method: id=id, v=0"));
}

} // namespace
