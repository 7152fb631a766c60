// The console policy for a person at a terminal: output flushed at each line, the wait ended by Enter.
#pragma once

#include <istream>
#include <ostream>
#include <streambuf>

namespace vorla::driver {

// Which standard streams are terminals, looked at once at start.
struct terminals {
    bool in = false;
    bool out = false;
    bool err = false;
    static terminals detect();
};

// Passes narrow output through to another stream buffer and, when asked to, flushes that buffer after
// every write that holds a newline: a person watching a terminal sees each line as the script writes it,
// while a pipe or a file keeps the target's full buffering.
class line_flusher : public std::streambuf {
public:
    line_flusher(std::streambuf* target, bool flush_lines) : target_(target), flush_lines_(flush_lines) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override { return target_->pubsync(); }

private:
    std::streambuf* target_;
    bool flush_lines_;
};

// The wait after a diagnostic, which keeps a console window open until the user has read it. From a
// terminal it ends at the first Enter pressed after the diagnostic appeared (what was typed before
// does not count), and says so first on `prompt` (standard error), so that the shell does not look hung;
// from anything else it reads one integer as it always has, or ends at end of input, and says nothing.
void wait_after_diagnostic(std::istream& in, bool terminal, std::ostream* prompt = nullptr);

// Drops input already typed at the terminal but not yet read (the rest of a line `read` stopped in,
// lines typed ahead): the stream buffer's unread characters and the terminal's pending input.
void discard_typed_ahead(std::istream& in);

} // namespace vorla::driver
