// The built-in methods of int, unsigned int, float and double, dispatched by name and argument count.
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
#include "factor/unsigned_.hpp"

namespace vorla {

namespace {

// An unknown method is an interpreter error, not something a script can catch.
template <class Ch>
[[noreturn]] void no_method(const method_call<Ch>& c, const std::string& function, int line)
{
    throw exception(method_call_text(c), __FILE__, function, line);
}

enum class int_method { abs, max, min, rand };

enum real_method {
    cos_, sin_, tan_, acos_, asin_, atan_, atan2_, cosh_, sinh_, tanh_, exp_, frexp_,
    ldexp_, log_, log10_, pow_, sqrt_, ceil_, abs_, floor_, min_, max_, infinity_, is_infinity_
};

template <class Ch>
const method_table<Ch, int_method>& signed_rows()
{
    static const method_table<Ch, int_method> table({
        {"abs", 0, int_method::abs},
        {"max", 0, int_method::max},
        {"min", 0, int_method::min},
        {"rand", 0, int_method::rand},
    });
    return table;
}

template <class Ch>
const method_table<Ch, int_method>& unsigned_rows()
{
    static const method_table<Ch, int_method> table({
        {"max", 0, int_method::max},
        {"min", 0, int_method::min},
        {"rand", 0, int_method::rand},
    });
    return table;
}

// float and double answer the same rows.
template <class Ch>
const method_table<Ch, real_method>& real_rows()
{
    static const method_table<Ch, real_method> table({
        {"cos", 0, cos_},     {"sin", 0, sin_},       {"tan", 0, tan_},     {"acos", 0, acos_},
        {"asin", 0, asin_},   {"atan", 0, atan_},     {"atan2", 2, atan2_}, {"cosh", 0, cosh_},
        {"sinh", 0, sinh_},   {"tanh", 0, tanh_},     {"exp", 0, exp_},     {"frexp", 1, frexp_},
        {"ldexp", 1, ldexp_}, {"log", 0, log_},       {"log10", 0, log10_}, {"pow", 1, pow_},
        {"sqrt", 0, sqrt_},   {"ceil", 0, ceil_},     {"abs", 0, abs_},     {"floor", 0, floor_},
        {"min", 0, min_},     {"max", 0, max_},       {"infinity", 0, infinity_},
        {"is_infinity", 0, is_infinity_},
    });
    return table;
}

} // namespace

unsigned int random_step(std::uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

unsigned int next_random() { return random_step(context::current().random_state); }

template <class Ch>
value signed_<int>::_method(const method_call<Ch>& c) const
{
    if (const int_method* m = signed_rows<Ch>().find(c)) {
        switch (*m) {
        case int_method::abs:  // the magnitude on the unsigned pattern, so -2^31 stays itself instead of overflowing
            return make(v_ < 0 ? static_cast<int>(0u - static_cast<unsigned int>(v_)) : v_);
        case int_method::max: return make(std::numeric_limits<int>::max());
        case int_method::min: return make(std::numeric_limits<int>::min());
        case int_method::rand: return make(static_cast<int>(next_random()));
        }
    }
    no_method(c, "vorla::signed_<int>::_method", __LINE__);
}

template <class Ch>
value unsigned_<unsigned int>::_method(const method_call<Ch>& c) const
{
    if (const int_method* m = unsigned_rows<Ch>().find(c)) {
        switch (*m) {
        case int_method::max: return make(std::numeric_limits<unsigned int>::max());
        case int_method::min: return make(0u);
        case int_method::rand: return make(next_random());
        case int_method::abs: break;  // not a row of this table
        }
    }
    no_method(c, "vorla::unsigned_<unsigned int>::_method", __LINE__);
}

// Arguments are converted to this class's own precision and the functions computed in it.
template <class F>
template <class Ch>
value real<F>::_method(const method_call<Ch>& c) const
{
    static const std::string function = std::string(real_name<F>::cls) + "::_method";
    const real_method* row = real_rows<Ch>().find(c);
    if (!row) no_method(c, function, __LINE__);

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

    switch (*row) {
    case cos_: return make(std::cos(v));
    case sin_: return make(std::sin(v));
    case tan_: return make(std::tan(v));
    case acos_: range_error_unless(!(v < -1 || v > 1), __LINE__); return make(std::acos(v));
    case asin_: range_error_unless(!(v < -1 || v > 1), __LINE__); return make(std::asin(v));
    case atan_: return make(std::atan(v));
    case atan2_: {
        const F y = arg(0), x = arg(1);
        range_error_unless(!(y == 0 && x == 0), __LINE__);
        return make(std::atan2(y, x));
    }
    case cosh_: return finite_up(std::cosh(v), __LINE__);
    case sinh_: return finite_up(std::sinh(v), __LINE__);
    case tanh_: return make(std::tanh(v));
    case exp_: return finite_up(std::exp(v), __LINE__);
    case frexp_: {
        int e = 0;
        const F m = std::frexp(v, &e);
        c.v[0]->operator=(vorla::make<signed_<int>>(e));  // the argument's own assignment decides
        return make(m);
    }
    case ldexp_: return make(std::ldexp(v, static_cast<int>(*c.v[0])));
    case log_: range_error_unless(!(v <= 0), __LINE__); return make(std::log(v));
    case log10_: range_error_unless(!(v <= 0), __LINE__); return make(std::log10(v));
    case pow_: {
        const F p = arg(0);
        range_error_unless(!(v == 0 && p < 0), __LINE__);
        const F x = std::pow(v, p);
        range_error_unless(!std::isinf(x), __LINE__);
        return make(x);
    }
    case sqrt_: range_error_unless(!(v < 0), __LINE__); return make(std::sqrt(v));
    case ceil_: return make(std::ceil(v));
    case abs_: return make(std::abs(v));
    case floor_: return make(std::floor(v));
    case min_: return make(std::numeric_limits<F>::min());
    case max_: return make(std::numeric_limits<F>::max());
    case infinity_: return make(std::numeric_limits<F>::infinity());
    case is_infinity_: return make_boolean(std::isinf(v));
    }
    no_method(c, function, __LINE__);  // unreachable: every row has a case
}

template value signed_<int>::_method(const method_call<char>&) const;
template value signed_<int>::_method(const method_call<wchar_t>&) const;
template value unsigned_<unsigned int>::_method(const method_call<char>&) const;
template value unsigned_<unsigned int>::_method(const method_call<wchar_t>&) const;
template value real<float>::_method(const method_call<char>&) const;
template value real<float>::_method(const method_call<wchar_t>&) const;
template value real<double>::_method(const method_call<char>&) const;
template value real<double>::_method(const method_call<wchar_t>&) const;

method_signatures signed_<int>::methods() { return signed_rows<char>().signatures(); }
method_signatures unsigned_<unsigned int>::methods() { return unsigned_rows<char>().signatures(); }
template <class F>
method_signatures real<F>::methods()
{
    return real_rows<char>().signatures();
}
template method_signatures real<float>::methods();
template method_signatures real<double>::methods();

} // namespace vorla
