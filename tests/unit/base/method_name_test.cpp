// Unit tests of built-in method names: resolving a name's text, and calls that carry the name resolved.
#include <gtest/gtest.h>

#include <string>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

TEST(MethodName, EveryTextResolvesToItsNameAndNothingElseDoes)
{
    for (auto i = static_cast<int>(method_name::size); i < static_cast<int>(method_name::count_); ++i) {
        const auto n = static_cast<method_name>(i);
        const std::string text(method_text(n));
        EXPECT_EQ(method_name_of(std::string_view(text)), n) << text;
        EXPECT_EQ(method_name_of(std::wstring_view(std::wstring(text.begin(), text.end()))), n) << text;
    }
    for (const wchar_t* other : {L"", L"siz", L"sizes", L"Size", L"push_backs", L"at ", L"\u0101t"})
        EXPECT_EQ(method_name_of(std::wstring_view(other)), method_name::none);
    EXPECT_EQ(method_text(method_name::none), "");
    EXPECT_EQ(method_text(method_name::unresolved), "");
}

// A call site resolves its name once; the call then reaches the same method as one that gives the text
// alone, and a name no built-in class has misses with the same diagnostic as an unknown text.
TEST(MethodName, ResolvedCallsMatchCallsByText)
{
    value v = make<vector_>();
    const std::wstring push = L"push_back", at = L"at", nosuch = L"nosuch";
    v->method(method_call<wchar_t>{args{int_(7)}, push, nullptr, nullptr, method_name::push_back});
    EXPECT_EQ(as_int(v->method(method_call<wchar_t>{args{int_(0)}, at, nullptr, nullptr, method_name::at})), 7);
    EXPECT_EQ(as_int(call(v, L"at", {int_(0)})), 7);

    const std::string by_text = diagnostic([&] { call(v, nosuch, {int_(1)}); });
    const std::string resolved =
        diagnostic([&] { v->method(method_call<wchar_t>{args{int_(1)}, nosuch, nullptr, nullptr, method_name::none}); });
    EXPECT_EQ(resolved, by_text);
    EXPECT_NE(by_text.find("nosuch"), std::string::npos) << by_text;

    // The right name with the wrong argument count is a miss too, quoted the same way.
    value h = make<hash_>();
    EXPECT_EQ(diagnostic([&] { h->method(method_call<wchar_t>{args{}, at, nullptr, nullptr, method_name::at}); }),
              diagnostic([&] { call(h, L"at"); }));
}

} // namespace
