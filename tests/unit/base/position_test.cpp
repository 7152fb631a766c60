// The file table's line arithmetic and the standard-error report built from a script trace.
#include <gtest/gtest.h>

#include <string>

#include "exception.hpp"
#include "position.hpp"

namespace {

TEST(source_files, lines_and_columns_count_characters_from_one)
{
    vorla::source_files files;
    const auto f = files.add("a.vl", L"ab\n\tc\xE9x\r\nlast");
    EXPECT_EQ(f, 1u);
    EXPECT_EQ(files.where({f, 0}), "a.vl:1:1");
    EXPECT_EQ(files.where({f, 2}), "a.vl:1:3");   // the line feed belongs to its line
    EXPECT_EQ(files.where({f, 5}), "a.vl:2:3");   // a tab and a non-ASCII letter count one each
    EXPECT_EQ(files.where({f, 9}), "a.vl:3:1");
    EXPECT_EQ(files.where({f, 99}), "a.vl:3:5");  // past the end: the end
    EXPECT_EQ(files.source_line({f, 5}), "\tc\xC3\xA9x");  // UTF-8, without the carriage return
    EXPECT_EQ(files.caret_line({f, 5}), "\t ^");         // tabs are repeated so the caret lines up
    EXPECT_EQ(files.where({}), "?");
    EXPECT_EQ(files.where({7, 0}), "?");
}

// A text kept one byte a character must give back characters up to U+00FF unchanged; one with a
// character beyond that is kept wide, and its lines are read the same way.
TEST(source_files, lines_of_texts_narrow_and_wide)
{
    vorla::source_files files;
    const auto narrow = files.add("n.vl", L"x\n\xFF\xFE\x80\n");
    EXPECT_EQ(files.source_line({narrow, 3}), "\xC3\xBF\xC3\xBE\xC2\x80");
    EXPECT_EQ(files.where({narrow, 4}), "n.vl:2:3");
    const auto wide = files.add("w.vl", L"a = 1;\nb = \x20AC\x1F600 + \xFF;\r\nc");
    EXPECT_EQ(files.source_line({wide, 0}), "a = 1;");
    EXPECT_EQ(files.where({wide, 14}), "w.vl:2:8");  // the euro sign and the emoji count one each
    EXPECT_EQ(files.source_line({wide, 14}), "b = \xE2\x82\xAC\xF0\x9F\x98\x80 + \xC3\xBF;");
    EXPECT_EQ(files.caret_line({wide, 14}), "       ^");
    EXPECT_EQ(files.source_line({wide, 20}), "c");
}

TEST(source_files, a_very_long_line_is_shown_as_a_window_around_the_place)
{
    vorla::source_files files;
    std::wstring line(100000, L'a');
    line[50000] = L'X';
    const auto f = files.add("long.vl", line + L"\nshort");
    EXPECT_EQ(files.where({f, 50000}), "long.vl:1:50001");  // the place keeps the line's own column
    const std::string shown = files.source_line({f, 50000});
    const std::string caret = files.caret_line({f, 50000});
    EXPECT_EQ(shown.substr(0, 3), "...");
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    EXPECT_LT(shown.size(), 200u);
    EXPECT_EQ(shown[caret.size() - 1], 'X');  // the caret stands under the place
    // Cut at one end only: the window starts at the line's start, or ends at its end.
    EXPECT_EQ(files.caret_line({f, 3}), "   ^");
    EXPECT_EQ(files.source_line({f, 3}).substr(0, 4), "aaaa");
    const std::string end = files.source_line({f, 99999});
    EXPECT_EQ(end.substr(end.size() - 4), "aaaa");
    EXPECT_EQ(end[files.caret_line({f, 99999}).size() - 1], 'a');
    EXPECT_EQ(files.source_line({f, 100001}), "short");
}

TEST(source_files, a_wrapper_around_the_users_text_is_no_line_of_it)
{
    vorla::source_files files;
    // What -e compiles: the user's two lines between a head and a tail of the compiler's own.
    const auto f = files.add("-e", L"process main() {\nint x = 1;\nx = x / 0;\n}\n", 1, 17, 3);
    EXPECT_EQ(files.where({f, 17}), "-e:1:1");
    EXPECT_EQ(files.where({f, 34}), "-e:2:7");
    EXPECT_EQ(files.source_line({f, 34}), "x = x / 0;");
    EXPECT_EQ(files.where({f, 3}), "-e:1:1");     // inside the head: the start of the user's text
    EXPECT_EQ(files.where({f, 40}), "-e:2:11");   // inside the tail: its end
    EXPECT_EQ(files.source_line({f, 40}), "x = x / 0;");
}

TEST(script_trace, a_call_that_never_started_is_no_frame)
{
    vorla::script_trace t;
    t.leave("function f(int)");  // failed on entry: nothing inside was placed
    t.mark({1, 7});
    EXPECT_TRUE(t.frames.empty());
    EXPECT_EQ(t.where.offset, 7u);
}

TEST(script_trace, first_mark_is_the_place_later_ones_call_sites)
{
    vorla::script_trace t;
    t.mark({1, 10});
    t.mark({1, 20});  // an outer node of the same expression: ignored
    t.leave("function f(int)");
    t.mark({1, 30});
    t.mark({1, 40});  // outer again: ignored
    t.leave_process("process main#1", {});
    EXPECT_EQ(t.where.offset, 10u);
    ASSERT_EQ(t.frames.size(), 2u);
    EXPECT_EQ(t.frames[0].at.offset, 30u);
    EXPECT_FALSE(t.frames[1].at.known());
}

TEST(script_trace, report_lists_place_source_hint_and_stack)
{
    vorla::source_files files;
    const auto f = files.add("m.vl", L"int f() {\n    return x;\n}\nprocess main() { f(); }\n");
    vorla::script_trace t;
    t.mark({f, 21});
    t.message = "no variable named 'x'";
    t.hint = "declare it first";
    t.leave("function f()");
    t.mark({f, 43});
    t.leave_process("process main#1", {});
    EXPECT_EQ(vorla::format_report(files, t, "unused"),
              "m.vl:2:12: error: no variable named 'x'\n"
              "    return x;\n"
              "           ^\n"
              "hint: declare it first\n"
              "  in function f() at m.vl:2:12\n"
              "  called from process main#1 at m.vl:4:18\n");
}

TEST(script_trace, each_frame_line_names_the_body_that_holds_its_place)
{
    vorla::source_files files;
    const auto f = files.add("s.vl", L"int g() { return 1 / 0; }\n"
                                     "process w() { g(); }\n"
                                     "process main() { process::w a; }\n");
    vorla::script_trace t;
    t.mark({f, 19});                                // 1 / 0, in g
    t.leave("function g()");
    t.mark({f, 40});                                // g(), in w
    t.leave_process("process w#2", {f, 64});        // started in main
    t.leave_process("process main#1", {f, 0});      // started somewhere no frame holds
    const std::string report = vorla::format_report(files, t, "x");
    EXPECT_EQ(report.substr(report.find("  in ")),
              "  in function g() at s.vl:1:20\n"
              "  called from process w#2 at s.vl:2:15\n"
              "  started by process main#1 at s.vl:3:18\n"
              "  started at s.vl:1:1\n");

    vorla::script_trace included;
    included.mark({f, 3});
    included.leave_file("s.vl");
    included.mark({files.add("top.vl", L"#include \"s.vl\"\n"), 10});
    const std::string nested = vorla::format_report(files, included, "x");
    EXPECT_EQ(nested.substr(nested.find("  in ")),
              "  in file s.vl at s.vl:1:4\n"
              "  included from top.vl:1:11\n");
}

TEST(script_trace, report_without_message_uses_the_innermost_chain_line)
{
    vorla::source_files files;
    vorla::script_trace t;
    EXPECT_EQ(vorla::format_report(files, t, "a.cpp(1) outer: catch exception\n>\tb.cpp(2) vorla::inner: id=at, v=0"),
              "error: id=at, v=0\n");
}

TEST(script_trace, long_stacks_keep_both_ends)
{
    vorla::source_files files;
    vorla::script_trace t;
    t.mark({files.add("r.vl", L"f();"), 0});
    for (int i = 0; i < 25; ++i) t.leave("function f" + std::to_string(i) + "()");
    const std::string report = vorla::format_report(files, t, "x");
    EXPECT_NE(report.find("  called from function f9()\n  ... 5 more frames\n  called from function f15()\n"),
              std::string::npos);
    EXPECT_EQ(report.find("f10()"), std::string::npos);
}

TEST(exception_trace, chaining_keeps_the_causes_account)
{
    vorla::exception inner = VORLA_EXCEPTION("inner", "cause");
    inner.explain("the real reason");
    inner.script().mark({1, 5});
    vorla::exception outer = VORLA_EXCEPTION("outer", "catch exception") << 42;
    outer.explain("a vaguer reason");
    outer << inner;
    ASSERT_NE(outer.trace(), nullptr);
    EXPECT_EQ(outer.trace()->message, "the real reason");
    EXPECT_EQ(outer.trace()->where.offset, 5u);
    // Streaming values keeps the account too.
    vorla::exception streamed = outer << " more";
    EXPECT_EQ(streamed.trace(), outer.trace());
    EXPECT_EQ(streamed.text().substr(streamed.text().size() - 5), " more");
}

} // namespace
