// The helpers every unit test shares: the process locale, value and node makers, and catching what a call raises.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "context.hpp"
#include "exception.hpp"
#include "expression/nodes.hpp"
#include "expression/signal.hpp"
#include "expression/statements.hpp"
#include "factor/boolean.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"
#include "symbol.hpp"
#include "table/routine.hpp"

// The text contains the part; on failure the whole text is shown.
#define EXPECT_HAS(text, part) EXPECT_NE(std::string(text).find(part), std::string::npos) << (text)

namespace vorla::test {

// Expected texts depend on it (narrow numbers group as "int(1,234)", wide ones stay "1234"), so it is in
// place before the first test of any executable runs.
inline const bool locale_installed = (install_locale(), true);

// ---- text

inline bool starts_with(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

inline bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The lines of a diagnostic chain.
using lines = std::vector<std::string>;

// The lines of a chain ("\n>\t" between them), each with its source line number taken out
// ("table/function.cpp(12) f: m" becomes "table/function.cpp f: m"), so a test pins file, function and message.
inline lines chain(const std::string& text)
{
    static const std::regex line_number("^([^(]*)\\([0-9,]+\\) ");
    lines out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\n>\t", start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        out.push_back(std::regex_replace(line, line_number, "$1 ", std::regex_constants::format_first_only));
        if (end == std::string::npos) return out;
        start = end + 3;
    }
}

// ---- the interpreter's state

// The state the layer tests' namespaces, hand-built trees and values share, as one interpreter's parts
// do: a name interned here is the one the namespace's own code finds.
inline context& test_context()
{
    static context shared;
    return shared;
}

inline symbol intern(const std::wstring& name) { return test_context().intern(name); }

// ---- values

inline value int_(int n) { return make<signed_<int>>(n); }
inline value uint_(unsigned int n) { return make<unsigned_<unsigned int>>(n); }
inline value float_(float x) { return make<real<float>>(x); }
inline value double_(double x) { return make<real<double>>(x); }
inline value bool_(bool b) { return make<boolean>(b); }
inline value nil_() { return make<nil>(); }
inline value str(const std::wstring& text) { return make<string_<wchar_t>>(text); }
// A ref to target (none: a ref never given one) on the tests' registry.
inline value ref_(value target = {}) { return make<ref>(test_context().cycles, std::move(target)); }

inline int as_int(const value& v) { return static_cast<int>(*v); }
inline unsigned int as_unsigned(const value& v) { return static_cast<unsigned int>(*v); }
inline double as_double(const value& v) { return static_cast<double>(*v); }
inline bool as_bool(const value& v) { return static_cast<bool>(*v); }
inline std::wstring as_text(const value& v) { return static_cast<std::wstring>(*v); }

// self.name(arguments), as a script calls a method.
inline value call(const value& self, const std::wstring& name, const args& arguments = {})
{
    return self->method(method_call<wchar_t>{.v = arguments, .name = name, .ctx = &test_context()});
}

// The same call made through the narrow-character dispatcher.
inline value call_narrow(const value& self, const std::string& name, const args& arguments = {})
{
    return self->method(method_call<char>{.v = arguments, .name = name, .ctx = &test_context()});
}

// ---- expression and statement nodes

inline expr int_expr(int n) { return std::make_shared<e_constant<signed_<int>, int>>(n); }
inline expr bool_expr(bool b) { return std::make_shared<e_constant<boolean, bool>>(b); }
inline expr var(const wchar_t* name) { return std::make_shared<e_variable>(intern(name)); }
inline control_ptr stmt(expr e) { return std::make_shared<c_single>(std::move(e)); }
inline control_ptr block(control_list list = {}) { return std::make_shared<c_compound>(std::move(list)); }
inline control_ptr return_stmt(expr e) { return std::make_shared<c_return>(std::move(e)); }

inline table::parameter param(type_id_t type, const wchar_t* name, bool reference = false)
{
    return table::parameter{reference, type, intern(name)};
}

// ---- what a call raises

// The text of the interpreter diagnostic a call raises; fails the test when it raises nothing or something else.
template <class F>
std::string diagnostic(F f)
{
    try {
        f();
    } catch (const vorla::exception& e) {
        return e.text();
    } catch (...) {
        ADD_FAILURE() << "raised something other than a diagnostic";
        return {};
    }
    ADD_FAILURE() << "raised nothing";
    return {};
}

// The diagnostic text with its source line written as "(N)" ("factor/real.hpp(N) vorla::real<double>::...: m"),
// for tests that pin the whole text but should survive edits of the source above the raising line.
template <class F>
std::string diagnostic_with_line_n(F f)
{
    static const std::regex line_number(R"(^([^(]*)\(\d+\))");
    return std::regex_replace(diagnostic(f), line_number, "$1(N)");
}

// The what() text of whatever std::exception a call raises, chains included.
template <class F>
std::string failure_text(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    ADD_FAILURE() << "no exception";
    return {};
}

// The same text split into its chain lines, line numbers taken out.
template <class F>
lines failure_chain(F f)
{
    return chain(failure_text(f));
}

// The script value a call throws; fails the test (and yields nil) when it throws nothing or something else.
template <class F>
value thrown(F f)
{
    try {
        f();
    } catch (const sig_throw& t) {
        return t.v;
    } catch (...) {
        ADD_FAILURE() << "raised something other than a script throw";
        return nil_();
    }
    ADD_FAILURE() << "raised nothing";
    return nil_();
}

// The describe text of the script value a call throws.
template <class F>
std::string thrown_text(F f)
{
    return thrown(f)->describe();
}

// The call throws a script value of the given type.
template <class F>
void expect_script_throw(F f, type_id_t expected)
{
    try {
        f();
        ADD_FAILURE() << "nothing thrown";
    } catch (const sig_throw& t) {
        ASSERT_TRUE(t.v);
        EXPECT_EQ(t.v->type_id(), expected);
    }
}

// A refusal diagnostic raised from a value class's header under the given function name with the given message.
inline void expect_refusal(const std::string& text, const std::string& header, const std::string& function,
                           const std::string& message)
{
    EXPECT_TRUE(starts_with(text, header + "(")) << text;
    EXPECT_TRUE(ends_with(text, ") " + function + ": " + message)) << text;
}

// A script range_error value thrown by the named function from the named header.
inline void expect_range_error(const value& v, const std::string& header, const std::string& function)
{
    EXPECT_EQ(v->type_id(), tid::range_error);
    const std::string d = v->describe();
    EXPECT_TRUE(starts_with(d, "range_error(" + header + "(")) << d;
    EXPECT_TRUE(ends_with(d, ") : " + function + ")")) << d;
}

}  // namespace vorla::test
