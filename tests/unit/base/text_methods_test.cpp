// Edge cases of the text, number and container methods that take exact arguments: bounds, Unicode, limits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

std::string shown(const value& v) { return v->describe(); }

// Positions run from 0 to the length itself: the end is a place to search from or cut at, one past is not.
TEST(TextMethods, PositionsIncludeTheEndAndNothingPast)
{
    EXPECT_EQ(as_unsigned(call(str(L"abc"), L"find", {str(L""), int_(3)})), 3u);
    EXPECT_EQ(as_unsigned(call(str(L"abab"), L"find", {str(L"ab"), uint_(1)})), 2u);
    EXPECT_EQ(as_text(call(str(L"abc"), L"substr", {int_(3), int_(5)})), L"");
    EXPECT_EQ(as_text(call(str(L"abc"), L"replace", {int_(3), int_(9), str(L"!")})), L"abc!");
    expect_range_error(thrown([] { call(str(L"abc"), L"find", {str(L"a"), int_(4)}); }), "factor/string_.hpp",
                       "vorla::string_<wchar_t>::_method");
    expect_script_throw([] { call(str(L"abc"), L"substr", {int_(-1), int_(1)}); }, tid::range_error);
    expect_script_throw([] { call(str(L"abc"), L"substr", {int_(0), int_(-1)}); }, tid::range_error);
    expect_script_throw([] { call(str(L"abc"), L"code", {int_(3)}); }, tid::range_error);
}

// Arguments are taken as they are: text where text is wanted, an int or unsigned int for a position.
TEST(TextMethods, WrongKindsOfArgumentAreRefusedAsCalls)
{
    const std::string d = diagnostic([] { call(str(L"abc"), L"find", {int_(1)}); });
    expect_refusal(d, "factor/string_.hpp", "vorla::string_<wchar_t>::_method", "id=find, v[0]=int(1)");
    EXPECT_FALSE(diagnostic([] { call(str(L"abc"), L"substr", {double_(1), int_(1)}); }).empty());
    EXPECT_FALSE(diagnostic([] { call(make<vector_>(), L"join", {int_(1)}); }).empty());
    EXPECT_FALSE(diagnostic([] { call(int_(1), L"pad", {int_(3), int_(0)}); }).empty());
}

TEST(TextMethods, SplitKeepsEmptyPiecesAndRefusesAnEmptySeparator)
{
    EXPECT_EQ(shown(call(str(L",a,,"), L"split", {str(L",")})), "vector[string(), string(a), string(), string()]");
    EXPECT_EQ(shown(call(str(L"a--b"), L"split", {str(L"--")})), "vector[string(a), string(b)]");
    expect_script_throw([] { call(str(L"abc"), L"split", {str(L"")}); }, tid::range_error);
}

// Case changes go one code point for one, beyond the Basic Multilingual Plane too.
TEST(TextMethods, CaseAndWhiteSpaceFollowUnicode)
{
    EXPECT_EQ(as_text(call(str(L"Ωmega É \U00010400"), L"lower")), L"ωmega é \U00010428");
    EXPECT_EQ(as_text(call(str(L"straße ж"), L"upper")), L"STRAßE Ж");
    EXPECT_EQ(as_text(call(str(L"\u3000\t x \u00a0y\n"), L"trim")), L"x \u00a0y");  // no-break space is not white
    EXPECT_EQ(as_text(call(str(L" \t "), L"trim")), L"");
    EXPECT_EQ(as_int(call(str(L"a\U0001F600"), L"code", {int_(1)})), 0x1F600);
    EXPECT_EQ(as_text(call(int_(0x1F600), L"char")), L"\U0001F600");
    expect_script_throw([] { call(int_(0xD800), L"char"); }, tid::range_error);
    expect_script_throw([] { call(uint_(0x110000), L"char"); }, tid::range_error);
}

// The whole text must be the number; white space around it is allowed, nothing else.
TEST(TextMethods, WholeNumbersOnly)
{
    EXPECT_EQ(as_int(call(str(L" -12 "), L"to_int")), -12);
    EXPECT_EQ(as_double(call(str(L"2.5e3"), L"to_double")), 2500.0);
    EXPECT_EQ(as_double(call(str(L"1."), L"to_double")), 1.0);
    for (const wchar_t* bad : {L"", L"12x", L"1.5", L"2147483648", L"- 1", L"0x10"})
        expect_script_throw([bad] { call(str(bad), L"to_int"); }, tid::bad_cast);
    for (const wchar_t* bad : {L"1e", L"2e+", L".", L"1e999", L"nan", L"inf"})
        expect_script_throw([bad] { call(str(bad), L"to_double"); }, tid::bad_cast);
}

TEST(TextMethods, RegularExpressionsFindAndReplace)
{
    EXPECT_EQ(shown(call(str(L"x=1 y=2"), L"search", {str(L"(\\w)=(\\d)(z)?")})),
              "vector[string(x=1), string(x), string(1), string()]");
    EXPECT_EQ(as_text(call(str(L"abc"), L"replace_all", {str(L"x*"), str(L"-")})), L"-a-b-c-");
    EXPECT_EQ(as_text(call(str(L"a1b22"), L"replace_all", {str(L"\\d+"), str(L"<$&>")})), L"a<1>b<22>");
}

// Every way a string grows is refused at the limit before the text is made.
TEST(TextMethods, GrowthStopsAtTheStringLimit)
{
    const std::string limit = "string length limit exceeded";
    EXPECT_NE(diagnostic([] { call(str(L"ab"), L"repeat", {uint_(4000000000u)}); }).find(limit), std::string::npos);
    EXPECT_NE(diagnostic([] { call(int_(1), L"pad", {int_(1 << 30)}); }).find(limit), std::string::npos);
    EXPECT_EQ(as_text(call(str(L""), L"repeat", {uint_(4000000000u)})), L"");
}

TEST(NumberTextMethods, DigitsAndPadding)
{
    EXPECT_EQ(as_text(call(double_(1234567.891), L"fixed", {int_(2)})), L"1234567.89");
    EXPECT_EQ(as_text(call(double_(2.5), L"fixed", {int_(0)})), L"2");  // to even
    EXPECT_EQ(as_text(call(float_(0.1f), L"fixed", {int_(3)})), L"0.100");
    EXPECT_EQ(as_text(call(double_(1234567.891), L"precision", {int_(3)})), L"1.23e+06");
    EXPECT_EQ(as_text(call(double_(-0.0), L"fixed", {int_(1)})), L"-0.0");
    expect_script_throw([] { call(double_(1), L"precision", {int_(0)}); }, tid::range_error);
    expect_script_throw([] { call(double_(1), L"fixed", {int_(101)}); }, tid::range_error);
    EXPECT_EQ(as_text(call(int_(-42), L"pad", {int_(6), str(L"0")})), L"-00042");
    EXPECT_EQ(as_text(call(uint_(42), L"pad", {int_(1)})), L"42");
    EXPECT_EQ(as_text(call(str(L"ab"), L"pad", {int_(4), str(L"·")})), L"··ab");
    expect_script_throw([] { call(int_(1), L"pad", {int_(3), str(L"ab")}); }, tid::range_error);
    expect_script_throw([] { call(int_(1), L"pad", {int_(-1)}); }, tid::range_error);
}

TEST(ContainerMethods, SortOrdersNumbersByValueAndRefusesMixedKinds)
{
    value v = make<vector_>();
    for (value x : {double_(NAN), int_(-1), uint_(4000000000u), float_(2.5f), int_(2)}) call(v, L"push_back", {x});
    call(v, L"sort");
    EXPECT_EQ(shown(v), "vector[int(-1), int(2), float(2.5), unsigned(4,000,000,000), double(nan)]");
    call(v, L"push_back", {str(L"a")});
    EXPECT_NE(diagnostic([&] { call(v, L"sort"); }).find("id=sort"), std::string::npos);
    value l = make<list_>();
    for (const wchar_t* t : {L"b", L"\U00010400", L"B", L"a"}) call(l, L"push_back", {str(t)});
    call(l, L"sort");
    EXPECT_EQ(as_text(call(l, L"front")), L"B");
    EXPECT_EQ(as_text(call(l, L"back")), L"\U00010400");
}

TEST(ContainerMethods, InsertEraseSliceBounds)
{
    value v = make<vector_>();
    call(v, L"insert", {int_(0), int_(2)});
    call(v, L"insert", {int_(1), int_(3)});  // at the end
    call(v, L"insert", {int_(0), int_(1)});
    EXPECT_EQ(shown(v), "vector[int(1), int(2), int(3)]");
    expect_script_throw([&] { call(v, L"insert", {int_(4), int_(0)}); }, tid::range_error);
    expect_script_throw([&] { call(v, L"erase", {int_(3)}); }, tid::range_error);
    EXPECT_EQ(shown(call(v, L"slice", {int_(3), int_(1)})), "vector[]");
    EXPECT_EQ(shown(call(v, L"slice", {int_(1), int_(99)})), "vector[int(2), int(3)]");
    expect_script_throw([&] { call(v, L"slice", {int_(4), int_(0)}); }, tid::range_error);
    EXPECT_EQ(as_int(call(v, L"erase", {int_(0)})), 1);
    EXPECT_EQ(as_unsigned(call(v, L"index_of", {uint_(2)})), 2u);  // the unsigned 2 is not the int 2
    expect_script_throw([] { call(make<vector_>(), L"erase", {int_(0)}); }, tid::range_error);
}

// keys and values are copies: changing them leaves the hash alone.
TEST(ContainerMethods, KeysAndValuesAreCopiesInTheHashsOrder)
{
    value h = make<hash_>();
    call(h, L"insert", {str(L"k"), int_(1)});
    call(h, L"insert", {int_(2), str(L"v")});
    const value keys = call(h, L"keys"), values = call(h, L"values");
    ASSERT_EQ(as_unsigned(call(keys, L"size")), 2u);
    for (unsigned int i = 0; i < 2; ++i)
        EXPECT_EQ(shown(call(h, L"at", {call(keys, L"at", {uint_(i)})})), shown(call(values, L"at", {uint_(i)})));
    call(values, L"at", {int_(0)})->operator=(int_(99));
    EXPECT_FALSE(shown(h).find("99") != std::string::npos);
}

} // namespace
