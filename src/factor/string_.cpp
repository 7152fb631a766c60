// The string value's operations and its built-in methods.
#include "factor/string_.hpp"

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <iterator>
#include <locale.h>
#include <type_traits>
#include <wctype.h>
#include <istream>
#include <memory>
#include <ostream>

#include <boost/regex.hpp>

#include "factor/boolean.hpp"
#include "factor/method_table.hpp"
#include "factor/number_text.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"

namespace vorla {

namespace {

// A pattern the library rejects (or a match it gives up on) ends the run with the library's own words
// as the diagnostic line, as it always has; as an interpreter error it is also placed at the call.
template <class F>
value with_pattern(F&& f)
{
    try {
        return f();
    } catch (const boost::regex_error& e) {
        exception refused{std::string(e.what())};
        refused.explain(std::string("the regular expression was refused: ") + e.what());
        throw refused;
    }
}

// The operand side of every binary operation is its own wide text, whatever its type.
std::wstring wide_text(const value& v) { return static_cast<std::wstring>(*v); }

// How long the right operand's text is known to be before it is made: a string's length. Any other value's
// text (a number's digits, a script conversion's string) is itself bounded, so a join checks it after.
std::size_t known_length(const value& r)
{
    return r->type_id() == tid::string_ ? static_cast<const string_<wchar_t>&>(*r).text().size() : 0;
}

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
    check_length(text_.size() + known_length(r), "operator +=");
    r->append_wide(text_);
    hash_code_ = 0;
    check_length(text_.size(), "operator +=");
    return true;
}

template <class Ch>
value string_<Ch>::operator+(const value& r) const
{
    // Room for the text and a number's digits up front: the common join grows no further.
    check_length(text_.size() + known_length(r), "operator +");
    text_type joined;
    joined.reserve(text_.size() + 24);
    joined += text_;
    r->append_wide(joined);
    check_length(joined.size(), "operator +");
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
        {method_name::find, 1},
        {method_name::find, 2},
        {method_name::substr, 2},
        {method_name::replace, 3},
        {method_name::split, 1},
        {method_name::lower, 0},
        {method_name::upper, 0},
        {method_name::trim, 0},
        {method_name::starts_with, 1},
        {method_name::ends_with, 1},
        {method_name::repeat, 1},
        {method_name::code, 1},
        {method_name::search, 1},
        {method_name::replace_all, 2},
        {method_name::to_int, 0},
        {method_name::to_double, 0},
        {method_name::pad, 1},
        {method_name::pad, 2},
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
    case method_name::match: return with_pattern([&] { return m_match(v); });
    case method_name::find: return m_find(v);
    case method_name::substr: return m_substr(v);
    case method_name::replace: return m_replace(v);
    case method_name::split: return m_split(v);
    case method_name::lower: return m_case(false);
    case method_name::upper: return m_case(true);
    case method_name::trim: return m_trim(v);
    case method_name::starts_with: return m_starts_with(v);
    case method_name::ends_with: return m_ends_with(v);
    case method_name::repeat: return m_repeat(v);
    case method_name::code: return m_code(v);
    case method_name::search: return with_pattern([&] { return m_search(v); });
    case method_name::replace_all: return with_pattern([&] { return m_replace_all(v); });
    case method_name::to_int: return m_to_number<int>("int");
    case method_name::to_double: return m_to_number<double>("double");
    case method_name::pad: return pad_method(m, v, text_);
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
    // Character classes follow the interpreter's locale, not the host's global one.
    boost::basic_regex<Ch> pattern;
    pattern.imbue(text_locale());
    pattern.assign(wide_text(v[0]));
    return make<boolean>(boost::regex_match(text_, pattern));
}

template <class Ch>
std::size_t string_<Ch>::position(method_name m, arg_span v, std::size_t i) const
{
    return index_argument(m, v, i, text_.size(), "position", "length", text_.size());
}

template <class Ch>
value string_<Ch>::m_find(arg_span v)
{
    const text_type& wanted = text_argument(method_name::find, v, 0);
    const std::size_t from = v.size() > 1 ? position(method_name::find, v, 1) : 0;
    const std::size_t at = text_.find(wanted, from);
    return make<unsigned_<unsigned int>>(static_cast<unsigned int>(at == text_type::npos ? text_.size() : at));
}

template <class Ch>
value string_<Ch>::m_substr(arg_span v)
{
    const std::size_t from = position(method_name::substr, v, 0);
    const long long count = whole_argument(method_name::substr, v, 1);
    if (count < 0) range_refusal("count " + std::to_string(count) + " is negative");
    return make<string_>(text_.substr(from, static_cast<std::size_t>(count)));
}

template <class Ch>
value string_<Ch>::m_replace(arg_span v)
{
    const std::size_t from = position(method_name::replace, v, 0);
    const long long count = whole_argument(method_name::replace, v, 1);
    if (count < 0) range_refusal("count " + std::to_string(count) + " is negative");
    const text_type& with = text_argument(method_name::replace, v, 2);
    const std::size_t gone = std::min(static_cast<std::size_t>(count), text_.size() - from);
    check_length(text_.size() - gone + with.size(), "_method");
    text_type out;
    out.reserve(text_.size() - gone + with.size());
    out.append(text_, 0, from).append(with).append(text_, from + gone);
    return make<string_>(std::move(out));
}

template <class Ch>
value string_<Ch>::m_split(arg_span v)
{
    const text_type& sep = text_argument(method_name::split, v, 0);
    if (sep.empty()) range_refusal("the separator of split is empty");
    // The pieces are counted first, so a text of millions of separators is refused before any is made.
    std::size_t pieces = 1;
    for (std::size_t at = text_.find(sep); at != text_type::npos; at = text_.find(sep, at + sep.size())) ++pieces;
    if (pieces > vector_::size_limit)
        refuse("_method", "container size limit exceeded, size=" + detail::format_number(pieces) +
                              " limit=" + detail::format_number(vector_::size_limit));
    vector_elements out;
    out.reserve(pieces);
    std::size_t start = 0;
    for (std::size_t at = text_.find(sep); at != text_type::npos; at = text_.find(sep, start)) {
        out.push_back(make<string_>(text_.substr(start, at - start)));
        start = at + sep.size();
    }
    out.push_back(make<string_>(text_.substr(start)));
    return vector_::holding(std::move(out));
}

namespace {
// The C library's Unicode character data, under a UTF-8 locale of its own: case and white space do not
// depend on the locale the process happens to run in.
locale_t unicode_ctype()
{
    static const locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return l;
}
wint_t change_case(wint_t c, bool upper)
{
    const locale_t l = unicode_ctype();
    if (!l) return upper ? std::towupper(c) : std::towlower(c);
    return upper ? towupper_l(c, l) : towlower_l(c, l);
}
bool white(wint_t c)
{
    const locale_t l = unicode_ctype();
    return l ? iswspace_l(c, l) : std::iswspace(c);
}
} // namespace

template <class Ch>
value string_<Ch>::m_case(bool upper)
{
    // One code point for one: the simple case mappings, so the length never changes (ß stays ß).
    text_type out(text_);
    for (Ch& c : out) c = static_cast<Ch>(change_case(static_cast<wint_t>(c), upper));
    return make<string_>(std::move(out));
}

template <class Ch>
value string_<Ch>::m_trim(arg_span)
{
    std::size_t b = 0, e = text_.size();
    while (b < e && white(static_cast<wint_t>(text_[b]))) ++b;
    while (e > b && white(static_cast<wint_t>(text_[e - 1]))) --e;
    return make<string_>(text_.substr(b, e - b));
}

template <class Ch>
value string_<Ch>::m_starts_with(arg_span v)
{
    return make<boolean>(text_.starts_with(text_argument(method_name::starts_with, v, 0)));
}

template <class Ch>
value string_<Ch>::m_ends_with(arg_span v)
{
    return make<boolean>(text_.ends_with(text_argument(method_name::ends_with, v, 0)));
}

template <class Ch>
value string_<Ch>::m_repeat(arg_span v)
{
    const long long n = whole_argument(method_name::repeat, v, 0);
    if (n < 0) range_refusal("repeat count " + std::to_string(n) + " is negative");
    const auto times = static_cast<std::size_t>(n);
    // Nothing repeated any number of times is nothing, at once.
    if (text_.empty()) return make<string_>();
    // No overflow: a count is below 2^32 and a text at most string_limit long.
    check_length(text_.size() * times, "_method");
    text_type out;
    out.reserve(text_.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += text_;
    return make<string_>(std::move(out));
}

template <class Ch>
value string_<Ch>::m_code(arg_span v)
{
    const long long i = whole_argument(method_name::code, v, 0);
    if (i < 0 || static_cast<unsigned long long>(i) >= text_.size())
        range_refusal("string index " + std::to_string(i) + " is out of range (length " + std::to_string(text_.size()) + ")");
    return make<signed_<int>>(static_cast<int>(text_[static_cast<std::size_t>(i)]));
}

template <class Ch>
value string_<Ch>::m_search(arg_span v)
{
    // The same flavour as match, and the same account of a pattern the library rejects.
    const boost::basic_regex<Ch> pattern(text_argument(method_name::search, v, 0));
    boost::match_results<typename text_type::const_iterator> found;
    vector_elements out;
    if (boost::regex_search(text_, found, pattern)) {
        out.reserve(found.size());
        for (std::size_t i = 0; i < found.size(); ++i) out.push_back(make<string_>(found[i].str()));
    }
    return vector_::holding(std::move(out));
}

template <class Ch>
value string_<Ch>::m_replace_all(arg_span v)
{
    const boost::basic_regex<Ch> pattern(text_argument(method_name::replace_all, v, 0));
    const text_type& with = text_argument(method_name::replace_all, v, 1);
    // Built match by match, so a replacement that multiplies the text is refused as it passes the limit.
    text_type out;
    auto rest = text_.cbegin();
    using matches = boost::regex_iterator<typename text_type::const_iterator>;
    for (matches it(text_.cbegin(), text_.cend(), pattern), end; it != end; ++it) {
        const auto& m = *it;
        out.append(m.prefix().first, m.prefix().second);
        m.format(std::back_inserter(out), with);
        rest = m[0].second;
        check_length(out.size(), "_method");
    }
    out.append(rest, text_.cend());
    check_length(out.size(), "_method");
    return make<string_>(std::move(out));
}

template <class Ch>
template <class T>
value string_<Ch>::m_to_number(const char* type) const
{
    // The whole text must be the number: white space around it is all that may be left over.
    const Ch* p = text_.data();
    const Ch* end = p + text_.size();
    while (p < end && white(static_cast<wint_t>(*p))) ++p;
    number_text::detail::text_source<Ch> src{p, end};
    const number_text::result<T> r = number_text::detail::scan<T>(src);
    const Ch* after = src.p;
    while (after < end && white(static_cast<wint_t>(*after))) ++after;
    // The scan takes an exponent marker with no digits after it ("1e", "2e+") without making it part of
    // the number: such a text is not a number either.
    const bool marker_left = src.p != p && (src.p[-1] == 'e' || src.p[-1] == 'E' || src.p[-1] == '+' || src.p[-1] == '-');
    if (r.ok && after == end && !marker_left) {
        if constexpr (std::is_same_v<T, int>) return make<signed_<int>>(r.value);
        else return make<real<double>>(r.value);
    }
    auto cause = std::make_shared<script_trace>();
    cause->message = "the text \"" + narrow(text_) + "\" is not " + (std::is_same_v<T, int> ? "an " : "a ") + type;
    const site& s = where();
    throw_bad_cast(s.file, std::string(s.cls) + "::_method", s.line, std::move(cause));
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
