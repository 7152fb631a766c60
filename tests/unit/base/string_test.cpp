// Unit tests of the string value: joining, code-point comparison, numbers, methods and refusals.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/exception.hpp"
#include "factor/real.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"

namespace {

using namespace vorla;
using str = string_<wchar_t>;

const bool locale_ready = (install_locale(), true);

value s(const std::wstring& t) { return std::make_shared<str>(t); }
value i(int n) { return std::make_shared<signed_<int>>(n); }
std::wstring text(const value& v) { return static_cast<std::wstring>(*v); }
bool yes(const value& v) { return static_cast<bool>(*v); }

value call(const value& self, const std::wstring& name, const args& a = {})
{
    return self->method(method_call<wchar_t>{a, name});
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

// The describe text of the script exception value a call throws.
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

TEST(StringValue, JoinsTheRightOperandsWideText)
{
    EXPECT_EQ(text(*s(L"ab") + i(1)), L"ab1");
    EXPECT_EQ(text(*s(L"ab") + std::make_shared<real<double>>(2.5)), L"ab2.5");
    EXPECT_EQ(text(*s(L"ab") + std::make_shared<boolean>(true)), L"ab1");
    EXPECT_EQ(text(*s(L"ab") + std::make_shared<unsigned_<unsigned int>>(1234u)), L"ab1234");  // wide: no grouping
    EXPECT_EQ(text(*s(L"ab") + s(L"cd")), L"abcd");
}

TEST(StringValue, JoiningLeavesBothOperandsAlone)
{
    value a = s(L"ab"), b = s(L"cd");
    value c = *a + b;
    EXPECT_EQ(text(a), L"ab");
    EXPECT_EQ(text(b), L"cd");
    EXPECT_NE(c.get(), a.get());
}

TEST(StringValue, ComparesByCodePoint)
{
    EXPECT_TRUE(yes(*s(L"abc") < s(L"abd")));
    EXPECT_TRUE(yes(*s(L"ab") < s(L"abc")));
    EXPECT_FALSE(yes(*s(L"abc") < s(L"ab")));
    EXPECT_TRUE(yes(*s(L"B") < s(L"a")));
    EXPECT_TRUE(yes(*s(L"abc") == s(L"abc")));
    EXPECT_TRUE(yes(*s(L"abc") != s(L"abd")));
    EXPECT_TRUE(yes(*s(L"abc") >= s(L"abc")));
    EXPECT_TRUE(yes(*s(L"abd") > s(L"abc")));
    EXPECT_TRUE(yes(*s(L"abc") <= s(L"abd")));
    // A code point beyond the basic plane sorts above U+FFFF, not among the surrogates.
    EXPECT_TRUE(yes(*s(L"\U0001F600") > s(L"\uFFFF")));
}

TEST(StringValue, ComparesWithTheIntegersText)
{
    EXPECT_TRUE(yes(*s(L"5") == i(5)));
    EXPECT_FALSE(yes(*s(L"05") == i(5)));
}

TEST(StringValue, AnOperandWithoutWideTextThrowsBadCast)
{
    value r = std::make_shared<ref>(s(L"x"));
    EXPECT_EQ(thrown([&] { (void)(*s(L"a") == r); }).rfind("bad_cast(", 0), 0u);
}

TEST(StringValue, AssignmentAndConstructorTakeWideText)
{
    value a = s(L"old");
    value alias = a;
    *a = i(42);
    EXPECT_EQ(text(alias), L"42");
    a->call_constructor(std::make_shared<boolean>(false));
    EXPECT_EQ(text(a), L"0");
    a->call_constructor();
    EXPECT_EQ(text(a), L"0");
}

TEST(StringValue, ReadsTheLeadingNumber)
{
    EXPECT_EQ(static_cast<int>(*s(L" 42abc")), 42);
    EXPECT_EQ(static_cast<int>(*s(L"-7")), -7);
    EXPECT_EQ(static_cast<unsigned int>(*s(L"\t 17 18")), 17u);
    EXPECT_DOUBLE_EQ(static_cast<double>(*s(L"2.5x")), 2.5);
    EXPECT_FLOAT_EQ(static_cast<float>(*s(L"0.25")), 0.25f);
    // Wide numbers are never grouped, so a comma ends the number.
    EXPECT_EQ(static_cast<int>(*s(L"1,234")), 1);
}

TEST(StringValue, TextWithoutANumberReadsZero)
{
    EXPECT_EQ(static_cast<int>(*s(L"abc")), 0);
    EXPECT_EQ(static_cast<int>(*s(L"")), 0);
    EXPECT_EQ(static_cast<unsigned int>(*s(L"x1")), 0u);
    EXPECT_DOUBLE_EQ(static_cast<double>(*s(L"-")), 0.0);
}

TEST(StringValue, IntegerPlusTextReadsTheTextAsANumber)
{
    value sum = *i(1) + s(L"2");
    EXPECT_EQ(sum->describe(), "int(3)");
}

TEST(StringValue, TruthValueThrowsBadCast)
{
    const std::string d = thrown([] { (void)static_cast<bool>(*s(L"abc")); });
    EXPECT_EQ(d.rfind("bad_cast(factor/string_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") : vorla::string_<wchar_t>::operator bool)")) << d;
}

TEST(StringValue, NarrowFormsStayUndefined)
{
    const std::string conv = diagnostic([] { (void)static_cast<std::string>(*s(L"abc")); });
    EXPECT_TRUE(ends_with(conv, " vorla::factor::operator class std::basic_string<char,struct std::char_traits<char>,"
                                "class std::allocator<char> >: undefined"))
        << conv;
    std::ostringstream out;
    EXPECT_TRUE(ends_with(diagnostic([&] { s(L"abc")->write_ostream(out); }),
                          " vorla::factor::write_ostream: undefined"));
    std::istringstream in("word");
    EXPECT_TRUE(ends_with(diagnostic([&] { s(L"abc")->read_istream(in); }), " vorla::factor::read_istream: undefined"));
}

TEST(StringValue, RefusesNonStringOperators)
{
    const std::string neg = diagnostic([] { (void)-*s(L"a"); });
    EXPECT_EQ(neg.rfind("factor/string_.hpp(", 0), 0u) << neg;
    EXPECT_TRUE(ends_with(neg, ") vorla::string_<wchar_t>::operator -: ")) << neg;
    EXPECT_TRUE(ends_with(diagnostic([] { (void)(*s(L"a") * i(2)); }), " vorla::string_<wchar_t>::operator *: int(2)"));
    EXPECT_TRUE(ends_with(diagnostic([] { ++*s(L"a"); }), " vorla::string_<wchar_t>::operator ++: "));
    EXPECT_TRUE(ends_with(diagnostic([] { (void)s(L"a")->member(std::wstring(L"len")); }),
                          " vorla::string_<wchar_t>::member: len"));
}

TEST(StringMethods, SizeAndEmpty)
{
    value n = call(s(L"abc"), L"size");
    EXPECT_EQ(n->type_id(), tid::unsigned_);
    EXPECT_EQ(n->describe(), "unsigned(3)");
    EXPECT_TRUE(yes(call(s(L""), L"empty")));
    EXPECT_FALSE(yes(call(s(L"a"), L"empty")));
    // Sizes count code points, also beyond the basic plane.
    EXPECT_EQ(static_cast<unsigned int>(*call(s(L"a\U0001F600b"), L"size")), 3u);
}

TEST(StringMethods, AtGivesOneCodePoint)
{
    EXPECT_EQ(text(call(s(L"abc"), L"at", {i(0)})), L"a");
    EXPECT_EQ(text(call(s(L"abc"), L"at", {s(L"2")})), L"c");
    EXPECT_EQ(text(call(s(L"a\U0001F600b"), L"at", {i(1)})), L"\U0001F600");
}

TEST(StringMethods, AtPastTheEndThrowsRangeError)
{
    for (const auto& [t, index] : {std::pair<std::wstring, int>{L"abc", 3}, {L"", 0}, {L"abc", -1}}) {
        const std::string d = thrown([&] { call(s(t), L"at", {i(index)}); });
        EXPECT_EQ(d.rfind("range_error(factor/string_.cpp(", 0), 0u) << d;
        EXPECT_TRUE(ends_with(d, ") : vorla::string_<wchar_t>::_method)")) << d;
    }
}

TEST(StringMethods, MatchIsAWholeTextMatch)
{
    EXPECT_TRUE(yes(call(s(L"abc"), L"match", {s(L"a.c")})));
    EXPECT_FALSE(yes(call(s(L"abcd"), L"match", {s(L"a.c")})));
    EXPECT_FALSE(yes(call(s(L"xabc"), L"match", {s(L"a.c")})));
    EXPECT_TRUE(yes(call(s(L"aaa12"), L"match", {s(L"a+\\d{2}")})));
    EXPECT_FALSE(yes(call(s(L"ABC"), L"match", {s(L"abc")})));
    EXPECT_TRUE(yes(call(s(L"\u00e9t\u00e9"), L"match", {s(L"\u00e9.\u00e9")})));
}

TEST(StringMethods, BadPatternIsNotAScriptThrow)
{
    try {
        call(s(L"abc"), L"match", {s(L"(")});
        ADD_FAILURE() << "raised nothing";
    } catch (const sig_throw&) {
        ADD_FAILURE() << "a bad pattern must not be catchable by the script";
    } catch (const std::exception&) {
    }
}

TEST(StringMethods, LookupIsByNameAndArgumentCount)
{
    const std::string d = diagnostic([] { call(s(L"abc"), L"size", {i(1)}); });
    EXPECT_EQ(d.rfind("factor/string_.hpp(", 0), 0u) << d;
    EXPECT_TRUE(ends_with(d, ") vorla::string_<wchar_t>::_method: id=size, v[0]=int(1)")) << d;
    EXPECT_TRUE(ends_with(diagnostic([] { call(s(L"abc"), L"at"); }), " vorla::string_<wchar_t>::_method: id=at, v=0"));
    EXPECT_TRUE(ends_with(diagnostic([] { call(s(L"abc"), L"length"); }),
                          " vorla::string_<wchar_t>::_method: id=length, v=0"));
}

TEST(StringMethods, NarrowNamesHaveTheSameMethods)
{
    value v = s(L"abc");
    const args none;
    const std::string size = "size", at = "at";
    EXPECT_EQ(v->method(method_call<char>{none, size})->describe(), "unsigned(3)");
    const args one{i(1)};
    EXPECT_EQ(text(v->method(method_call<char>{one, at})), L"b");
    EXPECT_TRUE(ends_with(diagnostic([&] { v->method(method_call<char>{one, size}); }),
                          " vorla::string_<wchar_t>::_method: id=size, v[0]=int(1)"));
}

TEST(StringValue, CloneHashEqualDescribe)
{
    value a = s(L"abc");
    value b = a->clone();
    EXPECT_TRUE(a->equal(b));
    *b = s(L"xyz");
    EXPECT_EQ(text(a), L"abc");
    EXPECT_FALSE(a->equal(b));
    EXPECT_FALSE(s(L"1")->equal(i(1)));

    std::uint32_t h1 = 7, h2 = 7, h3 = 7, h4 = 7;
    s(L"abc")->hash(h1);
    s(L"abc")->hash(h2);
    s(L"acb")->hash(h3);
    s(L"")->hash(h4);
    EXPECT_EQ(h1, h2);
    EXPECT_NE(h1, h3);
    std::uint32_t empty = 7;
    hash_combine(empty, 0);
    EXPECT_EQ(h4, empty);

    EXPECT_EQ(s(L"abc")->describe(), "string(abc)");
    EXPECT_EQ(s(L"\u00e9")->describe(), "string(\xc3\xa9)");
    EXPECT_EQ(s(std::wstring(L"a\0b", 3))->describe(), "string(a)");  // narrowing stops at NUL
    EXPECT_EQ(s(L"")->type_id(), tid::string_);
}

TEST(StringValue, WritesTextAndReadsOneWord)
{
    std::wostringstream out;
    s(L"a b\u00e9")->write_ostream(out);
    EXPECT_EQ(out.str(), L"a b\u00e9");

    std::wistringstream in(L"  hello world");
    value v = s(L"old");
    v->read_istream(in);
    EXPECT_EQ(text(v), L"hello");
    v->read_istream(in);
    EXPECT_EQ(text(v), L"world");
    v->read_istream(in);  // nothing left: the text stays, the stream reports failure
    EXPECT_EQ(text(v), L"world");
    EXPECT_TRUE(in.fail());
}

} // namespace
