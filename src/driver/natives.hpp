// The console natives using::write, read and debug, over a wide console on two narrow stream buffers.
#pragma once

#include <ios>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>

#include "driver/console.hpp"
#include "exception.hpp"
#include "factor/nil.hpp"
#include "factor/string_.hpp"
#include "locale.hpp"
#include "nspace.hpp"

namespace vorla::driver {

// The wide console: script text goes out and comes in as UTF-8 through the narrow buffers given (the
// standard streams' for the driver; anything else for a host that runs scripts in memory).
struct console {
    console(std::streambuf* out_target, std::streambuf* in_source) : out_buffer(out_target), in_buffer(in_source) {}
    console(const console&) = delete;
    console& operator=(const console&) = delete;

    utf8_writer out_buffer;
    utf8_reader in_buffer;
    std::wostream out{&out_buffer};
    std::wistream in{&in_buffer};
    // A value that leaves formatting flags behind must not change how the next one is written.
    const std::ios_base::fmtflags out_flags = out.flags();
    const std::streamsize out_precision = out.precision();
    const wchar_t out_fill = out.fill();

    void restore_format()
    {
        out.flags(out_flags);
        out.precision(out_precision);
        out.fill(out_fill);
        out.width(0);
        out.clear();
    }
};

inline void define_console_natives(nspace& space, console& c)
{
    space.natives->define(L"debug", [](args& v) -> value {
        return wrap_failure([] { return VORLA_EXCEPTION("debug", "catch exception"); }, [&]() -> value {
            if (v.size() != 1) throw VORLA_EXCEPTION("debug", "invalid argument count");
            return make<string_<wchar_t>>(widen(v[0]->describe()));
        });
    });
    space.natives->define(L"read", [&c](args& v) -> value {
        return wrap_failure([] { return VORLA_EXCEPTION("read", "catch exception"); }, [&]() -> value {
            if (v.size() != 1) throw VORLA_EXCEPTION("read", "invalid argument count");
            // What was written so far is the prompt the user answers.
            c.out.flush();
            // A failed read leaves the input failed, so every later read fails too, as a stream does.
            v[0]->read_istream(c.in);
            return make<nil>();
        });
    });
    space.natives->define(L"write", [&c](args& v) -> value {
        return wrap_failure([] { return VORLA_EXCEPTION("write", "catch exception"); }, [&]() -> value {
            if (v.size() != 1) throw VORLA_EXCEPTION("write", "invalid argument count");
            v[0]->write_ostream(c.out);
            c.restore_format();
            return make<nil>();
        });
    });
}

} // namespace vorla::driver
