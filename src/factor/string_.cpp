// The string value's operations and its built-in methods.
#include "factor/string_.hpp"

#include <algorithm>
#include <istream>
#include <memory>
#include <ostream>

#include <boost/regex.hpp>

#include "factor/boolean.hpp"
#include "factor/method_table.hpp"
#include "factor/number_text.hpp"
#include "factor/unsigned_.hpp"

namespace vorla {

namespace {

// The operand side of every binary operation is its own wide text, whatever its type.
std::wstring wide_text(const value& v) { return static_cast<std::wstring>(*v); }

template <class Ch, class T>
T read_number(const std::basic_string<Ch>& text)
{
    // No number at the front gives 0, one too large the type's limit.
    return number_text::parse<T>(text).value;
}

} // namespace

template <class Ch>
void string_<Ch>::call_constructor(const value& v)
{
    text_ = wide_text(v);
    hash_code_ = 0;
}

template <class Ch>
void string_<Ch>::operator=(const value& r)
{
    text_ = wide_text(r);
    hash_code_ = 0;
}

template <class Ch>
bool string_<Ch>::operate_in_place(arith op, const value& r)
{
    if (op != arith::add) return false;
    r->append_wide(text_);
    hash_code_ = 0;
    return true;
}

template <class Ch>
value string_<Ch>::operator+(const value& r) const
{
    // Room for the text and a number's digits up front: the common join grows no further.
    text_type joined;
    joined.reserve(text_.size() + 24);
    joined += text_;
    r->append_wide(joined);
    return make<string_>(std::move(joined));
}

template <class Ch>
int string_<Ch>::compare(const value& r) const
{
    // A string operand is compared where it is; any other through its text.
    if (const string_* s = as_string(r)) return compare(s->text_);
    return compare(wide_text(r));
}

template <class Ch>
int string_<Ch>::compare(const text_type& other) const
{
    const std::size_t n = std::min(text_.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<std::uint32_t>(text_[i]);
        const auto b = static_cast<std::uint32_t>(other[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (text_.size() == other.size()) return 0;
    return text_.size() < other.size() ? -1 : 1;
}

template <class Ch>
bool string_<Ch>::test_relation(relation op, const value& r, bool& out) const
{
    if (op == relation::and_ || op == relation::or_) return false;  // refused by the slots
    const int c = compare(r);
    switch (op) {
    case relation::eq: out = c == 0; break;
    case relation::ne: out = c != 0; break;
    case relation::gt: out = c > 0; break;
    case relation::lt: out = c < 0; break;
    case relation::ge: out = c >= 0; break;
    default: out = c <= 0; break;
    }
    return true;
}

template <class Ch>
value string_<Ch>::ordered(relation op, const value& r) const
{
    bool out = false;
    test_relation(op, r, out);
    return make<boolean>(out);
}
template <class Ch>
value string_<Ch>::operator==(const value& r) const { return ordered(relation::eq, r); }
template <class Ch>
value string_<Ch>::operator!=(const value& r) const { return ordered(relation::ne, r); }
template <class Ch>
value string_<Ch>::operator>=(const value& r) const { return ordered(relation::ge, r); }
template <class Ch>
value string_<Ch>::operator<=(const value& r) const { return ordered(relation::le, r); }
template <class Ch>
value string_<Ch>::operator>(const value& r) const { return ordered(relation::gt, r); }
template <class Ch>
value string_<Ch>::operator<(const value& r) const { return ordered(relation::lt, r); }

template <class Ch>
string_<Ch>::operator unsigned int() const
{
    return read_number<Ch, unsigned int>(text_);
}
template <class Ch>
string_<Ch>::operator int() const
{
    return read_number<Ch, int>(text_);
}
template <class Ch>
string_<Ch>::operator float() const
{
    return read_number<Ch, float>(text_);
}
template <class Ch>
string_<Ch>::operator double() const
{
    return read_number<Ch, double>(text_);
}
template <class Ch>
string_<Ch>::operator std::string() const
{
    // Strings have no narrow form of their own: the interface's "undefined" stands.
    undefined(opname::to_string);
}
template <class Ch>
string_<Ch>::operator std::wstring() const
{
    return text_;
}

template <class Ch>
const method_table& string_<Ch>::method_rows()
{
    static constexpr method_table table({
        {method_name::empty, 0},
        {method_name::size, 0},
        {method_name::at, 1},
        {method_name::match, 1},
    });
    return table;
}

template <class Ch>
method_signatures string_<Ch>::methods()
{
    return method_rows().signatures();
}

template <class Ch>
template <class Name>
value string_<Ch>::dispatch(const method_call<Name>& c)
{
    if (value out = answer(method_rows().find(c), c.v)) return out;
    refuse("_method", method_call_text(c));
}

template <class Ch>
value string_<Ch>::builtin_method(method_name m, arg_span v)
{
    return method_rows().has(m, v.size()) ? answer(m, v) : value();
}

template <class Ch>
[[gnu::always_inline]] inline value string_<Ch>::answer(method_name m, arg_span v)
{
    switch (m) {
    case method_name::empty: return m_empty(v);
    case method_name::size: return m_size(v);
    case method_name::at: return m_at(v);
    case method_name::match: return m_match(v);
    default: break;
    }
    return value();
}

template <class Ch>
value string_<Ch>::method(const method_call<wchar_t>& c)
{
    return dispatch(c);
}
template <class Ch>
value string_<Ch>::method(const method_call<char>& c)
{
    return dispatch(c);
}

template <class Ch>
value string_<Ch>::m_empty(arg_span)
{
    return make<boolean>(text_.empty());
}

template <class Ch>
value string_<Ch>::m_size(arg_span)
{
    return make<unsigned_<unsigned int>>(static_cast<unsigned int>(text_.size()));
}

template <class Ch>
value string_<Ch>::m_at(arg_span v)
{
    const auto index = static_cast<unsigned int>(*v[0]);
    if (index >= text_.size())
        throw_range_error(__FILE__, "vorla::string_<wchar_t>::_method", __LINE__,
                          "string index " + std::to_string(index) + " is out of range (length " +
                              std::to_string(text_.size()) + ")");
    return make<string_>(text_type(1, text_[index]));
}

template <class Ch>
value string_<Ch>::m_match(arg_span v)
{
    // Compiled anew on every call; a pattern the library rejects surfaces as its own error, a diagnostic.
    const boost::basic_regex<Ch> pattern(wide_text(v[0]));
    return make<boolean>(boost::regex_match(text_, pattern));
}

template <class Ch>
value string_<Ch>::clone() const
{
    return make<string_>(text_);
}

template <class Ch>
void string_<Ch>::hash(std::uint32_t& seed) const
{
    std::uint32_t h = hash_code_;
    if (h == 0) {
        for (Ch c : text_) hash_combine(h, static_cast<std::uint32_t>(c));
        hash_code_ = h;
    }
    hash_combine(seed, h);
}

template <class Ch>
bool string_<Ch>::equal(const value& other) const
{
    const string_* o = as_string(other);
    return o && o->text_ == text_;
}

template <class Ch>
std::string string_<Ch>::describe() const
{
    return "string(" + narrow(text_) + ")";
}

template <class Ch>
std::wostream& string_<Ch>::write_ostream(std::wostream& os) const
{
    return os << text_;
}
template <class Ch>
std::ostream& string_<Ch>::write_ostream(std::ostream&) const
{
    undefined("write_ostream");
}
template <class Ch>
std::wistream& string_<Ch>::read_istream(std::wistream& is)
{
    // One white-space-delimited word; a failed read leaves the old text.
    text_type word;
    if (is >> word) {
        text_ = std::move(word);
        hash_code_ = 0;
    }
    return is;
}
template <class Ch>
std::istream& string_<Ch>::read_istream(std::istream&)
{
    undefined("read_istream");
}

template class string_<wchar_t>;

} // namespace vorla
