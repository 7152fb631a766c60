// Tests of host types: C++ objects a host hands to scripts, with methods, and what scripts cannot do to them.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "vorla/vorla.hpp"
#include "embed_support.hpp"

namespace {

using namespace vorla_test;

struct sprite {
    std::string name;
    int x = 0;
};

struct sound {
    int volume = 5;
};

// An interpreter with a sprite type and natives handing out the hero and new sprites.
struct stage : quiet {
    std::shared_ptr<sprite> hero = std::make_shared<sprite>(sprite{"hero", 1});

    stage()
    {
        v.define_type<sprite>("sprite")
            .method("move", [](sprite& s, const args& a) { s.x += a.at(0).as_int(); return vorla::make_nil(); })
            .method("x", [](sprite& s, const args&) { return vorla::make_int(s.x); })
            .method("jump", [](sprite& s, const args& a) -> script_value {
                if (a.at(0).as_int() < 0) throw vorla::script_throw::range_error(s.name + " cannot jump down");
                return vorla::make_int(s.x + a.at(0).as_int());
            })
            .describe([](const sprite& s) { return s.name + " at " + std::to_string(s.x); });
        v.define_native("hero", [this](const args&) { return v.make_object(hero); });
        v.define_native("fresh", [this](const args&) { return v.make_object(std::make_shared<sprite>(sprite{"new"})); });
    }
};

TEST(embed_host_types, scripts_call_methods_on_the_hosts_object_and_copies_share_it)
{
    stage s;
    s.v.compile_string("m.vl", R"(
        sprite keep = using::hero();
        int walk(sprite who, int steps) { while (steps > 0) { who.move(1); --steps; } return who.x(); }
        string same() {
            sprite a = using::hero();
            sprite b(a);
            sprite other = using::fresh();
            bool before = a == other;
            other = a;
            return "" + (a == b) + (a != b) + before + (other == a) + " " + using::debug(other);
        }
    )");
    EXPECT_EQ(s.v.call("walk", {s.v.make_object(s.hero), vorla::make_int(3)}).as_int(), 4);
    EXPECT_EQ(s.hero->x, 4);
    EXPECT_EQ(s.v.call("same").as_string(), "1001 sprite[hero at 4]");
    const script_value keep = s.v.global("keep");
    EXPECT_EQ(keep.kind(), vorla::value_kind::other);
    EXPECT_EQ(keep.type_name(), "sprite");
    EXPECT_EQ(vorla::host_object<sprite>(keep), s.hero);
    EXPECT_EQ(s.v.call_method(keep, "x").as_int(), 4);
}

TEST(embed_host_types, a_script_cannot_make_convert_or_order_one)
{
    stage s;
    s.v.compile_string("f.vl", R"(
        nil empty() { sprite s; }
        nil from_int() { sprite s = 5; }
        nil cast() { using::write(sprite(1)); }
        string to_int() { try { int n = int(using::hero()); } catch (bad_cast e) { return "bad_cast"; } return ""; }
        nil order() { bool b = using::hero() < using::hero(); }
    )");
    EXPECT_NE(failure([&] { s.v.call("empty"); }).report().find("cannot make sprite from nothing"), std::string::npos);
    EXPECT_NE(failure([&] { s.v.call("from_int"); }).report().find("cannot make sprite from int"), std::string::npos);
    EXPECT_NE(std::string(failure([&] { s.v.call("cast"); }).what()).find("vorla::host<sprite>::call_constructor"),
              std::string::npos);
    EXPECT_EQ(s.v.call("to_int").as_string(), "bad_cast");
    EXPECT_NE(failure([&] { s.v.call("order"); }).report().find("cannot compare sprite with sprite using <"),
              std::string::npos);
    const script_error derived = failure([&] { s.v.compile_string("d.vl", "class Fancy : sprite { int n; };"); });
    EXPECT_NE(derived.report().find("which no class can derive from"), std::string::npos) << derived.report();
}

TEST(embed_host_types, method_failures_are_placed_at_the_call_and_script_throws_are_caught)
{
    stage s;
    s.v.compile_string("u.vl", "nil fly()\n{\n    using::hero().fly(2);\n}\nnil drift()\n{\n    using::hero().move(1.5);\n}\n"
                               "string hop(int h) { try { return \"up \" + using::hero().jump(h); } catch (range_error e) { } return \"caught\"; }\n");
    const script_error unknown = failure([&] { s.v.call("fly"); });
    EXPECT_NE(std::string(unknown.what()).find("vorla::host<sprite>::method"), std::string::npos) << unknown.what();
    EXPECT_NE(unknown.report().find("u.vl:3:19: error: sprite has no method fly(int)"), std::string::npos) << unknown.report();
    const script_error wrong = failure([&] { s.v.call("drift"); });
    EXPECT_NE(wrong.report().find("u.vl:7:19: error: expected a value of type int, got double"), std::string::npos)
        << wrong.report();
    EXPECT_EQ(s.v.call("hop", {vorla::make_int(3)}).as_string(), "up 4");
    EXPECT_EQ(s.v.call("hop", {vorla::make_int(-1)}).as_string(), "caught");
}

TEST(embed_host_types, the_object_lives_as_long_as_a_value_stands_for_it)
{
    stage s;
    s.v.compile_string("l.vl", "sprite held = using::hero();\nvector bag;\nnil keep(sprite s) { bag.push_back(s); }\n"
                               "nil drop() { held = using::hero(); bag.clear(); }\n");
    std::weak_ptr<sprite> watch;
    {
        auto temp = std::make_shared<sprite>(sprite{"temp"});
        watch = temp;
        s.v.set_global("held", s.v.make_object(temp));
        s.v.call("keep", {s.v.make_object(temp)});
    }
    EXPECT_FALSE(watch.expired());
    s.v.call("drop");
    EXPECT_TRUE(watch.expired());
    // A value the host keeps can still be described and read after its interpreter is gone.
    script_value kept;
    {
        stage other;
        kept = other.v.make_object(other.hero);
    }
    EXPECT_EQ(kept.describe(), "sprite[hero at 1]");
    EXPECT_EQ(vorla::host_object<const sprite>(kept)->name, "hero");
}

TEST(embed_host_types, reading_back_as_another_type_and_unusable_definitions_are_refused)
{
    stage s;
    s.v.compile_string("k.vl", "class Box { int n; };");
    for (const char* name : {"sprite", "Box", "while", "two words"}) EXPECT_THROW(s.v.define_type<sound>(name), script_error) << name;
    EXPECT_NE(failure([&] { s.v.define_type<sprite>("figure"); }).report().find("defined already"), std::string::npos);
    auto type = s.v.define_type<sound>("sound");
    const script_value noise = s.v.make_object(std::make_shared<sound>());
    EXPECT_EQ(noise.describe(), "sound[]");
    EXPECT_THROW((void)vorla::host_object<sprite>(noise), std::invalid_argument);
    EXPECT_THROW((void)vorla::host_object<sprite>(vorla::make_int(3)), std::invalid_argument);
    EXPECT_EQ(vorla::host_object<sound>(noise)->volume, 5);
    // Descriptions go into error reports, which a failing describe must not replace.
    type.describe([](const sound&) -> std::string { throw std::runtime_error("no text"); });
    EXPECT_EQ(noise.describe(), "sound[describe failed: no text]");
    const auto mute = [](sound&, const args&) { return vorla::make_nil(); };
    type.method("play", mute);
    for (const char* name : {"play", "x y"}) EXPECT_THROW(type.method(name, mute), script_error) << name;
    EXPECT_THROW(type.method("stop", nullptr), script_error);
    EXPECT_THROW(s.v.make_object(std::shared_ptr<sound>()), script_error);
    EXPECT_THROW(s.v.make_object(std::make_shared<int>(1)), script_error);  // never defined
}

} // namespace
