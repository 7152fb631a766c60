// The console group of natives: what a script writes, reads and reports, and the check of its output.
#include "driver/natives.hpp"

#include <cstring>

#include "driver/native_kit.hpp"
#include "factor/boolean.hpp"
#include "factor/nil.hpp"
#include "factor/string_.hpp"
#include "locale.hpp"

namespace vorla::driver {

std::string output_failure_reason(int error)
{
    return error ? std::string(std::strerror(error)) : std::string("the output stream refused the text");
}

std::string lost_output_note(int error)
{
    return "vorla: the script's output could not be written: " + output_failure_reason(error);
}

void console::flush_checked(const char* function)
{
    out.flush();
    if (!out_buffer.failed()) return;
    const std::string reason = output_failure_reason(out_buffer.failure());
    exception e = VORLA_EXCEPTION(function, "output failed: ") << reason;
    e.explain("the script's output could not be written: " + reason);
    throw e;
}

namespace {

// The next line of the input without its line end ("\n" or "\r\n"), taken from the stream buffer itself:
// a `read` that failed earlier leaves the stream failed, but the lines after it can still be read.
bool next_line(std::wistream& in, std::wstring& line)
{
    using traits = std::wistream::traits_type;
    std::wstreambuf& source = *in.rdbuf();
    line.clear();
    bool any = false;
    for (;;) {
        const auto c = source.sbumpc();
        if (traits::eq_int_type(c, traits::eof())) break;
        any = true;
        if (traits::to_char_type(c) == L'\n') break;
        line += traits::to_char_type(c);
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return any;
}

} // namespace

void define_console_natives(nspace& space, console& c)
{
    define_native(space, native_id::debug, [](args& v) -> value { return make<string_<wchar_t>>(widen(v[0]->describe())); });
    define_native(space, native_id::read, [&c](args& v) -> value {
        // What was written so far is the prompt the user answers.
        c.flush_checked(info(native_id::read).name);
        // A failed read leaves the input failed, so every later read fails too, as a stream does.
        v[0]->read_istream(c.in);
        return make<nil>();
    });
    define_native(space, native_id::write, [&c](args& v) -> value {
        v[0]->write_ostream(c.out);
        c.restore_format();
        if (c.out_buffer.failed()) c.flush_checked(info(native_id::write).name);
        return make<nil>();
    });
    define_native(space, native_id::read_line, [&c](args& v) -> value {
        if (v[0]->type_id() != tid::string_) wrong_argument(native_id::read_line, v, 0, "a string variable");
        c.flush_checked(info(native_id::read_line).name);
        std::wstring line;
        if (!next_line(c.in, line)) return make_boolean(false);
        static_cast<string_<wchar_t>&>(*v[0]).set(line);
        return make_boolean(true);
    });
    define_native(space, native_id::eof, [&c](args&) -> value {
        c.flush_checked(info(native_id::eof).name);
        // Asked of the buffer, which waits for the next character when none is there yet; the stream's
        // own state is left to read.
        using traits = std::wistream::traits_type;
        return make_boolean(c.in.eof() || traits::eq_int_type(c.in.rdbuf()->sgetc(), traits::eof()));
    });
    define_native(space, native_id::error, [&c](args& v) -> value {
        // What the script wrote before comes before its complaint where both reach one screen.
        c.flush_checked(info(native_id::error).name);
        v[0]->write_ostream(c.err);
        c.restore_format(c.err);
        c.err.flush();
        return make<nil>();
    });
}

} // namespace vorla::driver
