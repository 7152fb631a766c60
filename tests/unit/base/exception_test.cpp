// The diagnostic text layout, value streaming, chaining and the UTF-8 conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "../support.hpp"
#include "exception.hpp"
#include "stack_guard.hpp"

namespace {

TEST(Exception, RaisedTextLayout)
{
    vorla::exception e("invalid argument count", "main.cpp", "main", 42);
    EXPECT_STREQ(e.what(), "main.cpp(42) main: invalid argument count");
}

TEST(Exception, EmptyMessageEndsInColonSpace)
{
    vorla::exception e("", "factor/nil.hpp", "vorla::nil::operator -", 7);
    EXPECT_EQ(e.text(), "factor/nil.hpp(7) vorla::nil::operator -: ");
}

TEST(Exception, StreamsNumbersLiteralsAndStringsWithoutSeparators)
{
    auto e = vorla::exception("invalid argument count, argc=", "main.cpp", "main", 3) << 1 << " argv[0]"
             << std::string("/usr/bin/vorla");
    EXPECT_EQ(e.text(), "main.cpp(3) main: invalid argument count, argc=1 argv[0]/usr/bin/vorla");
}

TEST(Exception, NarrowNumbersAreGroupedByTheProcessLocale)
{
    auto e = vorla::exception("typeid=", "f", "g", 1) << 1234567u;
    EXPECT_EQ(e.text(), "f(1) g: typeid=1,234,567");
}

TEST(Exception, WideStringsAreNarrowedToUtf8)
{
    auto e = vorla::exception("id=", "f", "g", 1) << std::wstring(L"\u00e9t\u00e9");
    EXPECT_EQ(e.text(), "f(1) g: id=\xc3\xa9t\xc3\xa9");
}

TEST(Exception, WrappingTwiceGivesThreeLines)
{
    std::string text;
    try {
        vorla::wrap_failure([] { return VORLA_EXCEPTION("outer", "catch exception"); }, [] {
            vorla::wrap_failure([] { return VORLA_EXCEPTION("middle", "catch exception"); },
                                [] { throw std::out_of_range("Unable to find key in unordered_map."); });
        });
    } catch (const std::exception& e) {
        text = e.what();
    }
    auto first = text.find('\n');
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find(" outer: catch exception\n>\t"), std::string::npos) << text;
    EXPECT_NE(text.find(" middle: catch exception\n>\tUnable to find key in unordered_map."), std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

// The diagnostic is built only when something fails, and a cause the caller lets through stays itself.
TEST(Exception, WrappingBuildsOnlyOnFailureAndLetsChosenCausesPass)
{
    int built = 0;
    auto make = [&] {
        ++built;
        return VORLA_EXCEPTION("outer", "catch exception");
    };
    EXPECT_EQ(vorla::wrap_failure(make, [] { return 7; }), 7);
    EXPECT_EQ(built, 0);
    auto range = [](const std::exception& e) { return dynamic_cast<const std::out_of_range*>(&e) != nullptr; };
    EXPECT_THROW(vorla::wrap_failure(make, [] { throw std::out_of_range("x"); }, range), std::out_of_range);
    EXPECT_EQ(built, 0);
    EXPECT_THROW(vorla::wrap_failure(make, [] { throw std::invalid_argument("y"); }, range), vorla::exception);
    EXPECT_EQ(built, 1);
}

// Memory that ran out reads as plain words wherever it is chained or shown, and no layer that lets a
// script catch errors takes it: it passes as runaway recursion does.
TEST(Exception, OutOfMemoryIsPlainWordsAndEndsTheRun)
{
    const std::bad_alloc no_memory;
    EXPECT_STREQ(vorla::plain_what(no_memory), "out of memory");
    EXPECT_STREQ(vorla::plain_what(std::out_of_range("x")), "x");
    EXPECT_TRUE(vorla::out_of_depth(no_memory));
    EXPECT_FALSE(vorla::out_of_depth(std::out_of_range("x")));
    vorla::exception e = vorla::exception("catch exception", "f", "native", 4) << no_memory;
    EXPECT_EQ(e.text(), "f(4) native: catch exception\n>\tout of memory");
    EXPECT_TRUE(e.out_of_depth());
    ASSERT_NE(e.trace(), nullptr);
    EXPECT_EQ(e.trace()->message, "out of memory");
    auto fatal = [](const std::exception& caught) { return vorla::out_of_depth(caught); };
    EXPECT_THROW(vorla::wrap_failure([] { return VORLA_EXCEPTION("outer", "catch exception"); },
                                     [] { throw std::bad_alloc(); }, fatal),
                 std::bad_alloc);
}

TEST(Exception, CopyKeepsTheText)
{
    vorla::exception e("m", "f", "g", 2);
    vorla::exception copy = e;
    EXPECT_STREQ(copy.what(), e.what());
}

TEST(Exception, ChainedCausesKeepTheirOrderAndMarks)
{
    vorla::exception inner("deep", "f", "inner", 1);
    inner.mark_out_of_depth();
    vorla::exception middle("catch exception", "f", "middle", 2);
    middle << inner << std::out_of_range("plain cause");
    vorla::exception outer = vorla::exception("catch exception", "f", "outer", 3) << middle;
    EXPECT_EQ(outer.text(), "f(3) outer: catch exception\n>\tf(2) middle: catch exception\n>\tf(1) inner: deep"
                            "\n>\tplain cause");
    EXPECT_TRUE(outer.out_of_depth());
    // Streaming a value after a chain appends to the whole text; a copy reads the same.
    vorla::exception more = outer << 5;
    EXPECT_EQ(more.text(), outer.text() + "5");
    vorla::exception copy = outer;
    EXPECT_STREQ(copy.what(), outer.what());
}

TEST(Exception, ARunawayChainIsBuiltAndReleasedInLinearTime)
{
    // 50,000 levels of wrapping, each level 100 bytes: copying the growing text at every level would
    // move about 125 GB; sharing the causes takes a blink. Released on a small stack: no recursion.
    vorla::run_on_stack(std::size_t(1) << 20, [] {
        vorla::exception e("call depth exceeded", "f", "call", 1);
        const std::string line(80, 'x');
        for (int i = 0; i < 50000; ++i) e = vorla::exception(line, "f", "wrap", 2) << e;
        const std::string text = e.what();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 50000);
        EXPECT_NE(text.find("call depth exceeded"), std::string::npos);
    });
}

TEST(Narrowing, StopsAtNulAndReplacesWhatUtf8CannotHold)
{
    std::wstring w = L"ab";
    w += L'\0';
    w += L"cd";
    EXPECT_EQ(vorla::narrow(w), "ab");
    std::wstring bad;
    bad += static_cast<wchar_t>(0xD800);      // a lone surrogate
    bad += static_cast<wchar_t>(0x110000);    // beyond Unicode
    bad += L'x';
    EXPECT_EQ(vorla::narrow(bad), "??x");
    EXPECT_EQ(vorla::narrow(std::wstring(1, static_cast<wchar_t>(0x1F600))), "\xf0\x9f\x98\x80");
}

TEST(Widening, DecodesUtf8AndReplacesInvalidBytes)
{
    EXPECT_EQ(vorla::widen("\xc3\xa9"), L"\u00e9");
    EXPECT_EQ(vorla::widen("a\xff" "b"), L"a\uFFFDb");
    EXPECT_EQ(vorla::widen("\xc3"), L"\uFFFD");           // truncated sequence
    EXPECT_EQ(vorla::widen("\xc0\xaf"), L"\uFFFD\uFFFD"); // overlong form
    EXPECT_EQ(vorla::widen(std::string("a\0b", 3)), L"a");
}

TEST(StackGuard, PlentyOfStackAtTheStartOfATest)
{
    EXPECT_FALSE(vorla::stack_exhausted());
}

} // namespace
