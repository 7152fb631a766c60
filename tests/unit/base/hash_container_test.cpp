// Unit tests of the hash value: keys by their own hash and equal, copies of keys and values, and its methods.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

value map() { return make<hash_>(); }

void expect_hash_refusal(const std::string& text, const std::string& function, const std::string& message)
{
    expect_refusal(text, "factor/hash_.hpp", function, message);
}

void expect_hash_range_error(const value& v) { expect_range_error(v, "factor/hash_.hpp", "vorla::hash_::_method"); }

// A key that cannot be hashed: a lookup with it fails inside the map.
class unhashable : public factor {
public:
    type_id_t type_id() const override { return 9000; }
    value clone() const override { return make<unhashable>(); }
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
    call(h, L"insert", {int_(1), str(L"a")});
    EXPECT_EQ(h->describe(), "hash[(int(1) , string(a))]");
}

TEST(HashValue, InsertOfAPresentKeyKeepsTheFirstValue)
{
    value h = map();
    EXPECT_TRUE(as_bool(call(h, L"insert", {str(L"k"), int_(1)})));
    EXPECT_FALSE(as_bool(call(h, L"insert", {str(L"k"), int_(2)})));
    EXPECT_EQ(call(h, L"at", {str(L"k")})->describe(), "int(1)");
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(1)");
}

TEST(HashValue, SignedAndUnsignedOneAreDifferentKeys)
{
    value h = map();
    EXPECT_TRUE(as_bool(call(h, L"insert", {int_(1), str(L"signed")})));
    EXPECT_TRUE(as_bool(call(h, L"insert", {uint_(1), str(L"unsigned")})));
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(2)");
    EXPECT_EQ(call(h, L"at", {int_(1)})->describe(), "string(signed)");
    EXPECT_EQ(call(h, L"at", {uint_(1)})->describe(), "string(unsigned)");
    EXPECT_FALSE(as_bool(call(h, L"exist", {double_(1.0)})));
}

TEST(HashValue, EraseReportsWhetherAnEntryWent)
{
    value h = map();
    call(h, L"insert", {int_(1), int_(10)});
    EXPECT_FALSE(as_bool(call(h, L"erase", {int_(2)})));
    EXPECT_EQ(h->describe(), "hash[(int(1) , int(10))]");
    EXPECT_TRUE(as_bool(call(h, L"erase", {int_(1)})));
    EXPECT_TRUE(as_bool(call(h, L"empty")));
    EXPECT_FALSE(as_bool(call(h, L"exist", {int_(1)})));
}

TEST(HashValue, AtAliasesTheStoredValueAndInsertCopies)
{
    value h = map();
    value key = str(L"k");
    value val = int_(1);
    call(h, L"insert", {key, val});
    *val = int_(2);
    *key = str(L"changed");
    EXPECT_EQ(call(h, L"at", {str(L"k")})->describe(), "int(1)");

    value stored = call(h, L"at", {str(L"k")});
    EXPECT_EQ(stored.get(), call(h, L"at", {str(L"k")}).get());
    ++*stored;
    EXPECT_EQ(call(h, L"at", {str(L"k")})->describe(), "int(2)");
}

TEST(HashValue, AtAndExistTurnARefusingKeyIntoARangeError)
{
    expect_hash_range_error(thrown([] { call(map(), L"at", {int_(1)}); }));
    // Enough entries that a lookup hashes its key rather than comparing it with each entry in turn.
    value h = map();
    for (int n = 0; n < 40; ++n) call(h, L"insert", {int_(n), int_(n)});
    expect_hash_range_error(thrown([&] { call(h, L"at", {make<unhashable>()}); }));
    // exist asks the same question as at, and is answered the same way.
    expect_hash_range_error(thrown([&] { call(h, L"exist", {make<unhashable>()}); }));
    // Elsewhere a key's failure stays what it was.
    EXPECT_NE(diagnostic([&] { call(h, L"erase", {make<unhashable>()}); }).find("no hash"),
              std::string::npos);
    EXPECT_NE(diagnostic([&] { call(h, L"insert", {make<unhashable>(), int_(1)}); }).find("no hash"),
              std::string::npos);
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(40)");
}

// A key whose hash fails in a way that is no refusal: running out of memory, or a runaway recursion's
// diagnostic, which no script may catch.
template <bool out_of_depth>
class failing_key : public factor {
public:
    type_id_t type_id() const override { return 9001; }
    value clone() const override { return make<failing_key>(); }
    void hash(std::uint32_t&) const override
    {
        if constexpr (out_of_depth) throw VORLA_EXCEPTION("test::failing_key::hash", "too deep").mark_out_of_depth();
        else throw std::bad_alloc();
    }
    bool equal(const value&) const override { return false; }
    std::string describe() const override { return "failing_key()"; }

protected:
    VORLA_SITE("test::failing_key")
};

TEST(HashValue, AtLetsEveryOtherFailureThrough)
{
    value h = map();
    call(h, L"insert", {int_(1), int_(1)});
    EXPECT_THROW(call(h, L"at", {make<failing_key<false>>()}), std::bad_alloc);
    try {
        call(h, L"at", {make<failing_key<true>>()});
        ADD_FAILURE() << "no exception";
    } catch (const vorla::exception& e) {
        EXPECT_TRUE(e.out_of_depth());
        EXPECT_NE(std::string(e.what()).find("too deep"), std::string::npos);
    }
    expect_hash_range_error(thrown([&] { call(h, L"at", {int_(2)}); }));
    EXPECT_EQ(call(h, L"at", {int_(1)})->describe(), "int(1)");
}

TEST(HashValue, ManyCollidingKeysStayReachable)
{
    value h = map();
    for (int n = 0; n < 300; ++n) EXPECT_TRUE(as_bool(call(h, L"insert", {double_(n * 0.5), int_(n)})));
    EXPECT_EQ(call(h, L"size")->describe(), "unsigned(300)");
    for (int n = 0; n < 300; ++n) EXPECT_EQ(call(h, L"at", {double_(n * 0.5)})->describe(), int_(n)->describe());
    EXPECT_LE(static_cast<const hash_&>(*h).entries().load_factor(), 1.0f);
}

TEST(HashValue, CopiesShareKeysAndCloneValues)
{
    value h = map();
    call(h, L"insert", {int_(1), str(L"a")});
    call(h, L"insert", {str(L"b"), int_(2)});
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
    *call(c, L"at", {int_(1)}) = str(L"z");
    EXPECT_EQ(call(h, L"at", {int_(1)})->describe(), "string(a)");
    EXPECT_FALSE(c->equal(h));

    std::uint32_t a = 0, b = 0;
    h->hash(a);
    h->clone()->hash(b);
    EXPECT_EQ(a, b);
}

TEST(HashValue, AssignmentReplacesTheEntries)
{
    value h = map();
    call(h, L"insert", {int_(1), int_(1)});
    value other = map();
    call(other, L"insert", {int_(2), int_(2)});
    *h = other;
    EXPECT_EQ(h->describe(), "hash[(int(2) , int(2))]");
    EXPECT_NE(call(h, L"at", {int_(2)}).get(), call(other, L"at", {int_(2)}).get());
    *h = h;
    EXPECT_EQ(h->describe(), "hash[(int(2) , int(2))]");

    value t = map();
    t->call_constructor(other);
    EXPECT_TRUE(t->equal(other));
    expect_hash_refusal(diagnostic([&] { *h = make<vector_>(); }), "vorla::hash_::operator =", "vector[]");
    expect_hash_refusal(diagnostic([&] { h->call_constructor(int_(1)); }), "vorla::hash_::call_constructor", "int(1)");
    expect_hash_refusal(diagnostic([&] {
                            h->call_constructor(args{int_(1), int_(2)});
                        }),
                        "vorla::hash_::call_constructor", "v[0]=int(1), v[1]=int(2)");
}

TEST(HashValue, SwapExchangesOnlyWithAnotherHash)
{
    value a = map();
    call(a, L"insert", {int_(1), int_(1)});
    value b = map();
    call(a, L"swap", {b});
    EXPECT_EQ(a->describe(), "hash[]");
    EXPECT_EQ(b->describe(), "hash[(int(1) , int(1))]");
    expect_hash_refusal(diagnostic([&] { call(b, L"swap", {make<vector_>()}); }), "vorla::hash_::_method",
                   "id=swap, v[0]=vector[]");
    EXPECT_EQ(b->describe(), "hash[(int(1) , int(1))]");
}

TEST(HashValue, MethodMissesAndOperatorsAreRefused)
{
    expect_hash_refusal(diagnostic([] { call(map(), L"insert", {int_(1)}); }), "vorla::hash_::_method",
                        "id=insert, v[0]=int(1)");
    expect_hash_refusal(diagnostic([] { call(map(), L"sort"); }), "vorla::hash_::_method", "id=sort, v=0");
    expect_hash_refusal(diagnostic([] { (void)(*map() < int_(1)); }), "vorla::hash_::operator <", "int(1)");
    value cast = thrown([] { (void)static_cast<unsigned int>(*map()); });
    EXPECT_TRUE(ends_with(cast->describe(), ") : vorla::hash_::operator unsigned int)")) << cast->describe();
}

} // namespace

namespace {

// ---- the entry copy of short string keys, and the last entry found ------------------------------------

value found(const value& h, const value& key) { return call(h, L"at", {key}); }
bool has(const value& h, const value& key) { return as_bool(call(h, L"exist", {key})); }

TEST(HashLookup, ShortStringKeysMatchOnlyTheSameTextAndType)
{
    value h = map();
    const std::wstring eleven = L"abcdefghijk", twelve = L"abcdefghijkl";
    for (const std::wstring& k : {std::wstring(), std::wstring(L"a"), eleven, twelve, std::wstring(L"a\0b", 3),
                                  std::wstring(L"\u00ff"), std::wstring(L"\u0161x")})
        call(h, L"insert", {str(k), str(L"[" + k + L"]")});
    EXPECT_EQ(as_text(found(h, str(L""))), L"[]");
    EXPECT_EQ(as_text(found(h, str(eleven))), L"[" + eleven + L"]");
    EXPECT_EQ(as_text(found(h, str(twelve))), L"[" + twelve + L"]");
    EXPECT_EQ(as_text(found(h, str(std::wstring(L"a\0b", 3)))), L"[" + std::wstring(L"a\0b", 3) + L"]");
    EXPECT_EQ(as_text(found(h, str(L"\u0161x"))), L"[\u0161x]");
    // A character that agrees with a stored one in its low byte only is another character.
    EXPECT_FALSE(has(h, str(L"\u01ff")));
    EXPECT_FALSE(has(h, str(L"\u0161")));
    EXPECT_FALSE(has(h, str(L"abcdefghij")));
    EXPECT_FALSE(has(h, str(std::wstring(L"a\0c", 3))));
    // Equal text in another type is another key.
    call(h, L"insert", {int_(1), str(L"int")});
    call(h, L"insert", {str(L"1"), str(L"string")});
    EXPECT_EQ(as_text(found(h, int_(1))), L"int");
    EXPECT_EQ(as_text(found(h, str(L"1"))), L"string");
}

TEST(HashLookup, TheLastEntryFoundIsForgottenByEveryChange)
{
    value h = map();
    call(h, L"insert", {str(L"a"), int_(1)});
    call(h, L"insert", {str(L"b"), int_(2)});
    EXPECT_EQ(as_int(found(h, str(L"a"))), 1);
    call(h, L"erase", {str(L"a")});
    EXPECT_FALSE(has(h, str(L"a")));
    expect_hash_range_error(thrown([&] { found(h, str(L"a")); }));

    EXPECT_EQ(as_int(found(h, str(L"b"))), 2);
    call(h, L"clear");
    expect_hash_range_error(thrown([&] { found(h, str(L"b")); }));

    // Both sides of a swap forget their last entry: each now answers from the other's entries.
    value other = map();
    call(h, L"insert", {str(L"k"), int_(1)});
    call(other, L"insert", {str(L"k"), int_(2)});
    EXPECT_EQ(as_int(found(h, str(L"k"))), 1);
    EXPECT_EQ(as_int(found(other, str(L"k"))), 2);
    call(h, L"swap", {other});
    EXPECT_EQ(as_int(found(h, str(L"k"))), 2);
    EXPECT_EQ(as_int(found(other, str(L"k"))), 1);

    // Assignment and copy construction replace the entries; the found value is the new one.
    *h = other;
    value fresh = found(h, str(L"k"));
    EXPECT_EQ(as_int(fresh), 1);
    ++*fresh;
    EXPECT_EQ(as_int(found(other, str(L"k"))), 1);
    EXPECT_EQ(as_int(found(h, str(L"k"))), 2);
    h->call_constructor(other);
    EXPECT_EQ(as_int(found(h, str(L"k"))), 1);

    // An insert that adds, and one that finds the key present, leave lookups right.
    EXPECT_TRUE(as_bool(call(h, L"insert", {str(L"m"), int_(5)})));
    EXPECT_FALSE(as_bool(call(h, L"insert", {str(L"k"), int_(9)})));
    EXPECT_EQ(as_int(found(h, str(L"k"))), 1);
    EXPECT_EQ(as_int(found(h, str(L"m"))), 5);
}

TEST(HashLookup, AChangedKeyStringIsLookedUpByItsNewText)
{
    value h = map();
    call(h, L"insert", {str(L"ab"), int_(1)});
    call(h, L"insert", {str(L"ac"), int_(2)});
    value key = str(L"ab");
    EXPECT_EQ(as_int(found(h, key)), 1);
    *key = str(L"ac");  // the same handle, another text
    EXPECT_EQ(as_int(found(h, key)), 2);
    EXPECT_TRUE(key->operate_in_place(arith::add, str(L"d")));  // grown in place, as `key += "d"` does
    EXPECT_FALSE(has(h, key));
    expect_hash_range_error(thrown([&] { found(h, key); }));
}

TEST(HashLookup, KeysOfEqualHashButOtherTypeAreToldApartAfterAHit)
{
    // int 1 and unsigned 1 hash alike: the last entry found must not answer for the other.
    value h = map();
    call(h, L"insert", {int_(1), str(L"signed")});
    call(h, L"insert", {uint_(1), str(L"unsigned")});
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(as_text(found(h, int_(1))), L"signed");
        EXPECT_EQ(as_text(found(h, uint_(1))), L"unsigned");
    }
    // Long keys are compared by their own equal.
    const std::wstring long_a(40, L'a'), long_b = std::wstring(39, L'a') + L"b";
    call(h, L"insert", {str(long_a), int_(1)});
    EXPECT_EQ(as_int(found(h, str(long_a))), 1);
    EXPECT_FALSE(has(h, str(long_b)));
}

} // namespace
