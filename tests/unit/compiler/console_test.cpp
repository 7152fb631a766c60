// Unit tests of the driver's console helpers: folding of repeated lines in a diagnostic chain.
#include <gtest/gtest.h>

#include <string>

#include "../support.hpp"
#include "driver/console.hpp"

namespace {

using vorla::driver::shorten_chain;

// n lines built by f(index), joined by newlines.
template <class F>
std::string joined(std::size_t n, F f)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? "\n" : "") + f(i);
    return out;
}

TEST(ShortenChain, ShortRunsAndPlainTextStayAsTheyAre)
{
    EXPECT_EQ(shorten_chain("one"), "one");
    EXPECT_EQ(shorten_chain(""), "");
    const std::string eight = joined(8, [](std::size_t) { return std::string("same"); });
    EXPECT_EQ(shorten_chain(eight), eight);
    // Four repetitions of a two-line group are 8 lines: not more than 8, kept.
    const std::string pairs = joined(8, [](std::size_t i) { return std::string(i % 2 ? "b" : "a"); });
    EXPECT_EQ(shorten_chain(pairs), pairs);
}

TEST(ShortenChain, IdenticalLinesKeepThreeAndTwo)
{
    const std::string text = "head\n" + joined(20, [](std::size_t) { return std::string("x"); }) + "\ntail";
    EXPECT_EQ(shorten_chain(text), "head\nx\nx\nx\n>\t... 15 identical lines omitted\nx\nx\ntail");
    const std::string many = joined(20005, [](std::size_t) { return std::string("x"); });
    EXPECT_EQ(shorten_chain(many), "x\nx\nx\n>\t... 20,000 identical lines omitted\nx\nx");
}

TEST(ShortenChain, RepeatingGroupsKeepTheFirstAndLastGroup)
{
    // Two lines alternating, as recursion through a call and a constructor gives them.
    const std::string two = "top\n" + joined(10, [](std::size_t i) { return std::string(i % 2 ? "ctor" : "call"); }) + "\nroot";
    EXPECT_EQ(shorten_chain(two),
              "top\ncall\nctor\n>\t... 6 lines omitted (a group of 2 lines repeated)\ncall\nctor\nroot");
    // Three repetitions of a group of three are 9 lines: folded.
    const std::string three = joined(9, [](std::size_t i) { return std::string(1, char('a' + i % 3)); });
    EXPECT_EQ(shorten_chain(three), "a\nb\nc\n>\t... 3 lines omitted (a group of 3 lines repeated)\na\nb\nc");
    // A group of four, 20,000 times, ends in a few lines; a part group at the end is kept as it is.
    const std::string four = joined(80001, [](std::size_t i) { return std::string(1, char('a' + i % 4)); });
    EXPECT_EQ(shorten_chain(four),
              "a\nb\nc\nd\n>\t... 79,992 lines omitted (a group of 4 lines repeated)\na\nb\nc\nd\na");
}

TEST(ShortenChain, TheSmallestGroupIsFoldedAndLongerPeriodsAreLeft)
{
    // a b repeated is also a b a b repeated: the group of 2 is the one named.
    const std::string text = joined(12, [](std::size_t i) { return std::string(i % 2 ? "b" : "a"); });
    EXPECT_EQ(shorten_chain(text), "a\nb\n>\t... 8 lines omitted (a group of 2 lines repeated)\na\nb");
    // A period of 5 is no group: nothing is folded.
    const std::string five = joined(20, [](std::size_t i) { return std::string(1, char('a' + i % 5)); });
    EXPECT_EQ(shorten_chain(five), five);
    // Identical lines inside a longer group are no run of their own: the group is folded whole.
    const std::string aab = joined(12, [](std::size_t i) { return std::string(i % 3 == 2 ? "b" : "a"); });
    EXPECT_EQ(shorten_chain(aab), "a\na\nb\n>\t... 6 lines omitted (a group of 3 lines repeated)\na\na\nb");
}

} // namespace
