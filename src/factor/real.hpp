// The script's float and double: one floating-point number with the mathematical built-in methods.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "factor/factor.hpp"
#include "factor/method_table.hpp"

namespace vorla {

// How diagnostics and type ids name the two floating-point instantiations.
template <class F>
struct real_name;
template <>
struct real_name<float> {
    static constexpr const char* cls = "vorla::real<float>";
    static constexpr const char* type = "float";
    static constexpr type_id_t id = tid::float_;
};
template <>
struct real_name<double> {
    static constexpr const char* cls = "vorla::real<double>";
    static constexpr const char* type = "double";
    static constexpr type_id_t id = tid::double_;
};

// a op b by the floating-point rules: float computes in double and rounds the result back, double simply
// computes in double; a zero divisor gives an infinity or NaN, never an error. The one place real
// arithmetic happens, for the value classes and the vm alike.
template <class F>
inline F real_result(arith op, F a, F b)
{
    const double x = a, y = b;
    switch (op) {
    case arith::add: return static_cast<F>(x + y);
    case arith::sub: return static_cast<F>(x - y);
    case arith::mul: return static_cast<F>(x * y);
    case arith::div: return static_cast<F>(x / y);
    case arith::mod: break;
    }
    return static_cast<F>(std::fmod(x, y));
}

// The 32 bits a real converts to as an int or unsigned int: truncation toward zero into 64 bits (NaN as
// 0, the out-of-range clamped, so no input is undefined), then the low 32 bits.
template <class F>
inline std::uint32_t real_bits(F x)
{
    constexpr double limit = 9223372036854775808.0;  // 2^63
    std::uint64_t v;
    if (std::isnan(x)) v = 0;
    else if (x >= limit) v = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    else if (x < -limit) v = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
    else v = static_cast<std::uint64_t>(static_cast<std::int64_t>(x));
    return static_cast<std::uint32_t>(v);
}

template <class F>
class real : public factor {
    static_assert(std::is_same_v<F, float> || std::is_same_v<F, double>);

public:
    explicit real(F x = 0) : v_(x) {}

    void call_constructor(const value& v) override { v_ = operand(v); }
    void call_constructor() override { v_ = 0; }
    value operator+(const value& r) const override;
    value operator-() const override;
    value operator-(const value& r) const override;
    value operator*(const value& r) const override;
    value operator/(const value& r) const override;
    value operator%(const value& r) const override;
    value operator&&(const value& r) const override;
    value operator||(const value& r) const override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    value operator>=(const value& r) const override;
    value operator<=(const value& r) const override;
    value operator>(const value& r) const override;
    value operator<(const value& r) const override;
    void operator=(const value& r) override { v_ = operand(r); }
    bool test_relation(relation op, const value& r, bool& out) const override
    {
        out = this->holds(op, r);
        return true;
    }
    bool operate_in_place(arith op, const value& r) override
    {
        v_ = result(op, r);
        return true;
    }
    void operator++() override;
    void operator--() override;
    value operator!() const override;
    explicit operator bool() const override { return v_ != 0; }
    explicit operator unsigned int() const override;
    explicit operator int() const override;
    explicit operator float() const override { return static_cast<float>(v_); }
    explicit operator double() const override { return static_cast<double>(v_); }
    explicit operator std::string() const override;
    explicit operator std::wstring() const override;
    void append_wide(std::wstring& out) const override;
    value method(const method_call<wchar_t>& c) override { return _method(c); }
    value method(const method_call<char>& c) override { return _method(c); }
    type_id_t type_id() const override { return real_name<F>::id; }
    value clone() const override { return make(v_); }
    void hash(std::uint32_t& seed) const override;
    bool equal(const value& other) const override;
    std::string describe() const override;
    std::wostream& write_ostream(std::wostream& os) const override;
    std::ostream& write_ostream(std::ostream& os) const override;
    std::wistream& read_istream(std::wistream& is) override;
    std::istream& read_istream(std::istream& is) override;

    F get() const { return v_; }
    void set(F x) { v_ = x; }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

protected:
    VORLA_SITE(real_name<F>::cls)

private:
    static value make(F x);
    // The right operand, through its own conversion to this class's payload type.
    static F operand(const value& r) { return static_cast<F>(*r); }
    // v_ op r: the one place real arithmetic happens, in place or into a new value.
    F result(arith op, const value& r) const;
    // v_ op r for the comparisons and logical operators: the one place they are answered.
    bool holds(relation op, const value& r) const;
    template <class Ch>
    value _method(const method_call<Ch>& c) const;

    F v_;
};

// The value as a script double when its class is exactly that one, else nullptr (see exact_int).
inline real<double>* exact_double(const value& v) noexcept
{
    factor& f = *v;
    return &typeid(f) == &typeid(real<double>) ? static_cast<real<double>*>(&f) : nullptr;
}

extern template class real<float>;
extern template class real<double>;

} // namespace vorla
