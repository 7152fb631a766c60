// Built-in methods called with a resolved name and stacked arguments, against the method slot's answers.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/method_table.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

// What a call ends in: the result and the receiver afterwards, or the text of what it raised.
std::string outcome(const value& receiver, const std::function<value()>& call)
{
    try {
        const value r = call();
        return r ? r->describe() + " | " + receiver->describe() : "(none)";
    } catch (const std::exception& e) {
        return std::string("raised ") + e.what();
    } catch (const sig_throw& t) {
        return "throw " + t.v->describe();
    }
}

value filled_vector()
{
    value v = make<vector_>();
    call(v, L"push_back", {int_(1)});
    call(v, L"push_back", {str(L"x")});
    return v;
}
value filled_list()
{
    value v = make<list_>();
    call(v, L"push_back", {int_(1)});
    return v;
}
value filled_hash()
{
    value h = make<hash_>();
    call(h, L"insert", {str(L"a"), int_(1)});
    return h;
}

// Every name and argument count on every class that answers directly: the same result, the same change to
// the receiver and the same refusal as through the method slot; or no answer where the slot refuses, or
// for sort_by, which runs the elements' methods and so is left to the slot, with nothing done.
TEST(BuiltinMethod, AnswersExactlyAsTheMethodSlot)
{
    const std::vector<value (*)()> receivers = {filled_vector, filled_list, filled_hash, []() -> value { return str(L"abc"); },
                                                []() -> value { return make<vector_>(); }};
    const std::vector<args> argument_lists = {
        {}, {int_(0)}, {int_(1)}, {int_(5)}, {str(L"a")}, {int_(1), int_(9)}, {str(L"b"), int_(2)}, {int_(0), int_(1), int_(2)},
    };
    int answered = 0;
    for (auto fresh : receivers)
        for (std::size_t m = static_cast<std::size_t>(method_name::size); m < static_cast<std::size_t>(method_name::count_); ++m)
            for (const args& a : argument_lists) {
                const auto name = static_cast<method_name>(m);
                const std::wstring text = widen(std::string(method_text(name)));
                value direct_receiver = fresh();
                value slot_receiver = fresh();
                bool none = false;
                const std::string direct = outcome(direct_receiver, [&] {
                    value r = direct_receiver->builtin_method(name, arg_span(a.data(), a.size()));
                    none = !r;
                    return r;
                });
                const std::string slot = outcome(slot_receiver, [&] { return slot_receiver->method(method_call<wchar_t>{a, text}); });
                const std::string what = slot_receiver->describe() + "." + std::string(method_text(name)) + "/" + std::to_string(a.size());
                if (none) {
                    if (name != method_name::sort_by) {
                        EXPECT_EQ(slot.rfind("raised ", 0), 0u) << what << ": the slot answers " << slot;
                    }
                    EXPECT_EQ(direct_receiver->describe(), fresh()->describe()) << what;
                    continue;
                }
                ++answered;
                EXPECT_EQ(direct, slot) << what;
            }
    EXPECT_GT(answered, 20);
}

// sort_by is answered by the slot alone: the direct call leaves it there, the slot sorts by each key.
TEST(BuiltinMethod, SortByGoesThroughTheSlot)
{
    for (value v : {value(make<vector_>()), value(make<list_>())}) {
        for (const wchar_t* s : {L"ccc", L"a", L"bb", L"d"}) call(v, L"push_back", {str(s)});
        const args by_size = {str(L"size")};
        EXPECT_FALSE(v->builtin_method(method_name::sort_by, arg_span(by_size.data(), by_size.size())));
        EXPECT_EQ(v->describe().substr(v->describe().find('[')), "[string(ccc), string(a), string(bb), string(d)]");
        call(v, L"sort_by", {str(L"size")});
        EXPECT_EQ(v->describe().substr(v->describe().find('[')), "[string(a), string(d), string(bb), string(ccc)]");
    }
}

// A string's hash follows its text through every change, though it is worked out once.
TEST(BuiltinMethod, StringHashFollowsEveryChange)
{
    auto hash_of = [](const value& v) {
        std::uint32_t seed = 0;
        v->hash(seed);
        return seed;
    };
    auto fresh_hash = [&](const std::wstring& text) { return hash_of(str(text)); };
    value s = str(L"ab");
    EXPECT_EQ(hash_of(s), fresh_hash(L"ab"));
    s->operate_in_place(arith::add, int_(7));
    EXPECT_EQ(hash_of(s), fresh_hash(L"ab7"));
    s->operator=(str(L"q"));
    EXPECT_EQ(hash_of(s), fresh_hash(L"q"));
    s->call_constructor(int_(12));
    EXPECT_EQ(hash_of(s), fresh_hash(L"12"));
    std::wistringstream in(L"word rest");
    s->read_istream(in);
    EXPECT_EQ(hash_of(s), fresh_hash(L"word"));
    static_cast<string_<wchar_t>&>(*s).set(L"");
    EXPECT_EQ(hash_of(s), fresh_hash(L""));
    EXPECT_NE(fresh_hash(L"ab"), fresh_hash(L"ba"));
}

// A method table is built when compiling, into fixed storage: the same name with another argument count
// is another method, the rows keep their order, and a table that would not fit is refused, never written
// past its end.
TEST(MethodTable, BuiltWhenCompilingAndBounded)
{
    using m = method_name;
    static constexpr method_table t({{m::resize, 1}, {m::at, 1}, {m::resize, 2}});
    static_assert(t.has(m::resize, 1) && t.has(m::resize, 2) && !t.has(m::resize, 0));
    static_assert(t.has(m::at, 1) && !t.has(m::at, 2) && !t.has(m::size, 0));
    static_assert(!t.has(m::at, 100), "an argument count past the bits is no method");
    const method_signatures rows = t.signatures();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "resize");
    EXPECT_EQ(rows[1].name, "at");
    EXPECT_EQ(rows[2].argc, 2u);

    EXPECT_THROW(method_table({{m::at, 8}}), std::logic_error);
    auto too_long = [] {
        return method_table({
            {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0},
            {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0},
            {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0},
            {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0},
            {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0}, {m::size, 0},
        });
    };
    EXPECT_THROW(too_long(), std::logic_error);
}

} // namespace
