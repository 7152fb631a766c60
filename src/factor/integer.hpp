// The 32-bit integer values: integer<T> does all the arithmetic for both signed_ and unsigned_.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "factor/factor.hpp"

namespace vorla {

// How diagnostics name the two integer instantiations.
template <class T>
struct integer_name;
template <>
struct integer_name<int> {
    static constexpr const char* cls = "vorla::integer<int>";
};
template <>
struct integer_name<unsigned int> {
    static constexpr const char* cls = "vorla::integer<unsigned int>";
};

// A zero divisor, or the one int quotient that does not fit (-2^31 / -1), as the script range_error that
// integer<T>'s operator / or % reports (scalars.cpp). Out of line: it is never on the way of a result.
template <class T>
[[noreturn]] void refuse_divisor(arith op, T divisor);

// Whether a / b and a % b have an answer: b is not zero, and for int the quotient -2^31 / -1 does not
// overflow.
template <class T>
constexpr bool divisor_fits(T a, T b)
{
    if constexpr (std::is_signed_v<T>)
        if (a == std::numeric_limits<T>::min() && b == -1) return false;
    return b != 0;
}

// a op b by the integer rules: wrap-around on the 32 bits, division and remainder toward zero, a zero
// divisor (and -2^31 / -1 for int) refused. The one place integer arithmetic happens: the integer
// classes' operators and the operator nodes' path for two ints both compute here, so their answers and
// refusals cannot differ.
template <class T>
inline T integer_result(arith op, T a, T b)
{
    // Wrap-around is done on the unsigned pattern, where overflow is defined.
    using U = std::make_unsigned_t<T>;
    switch (op) {
    case arith::add: return static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
    case arith::sub: return static_cast<T>(static_cast<U>(a) - static_cast<U>(b));
    case arith::mul: return static_cast<T>(static_cast<U>(a) * static_cast<U>(b));
    case arith::div:
    case arith::mod: break;
    }
    if (!divisor_fits(a, b)) [[unlikely]]
        refuse_divisor(op, b);
    return op == arith::div ? a / b : a % b;
}

template <class T>
class integer : public factor {
    static_assert(std::is_same_v<T, int> || std::is_same_v<T, unsigned int>);

public:
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
    explicit operator unsigned int() const override { return static_cast<unsigned int>(v_); }
    explicit operator int() const override { return static_cast<int>(v_); }  // the same 32 bits
    explicit operator float() const override { return static_cast<float>(v_); }
    explicit operator double() const override { return static_cast<double>(v_); }
    explicit operator std::string() const override;
    explicit operator std::wstring() const override;
    void append_wide(std::wstring& out) const override;
    void hash(std::uint32_t& seed) const override { hash_combine(seed, static_cast<std::uint32_t>(v_)); }
    bool equal(const value& other) const override;
    std::wostream& write_ostream(std::wostream& os) const override;
    std::ostream& write_ostream(std::ostream& os) const override;
    std::wistream& read_istream(std::wistream& is) override;
    std::istream& read_istream(std::istream& is) override;

    // A new value of the concrete class holding n; every result of this class's own type is made here.
    virtual value make(T n) const = 0;

    T get() const { return v_; }
    void set(T n) { v_ = n; }

protected:
    explicit integer(T n) : v_(n) {}
    VORLA_SITE(integer_name<T>::cls)

    // The right operand, through its own conversion to this class's payload type.
    static T operand(const value& r) { return static_cast<T>(*r); }
    // v_ op r, in place or into a new value.
    T result(arith op, const value& r) const { return integer_result(op, v_, operand(r)); }
    // v_ op r for the comparisons and logical operators: the one place they are answered.
    bool holds(relation op, const value& r) const;

    T v_;
};

extern template class integer<int>;
extern template class integer<unsigned int>;

// The interpreter's own pseudo-random generator, the same on every platform and never seeded: one step
// of it on the given state (each interpreter keeps its own, context::random_state).
unsigned int random_step(std::uint32_t& state);

} // namespace vorla
