// The script's nil: a boolean that is always false and refuses to become anything else.
#pragma once

#include "factor/boolean.hpp"

namespace vorla {

class nil : public boolean {
public:
    nil() : boolean(false) {}

    void call_constructor(const value& v) override { refuse("call_constructor", v); }
    // nil decides && alone and never asks the right operand anything.
    value operator&&(const value&) const override { return make_boolean(false); }
    value operator||(const value& r) const override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    void operator=(const value& r) override { refuse("operator =", r); }
    value operator!() const override { return make_boolean(true); }
    type_id_t type_id() const override { return tid::nil; }
    value clone() const override { return make<nil>(); }
    void hash(std::uint32_t& seed) const override { hash_combine(seed, 0u); }
    bool equal(const value& other) const override { return other->type_id() == tid::nil; }
    std::string describe() const override { return "nil()"; }
    std::wistream& read_istream(std::wistream&) override { refuse("read_istream"); }
    std::istream& read_istream(std::istream&) override { refuse("read_istream"); }

protected:
    VORLA_SITE("vorla::nil")
};

} // namespace vorla
