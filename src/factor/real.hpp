// The script's float and double: one floating-point number with the mathematical built-in methods.
#pragma once

#include <cstdint>
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

extern template class real<float>;
extern template class real<double>;

} // namespace vorla
