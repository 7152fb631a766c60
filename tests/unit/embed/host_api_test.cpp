// Tests of what a host reaches in its scripts: values it builds and changes, globals, exceptions its
// natives raise in scripts, the processes it starts and the budgets of its calls.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "vorla/vorla.hpp"
#include "embed_support.hpp"

namespace {

using namespace vorla_test;


// ---- values --------------------------------------------------------------------------------------------

TEST(embed_values, floats_and_lists_cross_with_their_exact_types)
{
    quiet q;
    q.v.compile_string("t.vl", R"(
        string which(float x) { return "float " + x; }
        string which(double x) { return "double"; }
        string which(list x) { return "list of " + x.size(); }
        list three() { list l; l.push_back(1); l.push_back("b"); l.push_front(0.5f); return l; }
    )");
    EXPECT_EQ(q.v.call("which", {vorla::make_float(1.5f)}).as_string(), "float 1.5");
    EXPECT_EQ(q.v.call("which", {vorla::make_list({vorla::make_int(1), vorla::make_nil()})}).as_string(), "list of 2");
    const script_value l = q.v.call("three");
    EXPECT_EQ(l.kind(), vorla::value_kind::list);
    const auto items = l.as_list();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].as_float(), 0.5f);
    EXPECT_EQ(items[0].as_double(), 0.5);  // a float reads as a double too
    EXPECT_EQ(items[2].as_string(), "b");
    EXPECT_THROW((void)vorla::make_double(0.5).as_float(), std::invalid_argument);
    EXPECT_THROW((void)vorla::make_vector({}).as_list(), std::invalid_argument);
}

TEST(embed_values, set_and_insert_change_the_container_for_every_holder)
{
    quiet q;
    q.v.compile_string("c.vl", R"(
        vector items;
        hash ages;
        string shown() { return "" + items.size() + " " + items.at(0) + " " + ages.size(); }
        process main() { items.push_back(1); }
    )");
    q.v.start("main");
    q.v.run();
    script_value items = q.v.global("items");
    items.set(0, vorla::make_string("one"));
    EXPECT_THROW(items.set(1, vorla::make_int(2)), std::out_of_range);
    EXPECT_THROW(vorla::make_hash({}).set(0, vorla::make_int(1)), std::invalid_argument);

    script_value ages = q.v.global("ages");
    EXPECT_TRUE(ages.insert(vorla::make_string("ann"), vorla::make_int(31)));
    EXPECT_FALSE(ages.insert(vorla::make_string("ann"), vorla::make_int(99)));  // the first value stays
    EXPECT_EQ(ages.as_hash().at(0).second.as_int(), 31);
    EXPECT_THROW(items.insert(vorla::make_int(1), vorla::make_int(1)), std::invalid_argument);
    EXPECT_EQ(q.v.call("shown").as_string(), "1 one 1");

    // What goes in is a copy: changing the host's value afterwards leaves the element alone.
    script_value inner = vorla::make_vector({vorla::make_int(1)});
    items.set(0, inner);
    inner.set(0, vorla::make_int(2));
    EXPECT_EQ(items.as_vector().at(0).as_vector().at(0).as_int(), 1);
    // make_hash inserts in order, so an earlier entry of a key wins over a later one.
    EXPECT_EQ(vorla::make_hash({{vorla::make_int(1), vorla::make_int(1)}, {vorla::make_int(1), vorla::make_int(2)}})
                  .as_hash().at(0).second.as_int(),
              1);
}

// ---- globals -------------------------------------------------------------------------------------------

TEST(embed_globals, globals_are_read_and_assigned_with_their_exact_types)
{
    quiet q;
    q.v.compile_string("g.vl", "int score = 3;\nstring title = \"start\";\nint doubled() { return score * 2; }");
    EXPECT_EQ(q.v.global("score").as_int(), 3);
    q.v.set_global("score", vorla::make_int(20));
    EXPECT_EQ(q.v.call("doubled").as_int(), 40);
    q.v.set_global("title", vorla::make_string("end"));
    EXPECT_EQ(q.v.global("title").as_string(), "end");

    const script_error wrong = failure([&] { q.v.set_global("score", vorla::make_uint(1)); });
    EXPECT_NE(wrong.report().find("the global score is int, not unsigned int"), std::string::npos) << wrong.report();
    EXPECT_EQ(q.v.global("score").as_int(), 20);
    const script_error unknown = failure([&] { q.v.global("nobody"); });
    EXPECT_NE(std::string(unknown.what()).find("no global variable named nobody"), std::string::npos) << unknown.what();
    EXPECT_THROW(q.v.set_global("nobody", vorla::make_int(1)), script_error);
}

// ---- script classes ------------------------------------------------------------------------------------

TEST(embed_classes, an_instance_is_built_read_changed_and_called_from_the_host)
{
    quiet q;
    q.v.compile_string("c.vl", R"(
        class Shape {
            string name;
            Shape(string n) : name(n) { }
        };
        class Box : Shape {
            int w;
            Box(int width) : Shape("box"), w(width) { }
            int area(int h) { if (h < 0) throw h; return w * h; }
        };
        int width_of(Box b) { return b.w; }
    )");
    script_value box = q.v.construct("Box", {vorla::make_int(3)});
    EXPECT_EQ(box.type_name(), "Box");
    EXPECT_EQ(q.v.member(box, "w").as_int(), 3);
    EXPECT_EQ(q.v.member(box, "name").as_string(), "box");  // a member of the base part
    q.v.set_member(box, "w", vorla::make_int(5));
    EXPECT_EQ(q.v.call("width_of", {box}).as_int(), 5);
    EXPECT_EQ(q.v.call_method(box, "area", {vorla::make_int(2)}).as_int(), 10);
    EXPECT_EQ(q.v.call_method(vorla::make_vector({vorla::make_int(1)}), "size").as_uint(), 1u);

    // The rules scripts have: exact types, known names.
    EXPECT_THROW(q.v.set_member(box, "w", vorla::make_string("wide")), script_error);
    EXPECT_THROW(q.v.member(box, "depth"), script_error);
    EXPECT_THROW(q.v.call_method(box, "area", {vorla::make_uint(2)}), script_error);
    EXPECT_THROW(q.v.construct("Box", {vorla::make_string("x")}), script_error);
    const script_error unknown = failure([&] { q.v.construct("Circle"); });
    EXPECT_NE(unknown.report().find("no class named Circle"), std::string::npos) << unknown.report();
    const script_error thrown = failure([&] { q.v.call_method(box, "area", {vorla::make_int(-1)}); });
    EXPECT_NE(std::string(thrown.what()).find("catch unexpected throw int(-1)"), std::string::npos) << thrown.what();
    EXPECT_EQ(q.v.call_method(box, "area", {vorla::make_int(1)}).as_int(), 5);
}

// ---- exceptions natives raise in scripts ---------------------------------------------------------------

TEST(embed_natives, a_native_raises_range_error_and_bad_cast_that_scripts_catch)
{
    quiet q;
    q.v.define_native("checked", [](const args& a) {
        if (a.size() != 1 || a[0].kind() != vorla::value_kind::int_) throw vorla::script_throw::bad_cast("checked(int)");
        if (a[0].as_int() > 9) throw vorla::script_throw::range_error("at most 9");
        return a[0];
    });
    q.v.compile_string("n.vl", R"(
        string guard(int n) {
            try { return "" + using::checked(n); } catch (range_error e) { return "range"; }
        }
        string cast(string s) {
            try { return "" + using::checked(s); } catch (bad_cast e) { return "cast"; }
        }
        int bare(int n)
        {
            return using::checked(n);
        }
    )");
    EXPECT_EQ(q.v.call("guard", {vorla::make_int(4)}).as_string(), "4");
    EXPECT_EQ(q.v.call("guard", {vorla::make_int(40)}).as_string(), "range");
    EXPECT_EQ(q.v.call("cast", {vorla::make_string("x")}).as_string(), "cast");
    // Caught by nothing: the run ends as for a built-in's range_error, with the native's reason.
    const script_error e = failure([&] { q.v.call("bare", {vorla::make_int(10)}); });
    EXPECT_NE(std::string(e.what()).find("catch unexpected throw range_error("), std::string::npos) << e.what();
    EXPECT_NE(e.report().find("at most 9"), std::string::npos) << e.report();
    EXPECT_EQ(e.line(), 10u);
}

// ---- processes -----------------------------------------------------------------------------------------

const char* const counters = R"(
int ticks = 0;
process counter(string name)
{
    while (true) {
        ++ticks;
    }
}
process stopper(int which)
{
    using::stop_it(which);
    using::write("after stop");
}
)";

// The two counters ("a", then "b") started on q, which has the natives the script calls already.
std::vector<vorla::process_handle> start_two_counters(quiet& q)
{
    q.v.compile_string("p.vl", counters);
    std::vector<vorla::process_handle> started;
    started.push_back(q.v.start("counter", {vorla::make_string("a")}));
    started.push_back(q.v.start("counter", {vorla::make_string("b")}));
    return started;
}

TEST(embed_processes, a_handle_names_its_process_and_stops_it_between_steps)
{
    // The same on the vm's processes.
    for (const bool vm : {false, true}) {
        SCOPED_TRACE(vm ? "vm" : "tree");
        quiet q(vm);
        std::vector<vorla::process_handle> started;
        q.v.define_native("stop_it", [&](const args& a) {
            started.at(static_cast<std::size_t>(a.at(0).as_int())).stop();
            return vorla::make_nil();
        });
        started = start_two_counters(q);
        EXPECT_EQ(started[0].id(), 1u);
        EXPECT_EQ(started[1].id(), 2u);
        EXPECT_EQ(started[1].name(), "counter");
        EXPECT_FALSE(started[0].finished());
        q.v.run_for(10);

        // From the host, between passes: gone at once.
        started[0].stop();
        EXPECT_TRUE(started[0].finished());
        EXPECT_EQ(q.v.processes(), 1u);
        started[0].stop();  // again: nothing more happens

        // From a native inside a pass: the stopper stops the other counter, then itself; each takes no step after.
        started.push_back(q.v.start("stopper", {vorla::make_int(1)}));
        started.push_back(q.v.start("stopper", {vorla::make_int(3)}));
        q.v.step();
        EXPECT_TRUE(started[1].finished());
        EXPECT_TRUE(started[3].finished());
        const int ticks = q.v.global("ticks").as_int();
        q.v.run_for(5);
        EXPECT_EQ(q.v.global("ticks").as_int(), ticks);
        EXPECT_EQ(q.v.processes(), 0u) << "the third finished its two statements";
        EXPECT_EQ(q.out.str(), "after stop");
        EXPECT_TRUE(started[2].finished());
    }
}

TEST(embed_interrupt, another_thread_stops_a_run_that_would_never_end_and_the_processes_stay)
{
    // The same on the vm's processes.
    for (const bool vm : {false, true}) {
        SCOPED_TRACE(vm ? "vm" : "tree");
        quiet q(vm);
        start_two_counters(q);
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            q.v.interrupt();
        });
        const script_error e = failure([&] { q.v.run(); });
        stopper.join();
        EXPECT_NE(e.report().find("error: interrupted\n"), std::string::npos) << e.report();
        EXPECT_NE(e.report().find("the other live processes stood:"), std::string::npos) << e.report();
        // Stopped between steps, every process stays; the interrupt was used up, so the next run goes on.
        EXPECT_EQ(q.v.processes(), 2u);
        const int ticks = q.v.global("ticks").as_int();
        q.v.run_for(4);
        EXPECT_EQ(q.v.global("ticks").as_int(), ticks + 4);
    }
}

// ---- budgets of one call -------------------------------------------------------------------------------

TEST(embed_budgets, a_step_budget_per_run_stops_between_steps_and_the_next_run_goes_on)
{
    // The same on the vm's processes.
    for (const bool vm : {false, true}) {
        SCOPED_TRACE(vm ? "vm" : "tree");
        quiet q(vm);
        start_two_counters(q);
        const script_error e = failure([&] { q.v.run({20, std::nullopt}); });
        EXPECT_NE(std::string(e.what()).find("step budget spent, max-steps=20"), std::string::npos) << e.what();
        // Both processes stay, and the report says where each stands.
        EXPECT_EQ(q.v.processes(), 2u);
        EXPECT_EQ(e.file(), "p.vl");
        EXPECT_NE(e.report().find("error: step budget spent, max-steps=20\n"), std::string::npos) << e.report();
        EXPECT_NE(e.report().find("  in process counter#1 at p.vl:"), std::string::npos) << e.report();
        EXPECT_NE(e.report().find("the other live processes stood:\n  in process counter#2 at p.vl:"), std::string::npos)
            << e.report();
        const int first = q.v.global("ticks").as_int();
        EXPECT_GT(first, 0);
        EXPECT_THROW(q.v.run({20, std::nullopt}), script_error);
        EXPECT_EQ(q.v.global("ticks").as_int(), 2 * first);
        // One pass of two steps fits in a budget of two: step() returns as usual.
        EXPECT_TRUE(q.v.step({2, std::nullopt}));
    }
}

TEST(embed_budgets, a_call_budget_bounds_a_function_that_never_returns)
{
    quiet q;
    q.v.compile_string("f.vl", "int spin() { int n = 0; while (true) { ++n; } return n; }\nint fine() { return 1; }");
    const script_error e = failure([&] { q.v.call("spin", {}, {1000, std::nullopt}); });
    EXPECT_NE(std::string(e.what()).find("step budget spent in one step (calls and loop iterations), max-steps=1,000"),
              std::string::npos)
        << e.what();
    EXPECT_EQ(e.line(), 1u);
    const script_error timed = failure([&] { q.v.call("spin", {}, {std::nullopt, 0.02}); });
    EXPECT_NE(std::string(timed.what()).find("time budget spent, max-time=0.02"), std::string::npos) << timed.what();
    // The budget was the call's alone.
    EXPECT_EQ(q.v.call("fine").as_int(), 1);
    EXPECT_THROW(q.v.call("fine", {}, {std::nullopt, std::nan("")}), script_error);
}

} // namespace
