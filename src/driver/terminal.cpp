// Terminal detection, flushing at newlines, and the wait after a diagnostic.
#include "driver/terminal.hpp"

#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <limits>

namespace vorla::driver {

terminals terminals::detect()
{
    return {isatty(STDIN_FILENO) == 1, isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1};
}

line_flusher::int_type line_flusher::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)), traits_type::eof()))
        return traits_type::eof();
    if (flush_lines_ && traits_type::to_char_type(c) == '\n' && target_->pubsync() != 0) return traits_type::eof();
    return c;
}

std::streamsize line_flusher::xsputn(const char* s, std::streamsize n)
{
    const std::streamsize written = target_->sputn(s, n);
    // A line the terminal refused is output lost: the writer above learns it from the short count.
    if (flush_lines_ && n > 0 && std::memchr(s, '\n', static_cast<std::size_t>(n)) && target_->pubsync() != 0) return 0;
    return written;
}

void discard_typed_ahead(std::istream& in)
{
    if (std::streambuf* b = in.rdbuf()) {
        const std::streamsize buffered = b->in_avail();
        if (buffered > 0) in.ignore(buffered);
    }
    tcflush(STDIN_FILENO, TCIFLUSH);
}

void wait_after_diagnostic(std::istream& in, bool terminal, std::ostream* prompt)
{
    in.clear();
    if (terminal) {
        if (prompt) *prompt << "press Enter to close" << std::endl;
        discard_typed_ahead(in);
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        return;
    }
    int ignored = 0;
    in >> ignored;
}

} // namespace vorla::driver
