// Tests of the native groups a host chooses (console, files, system), the output check and confined includes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

#include "vorla/vorla.hpp"

namespace {

namespace fs = std::filesystem;
using vorla::interpreter;
using vorla::script_error;

// A fresh directory of its own for each test, removed afterwards.
class natives : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vorla-natives-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    vorla::interpreter_options with_files()
    {
        vorla::interpreter_options o;
        o.output = &out;
        o.error_output = &err;
        o.natives.files = true;
        return o;
    }

    // Runs `main` of the script text and gives what it wrote, or the diagnostic's text after "error: ".
    std::string run(vorla::interpreter_options o, const std::string& script)
    {
        try {
            interpreter v(o);
            v.compile_string("test.vl", script);
            v.start("main");
            v.run();
        } catch (const script_error& e) {
            return out.str() + "error: " + e.what();
        }
        return out.str();
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    static std::string slurp(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(natives, a_host_gets_the_console_only_unless_it_asks)
{
    vorla::interpreter_options plain;
    plain.output = &out;
    plain.error_output = &err;
    const std::string refused = run(plain, R"(process main() { using::write("a"); using::exists("x"); })");
    EXPECT_EQ(refused.rfind("aerror: ", 0), 0u) << refused;
    EXPECT_NE(refused.find("exists"), std::string::npos) << refused;

    out.str("");
    EXPECT_EQ(run(plain, R"(process main() { using::error("to err " + 1); using::write("to out"); })"), "to out");
    EXPECT_EQ(err.str(), "to err 1");

    vorla::interpreter_options none;
    none.output = &out;
    none.natives.console = false;
    out.str("");
    EXPECT_NE(run(none, R"(process main() { using::write("x"); })").find("error: "), std::string::npos);
}

TEST_F(natives, files_round_trip_unicode_lines_and_appends)
{
    const std::string file = path("notes.txt"), crlf = path("crlf.txt");
    { std::ofstream(crlf, std::ios::binary) << "one\r\ntwo\r\n"; }
    const std::string script = R"(process main() {
        string f = ")" + file + R"(";
        using::write("" + using::exists(f) + " ");
        using::write_file(f, "Grüße\nzwei\n\ndrei 𝄞\n");
        using::append_file(f, "vier");
        vector v = using::lines(f);
        using::write("" + using::exists(f) + " " + v.size() + " [" + v.at(0) + "][" + v.at(2) + "][" + v.at(4) + "]");
        using::write(" " + using::read_file(f).size());
        vector w = using::lines(")" + crlf + R"(");
        using::write(" " + w.size() + " [" + w.at(0) + "][" + w.at(1) + "]");
    })";
    EXPECT_EQ(run(with_files(), script), "0 1 5 [Grüße][][vier] 23 2 [one][two]");
    EXPECT_EQ(slurp(file), "Grüße\nzwei\n\ndrei 𝄞\nvier");
    // The new text replaced the old through a file beside it, and nothing else is left there.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(natives, write_file_keeps_the_mode_and_the_link)
{
    const std::string real = path("real.txt"), link = path("link.txt");
    { std::ofstream(real) << "old"; }
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);
    EXPECT_EQ(run(with_files(), "process main() { using::write_file(\"" + link + "\", \"new\"); }"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "new");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(natives, failures_are_catchable_strings_naming_the_file_and_the_reason)
{
    const std::string missing = path("missing.txt"), folder = dir.string();
    const std::string script = R"(
        int attempt(int which, string f) {
            try {
                if (which == 0) { using::read_file(f); }
                if (which == 1) { using::write_file(f, "x"); }
                if (which == 2) { using::append_file(f, "x"); }
                if (which == 3) { using::lines(f); }
                using::write("no error\n");
            } catch (string e) {
                using::write(e + "\n");
            }
            return 0;
        }
        process main() {
            attempt(0, ")" + missing + R"(");
            attempt(3, ")" + missing + R"(");
            attempt(1, ")" + folder + R"(");
            attempt(2, ")" + folder + R"(");
            attempt(1, "/dev/full");
            attempt(1, ")" + missing + R"(/below");
        })";
    EXPECT_EQ(run(with_files(), script),
              "cannot read '" + missing + "': No such file or directory\n"
              "cannot read '" + missing + "': No such file or directory\n"
              "cannot write '" + folder + "': Is a directory\n"
              "cannot append to '" + folder + "': Is a directory\n"
              "cannot write '/dev/full': No space left on device\n"
              "cannot write '" + missing + "/below': No such file or directory\n");
    EXPECT_FALSE(fs::exists(missing));
}

// A stream buffer that takes nothing, as a full disk does.
class refusing_buffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(natives, output_that_cannot_be_written_ends_the_run_with_a_script_error)
{
    refusing_buffer full;
    std::ostream lost(&full);
    vorla::interpreter_options o;
    o.output = &lost;
    interpreter v(o);
    v.compile_string("lost.vl", R"(process main() { using::write("gone"); using::write("never"); })");
    v.start("main");
    try {
        v.run();
        ADD_FAILURE() << "the lost output was not reported";
    } catch (const script_error& e) {
        EXPECT_NE(std::string(e.what()).find("output failed: the output stream refused the text"), std::string::npos)
            << e.what();
        EXPECT_NE(e.report().find("the script's output could not be written"), std::string::npos) << e.report();
    }
}

TEST_F(natives, a_sleeping_process_leaves_the_others_their_turns_and_the_run_waits_for_it)
{
    std::ostringstream shown;
    vorla::interpreter_options o;
    o.output = &shown;
    o.natives.system = true;
    interpreter v(o);
    v.compile_string("naps.vl", R"(
        process sleeper() {
            using::write("s1 ");
            using::sleep(0.2);
            using::write("s2 ");
        }
        process counter() {
            int i = 0;
            while (i < 3) { using::write("c" + i + " "); ++i; }
        }
        process main() {
            process::sleeper s();
            process::counter c();
        })");
    v.start("main");
    const auto start = std::chrono::steady_clock::now();
    v.run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The counter takes every turn while the sleeper is out, then the run waits for the sleeper alone.
    EXPECT_EQ(shown.str(), "s1 c0 c1 c2 s2 ");
    EXPECT_GE(seconds, 0.2);
}

TEST_F(natives, sleep_refuses_negative_and_endless_lengths)
{
    vorla::interpreter_options o;
    o.output = &out;
    o.natives.system = true;
    const std::string got = run(o, R"(process main() {
        try { using::sleep(-1); } catch (range_error e) { using::write("negative "); }
        try { using::sleep(1e+10); } catch (range_error e) { using::write("endless "); }
        try { using::sleep(0.0 / 0.0); } catch (range_error e) { using::write("nan "); }
        using::sleep(0);
        using::write("zero");
    })");
    EXPECT_EQ(got, "negative endless nan zero");
}

TEST_F(natives, confined_includes_stay_below_the_script_and_the_include_directories)
{
    fs::create_directories(dir / "app" / "lib");
    { std::ofstream(dir / "secret.vl") << "int secret() { return 42; }\n"; }
    { std::ofstream(dir / "app" / "lib" / "helper.vl") << "int helper() { return 7; }\n"; }
    { std::ofstream(dir / "app" / "main.vl") << "#include \"lib/helper.vl\"\n#include \"../secret.vl\"\n"; }
    vorla::interpreter_options o;
    o.confine_includes = true;
    // Only a path looked up in the include directories is tried at all, absolute or not.
    o.include_directories.push_back((dir / "app" / "lib").string());
    interpreter confined(o);
    try {
        confined.compile_file((dir / "app" / "main.vl").string());
        ADD_FAILURE() << "the include from outside was compiled";
    } catch (const script_error& e) {
        EXPECT_NE(std::string(e.what()).find("include refused, path=../secret.vl"), std::string::npos) << e.what();
    }
    o.confine_includes = false;
    interpreter trusting(o);
    trusting.compile_file((dir / "app" / "main.vl").string());
    EXPECT_EQ(trusting.call("secret").as_int(), 42);
}

TEST_F(natives, a_confined_parse_failure_shows_no_text_past_its_line)
{
    { std::ofstream(dir / "bad.vl") << "process main() {\n    x x x;\n}\nline three holds a secret\n"; }
    vorla::interpreter_options o;
    o.confine_includes = true;
    o.include_directories.push_back(dir.string());
    interpreter confined(o);
    try {
        confined.compile_file((dir / "bad.vl").string());
        ADD_FAILURE() << "the file parsed";
    } catch (const script_error& e) {
        EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("stop="), std::string::npos) << e.what();
    }
}

} // namespace
