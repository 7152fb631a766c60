// Unit tests of the script exception values and the helpers that throw them.
#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>

#include "../support.hpp"
#include "factor/exception.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;
using bad_cast_value = exception_<bad_cast_>;
using range_error_value = exception_<range_error_>;

static_assert(!std::is_base_of_v<std::exception, sig_throw>, "script signals must escape std::exception handlers");
static_assert(!std::is_base_of_v<std::exception, sig_return>);
static_assert(!std::is_base_of_v<std::exception, sig_break>);
static_assert(!std::is_base_of_v<std::exception, sig_continue>);

TEST(ExceptionValue, ThrowHelpersCarryTheLocation)
{
    value b = thrown([] { throw_bad_cast("factor/vector_.hpp", "vorla::vector_::operator int", 42); });
    ASSERT_TRUE(b);
    EXPECT_EQ(b->type_id(), tid::bad_cast);
    EXPECT_EQ(b->describe(), "bad_cast(factor/vector_.hpp(42) : vorla::vector_::operator int)");

    value r = thrown([] { throw_range_error("factor/integer.hpp", "vorla::integer<int>::operator /", 7); });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type_id(), tid::range_error);
    EXPECT_EQ(r->describe(), "range_error(factor/integer.hpp(7) : vorla::integer<int>::operator /)");
}

TEST(ExceptionValue, LineIsWrittenLikeOtherNarrowNumbers)
{
    EXPECT_EQ(range_error_value("f.hpp", "g", 1234).describe(), "range_error(f.hpp(1,234) : g)");
}

TEST(ExceptionValue, DeclaredValueHasNoLocation)
{
    value v = make<bad_cast_value>();
    v->call_constructor();
    EXPECT_EQ(v->describe(), "bad_cast((0) : )");
}

TEST(ExceptionValue, AssignmentCopiesTheLocationOfTheSameType)
{
    value target = make<range_error_value>();
    value alias = target;
    value source = make<range_error_value>("a.hpp", "vorla::f", 3);
    *target = source;
    EXPECT_EQ(alias->describe(), "range_error(a.hpp(3) : vorla::f)");
    EXPECT_TRUE(target->equal(source));

    value other = make<range_error_value>();
    other->call_constructor(source);
    EXPECT_TRUE(other->equal(source));
}

TEST(ExceptionValue, AssignmentOfTheOtherTypeIsADiagnostic)
{
    value target = make<range_error_value>("a.hpp", "vorla::f", 3);
    value wrong = make<bad_cast_value>("b.hpp", "vorla::g", 4);
    const std::string d = diagnostic([&] { *target = wrong; });
    EXPECT_EQ(d.rfind("factor/exception.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") vorla::exception_<class vorla::range_error_>::operator =: bad_cast(b.hpp(4) : vorla::g)"))
        << d;
    EXPECT_TRUE(ends_with(diagnostic([&] { target->call_constructor(make<signed_<int>>(1)); }),
                          " vorla::exception_<class vorla::range_error_>::call_constructor: int(1)"));
    EXPECT_EQ(target->describe(), "range_error(a.hpp(3) : vorla::f)");
}

TEST(ExceptionValue, RefusesOperatorsMembersAndStreams)
{
    value a = make<bad_cast_value>();
    value b = make<bad_cast_value>();
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*a == b); }),
                          " vorla::exception_<class vorla::bad_cast_>::operator ==: bad_cast((0) : )"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)(*a != b); }),
                          " vorla::exception_<class vorla::bad_cast_>::operator !=: bad_cast((0) : )"));
    EXPECT_TRUE(ends_with(diagnostic([&] { (void)a->member(std::wstring(L"file")); }),
                          " vorla::exception_<class vorla::bad_cast_>::member: file"));
    const std::wstring name = L"what";
    const args none;
    EXPECT_TRUE(ends_with(diagnostic([&] { a->method(method_call<wchar_t>{none, name}); }),
                          " vorla::exception_<class vorla::bad_cast_>::method: id=what, v=0"));
    EXPECT_TRUE(ends_with(diagnostic([&] { a->call_constructor(args{a, b}); }),
                          " vorla::exception_<class vorla::bad_cast_>::call_constructor: v[0]=bad_cast((0) : ), "
                          "v[1]=bad_cast((0) : )"));
}

TEST(ExceptionValue, ConversionsThrowANewBadCast)
{
    value r = make<range_error_value>("a.hpp", "vorla::f", 3);
    value b = thrown([&] { (void)static_cast<bool>(*r); });
    ASSERT_TRUE(b);
    EXPECT_EQ(b->type_id(), tid::bad_cast);
    EXPECT_EQ(b->describe().rfind("bad_cast(factor/exception.hpp(", 0), 0u) << b->describe();
    EXPECT_TRUE(ends_with(b->describe(), ") : vorla::exception_<class vorla::range_error_>::operator bool)"));
    value w = thrown([&] { (void)static_cast<std::wstring>(*r); });
    ASSERT_TRUE(w);
    EXPECT_TRUE(ends_with(w->describe(), " : vorla::exception_<class vorla::range_error_>::operator class "
                                         "std::basic_string<wchar_t,struct std::char_traits<wchar_t>,class "
                                         "std::allocator<wchar_t> >)"));
}

TEST(ExceptionValue, CloneEqualHash)
{
    value a = make<bad_cast_value>("a.hpp", "vorla::f", 3);
    value c = a->clone();
    EXPECT_NE(a.get(), c.get());
    EXPECT_TRUE(a->equal(c));
    EXPECT_FALSE(a->equal(make<bad_cast_value>("a.hpp", "vorla::f", 4)));
    EXPECT_FALSE(a->equal(make<bad_cast_value>("a.hpp", "vorla::g", 3)));
    EXPECT_FALSE(a->equal(make<range_error_value>("a.hpp", "vorla::f", 3)));

    std::uint32_t h1 = 0, h2 = 0, h3 = 0;
    a->hash(h1);
    c->hash(h2);
    make<bad_cast_value>("a.hpp", "vorla::f", 4)->hash(h3);
    EXPECT_EQ(h1, h2);
    EXPECT_NE(h1, h3);
}

} // namespace
