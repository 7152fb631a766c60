// Tests of the embedding library through its public header only: what a host program can see and do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "vorla/vorla.hpp"
#include "embed_support.hpp"

namespace {

using namespace vorla_test;

class embed : public ::testing::Test {
protected:
    // An interpreter writing into `out` and reading from `in`.
    vorla::interpreter_options routed()
    {
        vorla::interpreter_options o;
        o.output = &out;
        o.input = &in;
        return o;
    }

    std::ostringstream out;
    std::istringstream in;
};

// ---- two interpreters side by side ---------------------------------------------------------------------

// Each process writes its name and a random number per step; a global counts steps across processes.
const char* const random_walkers = R"(
int steps = 0;
process walker(string name, int n)
{
    int i = 0;
    while (i < n) {
        using::write(name + (0).rand() % 100 + " ");
        ++steps;
        ++i;
    }
}
int taken() { return steps; }
)";

// What one interpreter prints when it runs the walkers alone.
std::string alone(const std::vector<std::pair<std::string, int>>& walkers)
{
    std::ostringstream out;
    vorla::interpreter_options o;
    o.output = &out;
    interpreter v(o);
    v.compile_string("walkers.vl", random_walkers);
    for (const auto& [name, n] : walkers) v.start("walker", {vorla::make_string(name), vorla::make_int(n)});
    v.run();
    return out.str();
}

TEST_F(embed, two_interpreters_interleaved_step_by_step_keep_their_own_processes_randoms_and_globals)
{
    std::ostringstream out_a, out_b;
    vorla::interpreter_options oa, ob;
    oa.output = &out_a;
    ob.output = &out_b;
    interpreter a(oa), b(ob);
    a.compile_string("walkers.vl", random_walkers);
    b.compile_string("walkers.vl", random_walkers);
    a.start("walker", {vorla::make_string("a"), vorla::make_int(5)});
    b.start("walker", {vorla::make_string("x"), vorla::make_int(3)});
    b.start("walker", {vorla::make_string("y"), vorla::make_int(4)});
    EXPECT_EQ(a.processes(), 1u);
    EXPECT_EQ(b.processes(), 2u);

    // One pass of each in turn, until both are done: each keeps going as if the other did not exist.
    bool a_left = true, b_left = true;
    int passes = 0;
    while (a_left || b_left) {
        if (a_left) a_left = a.step();
        if (b_left) b_left = b.step();
        ASSERT_LT(++passes, 100);
    }
    EXPECT_EQ(out_a.str(), alone({{"a", 5}}));
    EXPECT_EQ(out_b.str(), alone({{"x", 3}, {"y", 4}}));
    // The same random sequence from its start in each: the first numbers agree, neither took the other's.
    EXPECT_EQ(out_a.str().substr(0, 4), "a41 ");
    EXPECT_EQ(out_b.str().substr(0, 4), "x41 ");
    EXPECT_EQ(a.call("taken").as_int(), 5);
    EXPECT_EQ(b.call("taken").as_int(), 7);
    EXPECT_EQ(a.processes(), 0u);
    EXPECT_FALSE(a.step());
}

// One interpreter per thread, at the same time: nothing a run allocates or counts is shared between
// threads, so each prints exactly what it prints alone.
TEST_F(embed, interpreters_on_two_threads_at_once_do_not_disturb_each_other)
{
    const std::vector<std::pair<std::string, int>> left{{"p", 20000}, {"q", 15000}}, right{{"r", 30000}};
    const std::string expected_left = alone(left), expected_right = alone(right);
    std::string got_left, got_right;
    std::thread a([&] { got_left = alone(left); });
    std::thread b([&] { got_right = alone(right); });
    a.join();
    b.join();
    EXPECT_EQ(got_left, expected_left);
    EXPECT_EQ(got_right, expected_right);
}

TEST_F(embed, a_native_of_one_interpreter_may_run_another_and_each_keeps_its_own_state)
{
    interpreter inner(routed());
    inner.compile_string("inner.vl", "int draw() { return (0).rand(); } int deep(int n) { if (n == 0) return 0; return deep(n - 1) + 1; }");
    vorla::interpreter_options o = routed();
    o.call_depth_limit = 5;
    interpreter outer(o);
    outer.define_native("inner", [&](const args& v) { return inner.call("draw", v); });
    outer.define_native("inner_deep", [&](const args& v) { return inner.call("deep", v); });
    outer.compile_string("outer.vl", "int both() { int mine = (0).rand(); int theirs = using::inner(); return mine * 100000 + theirs; }"
                                     "int mine() { return (0).rand(); }"
                                     "int via(int n) { return using::inner_deep(n); }");
    // Both sequences start at the same first number and advance separately.
    EXPECT_EQ(outer.call("both").as_int(), 41 * 100000 + 41);
    EXPECT_EQ(outer.call("mine").as_int(), 18467);
    EXPECT_EQ(inner.call("draw").as_int(), 18467);
    // The inner interpreter's calls count against its own limit (the default), not the outer one's 5.
    EXPECT_EQ(outer.call("via", {vorla::make_int(50)}).as_int(), 50);
}

// A value answers by the names of the interpreter that made it, whichever interpreter the host asks: the
// other one interned the same texts in another order, so its copies are other names. A number's rand draws
// from the sequence of the interpreter asked, one call after the other on the same thread.
TEST_F(embed, a_value_handed_to_another_interpreter_keeps_its_names_and_each_keeps_its_sequence)
{
    interpreter a(routed()), b(routed());
    b.compile_string("b.vl", "int area = 1; int w() { return 2; } class Other { int w; Other() : w(0) { } };");
    a.compile_string("a.vl", "class Box { int w; Box(int v) : w(v) { } int area(int h) { return w * h; } };");
    const script_value box = a.construct("Box", {vorla::make_int(3)});
    EXPECT_EQ(b.member(box, "w").as_int(), 3);
    EXPECT_EQ(b.call_method(box, "area", {vorla::make_int(2)}).as_int(), 6);
    b.set_member(box, "w", vorla::make_int(4));
    EXPECT_EQ(a.call_method(box, "area", {vorla::make_int(2)}).as_int(), 8);

    const script_value zero = vorla::make_int(0);
    EXPECT_EQ(a.call_method(zero, "rand").as_int(), 41);
    EXPECT_EQ(b.call_method(zero, "rand").as_int(), 41);
    EXPECT_EQ(b.call_method(zero, "rand").as_int(), 18467);
    EXPECT_EQ(a.call_method(vorla::make_uint(0), "rand").as_uint(), 18467u);
    EXPECT_EQ(a.call_method(zero, "rand").as_int(), 6334);
}

// ---- values --------------------------------------------------------------------------------------------

TEST_F(embed, plain_values_cross_in_both_directions_with_their_exact_types)
{
    interpreter v(routed());
    v.compile_string("types.vl", R"(
        string which(int x) { return "int"; }
        string which(unsigned int x) { return "unsigned int"; }
        string which(double x) { return "double"; }
        string which(bool x) { return "bool"; }
        string which(string x) { return "string"; }
        string which(vector x) { return "vector of " + x.size(); }
        string which(hash x) { return "hash of " + x.size(); }
        unsigned int big() { return 4000000000u; }
        double half() { return 0.5; }
        bool yes() { return true; }
    )");
    v.compile_string("wide.vl", "string wide() { return \"h\xc3\xa9llo\"; }");
    auto which = [&](const script_value& x) { return v.call("which", {x}).as_string(); };
    EXPECT_EQ(which(vorla::make_int(-3)), "int");
    EXPECT_EQ(which(vorla::make_uint(3)), "unsigned int");
    EXPECT_EQ(which(vorla::make_double(1.5)), "double");
    EXPECT_EQ(which(vorla::make_bool(false)), "bool");
    EXPECT_EQ(which(vorla::make_string("s")), "string");
    EXPECT_EQ(which(vorla::make_vector({vorla::make_int(1), vorla::make_string("two")})), "vector of 2");
    EXPECT_EQ(which(vorla::make_hash({{vorla::make_string("k"), vorla::make_int(1)},
                                      {vorla::make_string("k"), vorla::make_int(2)},
                                      {vorla::make_int(7), vorla::make_nil()}})),
              "hash of 2");

    EXPECT_EQ(v.call("big").as_uint(), 4000000000u);
    EXPECT_EQ(v.call("big").kind(), vorla::value_kind::uint_);
    EXPECT_EQ(v.call("half").as_double(), 0.5);
    EXPECT_TRUE(v.call("yes").as_bool());
    EXPECT_EQ(v.call("wide").as_wstring(), L"h\u00e9llo");
    EXPECT_EQ(v.call("wide").as_string(), "h\xc3\xa9llo");
}

TEST_F(embed, containers_come_back_as_handles_on_their_elements)
{
    interpreter v(routed());
    v.compile_string("c.vl", R"(
        vector pair() { vector p; p.push_back(1); p.push_back("b"); return p; }
        hash counts() { hash h; h.insert("x", 2); h.insert("y", 3); return h; }
        vector same(vector v) { return v; }
    )");
    const auto p = v.call("pair").as_vector();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].as_int(), 1);
    EXPECT_EQ(p[1].as_string(), "b");

    int sum = 0;
    for (const auto& [key, count] : v.call("counts").as_hash()) {
        EXPECT_TRUE(key.as_string() == "x" || key.as_string() == "y");
        sum += count.as_int();
    }
    EXPECT_EQ(sum, 5);

    // Nested containers keep their shape across the boundary and back.
    const script_value nested = vorla::make_vector({vorla::make_vector({vorla::make_int(1)}), vorla::make_hash({})});
    const script_value back = v.call("same", {nested});
    EXPECT_EQ(back.describe(), nested.describe());
    ASSERT_EQ(back.as_vector().size(), 2u);
    EXPECT_EQ(back.as_vector()[0].as_vector()[0].as_int(), 1);
    EXPECT_TRUE(back.as_vector()[1].as_hash().empty());
}

TEST_F(embed, reading_a_value_as_another_kind_is_refused_with_both_kinds_named)
{
    EXPECT_TRUE(script_value().is_nil());
    EXPECT_EQ(vorla::make_int(1).type_name(), "int");
    try {
        (void)vorla::make_string("7").as_int();
        FAIL() << "a string read as an int";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "expected a value of type int, got string string(7)");
    }
    EXPECT_THROW((void)vorla::make_int(1).as_uint(), std::invalid_argument);
    EXPECT_THROW((void)vorla::make_uint(1).as_int(), std::invalid_argument);
    EXPECT_THROW((void)vorla::make_int(1).as_double(), std::invalid_argument);
    EXPECT_THROW((void)vorla::make_int(1).as_bool(), std::invalid_argument);
    EXPECT_THROW((void)script_value().as_bool(), std::invalid_argument);  // nil is no bool to a host
    EXPECT_THROW((void)vorla::make_hash({}).as_vector(), std::invalid_argument);
    EXPECT_THROW((void)vorla::make_vector({}).as_hash(), std::invalid_argument);
}

// ---- natives -------------------------------------------------------------------------------------------

TEST_F(embed, natives_receive_the_arguments_and_their_errors_become_script_diagnostics)
{
    interpreter v(routed());
    std::vector<std::string> seen;
    v.define_native("log", [&](const args& a) {
        for (const script_value& x : a) seen.push_back(x.describe());
        return vorla::make_nil();
    });
    v.define_native("half", [](const args& a) {
        const int n = a.at(0).as_int();
        if (n % 2) throw std::domain_error("odd number " + std::to_string(n));
        return vorla::make_int(n / 2);
    });
    v.compile_string("n.vl", R"(
        int h(int n) { return using::half(n); }
        int h2() { return using::half("x"); }
        process main() { using::log(1, "two", 3.5); using::write(h(8)); }
    )");
    v.start("main");
    v.run();
    EXPECT_EQ(out.str(), "4");
    EXPECT_EQ(seen, (std::vector<std::string>{"int(1)", "string(two)", "double(3.5)"}));

    // Not caught: the host's message is the innermost line of the chain, placed at the call.
    const script_error e = failure([&] { v.call("h", {vorla::make_int(3)}); });
    const std::string what = e.what();
    EXPECT_NE(what.find("half: catch exception"), std::string::npos) << what;
    EXPECT_EQ(what.substr(what.rfind('\n') + 1), ">\todd number 3");
    EXPECT_EQ(e.file(), "n.vl");
    EXPECT_EQ(e.line(), 2u);
    // A diagnostic, which no script handler catches; the interpreter goes on serving calls.
    EXPECT_EQ(v.call("h", {vorla::make_int(10)}).as_int(), 5);
    // A wrong argument kind inside a native is the host's invalid_argument, seen the same way.
    const std::string wrong = failure([&] { v.call("h2"); }).what();
    EXPECT_EQ(wrong.substr(wrong.rfind('\n') + 1), ">\texpected a value of type int, got string string(x)");
}

TEST_F(embed, a_native_name_is_defined_once_and_the_console_ones_exist_already)
{
    interpreter v(routed());
    auto none = [](const args&) { return vorla::make_nil(); };
    v.define_native("once", none);
    EXPECT_THROW(v.define_native("once", none), script_error);
    EXPECT_THROW(v.define_native("write", none), script_error);
    EXPECT_THROW(v.define_native("empty", interpreter::native()), std::invalid_argument);
}

TEST_F(embed, write_and_read_use_the_host_streams)
{
    in.str("21 words\n");
    interpreter v(routed());
    v.compile_string("io.vl", R"(process main() { int n; string s; using::write("n? "); using::read(n); using::read(s); using::write(n * 2); using::write(" " + s); })");
    v.start("main");
    v.run();
    EXPECT_EQ(out.str(), "n? 42 words");
}

// ---- errors --------------------------------------------------------------------------------------------

TEST_F(embed, compile_errors_carry_the_diagnostic_and_the_script_position)
{
    interpreter v(routed());
    const script_error e = failure([&] { v.compile_string("bad.vl", "int f() {\n  return 1 +;\n}\n"); });
    EXPECT_EQ(e.file(), "bad.vl");
    EXPECT_EQ(e.line(), 2u);
    EXPECT_GT(e.column(), 0u);
    EXPECT_NE(std::string(e.what()), "");
    EXPECT_NE(e.report().find("bad.vl:2:"), std::string::npos) << e.report();

    const script_error missing = failure([&] { v.compile_file("no/such/file.vl"); });
    EXPECT_NE(std::string(missing.what()).find("include failure"), std::string::npos) << missing.what();
}

TEST_F(embed, statements_compile_as_the_body_of_main_with_their_own_lines)
{
    interpreter v(routed());
    EXPECT_TRUE(v.process_signatures("main").empty());
    v.compile_statements("-e", "int n = 6;\nusing::write(n * 7); // the last line may end in a comment");
    EXPECT_EQ(v.process_signatures("main"), std::vector<std::string>{"main()"});
    v.start("main");
    v.run();
    EXPECT_EQ(out.str(), "42");

    interpreter bad(routed());
    const script_error e = failure([&] { bad.compile_statements("-e", "int n = 0;\nn = 7 / n;"); bad.start("main"); bad.run(); });
    EXPECT_EQ(e.file(), "-e");
    EXPECT_EQ(e.line(), 2u);
    EXPECT_EQ(e.column(), 7u);
    EXPECT_NE(e.report().find("\nn = 7 / n;\n      ^\n"), std::string::npos) << e.report();

    // What the user left open is reported at the end of what they wrote, not in the body around it.
    interpreter open(routed());
    const script_error o = failure([&] { open.compile_statements("-e", "using::write(1"); });
    EXPECT_EQ(o.line(), 1u);
    EXPECT_EQ(o.column(), 15u);
}

TEST_F(embed, process_signatures_name_the_types_each_definition_takes)
{
    interpreter v(routed());
    v.compile_string("p.vl", "class point { int x; };\nprocess worker(string name, int n, point p) { }\n"
                             "process main(string a, string b) { }\n");
    EXPECT_EQ(v.process_signatures("worker"), std::vector<std::string>{"worker(string, int, point)"});
    EXPECT_EQ(v.process_signatures("main"), std::vector<std::string>{"main(string, string)"});
    EXPECT_TRUE(v.process_signatures("nobody").empty());
}

TEST_F(embed, run_errors_name_the_process_and_leave_the_interpreter_usable)
{
    interpreter v(routed());
    v.compile_string("run.vl", "int zero() { return 0; }\nprocess main() {\n  int x = 1 / zero();\n}\nint ok() { return 3; }\n");
    v.start("main");
    const script_error e = failure([&] { v.run(); });
    EXPECT_EQ(e.line(), 3u);
    EXPECT_NE(e.report().find("process main"), std::string::npos) << e.report();
    EXPECT_EQ(v.call("ok").as_int(), 3);

    EXPECT_EQ(v.processes(), 0u);

    // A script exception no script catches leaves a called function as an error of the call.
    v.compile_string("throws.vl", "int fails(int d) {\n  return 1 / d;\n}\n");
    const script_error thrown = failure([&] { v.call("fails", {vorla::make_int(0)}); });
    EXPECT_NE(std::string(thrown.what()).find("catch unexpected throw range_error("), std::string::npos)
        << thrown.what();
    EXPECT_EQ(thrown.file(), "throws.vl");
    EXPECT_EQ(thrown.line(), 2u);
    EXPECT_NE(thrown.report().find("function fails(int)"), std::string::npos) << thrown.report();
    EXPECT_EQ(v.call("fails", {vorla::make_int(1)}).as_int(), 1);

    const script_error unknown = failure([&] { v.call("nothing"); });
    EXPECT_NE(std::string(unknown.what()).find("function id resolution failure"), std::string::npos);
    EXPECT_THROW(v.start("nobody"), script_error);
}

TEST_F(embed, a_process_whose_step_fails_is_dropped_and_the_others_go_on)
{
    interpreter v(routed());
    v.compile_string("two.vl", R"(
        process fails() { using::write("f"); int x = 1 / (1 - 1); using::write("never"); }
        process counts() { int i = 0; while (i < 3) { ++i; using::write(i); } }
    )");
    v.start("fails");
    v.start("counts");
    EXPECT_TRUE(v.step());
    EXPECT_THROW(v.step(), script_error);
    EXPECT_EQ(v.processes(), 1u);
    v.run();
    EXPECT_EQ(out.str().find("never"), std::string::npos);
    EXPECT_EQ(out.str().substr(0, 1), "f");
    EXPECT_NE(out.str().find("123"), std::string::npos) << out.str();
}

// ---- limits and the scheduler --------------------------------------------------------------------------

TEST_F(embed, each_interpreter_has_its_own_call_depth_limit)
{
    const char* text = "int deep(int n) { if (n == 0) return 0; return deep(n - 1) + 1; }";
    vorla::interpreter_options o = routed();
    o.call_depth_limit = 20;
    interpreter shallow(o), usual(routed());
    shallow.compile_string("d.vl", text);
    usual.compile_string("d.vl", text);
    EXPECT_EQ(shallow.call("deep", {vorla::make_int(19)}).as_int(), 19);
    const script_error e = failure([&] { shallow.call("deep", {vorla::make_int(20)}); });
    EXPECT_NE(std::string(e.what()).find("call depth exceeded, depth=20"), std::string::npos);
    EXPECT_EQ(usual.call("deep", {vorla::make_int(500)}).as_int(), 500);
    // The failed call's frames are all undone: the full depth is there again.
    EXPECT_EQ(shallow.call("deep", {vorla::make_int(19)}).as_int(), 19);
}

TEST_F(embed, the_step_budget_ends_a_run_that_never_finishes)
{
    vorla::interpreter_options o = routed();
    o.step_budget = 50;
    interpreter v(o);
    v.compile_string("loop.vl", "process main() { while (true) {} }");
    v.start("main");
    EXPECT_TRUE(v.run_for(10));
    const script_error e = failure([&] { v.run(); });
    EXPECT_NE(std::string(e.what()).find("step budget spent, max-steps=50"), std::string::npos) << e.what();
}

TEST_F(embed, run_for_stops_after_its_passes_or_when_no_process_is_left)
{
    interpreter v(routed());
    v.compile_string("count.vl", "process count(int n) { int i = 0; while (i < n) { ++i; using::write(i); } }");
    v.start("count", {vorla::make_int(3)});
    EXPECT_TRUE(v.run_for(2));
    const std::string after_two = out.str();
    EXPECT_TRUE(v.run_for(0));
    EXPECT_EQ(out.str(), after_two);
    EXPECT_FALSE(v.run_for(1000));
    EXPECT_EQ(out.str(), "123");
    EXPECT_EQ(v.processes(), 0u);
}

TEST_F(embed, compile_file_finds_a_script_in_the_include_directories_with_its_includes)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vorla_embed_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "lib.vl") << "int seven() { return 7; }\n";
    std::ofstream(dir / "main.vl") << "#include \"lib.vl\"\nint fourteen() { return 2 * seven(); }\n";
    vorla::interpreter_options o = routed();
    o.include_directories.push_back(dir.string());
    interpreter v(o);
    v.compile_file("main.vl");
    v.compile_file("main.vl");  // a file already compiled is not compiled again
    EXPECT_EQ(v.call("fourteen").as_int(), 14);
    std::filesystem::remove_all(dir);
}

TEST_F(embed, deep_recursion_reaches_the_limit_on_the_script_stack)
{
    interpreter v(routed());
    v.compile_string("d.vl", "int deep(int n) { if (n == 0) return 0; return deep(n - 1) + 1; }");
    std::string what;
    vorla::with_script_stack([&] {
        try {
            v.call("deep", {vorla::make_int(100000)});
        } catch (const script_error& e) {
            what = e.what();
        }
    });
    EXPECT_NE(what.find("call depth exceeded, depth=10,000"), std::string::npos) << what.substr(what.rfind('\n'));
}

} // namespace
