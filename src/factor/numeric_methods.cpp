// The built-in methods of int, unsigned int, float and double, dispatched by name and argument count.
#include <boost/functional/hash.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "factor/boolean.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/unsigned_.hpp"

namespace vorla {

namespace {

struct method_row {
    const char* name;
    std::size_t argc;
};

// (name, argument count) -> row number, keyed by narrow or wide names; built once per class and name kind.
template <class Ch>
class method_table {
    using text = std::basic_string<Ch>;
    struct key {
        text name;
        std::size_t argc;
        bool operator==(const key&) const = default;
    };
    struct key_hash {
        std::size_t operator()(const key& k) const
        {
            auto seed = static_cast<std::uint32_t>(boost::hash<text>()(k.name));
            hash_combine(seed, static_cast<std::uint32_t>(k.argc));
            return seed;
        }
    };

public:
    template <std::size_t N>
    explicit method_table(const method_row (&rows)[N])
    {
        for (std::size_t i = 0; i < N; ++i) {
            const std::string name = rows[i].name;
            rows_.emplace(key{text(name.begin(), name.end()), rows[i].argc}, static_cast<int>(i));
        }
    }

    // The row number of a call, or -1 when the class has no such method.
    int find(const method_call<Ch>& c) const
    {
        auto it = rows_.find(key{c.name, c.v.size()});
        return it == rows_.end() ? -1 : it->second;
    }

private:
    std::unordered_map<key, int, key_hash> rows_;
};

std::string name_text(const std::string& name) { return name; }
std::string name_text(const std::wstring& name) { return narrow(name); }

// An unknown method is an interpreter error, not something a script can catch.
template <class Ch>
[[noreturn]] void no_method(const method_call<Ch>& c, const std::string& function, int line)
{
    throw exception(call_text(name_text(c.name), c.v), __FILE__, function, line);
}

constexpr method_row signed_rows[] = {{"abs", 0}, {"max", 0}, {"min", 0}, {"rand", 0}};
constexpr method_row unsigned_rows[] = {{"max", 0}, {"min", 0}, {"rand", 0}};

enum real_method {
    cos_, sin_, tan_, acos_, asin_, atan_, atan2_, cosh_, sinh_, tanh_, exp_, frexp_,
    ldexp_, log_, log10_, pow_, sqrt_, ceil_, abs_, floor_, min_, max_, infinity_, is_infinity_
};
constexpr method_row real_rows[] = {
    {"cos", 0},   {"sin", 0},   {"tan", 0},  {"acos", 0}, {"asin", 0},  {"atan", 0},
    {"atan2", 2}, {"cosh", 0},  {"sinh", 0}, {"tanh", 0}, {"exp", 0},   {"frexp", 1},
    {"ldexp", 1}, {"log", 0},   {"log10", 0}, {"pow", 1}, {"sqrt", 0},  {"ceil", 0},
    {"abs", 0},   {"floor", 0}, {"min", 0},  {"max", 0},  {"infinity", 0}, {"is_infinity", 0},
};
static_assert(std::size(real_rows) == is_infinity_ + 1);

} // namespace

unsigned int random_step(std::uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

unsigned int next_random()
{
    static std::uint32_t state = 1;
    return random_step(state);
}

template <class Ch>
value signed_<int>::_method(const method_call<Ch>& c) const
{
    static const method_table<Ch> table(signed_rows);
    switch (table.find(c)) {
    case 0:  // the magnitude on the unsigned pattern, so -2^31 stays itself instead of overflowing
        return make(v_ < 0 ? static_cast<int>(0u - static_cast<unsigned int>(v_)) : v_);
    case 1: return make(std::numeric_limits<int>::max());
    case 2: return make(std::numeric_limits<int>::min());
    case 3: return make(static_cast<int>(next_random()));
    }
    no_method(c, "vorla::signed_<int>::_method", __LINE__);
}

template <class Ch>
value unsigned_<unsigned int>::_method(const method_call<Ch>& c) const
{
    static const method_table<Ch> table(unsigned_rows);
    switch (table.find(c)) {
    case 0: return make(std::numeric_limits<unsigned int>::max());
    case 1: return make(0u);
    case 2: return make(next_random());
    }
    no_method(c, "vorla::unsigned_<unsigned int>::_method", __LINE__);
}

// Arguments are converted to this class's own precision and the functions computed in it.
template <class F>
template <class Ch>
value real<F>::_method(const method_call<Ch>& c) const
{
    static const method_table<Ch> table(real_rows);
    static const std::string function = std::string(real_name<F>::cls) + "::_method";
    const int row = table.find(c);
    if (row < 0) no_method(c, function, __LINE__);

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

    switch (static_cast<real_method>(row)) {
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
        c.v[0]->operator=(std::make_shared<signed_<int>>(e));  // the argument's own assignment decides
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

} // namespace vorla
