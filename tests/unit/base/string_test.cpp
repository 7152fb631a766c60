// Unit tests of the string value: joining, code-point comparison, numbers, methods and refusals.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "../support.hpp"
#include "factor/exception.hpp"
#include "factor/ref.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

TEST(StringValue, JoinsTheRightOperandsWideText)
{
    EXPECT_EQ(as_text(*str(L"ab") + int_(1)), L"ab1");
    EXPECT_EQ(as_text(*str(L"ab") + make<real<double>>(2.5)), L"ab2.5");
    EXPECT_EQ(as_text(*str(L"ab") + make<boolean>(true)), L"ab1");
    EXPECT_EQ(as_text(*str(L"ab") + make<unsigned_<unsigned int>>(1234u)), L"ab1234");  // wide: no grouping
    EXPECT_EQ(as_text(*str(L"ab") + str(L"cd")), L"abcd");
    EXPECT_EQ(as_text(*str(L"n=") + int_(std::numeric_limits<int>::min())), L"n=-2147483648");
    EXPECT_EQ(as_text(*str(L"") + make<unsigned_<unsigned int>>(4294967295u)), L"4294967295");
    EXPECT_EQ(as_text(*str(L"") + make<real<double>>(1e21)), L"1e+21");
    EXPECT_EQ(as_text(*str(L"") + make<real<float>>(0.1f)), L"0.1");  // through its double, 6 digits
    expect_script_throw([] { *str(L"") + make<vector_>(); }, tid::bad_cast);  // no wide text to join
}

TEST(StringValue, JoiningLeavesBothOperandsAlone)
{
    value a = str(L"ab"), b = str(L"cd");
    value c = *a + b;
    EXPECT_EQ(as_text(a), L"ab");
    EXPECT_EQ(as_text(b), L"cd");
    EXPECT_NE(c.get(), a.get());
}

// + in place grows the string's own object: every holder of the handle sees the longer text, the right
// operand is read before the left changes (s += s doubles), and any operand joins as its wide text.
// No other operator works on a string in place: those decline and leave the text alone.
TEST(StringValue, AppendingInPlaceGrowsTheSameObject)
{
    value s = str(L"ab");
    value holder = s;
    EXPECT_TRUE(s->operate_in_place(arith::add, int_(12)));
    EXPECT_EQ(as_text(holder), L"ab12");
    EXPECT_TRUE(s->operate_in_place(arith::add, s));
    EXPECT_EQ(as_text(s), L"ab12ab12");
    EXPECT_TRUE(s->operate_in_place(arith::add, make<real<double>>(2.5)));
    EXPECT_EQ(as_text(holder), L"ab12ab122.5");
    for (arith op : {arith::sub, arith::mul, arith::div, arith::mod}) EXPECT_FALSE(s->operate_in_place(op, int_(1)));
    EXPECT_EQ(as_text(holder), L"ab12ab122.5");
}

TEST(StringValue, ComparesByCodePoint)
{
    EXPECT_TRUE(as_bool(*str(L"abc") < str(L"abd")));
    EXPECT_TRUE(as_bool(*str(L"ab") < str(L"abc")));
    EXPECT_FALSE(as_bool(*str(L"abc") < str(L"ab")));
    EXPECT_TRUE(as_bool(*str(L"B") < str(L"a")));
    EXPECT_TRUE(as_bool(*str(L"abc") == str(L"abc")));
    EXPECT_TRUE(as_bool(*str(L"abc") != str(L"abd")));
    EXPECT_TRUE(as_bool(*str(L"abc") >= str(L"abc")));
    EXPECT_TRUE(as_bool(*str(L"abd") > str(L"abc")));
    EXPECT_TRUE(as_bool(*str(L"abc") <= str(L"abd")));
    // A code point beyond the basic plane sorts above U+FFFF, not among the surrogates.
    EXPECT_TRUE(as_bool(*str(L"\U0001F600") > str(L"\uFFFF")));
}

TEST(StringValue, ComparesWithTheIntegersText)
{
    EXPECT_TRUE(as_bool(*str(L"5") == int_(5)));
    EXPECT_FALSE(as_bool(*str(L"05") == int_(5)));
}

TEST(StringValue, AnOperandWithoutWideTextThrowsBadCast)
{
    value r = ref_(str(L"x"));
    EXPECT_EQ(thrown_text([&] { (void)(*str(L"a") == r); }).rfind("bad_cast(", 0), 0u);
}

TEST(StringValue, AssignmentAndConstructorTakeWideText)
{
    value a = str(L"old");
    value alias = a;
    *a = int_(42);
    EXPECT_EQ(as_text(alias), L"42");
    a->call_constructor(make<boolean>(false));
    EXPECT_EQ(as_text(a), L"0");
    a->call_constructor();
    EXPECT_EQ(as_text(a), L"0");
}

TEST(StringValue, ReadsTheLeadingNumber)
{
    EXPECT_EQ(static_cast<int>(*str(L" 42abc")), 42);
    EXPECT_EQ(static_cast<int>(*str(L"-7")), -7);
    EXPECT_EQ(static_cast<unsigned int>(*str(L"\t 17 18")), 17u);
    EXPECT_DOUBLE_EQ(static_cast<double>(*str(L"2.5x")), 2.5);
    EXPECT_FLOAT_EQ(static_cast<float>(*str(L"0.25")), 0.25f);
    // Wide numbers are never grouped, so a comma ends the number.
    EXPECT_EQ(static_cast<int>(*str(L"1,234")), 1);
}

TEST(StringValue, TextWithoutANumberReadsZero)
{
    EXPECT_EQ(static_cast<int>(*str(L"abc")), 0);
    EXPECT_EQ(static_cast<int>(*str(L"")), 0);
    EXPECT_EQ(static_cast<unsigned int>(*str(L"x1")), 0u);
    EXPECT_DOUBLE_EQ(static_cast<double>(*str(L"-")), 0.0);
}

TEST(StringValue, IntegerPlusTextReadsTheTextAsANumber)
{
    value sum = *int_(1) + str(L"2");
    EXPECT_EQ(sum->describe(), "int(3)");
}

TEST(StringValue, TruthValueThrowsBadCast)
{
    const std::string d = thrown_text([] { (void)static_cast<bool>(*str(L"abc")); });
    EXPECT_EQ(d.rfind("bad_cast(factor/string_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") : vorla::string_<wchar_t>::operator bool)")) << d;
}

TEST(StringValue, NarrowFormsStayUndefined)
{
    const std::string conv = diagnostic([] { (void)static_cast<std::string>(*str(L"abc")); });
    EXPECT_TRUE(ends_with(conv, " vorla::factor::operator class std::basic_string<char,struct std::char_traits<char>,"
                                "class std::allocator<char> >: undefined"))
        << conv;
    std::ostringstream out;
    EXPECT_TRUE(ends_with(diagnostic([&] { str(L"abc")->write_ostream(out); }),
                          " vorla::factor::write_ostream: undefined"));
    std::istringstream in("word");
    EXPECT_TRUE(
        ends_with(diagnostic([&] { str(L"abc")->read_istream(in); }), " vorla::factor::read_istream: undefined"));
}

TEST(StringValue, RefusesNonStringOperators)
{
    const std::string neg = diagnostic([] { (void)-*str(L"a"); });
    EXPECT_EQ(neg.rfind("factor/string_.hpp(", 0), 0u) << neg;
    EXPECT_TRUE(ends_with(neg, ") vorla::string_<wchar_t>::operator -: ")) << neg;
    EXPECT_TRUE(
        ends_with(diagnostic([] { (void)(*str(L"a") * int_(2)); }), " vorla::string_<wchar_t>::operator *: int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([] { ++*str(L"a"); }), " vorla::string_<wchar_t>::operator ++: "));
    EXPECT_TRUE(ends_with(diagnostic([] { (void)str(L"a")->member(std::wstring(L"len")); }),
                          " vorla::string_<wchar_t>::member: len"));
}

TEST(StringMethods, SizeAndEmpty)
{
    value n = call(str(L"abc"), L"size");
    EXPECT_EQ(n->type_id(), tid::unsigned_);
    EXPECT_EQ(n->describe(), "unsigned(3)");
    EXPECT_TRUE(as_bool(call(str(L""), L"empty")));
    EXPECT_FALSE(as_bool(call(str(L"a"), L"empty")));
    // Sizes count code points, also beyond the basic plane.
    EXPECT_EQ(static_cast<unsigned int>(*call(str(L"a\U0001F600b"), L"size")), 3u);
}

TEST(StringMethods, AtGivesOneCodePoint)
{
    EXPECT_EQ(as_text(call(str(L"abc"), L"at", {int_(0)})), L"a");
    EXPECT_EQ(as_text(call(str(L"abc"), L"at", {str(L"2")})), L"c");
    EXPECT_EQ(as_text(call(str(L"a\U0001F600b"), L"at", {int_(1)})), L"\U0001F600");
}

TEST(StringMethods, AtPastTheEndThrowsRangeError)
{
    for (const auto& [t, index] : {std::pair<std::wstring, int>{L"abc", 3}, {L"", 0}, {L"abc", -1}}) {
        const std::string d = thrown_text([&] { call(str(t), L"at", {int_(index)}); });
        EXPECT_EQ(d.rfind("range_error(factor/string_.cpp(", 0), 0u) << d;
        EXPECT_TRUE(ends_with(d, ") : vorla::string_<wchar_t>::_method)")) << d;
    }
}

TEST(StringMethods, MatchIsAWholeTextMatch)
{
    EXPECT_TRUE(as_bool(call(str(L"abc"), L"match", {str(L"a.c")})));
    EXPECT_FALSE(as_bool(call(str(L"abcd"), L"match", {str(L"a.c")})));
    EXPECT_FALSE(as_bool(call(str(L"xabc"), L"match", {str(L"a.c")})));
    EXPECT_TRUE(as_bool(call(str(L"aaa12"), L"match", {str(L"a+\\d{2}")})));
    EXPECT_FALSE(as_bool(call(str(L"ABC"), L"match", {str(L"abc")})));
    EXPECT_TRUE(as_bool(call(str(L"\u00e9t\u00e9"), L"match", {str(L"\u00e9.\u00e9")})));
}

TEST(StringMethods, BadPatternIsNotAScriptThrow)
{
    try {
        call(str(L"abc"), L"match", {str(L"(")});
        ADD_FAILURE() << "raised nothing";
    } catch (const sig_throw&) {
        ADD_FAILURE() << "a bad pattern must not be catchable by the script";
    } catch (const std::exception&) {
    }
}

TEST(StringMethods, LookupIsByNameAndArgumentCount)
{
    const std::string d = diagnostic([] { call(str(L"abc"), L"size", {int_(1)}); });
    EXPECT_EQ(d.rfind("factor/string_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") vorla::string_<wchar_t>::_method: id=size, v[0]=int(1)")) << d;
    EXPECT_TRUE(
        ends_with(diagnostic([] { call(str(L"abc"), L"at"); }), " vorla::string_<wchar_t>::_method: id=at, v=0"));
    EXPECT_TRUE(ends_with(diagnostic([] { call(str(L"abc"), L"length"); }),
                          " vorla::string_<wchar_t>::_method: id=length, v=0"));
}

TEST(StringMethods, NarrowNamesHaveTheSameMethods)
{
    value v = str(L"abc");
    const args none;
    const std::string size = "size", at = "at";
    EXPECT_EQ(v->method(method_call<char>{none, size})->describe(), "unsigned(3)");
    const args one{int_(1)};
    EXPECT_EQ(as_text(v->method(method_call<char>{one, at})), L"b");
    EXPECT_TRUE(ends_with(diagnostic([&] { v->method(method_call<char>{one, size}); }),
                          " vorla::string_<wchar_t>::_method: id=size, v[0]=int(1)"));
}

TEST(StringValue, CloneHashEqualDescribe)
{
    value a = str(L"abc");
    value b = a->clone();
    EXPECT_TRUE(a->equal(b));
    *b = str(L"xyz");
    EXPECT_EQ(as_text(a), L"abc");
    EXPECT_FALSE(a->equal(b));
    EXPECT_FALSE(str(L"1")->equal(int_(1)));

    std::uint32_t h1 = 7, h2 = 7, h3 = 7, h4 = 7;
    str(L"abc")->hash(h1);
    str(L"abc")->hash(h2);
    str(L"acb")->hash(h3);
    str(L"")->hash(h4);
    EXPECT_EQ(h1, h2);
    EXPECT_NE(h1, h3);
    std::uint32_t empty = 7;
    hash_combine(empty, 0);
    EXPECT_EQ(h4, empty);

    EXPECT_EQ(str(L"abc")->describe(), "string(abc)");
    EXPECT_EQ(str(L"\u00e9")->describe(), "string(\xc3\xa9)");
    EXPECT_EQ(str(std::wstring(L"a\0b", 3))->describe(), "string(a)");  // narrowing stops at NUL
    EXPECT_EQ(str(L"")->type_id(), tid::string_);
}

TEST(StringValue, WritesTextAndReadsOneWord)
{
    std::wostringstream out;
    str(L"a b\u00e9")->write_ostream(out);
    EXPECT_EQ(out.str(), L"a b\u00e9");

    std::wistringstream in(L"  hello world");
    value v = str(L"old");
    v->read_istream(in);
    EXPECT_EQ(as_text(v), L"hello");
    v->read_istream(in);
    EXPECT_EQ(as_text(v), L"world");
    v->read_istream(in);  // nothing left: the text stays, the stream reports failure
    EXPECT_EQ(as_text(v), L"world");
    EXPECT_TRUE(in.fail());
}

} // namespace
