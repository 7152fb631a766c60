// The type-id value: a script's handle on a value's type, compared with == and !=.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "factor/boolean.hpp"
#include "factor/factor.hpp"

namespace vorla {

class typeid_ : public factor {
public:
    typeid_() = default;
    explicit typeid_(type_id_t id) : id_(id) {}

    void call_constructor(const value& v) override { id_ = v->type_id(); }
    void call_constructor() override { id_ = 0; }
    value operator==(const value& r) const override { return make<boolean>(equal(r)); }
    value operator!=(const value& r) const override { return make<boolean>(!equal(r)); }

    explicit operator bool() const override { return id_ != 0; }
    explicit operator unsigned int() const override { return id_; }
    explicit operator int() const override { return static_cast<int>(id_); }
    explicit operator float() const override { return static_cast<float>(id_); }
    explicit operator double() const override { return static_cast<double>(id_); }
    explicit operator std::string() const override { return detail::format_number(id_); }
    explicit operator std::wstring() const override
    {
        std::wostringstream os;
        os.imbue(text_locale());
        os << id_;
        return os.str();
    }

    type_id_t type_id() const override { return tid::typeid_; }
    value clone() const override { return make<typeid_>(id_); }
    void hash(std::uint32_t& seed) const override { hash_combine(seed, id_); }
    bool equal(const value& other) const override
    {
        if (other->type_id() != type_id()) return false;
        const auto* o = dynamic_cast<const typeid_*>(other.get());
        return o && o->id_ == id_;
    }
    std::string describe() const override { return "typeid(" + detail::format_number(id_) + ")"; }

    type_id_t id() const { return id_; }

protected:
    VORLA_SITE("vorla::typeid_")

private:
    type_id_t id_ = 0;
};

} // namespace vorla
