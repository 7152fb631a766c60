// The built-in methods of int, unsigned int, float and double, dispatched by name and argument count.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "context.hpp"
#include "factor/boolean.hpp"
#include "factor/method_table.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"

namespace vorla {

namespace {

// An unknown method is an interpreter error, not something a script can catch.
template <class Ch>
[[noreturn]] void no_method(const method_call<Ch>& c, const std::string& function, int line)
{
    throw exception(method_call_text(c), __FILE__, function, line);
}

const method_table& signed_rows()
{
    static constexpr method_table table({
        {method_name::abs, 0},
        {method_name::max, 0},
        {method_name::min, 0},
        {method_name::rand, 0},
        {method_name::char_, 0},
        {method_name::pad, 1},
        {method_name::pad, 2},
    });
    return table;
}

const method_table& unsigned_rows()
{
    static constexpr method_table table({
        {method_name::max, 0},
        {method_name::min, 0},
        {method_name::rand, 0},
        {method_name::char_, 0},
        {method_name::pad, 1},
        {method_name::pad, 2},
    });
    return table;
}

// float and double answer the same rows.
const method_table& real_rows()
{
    using m = method_name;
    static constexpr method_table table({
        {m::cos, 0},   {m::sin, 0},   {m::tan, 0},   {m::acos, 0},  {m::asin, 0},     {m::atan, 0},
        {m::atan2, 2}, {m::cosh, 0},  {m::sinh, 0},  {m::tanh, 0},  {m::exp, 0},      {m::frexp, 1},
        {m::ldexp, 1}, {m::log, 0},   {m::log10, 0}, {m::pow, 1},   {m::sqrt, 0},     {m::ceil, 0},
        {m::abs, 0},   {m::floor, 0}, {m::min, 0},   {m::max, 0},   {m::infinity, 0}, {m::is_infinity, 0},
        {m::fixed, 1}, {m::precision, 1}, {m::pad, 1}, {m::pad, 2},
    });
    return table;
}

// The one-character string of a code point; anything that is not one (a surrogate, beyond U+10FFFF) has
// no character and is out of range.
template <class Refuse>
value character(long long code, Refuse&& range_refusal)
{
    if (code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        range_refusal(std::to_string(code) + " is not a Unicode code point");
    return make<string_<wchar_t>>(std::wstring(1, static_cast<wchar_t>(code)));
}

// How many digits fixed and precision may ask for: more than a double holds, far less than a limit.
constexpr long long most_digits = 100;

// x written in `format` with `digits` digits (after the point for fixed, significant for general).
template <class F>
value number_text_of(F x, std::chars_format format, int digits)
{
    // The longest text: a sign, 309 integer digits of the largest double, the point and the digits asked.
    char buffer[16 + 309 + most_digits];
    const auto done = std::to_chars(buffer, buffer + sizeof buffer, x, format, digits);
    return make<string_<wchar_t>>(std::wstring(buffer, done.ptr));
}

} // namespace

unsigned int random_step(std::uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}


template <class Ch>
value signed_<int>::_method(const method_call<Ch>& c) const
{
    switch (signed_rows().find(c)) {
    case method_name::abs:  // the magnitude on the unsigned pattern, so -2^31 stays itself instead of overflowing
        return make(v_ < 0 ? static_cast<int>(0u - static_cast<unsigned int>(v_)) : v_);
    case method_name::max: return make(std::numeric_limits<int>::max());
    case method_name::min: return make(std::numeric_limits<int>::min());
    case method_name::rand:
        // A host calling it on a value outside every interpreter has no sequence to draw from.
        if (!c.ctx) break;
        return make(static_cast<int>(random_step(c.ctx->random_state)));
    case method_name::char_: return character(v_, [this](std::string why) { range_refusal(std::move(why)); });
    case method_name::pad: return pad_method(method_name::pad, c.v, static_cast<std::wstring>(*this));
    default: break;
    }
    no_method(c, "vorla::signed_<int>::_method", __LINE__);
}

template <class Ch>
value unsigned_<unsigned int>::_method(const method_call<Ch>& c) const
{
    switch (unsigned_rows().find(c)) {
    case method_name::max: return make(std::numeric_limits<unsigned int>::max());
    case method_name::min: return make(0u);
    case method_name::rand:
        if (!c.ctx) break;  // outside every interpreter, as for int
        return make(random_step(c.ctx->random_state));
    case method_name::char_: return character(v_, [this](std::string why) { range_refusal(std::move(why)); });
    case method_name::pad: return pad_method(method_name::pad, c.v, static_cast<std::wstring>(*this));
    default: break;
    }
    no_method(c, "vorla::unsigned_<unsigned int>::_method", __LINE__);
}

// Arguments are converted to this class's own precision and the functions computed in it.
template <class F>
template <class Ch>
value real<F>::_method(const method_call<Ch>& c) const
{
    static const std::string function = std::string(real_name<F>::cls) + "::_method";
    const F v = v_;
    auto arg = [&c](std::size_t i) { return operand(c.v[i]); };
    auto range_error_unless = [](bool ok, int line) {
        if (!ok) throw_range_error(__FILE__, function, line);
    };
    // Overflowing functions report +infinity as a range error rather than returning it.
    auto finite_up = [&](F x, int line) {
        range_error_unless(x != std::numeric_limits<F>::infinity(), line);
        return make(x);
    };

    const method_name m = real_rows().find(c);
    switch (m) {
    case method_name::cos: return make(std::cos(v));
    case method_name::sin: return make(std::sin(v));
    case method_name::tan: return make(std::tan(v));
    case method_name::acos: range_error_unless(!(v < -1 || v > 1), __LINE__); return make(std::acos(v));
    case method_name::asin: range_error_unless(!(v < -1 || v > 1), __LINE__); return make(std::asin(v));
    case method_name::atan: return make(std::atan(v));
    case method_name::atan2: {
        const F y = arg(0), x = arg(1);
        range_error_unless(!(y == 0 && x == 0), __LINE__);
        return make(std::atan2(y, x));
    }
    case method_name::cosh: return finite_up(std::cosh(v), __LINE__);
    case method_name::sinh: return finite_up(std::sinh(v), __LINE__);
    case method_name::tanh: return make(std::tanh(v));
    case method_name::exp: return finite_up(std::exp(v), __LINE__);
    case method_name::frexp: {
        int e = 0;
        const F m = std::frexp(v, &e);
        c.v[0]->operator=(vorla::make<signed_<int>>(e));  // the argument's own assignment decides
        return make(m);
    }
    case method_name::ldexp: return make(std::ldexp(v, static_cast<int>(*c.v[0])));
    case method_name::log: range_error_unless(!(v <= 0), __LINE__); return make(std::log(v));
    case method_name::log10: range_error_unless(!(v <= 0), __LINE__); return make(std::log10(v));
    case method_name::pow: {
        const F p = arg(0);
        range_error_unless(!(v == 0 && p < 0), __LINE__);
        const F x = std::pow(v, p);
        range_error_unless(!std::isinf(x), __LINE__);
        return make(x);
    }
    case method_name::sqrt: range_error_unless(!(v < 0), __LINE__); return make(std::sqrt(v));
    case method_name::ceil: return make(std::ceil(v));
    case method_name::abs: return make(std::abs(v));
    case method_name::floor: return make(std::floor(v));
    case method_name::min: return make(std::numeric_limits<F>::min());
    case method_name::max: return make(std::numeric_limits<F>::max());
    case method_name::infinity: return make(std::numeric_limits<F>::infinity());
    case method_name::is_infinity: return make_boolean(std::isinf(v));
    case method_name::fixed:
    case method_name::precision: {
        const bool fixed = m == method_name::fixed;
        const long long digits = whole_argument(m, c.v, 0);
        const long long least = fixed ? 0 : 1;
        if (digits < least || digits > most_digits)
            range_refusal(std::to_string(digits) + " digits are out of range (" + std::to_string(least) + " to " +
                          std::to_string(most_digits) + ")");
        return number_text_of(v, fixed ? std::chars_format::fixed : std::chars_format::general, static_cast<int>(digits));
    }
    case method_name::pad: return pad_method(method_name::pad, c.v, static_cast<std::wstring>(*this));
    default: break;
    }
    no_method(c, function, __LINE__);
}

template value signed_<int>::_method(const method_call<char>&) const;
template value signed_<int>::_method(const method_call<wchar_t>&) const;
template value unsigned_<unsigned int>::_method(const method_call<char>&) const;
template value unsigned_<unsigned int>::_method(const method_call<wchar_t>&) const;
template value real<float>::_method(const method_call<char>&) const;
template value real<float>::_method(const method_call<wchar_t>&) const;
template value real<double>::_method(const method_call<char>&) const;
template value real<double>::_method(const method_call<wchar_t>&) const;

method_signatures signed_<int>::methods() { return signed_rows().signatures(); }
method_signatures unsigned_<unsigned int>::methods() { return unsigned_rows().signatures(); }
template <class F>
method_signatures real<F>::methods()
{
    return real_rows().signatures();
}
template method_signatures real<float>::methods();
template method_signatures real<double>::methods();

} // namespace vorla
