// Unit tests of the type-id manager: built-in names, id order, clashes and reverse lookup.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "../support.hpp"
#include "idm.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

// Lets a test start the counter where it wants instead of generating billions of ids.
class idm_at : public idm<wchar_t> {
public:
    explicit idm_at(type_id_t counter) { counter_ = counter; }
};

TEST(Idm, KnowsTheBuiltInNames)
{
    idm<wchar_t> m;
    EXPECT_EQ(m.find(L"bool"), tid::boolean);
    EXPECT_EQ(m.find(L"int"), tid::signed_);
    EXPECT_EQ(m.find(L"u?int"), tid::unsigned_);
    EXPECT_EQ(m.find(L"string"), tid::string_);
    EXPECT_EQ(m.find(L"range_error"), tid::range_error);
    EXPECT_EQ(m.find_str(tid::hash_), L"hash");
    EXPECT_EQ(m.find_str(tid::typeid_), L"typeid");
    for (type_id_t id = tid::boolean; id <= tid::range_error; ++id) EXPECT_NO_THROW(m.find_str(id)) << id;
}

TEST(Idm, LookupMissIsTheTableError)
{
    idm<wchar_t> m;
    try {
        m.find(L"unsigned");
        ADD_FAILURE() << "raised nothing";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Unable to find key in unordered_map.");
    }
}

TEST(Idm, IdsComeInOrderAndClassesAndProcessesShareThem)
{
    idm<wchar_t> m;
    EXPECT_EQ(m.generate(L"point"), 1u);
    EXPECT_EQ(m.generate_p(L"main"), 2u);
    EXPECT_EQ(m.generate(L"shape"), 3u);
    EXPECT_EQ(m.find(L"point"), 1u);
    EXPECT_EQ(m.find(L"p?main"), 2u);
    EXPECT_FALSE(m.contains(L"main"));
    EXPECT_EQ(m.find_str(2), L"p?main");
    EXPECT_EQ(m.find_str(3), L"shape");
}

TEST(Idm, CounterSkipsTheBuiltInIds)
{
    idm_at m(tid::boolean - 2);
    EXPECT_EQ(m.generate(L"a"), tid::boolean - 1);
    EXPECT_EQ(m.generate(L"b"), tid::range_error + 1);
    EXPECT_EQ(m.generate_p(L"c"), tid::range_error + 2);
    EXPECT_EQ(m.find_str(tid::boolean), L"bool");
}

TEST(Idm, ExistingNameClashes)
{
    idm<wchar_t> m;
    const std::string builtin = diagnostic([&] { m.generate(L"list"); });
    EXPECT_EQ(builtin.rfind("idm.cpp(", 0), 0u) << builtin;
    EXPECT_TRUE(ends_with(builtin, ") vorla::idm<wchar_t>::generate: typeid already exists, sid=list")) << builtin;

    EXPECT_EQ(m.generate(L"shape"), 1u);
    EXPECT_TRUE(ends_with(diagnostic([&] { m.generate(L"shape"); }),
                          " vorla::idm<wchar_t>::generate: typeid already exists, sid=shape"));
    // A failed request takes no id.
    EXPECT_EQ(m.generate(L"circle"), 2u);
}

TEST(Idm, ProcessNamedLikeAClassClashes)
{
    idm<wchar_t> m;
    m.generate(L"worker");
    EXPECT_TRUE(ends_with(diagnostic([&] { m.generate_p(L"worker"); }),
                          " vorla::idm<wchar_t>::generate_p: typeid already exists, sidworker"));
    EXPECT_TRUE(ends_with(diagnostic([&] { m.generate_p(L"int"); }),
                          " vorla::idm<wchar_t>::generate_p: typeid already exists, sidint"));
    EXPECT_FALSE(m.contains(L"p?worker"));
}

TEST(Idm, TwoProcessesOfOneNameReplaceTheEntry)
{
    idm<wchar_t> m;
    EXPECT_EQ(m.generate_p(L"tick"), 1u);
    EXPECT_EQ(m.generate_p(L"tick"), 2u);
    EXPECT_EQ(m.find(L"p?tick"), 2u);
    EXPECT_THROW(m.find_str(1), vorla::exception);
}

TEST(Idm, FindStrMiss)
{
    idm<wchar_t> m;
    const std::string d = diagnostic([&] { m.find_str(1); });
    EXPECT_TRUE(ends_with(d, ") vorla::idm<wchar_t>::find_str: undefined typeid, tid=1")) << d;
    EXPECT_TRUE(ends_with(diagnostic([&] { m.find_str(1234); }), ": undefined typeid, tid=1,234"));
    EXPECT_TRUE(ends_with(diagnostic([&] { m.find_str(0); }), ": undefined typeid, tid=0"));
}

TEST(Idm, ExhaustedCounter)
{
    idm_at m(0xFFFFFFFEu);
    EXPECT_EQ(m.generate(L"last"), 0xFFFFFFFFu);
    EXPECT_TRUE(ends_with(diagnostic([&] { m.generate(L"one_more"); }),
                          " vorla::idm<wchar_t>::generate: exceed max. number of typeid"));
    EXPECT_FALSE(m.contains(L"one_more"));
    // The wrapped counter must not start handing out ids again from 1.
    EXPECT_TRUE(ends_with(diagnostic([&] { m.generate(L"after"); }),
                          " vorla::idm<wchar_t>::generate: exceed max. number of typeid"));

    idm_at p(0xFFFFFFFFu);
    EXPECT_TRUE(ends_with(diagnostic([&] { p.generate_p(L"proc"); }),
                          " vorla::idm<wchar_t>::generate_p: exceed max. number of typeid"));
    EXPECT_FALSE(p.contains(L"p?proc"));
}

} // namespace
