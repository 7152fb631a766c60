// The script's int: a signed 32-bit integer with abs/max/min/rand methods.
#pragma once

#include <memory>
#include <string>
#include <typeinfo>

#include "factor/integer.hpp"
#include "factor/method_table.hpp"

namespace vorla {

template <class T>
class signed_;

template <>
class signed_<int> final : public integer<int> {
public:
    explicit signed_(int n = 0) : integer<int>(n) {}

    value method(const method_call<wchar_t>& c) override { return _method(c); }
    value method(const method_call<char>& c) override { return _method(c); }
    type_id_t type_id() const override { return tid::signed_; }
    value clone() const override { return make(v_); }
    std::string describe() const override { return "int(" + detail::format_number(v_) + ")"; }
    value make(int n) const override { return vorla::make<signed_<int>>(n); }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

private:
    template <class Ch>
    value _method(const method_call<Ch>& c) const;
};

// The value as a script int when its class is exactly that one, else nullptr: the operators' path for
// two ints asks this of every operand, so it is a load and a compare of the class's type_info address,
// with no virtual call. (Were that type_info ever duplicated, an int would merely miss the fast path.)
inline signed_<int>* exact_int(const value& v) noexcept
{
    factor& f = *v;
    return &typeid(f) == &typeid(signed_<int>) ? static_cast<signed_<int>*>(&f) : nullptr;
}

} // namespace vorla
