// The diagnostic exception: every interpreter error travels as one of these, a chain of text lines.
#pragma once

#include <exception>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "locale.hpp"
#include "position.hpp"

namespace vorla {

// UTF-8 narrowing: stops at the first NUL, never throws; unencodable code points become '?'.
std::string narrow(const std::wstring& w);
std::string narrow(const wchar_t* w, std::size_t n);
// UTF-8 widening: stops at the first NUL, never throws; invalid byte sequences become U+FFFD.
std::wstring widen(const std::string& s);
// UTF-8 decoding of every byte (a NUL stays a NUL), never throws; invalid sequences become U+FFFD.
std::wstring decode_utf8(std::string_view bytes);

class exception : public std::exception {
public:
    // Raising constructor: "file(line) function: message".
    exception(std::string_view message, std::string_view file, std::string_view function, int line);
    // Keeps an already complete text verbatim (used by value streaming).
    explicit exception(std::string text) : text_(std::move(text)) {}
    // A copy shares the chained causes and leaves out the joined text (it is joined again when asked).
    exception(const exception& other)
        : std::exception(other), text_(other.text_), cause_(other.cause_), out_of_depth_(other.out_of_depth_),
          trace_(other.trace_) {}
    exception(exception&&) = default;
    exception& operator=(const exception& other)
    {
        text_ = other.text_;
        cause_ = other.cause_;
        whole_.clear();
        out_of_depth_ = other.out_of_depth_;
        trace_ = other.trace_;
        return *this;
    }
    exception& operator=(exception&&) = default;
    ~exception() override;

    const char* what() const noexcept override { return text().c_str(); }
    // The whole text: this exception's lines, then those of every chained cause.
    const std::string& text() const noexcept;
    // Appends text to the last line, in place.
    void append(std::string_view s);
    // Appends "\n>\t" and the caught exception's text, in place. A caught diagnostic is shared, not
    // copied: runaway recursion chains thousands of them, one per level, and copying the growing text at
    // every level would take time quadratic in the depth.
    exception& chain(const std::exception& caught);

    // Set on the diagnostic of runaway recursion (and of a spent time budget, and of memory that ran
    // out) and kept by every exception that chains it: layers that would otherwise turn an error into
    // something a script can catch let this one through.
    bool out_of_depth() const noexcept { return out_of_depth_; }
    exception& mark_out_of_depth() noexcept
    {
        out_of_depth_ = true;
        return *this;
    }

    // The script's view of this error (position, plain message, call stack), made on first use and
    // passed on to every exception that chains this one. Never part of the text.
    const script_trace* trace() const noexcept { return trace_.get(); }
    script_trace& script();
    // Sets the plain message unless a more exact one (from a cause further in) is already there.
    exception& explain(std::string message);
    // Sets the hint for a known trap.
    exception& hint(std::string advice);
    // Takes over an account gathered elsewhere (by a script throw on its way out), when there is one.
    exception& adopt(trace_ptr t)
    {
        if (t) trace_ = std::move(t);
        return *this;
    }

private:
    std::string text_;                  // this exception's own lines (and causes chained as text)
    std::shared_ptr<exception> cause_;  // a chained diagnostic, after text_
    mutable std::string whole_;         // text_ and the causes' lines, joined when first asked for
    bool out_of_depth_ = false;
    trace_ptr trace_;
};

// Whether a caught exception is (or chains) the runaway-recursion diagnostic, or is memory that ran out:
// either ends the run, whatever handler it meets.
inline bool out_of_depth(const std::exception& e) noexcept
{
    if (dynamic_cast<const std::bad_alloc*>(&e)) return true;
    const auto* d = dynamic_cast<const exception*>(&e);
    return d && d->out_of_depth();
}

// What a caught standard exception says, for a person: the C++ name std::bad_alloc reads "out of memory".
const char* plain_what(const std::exception& e) noexcept;

namespace detail {
// Numbers in diagnostics go through a narrow stream under the interpreter's locale (digit grouping).
template <class T>
std::string format_number(T v)
{
    std::ostringstream os;
    os.imbue(text_locale());
    os << v;
    return os.str();
}
template <class T>
concept streamable_number = std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
                            !std::is_same_v<T, wchar_t>;
} // namespace detail

// Value streaming: a new exception whose text is the old one followed by the value's text form.
// Everything but the text (the runaway-recursion mark, the script's trace) is kept.
exception operator<<(const exception& e, std::string_view s);
template <detail::streamable_number T>
exception operator<<(const exception& e, T v)
{
    return e << std::string_view(detail::format_number(v));
}
inline exception operator<<(const exception& e, bool v) { return e << std::string_view(v ? "1" : "0"); }
inline exception operator<<(const exception& e, const char* s) { return e << std::string_view(s); }
inline exception operator<<(const exception& e, const std::string& s) { return e << std::string_view(s); }
inline exception operator<<(const exception& e, const std::wstring& s) { return e << std::string_view(narrow(s)); }
inline exception operator<<(const exception& e, const wchar_t* s) { return e << std::string_view(narrow(std::wstring(s))); }

// Chaining a caught exception: in place on an lvalue, by value on a temporary.
inline exception& operator<<(exception& e, const std::exception& caught) { return e.chain(caught); }
inline exception operator<<(exception&& e, const std::exception& caught)
{
    e.chain(caught);
    return std::move(e);
}

// The wrapping convention: runs `body` and gives back what it returns. A standard exception escaping
// it is re-raised as the diagnostic `make()` builds (only then), with the cause chained behind it; a
// cause that `passes` lets through leaves unchanged.
template <class Make, class Body, class Passes>
decltype(auto) wrap_failure(Make&& make, Body&& body, Passes&& passes)
{
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& caught) {
        if (passes(caught)) throw;
        throw exception(make()) << caught;
    }
}
template <class Make, class Body>
decltype(auto) wrap_failure(Make&& make, Body&& body)
{
    return wrap_failure(std::forward<Make>(make), std::forward<Body>(body), [](const std::exception&) { return false; });
}

} // namespace vorla

// Builds a diagnostic at the raising site; FUNC is the short qualified name quoted in diagnostics.
#define VORLA_EXCEPTION(FUNC, MSG) ::vorla::exception((MSG), __FILE__, (FUNC), __LINE__)
