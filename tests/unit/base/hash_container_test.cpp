// Unit tests of the hash value: keys by their own hash and equal, copies of keys and values, and its methods.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/hash_.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "locale.hpp"

namespace {

using namespace vorla;

const bool locale_ready = (install_locale(), true);

value i(int n) { return std::make_shared<signed_<int>>(n); }
value u(unsigned int n) { return std::make_shared<unsigned_<unsigned int>>(n); }
value d(double x) { return std::make_shared<real<double>>(x); }
value s(const std::wstring& t) { return std::make_shared<string_<wchar_t>>(t); }
value map() { return std::make_shared<hash_>(); }

value call(const value& self, const std::wstring& name, const args& a = {})
{
    return self->method(method_call<wchar_t>{a, name});
}
bool yes(const value& v) { return static_cast<bool>(*v); }

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
value thrown(F f)
{
    try {
        f();
    } catch (const sig_throw& t) {
        return t.v;
    } catch (...) {
        ADD_FAILURE() << "raised something other than a script throw";
        return std::make_shared<nil>();
    }
    ADD_FAILURE() << "raised nothing";
    return std::make_shared<nil>();
}

bool starts_with(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }
bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void expect_refusal(const std::string& text, const std::string& function, const std::string& message)
{
    EXPECT_TRUE(starts_with(text, "factor/hash_.hpp(")) << text;
    EXPECT_TRUE(ends_with(text, ") " + function + ": " + message)) << text;
}

void expect_range_error(const value& v)
{
    EXPECT_EQ(v->type_id(), tid::range_error);
    EXPECT_TRUE(starts_with(v->describe(), "range_error(factor/hash_.hpp(")) << v->describe();
    EXPECT_TRUE(ends_with(v->describe(), ") : vorla::hash_::_method)")) << v->describe();
}

// A key that cannot be hashed: a lookup with it fails inside the map.
class unhashable : public factor {
public:
    type_id_t type_id() const override { return 9000; }
    value clone() const override { return std::make_shared<unhashable>(); }
    void hash(std::uint32_t&) const override { throw VORLA_EXCEPTION("test::unhashable::hash", "no hash"); }
    bool equal(const value&) const override { return false; }
    std::string describe() const override { return "unhashable()"; }

protected:
    VORLA_SITE("test::unhashable")
};

TEST(HashValue, DescribeWritesKeyValuePairs)
{
    value h = map();
    EXPECT_EQ(h->describe(), "hash[]");
    call(h, L"insert", {i(1), s(L"a")});
    EXPECT_EQ(h->describe(), "hash[(int(1) , string(a))]");
}

TEST(HashValue, InsertOfAPresentKeyKeepsTheFirstValue)
{
    value h = map();
    EXPECT_TRUE(yes(call(h, L"insert", {s(L"k"), i(1)})));
    EXPECT_FALSE(yes(call(h, L"insert", {s(L"k"), i(2)})));
    EXPECT_EQ(call(h, L"at", {s(L"k")})->describe(), "int(1)");
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(1)");
}

TEST(HashValue, SignedAndUnsignedOneAreDifferentKeys)
{
    value h = map();
    EXPECT_TRUE(yes(call(h, L"insert", {i(1), s(L"signed")})));
    EXPECT_TRUE(yes(call(h, L"insert", {u(1), s(L"unsigned")})));
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(2)");
    EXPECT_EQ(call(h, L"at", {i(1)})->describe(), "string(signed)");
    EXPECT_EQ(call(h, L"at", {u(1)})->describe(), "string(unsigned)");
    EXPECT_FALSE(yes(call(h, L"exist", {d(1.0)})));
}

TEST(HashValue, EraseReportsWhetherAnEntryWent)
{
    value h = map();
    call(h, L"insert", {i(1), i(10)});
    EXPECT_FALSE(yes(call(h, L"erase", {i(2)})));
    EXPECT_EQ(h->describe(), "hash[(int(1) , int(10))]");
    EXPECT_TRUE(yes(call(h, L"erase", {i(1)})));
    EXPECT_TRUE(yes(call(h, L"empty")));
    EXPECT_FALSE(yes(call(h, L"exist", {i(1)})));
}

TEST(HashValue, AtAliasesTheStoredValueAndInsertCopies)
{
    value h = map();
    value key = s(L"k");
    value val = i(1);
    call(h, L"insert", {key, val});
    *val = i(2);
    *key = s(L"changed");
    EXPECT_EQ(call(h, L"at", {s(L"k")})->describe(), "int(1)");

    value stored = call(h, L"at", {s(L"k")});
    EXPECT_EQ(stored.get(), call(h, L"at", {s(L"k")}).get());
    ++*stored;
    EXPECT_EQ(call(h, L"at", {s(L"k")})->describe(), "int(2)");
}

TEST(HashValue, AtTurnsAnyLookupFailureIntoARangeError)
{
    expect_range_error(thrown([] { call(map(), L"at", {i(1)}); }));
    // Enough entries that a lookup hashes its key rather than comparing it with each entry in turn.
    value h = map();
    for (int n = 0; n < 40; ++n) call(h, L"insert", {i(n), i(n)});
    expect_range_error(thrown([&] { call(h, L"at", {std::make_shared<unhashable>()}); }));
    // Elsewhere a key's failure stays what it was.
    EXPECT_NE(diagnostic([&] { call(h, L"exist", {std::make_shared<unhashable>()}); }).find("no hash"),
              std::string::npos);
    EXPECT_NE(diagnostic([&] { call(h, L"erase", {std::make_shared<unhashable>()}); }).find("no hash"),
              std::string::npos);
    EXPECT_NE(diagnostic([&] { call(h, L"insert", {std::make_shared<unhashable>(), i(1)}); }).find("no hash"),
              std::string::npos);
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(40)");
}

TEST(HashValue, ManyCollidingKeysStayReachable)
{
    value h = map();
    for (int n = 0; n < 300; ++n) EXPECT_TRUE(yes(call(h, L"insert", {d(n * 0.5), i(n)})));
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(300)");
    for (int n = 0; n < 300; ++n) EXPECT_EQ(call(h, L"at", {d(n * 0.5)})->describe(), i(n)->describe());
    EXPECT_LE(static_cast<const hash_&>(*h).entries().load_factor(), 1.0f);
}

TEST(HashValue, CopiesShareKeysAndCloneValues)
{
    value h = map();
    call(h, L"insert", {i(1), s(L"a")});
    call(h, L"insert", {s(L"b"), i(2)});
    value c = h->clone();
    EXPECT_TRUE(c->equal(h));
    EXPECT_EQ(c->describe(), h->describe());
    const auto& src = static_cast<const hash_&>(*h).entries();
    for (const auto& [k, v] : static_cast<const hash_&>(*c).entries()) {
        const auto it = src.find(k);
        ASSERT_NE(it, src.end());
        EXPECT_EQ(it->first.get(), k.get());
        EXPECT_NE(it->second.get(), v.get());
    }
    *call(c, L"at", {i(1)}) = s(L"z");
    EXPECT_EQ(call(h, L"at", {i(1)})->describe(), "string(a)");
    EXPECT_FALSE(c->equal(h));

    std::uint32_t a = 0, b = 0;
    h->hash(a);
    h->clone()->hash(b);
    EXPECT_EQ(a, b);
}

TEST(HashValue, AssignmentReplacesTheEntries)
{
    value h = map();
    call(h, L"insert", {i(1), i(1)});
    value other = map();
    call(other, L"insert", {i(2), i(2)});
    *h = other;
    EXPECT_EQ(h->describe(), "hash[(int(2) , int(2))]");
    EXPECT_NE(call(h, L"at", {i(2)}).get(), call(other, L"at", {i(2)}).get());
    *h = h;
    EXPECT_EQ(h->describe(), "hash[(int(2) , int(2))]");

    value t = map();
    t->call_constructor(other);
    EXPECT_TRUE(t->equal(other));
    expect_refusal(diagnostic([&] { *h = std::make_shared<vector_>(); }), "vorla::hash_::operator =", "vector[]");
    expect_refusal(diagnostic([&] { h->call_constructor(i(1)); }), "vorla::hash_::call_constructor", "int(1)");
    expect_refusal(diagnostic([&] { h->call_constructor(args{i(1), i(2)}); }), "vorla::hash_::call_constructor",
                   "v[0]=int(1), v[1]=int(2)");
}

TEST(HashValue, SwapExchangesOnlyWithAnotherHash)
{
    value a = map();
    call(a, L"insert", {i(1), i(1)});
    value b = map();
    call(a, L"swap", {b});
    EXPECT_EQ(a->describe(), "hash[]");
    EXPECT_EQ(b->describe(), "hash[(int(1) , int(1))]");
    expect_refusal(diagnostic([&] { call(b, L"swap", {std::make_shared<vector_>()}); }), "vorla::hash_::_method",
                   "id=swap, v[0]=vector[]");
    EXPECT_EQ(b->describe(), "hash[(int(1) , int(1))]");
}

TEST(HashValue, MethodMissesAndOperatorsAreRefused)
{
    expect_refusal(diagnostic([] { call(map(), L"insert", {i(1)}); }), "vorla::hash_::_method", "id=insert, v[0]=int(1)");
    expect_refusal(diagnostic([] { call(map(), L"keys"); }), "vorla::hash_::_method", "id=keys, v=0");
    expect_refusal(diagnostic([] { (void)(*map() < i(1)); }), "vorla::hash_::operator <", "int(1)");
    value cast = thrown([] { (void)static_cast<unsigned int>(*map()); });
    EXPECT_TRUE(ends_with(cast->describe(), ") : vorla::hash_::operator unsigned int)")) << cast->describe();
}

} // namespace
