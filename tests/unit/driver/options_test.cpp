// The command line: where options stop, values, and the one-line errors for what is not understood.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../support.hpp"
#include "driver/options.hpp"
#include "exception.hpp"

namespace vorla::driver {
namespace {

command_line parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "vorla");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    return parse_command_line(static_cast<int>(words.size()), argv.data());
}

using words = std::vector<std::string>;

TEST(options, stop_at_the_script_and_leave_its_words_alone)
{
    const auto c = parse({"--trace", "a.vl", "x", "--check", "--max-steps", "3", "--", "-h"});
    ASSERT_EQ(c.error, "");
    EXPECT_TRUE(c.opts.trace);
    EXPECT_FALSE(c.opts.check);
    EXPECT_FALSE(c.opts.max_steps);
    EXPECT_FALSE(c.opts.help);
    EXPECT_EQ(c.opts.operands, (words{"a.vl", "x", "--check", "--max-steps", "3", "--", "-h"}));

    const auto none = parse({});
    EXPECT_EQ(none.error, "");
    EXPECT_TRUE(none.opts.operands.empty());

    // A lone "-" is a word, not an option.
    EXPECT_EQ(parse({"-", "x"}).opts.operands, (words{"-", "x"}));
}

TEST(options, double_dash_ends_the_options)
{
    const auto c = parse({"--trace", "--", "-name.vl", "--trace"});
    ASSERT_EQ(c.error, "");
    EXPECT_TRUE(c.opts.trace);
    EXPECT_EQ(c.opts.operands, (words{"-name.vl", "--trace"}));
    EXPECT_TRUE(parse({"--"}).opts.operands.empty());
}

TEST(options, values_come_as_the_next_word_or_after_an_equals_sign)
{
    const auto a = parse({"--max-steps", "100", "--max-time", "2.5", "s.vl"});
    ASSERT_EQ(a.error, "");
    EXPECT_EQ(a.opts.max_steps, 100u);
    EXPECT_EQ(a.opts.max_time, 2.5);
    const auto b = parse({"--max-steps=0", "--max-time=.25", "s.vl"});
    ASSERT_EQ(b.error, "");
    EXPECT_EQ(b.opts.max_steps, 0u);
    EXPECT_EQ(b.opts.max_time, 0.25);
    EXPECT_EQ(parse({"--max-steps=18446744073709551615", "s.vl"}).opts.max_steps, 18446744073709551615u);
    // The last of a repeated option holds.
    EXPECT_EQ(parse({"--max-steps=1", "--max-steps=2", "s.vl"}).opts.max_steps, 2u);
}

TEST(options, bad_values_are_named)
{
    EXPECT_EQ(parse({"--max-steps", "many", "s.vl"}).error,
              "option '--max-steps' takes a whole number of steps, not 'many'");
    for (const char* bad : {"-3", "+3", "1e3", "3.0", "", "18446744073709551616", "12x"})
        EXPECT_NE(parse({"--max-steps", bad, "s.vl"}).error, "") << bad;
    EXPECT_EQ(parse({"--max-time=soon", "s.vl"}).error, "option '--max-time' takes a number of seconds, not 'soon'");
    for (const char* bad : {"-1", "nan", "inf", "1e999", "", "1s", "0x10"})
        EXPECT_NE(parse({"--max-time", bad, "s.vl"}).error, "") << bad;
    EXPECT_EQ(parse({"--max-steps"}).error, "option '--max-steps' needs a value");
    EXPECT_EQ(parse({"--trace=yes", "s.vl"}).error, "option '--trace' takes no value");
    EXPECT_EQ(parse({"--help=1"}).error, "option '--help' takes no value");
    EXPECT_EQ(parse({"--trace", "-x.vl"}).error, "unknown option '-x' (put -- before a script whose name starts with -)");
}

TEST(options, unknown_and_ambiguous_options_are_named)
{
    EXPECT_EQ(parse({"--frob", "s.vl"}).error,
              "unknown option '--frob' (put -- before a script whose name starts with -)");
    EXPECT_EQ(parse({"--frob=3", "s.vl"}).error,
              "unknown option '--frob' (put -- before a script whose name starts with -)");
    EXPECT_EQ(parse({"-name.vl"}).error, "unknown option '-n' (put -- before a script whose name starts with -)");
    EXPECT_EQ(parse({"--max", "3", "s.vl"}).error, "ambiguous option '--max' (--max-steps, --max-time)");
    // An option after an unknown one is not looked at; nothing is half-parsed into a run.
    const auto c = parse({"--trace", "--nope", "--check", "s.vl"});
    EXPECT_NE(c.error, "");
    EXPECT_FALSE(c.opts.check);
    // An unambiguous abbreviation is the option, as with other GNU-style tools.
    EXPECT_TRUE(parse({"--tr", "s.vl"}).opts.trace);
}

TEST(options, check_takes_files)
{
    const auto c = parse({"--check", "a.vl", "b.vl"});
    ASSERT_EQ(c.error, "");
    EXPECT_TRUE(c.opts.check);
    EXPECT_EQ(c.opts.operands, (words{"a.vl", "b.vl"}));
    EXPECT_EQ(parse({"--check"}).error, "option '--check' needs at least one file");
    EXPECT_EQ(parse({"--check", "--help"}).error, "");
    EXPECT_TRUE(parse({"--check", "--strict", "a.vl"}).opts.strict);
    EXPECT_EQ(parse({"--strict", "a.vl"}).error, "option '--strict' goes with '--check'");
}

TEST(options, help_version_and_errors_answer_without_running)
{
    std::ostringstream out, err;
    EXPECT_EQ(answer_without_running(parse({"--frob"}), out, err), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "vorla: unknown option '--frob' (put -- before a script whose name starts with -)\n" +
                             usage_line() + "\n");

    std::ostringstream hout, herr;
    EXPECT_EQ(answer_without_running(parse({"-h", "s.vl"}), hout, herr), 0);
    EXPECT_EQ(herr.str(), "");
    EXPECT_TRUE(test::starts_with(hout.str(), usage_line() + "\n"));
    for (const char* option : {"--check", "--strict", "--trace", "--max-steps N", "--max-time SECONDS", "--help", "--version",
                               "README.md", "docs/"})
        EXPECT_HAS(hout.str(), option);

    std::ostringstream vout, verr;
    EXPECT_EQ(answer_without_running(parse({"--version"}), vout, verr), 0);
    EXPECT_TRUE(test::starts_with(vout.str(), "vorla ")) << vout.str();

    std::ostringstream rout, rerr;
    EXPECT_EQ(answer_without_running(parse({"--trace", "s.vl"}), rout, rerr), std::nullopt);
    EXPECT_EQ(answer_without_running(parse({}), rout, rerr), std::nullopt);
    EXPECT_EQ(rout.str() + rerr.str(), "");
}

TEST(check_files, names_every_file_and_prints_each_failure_as_a_run_would)
{
    std::vector<std::string> compiled;
    auto compile = [&](const std::string& file) {
        compiled.push_back(file);
        if (file.rfind("bad", 0) == 0) throw VORLA_EXCEPTION("main", "cannot compile ") << file;
        return check_counts{};
    };
    std::ostringstream out, err;
    EXPECT_EQ(check_files({"a.vl", "bad1.vl", "b.vl", "bad2.vl"}, compile, out, err), 1);
    EXPECT_EQ(compiled, (words{"a.vl", "bad1.vl", "b.vl", "bad2.vl"}));  // a failure does not stop the check
    EXPECT_EQ(err.str(), "a.vl: ok\nbad1.vl: failed\nb.vl: ok\nbad2.vl: failed\n");
    EXPECT_HAS(out.str(), "main: cannot compile bad1.vl\n");
    EXPECT_HAS(out.str(), "main: cannot compile bad2.vl\n");

    std::ostringstream out2, err2;
    EXPECT_EQ(check_files({"a.vl"}, compile, out2, err2), 0);
    EXPECT_EQ(out2.str(), "");

    // The script's view of each failure comes after its diagnostic and before its name.
    std::ostringstream out3, err3;
    auto explain = [&](const std::exception& e) { err3 << "explained: " << e.what() << "\n"; };
    EXPECT_EQ(check_files({"bad.vl", "a.vl"}, compile, out3, err3, explain), 1);
    EXPECT_EQ(err3.str(), std::string("explained: ") + out3.str() + "bad.vl: failed\na.vl: ok\n");
}

TEST(check_files, counts_findings_and_fails_on_errors_or_on_warnings_when_strict)
{
    auto found = [](const std::string& file) {
        if (file == "warns.vl") return check_counts{0, 2};
        if (file == "errs.vl") return check_counts{1, 1};
        return check_counts{};
    };
    std::ostringstream out, err;
    EXPECT_EQ(check_files({"warns.vl", "clean.vl"}, found, out, err), 0);
    EXPECT_EQ(err.str(), "warns.vl: ok, 2 warnings\nclean.vl: ok\n");
    std::ostringstream out2, err2;
    EXPECT_EQ(check_files({"errs.vl"}, found, out2, err2), 1);
    EXPECT_EQ(err2.str(), "errs.vl: failed, 1 error, 1 warning\n");
    std::ostringstream out3, err3;
    EXPECT_EQ(check_files({"warns.vl", "clean.vl"}, found, out3, err3, {}, true), 1);
    EXPECT_EQ(err3.str(), "warns.vl: failed, 2 warnings\nclean.vl: ok\n");
    EXPECT_EQ(out.str() + out2.str() + out3.str(), "");
}

TEST(apply_budgets, gives_the_interpreter_what_the_options_ask_for)
{
    options o;
    interpreter_options none;
    apply_budgets(o, none);
    EXPECT_FALSE(none.step_budget);
    EXPECT_FALSE(none.time_budget);

    o.max_steps = 3;
    o.max_time = 1e300;
    interpreter_options limited;
    apply_budgets(o, limited);
    EXPECT_EQ(limited.step_budget, 3u);
    EXPECT_EQ(limited.time_budget, 1e300);
}

} // namespace
} // namespace vorla::driver
