// Tests of what a host must be able to rely on at the boundary: its own locale, natives that misbehave,
// and re-entry from natives.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "vorla/vorla.hpp"
#include "embed_support.hpp"

namespace {

using namespace vorla_test;

// Narrow and wide punctuation that groups by two with '_': nothing the interpreter would choose itself.
template <class Ch>
struct odd_grouping : std::numpunct<Ch> {
    Ch do_thousands_sep() const override { return Ch('_'); }
    std::string do_grouping() const override { return "\2"; }
};

// ---- the host's locale ---------------------------------------------------------------------------------

TEST(embed_locale, the_host_locale_is_neither_changed_nor_used_by_an_interpreter)
{
    const std::locale before_global;
    const std::string before_c = std::setlocale(LC_ALL, nullptr);
    std::locale::global(std::locale(std::locale(std::locale::classic(), new odd_grouping<char>), new odd_grouping<wchar_t>));
    {
        std::ostringstream out;
        vorla::interpreter_options o;
        o.output = &out;
        interpreter v(o);
        v.compile_string("n.vl", "process main() { using::write(1234567); using::write(\" \"); using::write(2.5); }\n"
                                 "int big(int n) { return 1 / n; }");
        v.start("main");
        v.run();
        // Script output has no grouping and diagnostics group by three with ',', whatever the host's locale.
        EXPECT_EQ(out.str(), "1234567 2.5");
        EXPECT_EQ(vorla::make_int(1234567).describe(), "int(1,234,567)");
        EXPECT_EQ(vorla::make_double(1234.5).describe(), "double(1,234.5)");
    }
    // The host's own streams still follow the host's global locale, and the C locale is untouched.
    std::ostringstream host;
    host << 1234567;
    EXPECT_EQ(host.str(), "1_23_45_67");
    EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before_c);
    std::locale::global(before_global);
    std::ostringstream plain;
    plain << 1234567;
    EXPECT_EQ(plain.str(), "1234567");
}

// ---- natives that misbehave ----------------------------------------------------------------------------

TEST(embed_natives, a_native_throwing_what_is_no_standard_exception_fails_at_its_call)
{
    interpreter v;
    v.define_native("odd", [](const args&) -> script_value { throw 42; });
    v.compile_string("odd.vl", "int f()\n{\n    return using::odd();\n}\n");
    const script_error e = failure([&] { v.call("f"); });
    const std::string what = e.what();
    EXPECT_NE(what.find("odd"), std::string::npos) << what;
    EXPECT_NE(what.find("native failure"), std::string::npos) << what;
    EXPECT_EQ(what.find("unexpected exception"), std::string::npos) << what;
    EXPECT_EQ(e.file(), "odd.vl");
    EXPECT_EQ(e.line(), 3u);
    EXPECT_NE(e.report().find("odd.vl:3:"), std::string::npos) << e.report();
}

TEST(embed_natives, starting_a_process_nothing_defines_names_it)
{
    interpreter v;
    v.compile_string("p.vl", "process real() {}");
    // The diagnostic is the one the vorla program prints for a script without main; the report says why.
    const script_error e = failure([&] { v.start("nosuch"); });
    EXPECT_EQ(e.report(), "error: no process named nosuch\n");
    EXPECT_EQ(v.processes(), 0u);
}

TEST(embed_natives, a_time_budget_that_is_not_a_number_is_refused)
{
    vorla::interpreter_options o;
    o.time_budget = std::nan("");
    const std::string what = failure([&] { interpreter v(o); }).what();
    EXPECT_NE(what.find("time_budget"), std::string::npos) << what;
}

// ---- re-entry from natives -----------------------------------------------------------------------------

TEST(embed_reentry, a_native_cannot_step_the_scheduler_that_is_running_it)
{
    for (const char* how : {"step", "run", "run_for"}) {
        std::ostringstream out;
        vorla::interpreter_options o;
        o.output = &out;
        interpreter v(o);
        const std::string way = how;
        std::string refused;
        v.define_native("nested", [&](const args&) {
            try {
                if (way == "step") v.step();
                else if (way == "run") v.run();
                else v.run_for(3);
            } catch (const script_error& e) {
                refused = e.what();
                throw;
            }
            return vorla::make_nil();
        });
        v.compile_string("r.vl", "process other() { using::write(\"a\"); using::write(\"b\"); using::write(\"c\"); }\n"
                                 "process main() { using::nested(); using::write(\"never\"); }");
        v.start("other");
        v.start("main");
        const script_error e = failure([&] { v.run(); });
        EXPECT_NE(refused.find("the scheduler is already running"), std::string::npos) << how << ": " << refused;
        EXPECT_EQ(e.line(), 2u) << how;
        // The outer pass is intact: the other process carries on, and the failed one is gone.
        v.run();
        EXPECT_EQ(out.str(), "abc") << how;
        EXPECT_EQ(v.processes(), 0u);
    }
}

// call -> native -> call, thousands deep: the error of the innermost call comes out with its own position,
// shared by every level rather than copied at each.
TEST(embed_reentry, calls_nested_through_natives_thousands_deep_succeed_or_fail_at_the_innermost_call)
{
    interpreter v;
    v.define_native("again", [&](const args& a) { return v.call("down", a); });
    v.define_native("bottom", [](const args&) -> script_value { throw std::runtime_error("at the bottom"); });
    v.compile_string("deep.vl", "int down(int n)\n{\n    if (n == 0) return 0;\n    if (n == 1) return using::bottom();\n"
                                "    return using::again(n - 2) + 2;\n}\n");
    vorla::with_script_stack([&] {
        EXPECT_EQ(v.call("down", {vorla::make_int(4000)}).as_int(), 4000);
        const script_error e = failure([&] { v.call("down", {vorla::make_int(4001)}); });
        const std::string what = e.what();
        EXPECT_EQ(what.substr(what.rfind('\n') + 1), ">\tat the bottom");
        EXPECT_NE(what.find("again: catch exception"), std::string::npos) << what.substr(0, 400);
        EXPECT_EQ(e.line(), 4u);
        EXPECT_NE(e.report().find("deep.vl:4:"), std::string::npos);
    });
}

} // namespace
