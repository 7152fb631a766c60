// What every built-in native shares: its name and argument counts in one table, the wrapping every call
// gets, the exact argument readers and the catchable refusal of an operation on the outside world.
#pragma once

#include <cmath>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <utility>

#include "exception.hpp"
#include "expression/signal.hpp"
#include "factor/factor.hpp"
#include "factor/string_.hpp"
#include "nspace.hpp"

namespace vorla::driver {

// The built-in natives, by group (interpreter_options says which groups a host gets).
enum class native_id : unsigned char {
    // console
    write, read, debug, read_line, eof, error,
    // files
    read_file, write_file, append_file, lines, exists,
    // system
    exit, getenv, now, sleep,
};

struct native_info {
    const char* name;  // as scripts call it after using::, and as its diagnostics name it
    unsigned char min_args;
    unsigned char max_args;
};

constexpr native_info info(native_id id)
{
    switch (id) {
    case native_id::write: return {"write", 1, 1};
    case native_id::read: return {"read", 1, 1};
    case native_id::debug: return {"debug", 1, 1};
    case native_id::read_line: return {"read_line", 1, 1};
    case native_id::eof: return {"eof", 0, 0};
    case native_id::error: return {"error", 1, 1};
    case native_id::read_file: return {"read_file", 1, 1};
    case native_id::write_file: return {"write_file", 2, 2};
    case native_id::append_file: return {"append_file", 2, 2};
    case native_id::lines: return {"lines", 1, 1};
    case native_id::exists: return {"exists", 1, 1};
    case native_id::exit: return {"exit", 1, 1};
    case native_id::getenv: return {"getenv", 1, 1};
    case native_id::now: return {"now", 0, 0};
    case native_id::sleep: break;
    }
    return {"sleep", 1, 1};
}

// The built-in native named `name` (as scripts call it after using::), if there is one.
std::optional<native_info> builtin_native(std::string_view name);

// Registers native `id`: every call runs `body(v)` under the native's "catch exception" line, after the
// argument count was checked ("invalid argument count"), as the first natives always did.
template <class Body>
void define_native(nspace& space, native_id id, Body body)
{
    space.natives->define(widen(info(id).name), [id, body = std::move(body)](args& v) -> value {
        const native_info n = info(id);
        return wrap_failure([&] { return VORLA_EXCEPTION(n.name, "catch exception"); }, [&]() -> value {
            if (v.size() < n.min_args || v.size() > n.max_args) throw VORLA_EXCEPTION(n.name, "invalid argument count");
            return body(v);
        });
    });
}

// An argument of a type the native does not take: an interpreter error, as for a method.
[[noreturn]] void wrong_argument(native_id id, const args& v, std::size_t i, const char* wanted);

// Argument i as exactly a string (its text), or the wrong_argument error.
const std::wstring& text_argument(native_id id, const args& v, std::size_t i);
// Argument i as a number of any of the four numeric types, or the wrong_argument error.
double number_argument(native_id id, const args& v, std::size_t i);

// An operation on the world outside the script failed (a file that cannot be read, say): thrown to the
// script as a string naming what and why, which `catch (string e)` handles and which, caught by
// nothing, ends the run with that text.
[[noreturn]] void refuse_outside(std::string why);

// A value outside the range the native takes (a negative sleep, an exit status past 255): range_error.
[[noreturn]] void refuse_range(native_id id, std::string why);

} // namespace vorla::driver
