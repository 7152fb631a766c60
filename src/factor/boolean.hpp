// The script's bool value: one truth value that converts to 1 or 0 wherever a number is wanted.
#pragma once

#include "factor/factor.hpp"

namespace vorla {

class boolean : public factor {
public:
    explicit boolean(bool b = false) : b_(b) {}
    void set(bool b) { b_ = b; }

    void call_constructor(const value& v) override;
    void call_constructor() override;
    // Refused here, not left to factor: nil inherits these and must still report them under boolean's name.
    value operator+(const value& r) const override { throw VORLA_EXCEPTION("vorla::boolean::operator +", r->describe()); }
    value operator-(const value& r) const override { throw VORLA_EXCEPTION("vorla::boolean::operator -", r->describe()); }
    value operator*(const value& r) const override { throw VORLA_EXCEPTION("vorla::boolean::operator *", r->describe()); }
    value operator&&(const value& r) const override;
    value operator||(const value& r) const override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    void operator=(const value& r) override;
    value operator!() const override;
    explicit operator bool() const override { return b_; }
    explicit operator unsigned int() const override { return b_ ? 1u : 0u; }
    explicit operator int() const override { return b_ ? 1 : 0; }
    explicit operator float() const override { return b_ ? 1.0f : 0.0f; }
    explicit operator double() const override { return b_ ? 1.0 : 0.0; }
    explicit operator std::string() const override { return b_ ? "1" : "0"; }
    explicit operator std::wstring() const override { return b_ ? L"1" : L"0"; }
    type_id_t type_id() const override { return tid::boolean; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override { hash_combine(seed, b_ ? 1u : 0u); }
    bool equal(const value& other) const override;
    std::string describe() const override { return b_ ? "bool(1)" : "bool(0)"; }
    std::wostream& write_ostream(std::wostream& os) const override;
    std::ostream& write_ostream(std::ostream& os) const override;
    std::wistream& read_istream(std::wistream& is) override;
    std::istream& read_istream(std::istream& is) override;

protected:
    VORLA_SITE("vorla::boolean")
    bool b_;
};

// The value as a script bool when its class is exactly that one (not nil, which derives from it), else
// nullptr (see exact_int).
inline boolean* exact_bool(const value& v) noexcept
{
    factor& f = *v;
    return &typeid(f) == &typeid(boolean) ? static_cast<boolean*>(&f) : nullptr;
}

// A new boolean handle: what every comparison and logical operator yields.
inline value make_boolean(bool b) { return make<boolean>(b); }

} // namespace vorla
