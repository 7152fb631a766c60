// The console group of natives (write, read, debug, read_line, eof, error) over a wide console on narrow
// stream buffers, and the check that no output was lost.
#pragma once

#include <ios>
#include <iostream>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

#include "driver/console.hpp"
#include "locale.hpp"
#include "nspace.hpp"

namespace vorla::driver {

// The wide console: script text goes out and comes in as UTF-8 through the narrow buffers given (the
// standard streams' for the driver; anything else for a host that runs scripts in memory).
struct console {
    console(std::streambuf* out_target, std::streambuf* in_source, std::streambuf* err_target = std::cerr.rdbuf())
        : out_buffer(out_target), in_buffer(in_source), err_buffer(err_target)
    {
        // Script numbers read and write the same under any locale a host has made global.
        out.imbue(text_locale());
        in.imbue(text_locale());
        err.imbue(text_locale());
    }
    console(const console&) = delete;
    console& operator=(const console&) = delete;

    utf8_writer out_buffer;
    utf8_reader in_buffer;
    utf8_writer err_buffer;
    std::wostream out{&out_buffer};
    std::wistream in{&in_buffer};
    std::wostream err{&err_buffer};
    // A value that leaves formatting flags behind must not change how the next one is written.
    const std::ios_base::fmtflags out_flags = out.flags();
    const std::streamsize out_precision = out.precision();
    const wchar_t out_fill = out.fill();

    void restore_format(std::wostream& s)
    {
        s.flags(out_flags);
        s.precision(out_precision);
        s.fill(out_fill);
        s.width(0);
        s.clear();
    }
    void restore_format() { restore_format(out); }

    // Flushes the output and raises the diagnostic "output failed" with the system's reason when any of it
    // was lost, now or before: a run must not end as if its output had been written.
    void flush_checked(const char* function);
};

// "No space left on device" for a system error number; a plain sentence when there is none.
std::string output_failure_reason(int error);
// The line for standard error when output was lost at the end of a run:
// "vorla: the script's output could not be written: No space left on device".
std::string lost_output_note(int error);

void define_console_natives(nspace& space, console& c);

} // namespace vorla::driver
