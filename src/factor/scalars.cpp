// The scalar values: boolean and nil, the 32-bit integers and the floating-point numbers.
#include <boost/functional/hash.hpp>
#include <charconv>
#include <cmath>
#include <functional>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>

#include "factor/boolean.hpp"
#include "factor/integer.hpp"
#include "factor/nil.hpp"
#include "factor/number_text.hpp"
#include "factor/real.hpp"

namespace vorla {

namespace {
// Plain text of a number as a fresh string stream under the global locale writes it.
template <class S, class T>
std::basic_string<typename S::char_type> to_text(T v)
{
    S os;
    os.imbue(text_locale());
    os << v;
    return os.str();
}

template <class T>
std::wstring wide_text(T v)
{
    std::wstring out;
    number_text::append_wide(out, v);
    return out;
}

// A bool reads as the digit 0 or 1. On a failed extraction the stream zeroes its target; the value must
// keep its old content instead. (Numbers read by the longest-prefix rule of number_text.hpp.)
template <class Is, class T>
Is& extract(Is& is, T& v)
{
    T read{};
    if (is >> read) v = read;
    return is;
}

} // namespace

// ---- boolean and nil

void boolean::call_constructor(const value& v) { operator=(v); }
void boolean::call_constructor() { b_ = false; }
// The right operand is converted only when the left one leaves the answer open.
value boolean::operator&&(const value& r) const { return make_boolean(b_ && static_cast<bool>(*r)); }
value boolean::operator||(const value& r) const { return make_boolean(b_ || static_cast<bool>(*r)); }
value boolean::operator==(const value& r) const { return make_boolean(b_ == static_cast<bool>(*r)); }
value boolean::operator!=(const value& r) const { return make_boolean(b_ != static_cast<bool>(*r)); }
void boolean::operator=(const value& r) { b_ = static_cast<bool>(*r); }
value boolean::operator!() const { return make_boolean(!b_); }
value boolean::clone() const { return make<boolean>(b_); }
bool boolean::equal(const value& other) const
{
    return other->type_id() == type_id() && static_cast<bool>(*other) == b_;
}
std::wostream& boolean::write_ostream(std::wostream& os) const { return os << (b_ ? 1 : 0); }
std::ostream& boolean::write_ostream(std::ostream& os) const { return os << (b_ ? 1 : 0); }
std::wistream& boolean::read_istream(std::wistream& is) { return extract(is, b_); }
std::istream& boolean::read_istream(std::istream& is) { return extract(is, b_); }

value nil::operator||(const value& r) const { return make_boolean(static_cast<bool>(*r)); }
value nil::operator==(const value& r) const { return make_boolean(!static_cast<bool>(*r)); }
value nil::operator!=(const value& r) const { return make_boolean(static_cast<bool>(*r)); }

// ---- integers

template <class T>
void refuse_divisor(arith op, T divisor)
{
    throw_range_error(__FILE__, std::string(integer_name<T>::cls) + (op == arith::div ? "::operator /" : "::operator %"),
                      __LINE__, divisor == 0 ? "division by zero" : "the quotient does not fit in int");
}
template void refuse_divisor(arith, int);
template void refuse_divisor(arith, unsigned int);

template <class T>
value integer<T>::operator+(const value& r) const { return make(result(arith::add, r)); }
template <class T>
value integer<T>::operator-() const { return make(integer_result(arith::sub, T(0), v_)); }
template <class T>
value integer<T>::operator-(const value& r) const { return make(result(arith::sub, r)); }
template <class T>
value integer<T>::operator*(const value& r) const { return make(result(arith::mul, r)); }
template <class T>
value integer<T>::operator/(const value& r) const { return make(result(arith::div, r)); }
template <class T>
value integer<T>::operator%(const value& r) const { return make(result(arith::mod, r)); }
// The right operand is converted only when the left one leaves the answer open.
template <class T>
bool integer<T>::holds(relation op, const value& r) const
{
    return numeric_relation(op, v_, [&] { return operand(r); });
}
template <class T>
value integer<T>::operator&&(const value& r) const { return make_boolean(holds(relation::and_, r)); }
template <class T>
value integer<T>::operator||(const value& r) const { return make_boolean(holds(relation::or_, r)); }
template <class T>
value integer<T>::operator==(const value& r) const { return make_boolean(holds(relation::eq, r)); }
template <class T>
value integer<T>::operator!=(const value& r) const { return make_boolean(holds(relation::ne, r)); }
template <class T>
value integer<T>::operator>=(const value& r) const { return make_boolean(holds(relation::ge, r)); }
template <class T>
value integer<T>::operator<=(const value& r) const { return make_boolean(holds(relation::le, r)); }
template <class T>
value integer<T>::operator>(const value& r) const { return make_boolean(holds(relation::gt, r)); }
template <class T>
value integer<T>::operator<(const value& r) const { return make_boolean(holds(relation::lt, r)); }
template <class T>
void integer<T>::operator++() { v_ = integer_result(arith::add, v_, T(1)); }
template <class T>
void integer<T>::operator--() { v_ = integer_result(arith::sub, v_, T(1)); }
template <class T>
value integer<T>::operator!() const { return make_boolean(v_ == 0); }
template <class T>
integer<T>::operator std::string() const { return to_text<std::ostringstream>(v_); }
template <class T>
integer<T>::operator std::wstring() const { return wide_text(v_); }
template <class T>
void integer<T>::append_wide(std::wstring& out) const { number_text::append_wide(out, v_); }
template <class T>
bool integer<T>::equal(const value& other) const
{
    return other->type_id() == type_id() && static_cast<T>(*other) == v_;
}
template <class T>
std::wostream& integer<T>::write_ostream(std::wostream& os) const { return os << v_; }
template <class T>
std::ostream& integer<T>::write_ostream(std::ostream& os) const { return os << v_; }
template <class T>
std::wistream& integer<T>::read_istream(std::wistream& is) { return number_text::read(is, v_); }
template <class T>
std::istream& integer<T>::read_istream(std::istream& is) { return number_text::read(is, v_); }

template class integer<int>;
template class integer<unsigned int>;

// ---- reals

template <class F>
value real<F>::make(F x) { return vorla::make<real<F>>(x); }

// IEEE rules: a zero divisor gives an infinity or NaN, never an error.
template <class F>
F real<F>::result(arith op, const value& r) const
{
    return real_result(op, v_, operand(r));
}

template <class F>
value real<F>::operator+(const value& r) const { return make(result(arith::add, r)); }
template <class F>
value real<F>::operator-() const { return make(-v_); }
template <class F>
value real<F>::operator-(const value& r) const { return make(result(arith::sub, r)); }
template <class F>
value real<F>::operator*(const value& r) const { return make(result(arith::mul, r)); }
template <class F>
value real<F>::operator/(const value& r) const { return make(result(arith::div, r)); }
template <class F>
value real<F>::operator%(const value& r) const { return make(result(arith::mod, r)); }
// The right operand is converted only when the left one leaves the answer open.
template <class F>
bool real<F>::holds(relation op, const value& r) const
{
    return numeric_relation(op, v_, [&] { return operand(r); });
}
template <class F>
value real<F>::operator&&(const value& r) const { return make_boolean(holds(relation::and_, r)); }
template <class F>
value real<F>::operator||(const value& r) const { return make_boolean(holds(relation::or_, r)); }
template <class F>
value real<F>::operator==(const value& r) const { return make_boolean(holds(relation::eq, r)); }
template <class F>
value real<F>::operator!=(const value& r) const { return make_boolean(holds(relation::ne, r)); }
template <class F>
value real<F>::operator>=(const value& r) const { return make_boolean(holds(relation::ge, r)); }
template <class F>
value real<F>::operator<=(const value& r) const { return make_boolean(holds(relation::le, r)); }
template <class F>
value real<F>::operator>(const value& r) const { return make_boolean(holds(relation::gt, r)); }
template <class F>
value real<F>::operator<(const value& r) const { return make_boolean(holds(relation::lt, r)); }
template <class F>
void real<F>::operator++() { v_ = real_result(arith::add, v_, F(1)); }
template <class F>
void real<F>::operator--() { v_ = real_result(arith::sub, v_, F(1)); }
template <class F>
value real<F>::operator!() const { return make_boolean(v_ == 0); }
template <class F>
real<F>::operator unsigned int() const { return real_bits(v_); }
template <class F>
real<F>::operator int() const { return static_cast<int>(real_bits(v_)); }
template <class F>
real<F>::operator std::string() const { return to_text<std::ostringstream>(v_); }
template <class F>
real<F>::operator std::wstring() const { return wide_text(v_); }
template <class F>
void real<F>::append_wide(std::wstring& out) const { number_text::append_wide(out, v_); }
// Both zeros hash alike because they compare equal.
template <class F>
void real<F>::hash(std::uint32_t& seed) const
{
    hash_combine(seed, v_ == 0 ? 0u : static_cast<std::uint32_t>(boost::hash<F>()(v_)));
}
template <class F>
bool real<F>::equal(const value& other) const
{
    return other->type_id() == type_id() && static_cast<F>(*other) == v_;
}
template <class F>
std::string real<F>::describe() const
{
    return std::string(real_name<F>::type) + "(" + detail::format_number(v_) + ")";
}
template <class F>
std::wostream& real<F>::write_ostream(std::wostream& os) const { return os << v_; }
template <class F>
std::ostream& real<F>::write_ostream(std::ostream& os) const { return os << v_; }
template <class F>
std::wistream& real<F>::read_istream(std::wistream& is) { return number_text::read(is, v_); }
template <class F>
std::istream& real<F>::read_istream(std::istream& is) { return number_text::read(is, v_); }

template class real<float>;
template class real<double>;

} // namespace vorla
