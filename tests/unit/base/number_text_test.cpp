// Unit tests of reading numbers from text and streams: the longest numeric prefix, ranges, failures.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

#include "../support.hpp"
#include "factor/number_text.hpp"

namespace {

using vorla::number_text::parse;
using vorla::number_text::read;

TEST(NumberText, ADanglingExponentIsNotPartOfTheNumber)
{
    EXPECT_EQ(parse<double>(std::wstring(L"1e")).value, 1.0);
    EXPECT_EQ(parse<double>(std::wstring(L"1.5e+")).value, 1.5);
    EXPECT_EQ(parse<double>(std::wstring(L"2e-x")).value, 2.0);
    EXPECT_EQ(parse<float>(std::wstring(L"3e")).value, 3.0f);
    EXPECT_EQ(parse<double>(std::wstring(L"1ex")).value, 1.0);
    EXPECT_EQ(parse<double>(std::wstring(L"4E+")).value, 4.0);
    EXPECT_TRUE(parse<double>(std::wstring(L"1e")).ok);
    EXPECT_EQ(parse<double>(std::wstring(L"2.5E+3x")).value, 2500.0);
    EXPECT_EQ(parse<double>(std::wstring(L"1e-2")).value, 0.01);
}

TEST(NumberText, PrefixForms)
{
    EXPECT_EQ(parse<double>(std::wstring(L" \t\n-2.5e2x")).value, -250.0);
    EXPECT_EQ(parse<double>(std::wstring(L".5")).value, 0.5);
    EXPECT_EQ(parse<double>(std::wstring(L"5.")).value, 5.0);
    EXPECT_EQ(parse<double>(std::wstring(L"+7.25.3")).value, 7.25);
    EXPECT_EQ(parse<int>(std::wstring(L"12e3")).value, 12);
    EXPECT_EQ(parse<int>(std::wstring(L"  +7x")).value, 7);
    EXPECT_EQ(parse<int>(std::wstring(L"-0")).value, 0);
    EXPECT_EQ(parse<int>(std::wstring(L"1,234")).value, 1);  // no digit grouping
    EXPECT_EQ(parse<int>(std::wstring(L"3.9")).value, 3);
    // What no stream reads as a number gives 0 and is no clean read: words, hex, a bare sign or point.
    for (const wchar_t* text : {L"", L"abc", L"inf", L"nan", L"-", L".", L".e5", L"+-5", L"x1"}) {
        EXPECT_EQ(parse<double>(std::wstring(text)).value, 0.0) << vorla::narrow(text);
        EXPECT_FALSE(parse<double>(std::wstring(text)).ok) << vorla::narrow(text);
        EXPECT_EQ(parse<int>(std::wstring(text)).value, 0) << vorla::narrow(text);
    }
    EXPECT_EQ(parse<double>(std::wstring(L"0x10")).value, 0.0);
    EXPECT_TRUE(parse<double>(std::wstring(L"0x10")).ok);
}

TEST(NumberText, OutOfRangeGivesTheLimitAndNoCleanRead)
{
    EXPECT_EQ(parse<int>(std::wstring(L"2147483647")).value, 2147483647);
    EXPECT_EQ(parse<int>(std::wstring(L"-2147483648")).value, std::numeric_limits<int>::min());
    auto over = parse<int>(std::wstring(L"2147483648"));
    EXPECT_EQ(over.value, std::numeric_limits<int>::max());
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(parse<int>(std::wstring(L"-2147483649")).value, std::numeric_limits<int>::min());
    EXPECT_EQ(parse<int>(std::wstring(L"99999999999999999999999999")).value, std::numeric_limits<int>::max());
    // An unsigned read takes a minus sign modulo 2^32, as a stream does; beyond the range is the maximum.
    EXPECT_EQ(parse<unsigned>(std::wstring(L"-1")).value, 4294967295u);
    EXPECT_EQ(parse<unsigned>(std::wstring(L"4294967295")).value, 4294967295u);
    EXPECT_EQ(parse<unsigned>(std::wstring(L"4294967296")).value, 4294967295u);
    EXPECT_EQ(parse<unsigned>(std::wstring(L"-4294967296")).value, 4294967295u);
    EXPECT_EQ(parse<double>(std::wstring(L"1e400")).value, std::numeric_limits<double>::max());
    EXPECT_EQ(parse<double>(std::wstring(L"-1e400")).value, -std::numeric_limits<double>::max());
    EXPECT_FALSE(parse<double>(std::wstring(L"1e400")).ok);
    EXPECT_EQ(parse<float>(std::wstring(L"1e39")).value, std::numeric_limits<float>::max());
    EXPECT_EQ(parse<double>(std::wstring(L"1e-400")).value, 0.0);
}

TEST(NumberText, StreamReadTakesThePrefixAndLeavesTheRest)
{
    std::wistringstream in(L"1e x 42abc 7e+ 12");
    double d = 0.5;
    read(in, d);
    EXPECT_EQ(d, 1.0);
    std::wstring word;
    in >> word;
    EXPECT_EQ(word, L"x");
    int i = 0;
    read(in, i);
    EXPECT_EQ(i, 42);
    in >> word;
    EXPECT_EQ(word, L"abc");
    read(in, d);
    EXPECT_EQ(d, 7.0);  // the dangling "e+" is taken with the number
    unsigned u = 0;
    read(in, u);
    EXPECT_EQ(u, 12u);
    EXPECT_FALSE(in.fail());
    EXPECT_TRUE(in.eof());
}

TEST(NumberText, AFailedStreamReadKeepsTheTargetAndTheFailure)
{
    std::wistringstream in(L"abc 5");
    int i = 9;
    read(in, i);
    EXPECT_EQ(i, 9);
    EXPECT_TRUE(in.fail());
    read(in, i);  // a failed stream reads nothing more
    EXPECT_EQ(i, 9);
    std::wistringstream big(L"99999999999");
    read(big, i);
    EXPECT_EQ(i, 9);
    EXPECT_TRUE(big.fail());
    std::istringstream narrow_in(" -3.5");
    float f = 0;
    read(narrow_in, f);
    EXPECT_EQ(f, -3.5f);
}

} // namespace
