// The console policy: flushing at newlines only when asked, and how the wait after a diagnostic ends.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/terminal.hpp"

namespace vorla::driver {
namespace {

// Keeps what reaches it and counts the flushes asked of it.
class recording_buf : public std::stringbuf {
public:
    int syncs = 0;

protected:
    int sync() override
    {
        ++syncs;
        return 0;
    }
};

TEST(line_flusher, flushes_after_each_write_holding_a_newline_on_a_terminal)
{
    recording_buf target;
    line_flusher lines(&target, true);
    std::ostream out(&lines);
    out << "no newline";
    EXPECT_EQ(target.syncs, 0);
    out << "one\ntwo";
    EXPECT_EQ(target.syncs, 1);
    out.put('\n');
    EXPECT_EQ(target.syncs, 2);
    out.put('x');
    EXPECT_EQ(target.syncs, 2);
    EXPECT_EQ(target.str(), "no newlineone\ntwo\nx");
}

TEST(line_flusher, leaves_buffering_to_the_target_for_a_pipe_or_file)
{
    recording_buf target;
    line_flusher lines(&target, false);
    std::ostream out(&lines);
    out << "a\nb\n";
    out.put('\n');
    EXPECT_EQ(target.syncs, 0);
    out.flush();  // an explicit flush (before read, the diagnostic, exit) still reaches the target
    EXPECT_EQ(target.syncs, 1);
    EXPECT_EQ(target.str(), "a\nb\n\n");
}

TEST(wait_after_diagnostic, reads_one_integer_when_input_is_not_a_terminal)
{
    std::istringstream quiet("5");
    std::ostringstream prompt;
    wait_after_diagnostic(quiet, false, &prompt);
    EXPECT_EQ(prompt.str(), "");  // nothing to press: the wait says nothing

    std::istringstream in("\n\n42 rest");
    wait_after_diagnostic(in, false);
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, " rest");

    std::istringstream word("abc");  // not a number: the read fails and the wait ends
    wait_after_diagnostic(word, false);
    std::istringstream empty;  // end of input ends it
    wait_after_diagnostic(empty, false);
}

// Input of which `typed` was already read into the buffer before the wait began; `later` arrives after.
class staged_input : public std::streambuf {
public:
    staged_input(std::string typed, std::string later) : typed_(std::move(typed)), later_(std::move(later))
    {
        setg(typed_.data(), typed_.data(), typed_.data() + typed_.size());
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (served_) return traits_type::eof();
        served_ = true;
        setg(later_.data(), later_.data(), later_.data() + later_.size());
        return later_.empty() ? traits_type::eof() : traits_type::to_int_type(*gptr());
    }

private:
    std::string typed_, later_;
    bool served_ = false;
};

TEST(wait_after_diagnostic, ends_at_the_first_enter_typed_after_it_on_a_terminal)
{
    // The rest of a line typed before the diagnostic (a newline `read` left behind) does not end it;
    // the next line does, and nothing after that line is taken.
    staged_input typed("\n", "anything at all\nnext");
    std::istream in(&typed);
    wait_after_diagnostic(in, true);
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, "next");

    // A bare Enter is enough: no number is needed. The prompt says so, on a terminal only.
    staged_input bare("", "\nnext");
    std::istream in2(&bare);
    std::ostringstream prompt;
    wait_after_diagnostic(in2, true, &prompt);
    EXPECT_EQ(prompt.str(), "press Enter to close\n");
    std::getline(in2, rest);
    EXPECT_EQ(rest, "next");

    staged_input closed("", "");  // end of input (Ctrl-D) ends it too
    std::istream in3(&closed);
    wait_after_diagnostic(in3, true);
    EXPECT_TRUE(in3.eof());
}

} // namespace
} // namespace vorla::driver
