// The script's unsigned int: an unsigned 32-bit integer with max/min/rand methods.
#pragma once

#include <memory>
#include <string>
#include <typeinfo>

#include "factor/integer.hpp"
#include "factor/method_table.hpp"

namespace vorla {

template <class T>
class unsigned_;

template <>
class unsigned_<unsigned int> final : public integer<unsigned int> {
public:
    explicit unsigned_(unsigned int n = 0) : integer<unsigned int>(n) {}

    value method(const method_call<wchar_t>& c) override { return _method(c); }
    value method(const method_call<char>& c) override { return _method(c); }
    type_id_t type_id() const override { return tid::unsigned_; }
    value clone() const override { return make(v_); }
    std::string describe() const override { return "unsigned(" + detail::format_number(v_) + ")"; }
    value make(unsigned int n) const override { return vorla::make<unsigned_<unsigned int>>(n); }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

private:
    template <class Ch>
    value _method(const method_call<Ch>& c) const;
};

// The value as a script unsigned int when its class is exactly that one, else nullptr (see exact_int).
inline unsigned_<unsigned int>* exact_unsigned(const value& v) noexcept
{
    factor& f = *v;
    return &typeid(f) == &typeid(unsigned_<unsigned int>) ? static_cast<unsigned_<unsigned int>*>(&f) : nullptr;
}

} // namespace vorla
