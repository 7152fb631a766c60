// Numbers and text: the one reading rule every text-to-number path shares (white space skipped, the
// longest numeric prefix taken, the rest left alone), and the text a number joins a string as.
#pragma once

#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <limits>
#include <locale>
#include <string>
#include <type_traits>

#include "locale.hpp"

namespace vorla::number_text {

// What a read gives: the number, and whether it was read cleanly. A text without a number gives 0, a
// number beyond the type's range gives the limit on that side; both are not `ok` (a stream read then
// fails and leaves its target alone).
template <class T>
struct result {
    T value{};
    bool ok = false;
};

namespace detail {

// Where characters come from: peek() is the next character or -1 at the end; advance() takes it.
template <class Ch>
struct text_source {
    const Ch* p;
    const Ch* end;
    long peek() const { return p < end ? static_cast<long>(*p) : -1; }
    void advance() { ++p; }
};

template <class Ch>
struct stream_source {
    std::basic_streambuf<Ch>* buf;
    bool at_end = false;
    long peek()
    {
        const auto c = buf->sgetc();
        if (std::char_traits<Ch>::eq_int_type(c, std::char_traits<Ch>::eof())) {
            at_end = true;
            return -1;
        }
        return static_cast<long>(std::char_traits<Ch>::to_char_type(c));
    }
    void advance() { buf->sbumpc(); }
};

inline bool is_digit(long c) { return c >= '0' && c <= '9'; }

// Integers: the magnitude saturates, then the sign applies the way a stream read does (an unsigned
// read of "-5" is 2^32 - 5; beyond the range is the limit on the side of the sign).
template <class T>
result<T> to_integer(bool negative, const std::string& digits)
{
    using U = std::make_unsigned_t<T>;
    constexpr std::uint64_t umax = std::numeric_limits<U>::max();
    std::uint64_t limit = umax;
    if constexpr (std::is_signed_v<T>) limit = negative ? umax / 2 + 1 : umax / 2;
    std::uint64_t m = 0;
    bool over = false;
    for (char d : digits) {
        m = m * 10 + static_cast<unsigned>(d - '0');
        if (m > limit) {
            over = true;
            break;
        }
    }
    if (over) {
        if (std::is_signed_v<T> && negative) return {std::numeric_limits<T>::min(), false};
        return {std::numeric_limits<T>::max(), false};
    }
    const U u = static_cast<U>(m);
    return {static_cast<T>(negative ? static_cast<U>(0u - u) : u), true};
}

// Floating point: the C library's conversion in the C locale, over text already known to be a number.
// An overflow gives the largest finite number of that sign, not infinity, as a stream read does.
template <class T>
result<T> to_floating(const std::string& text)
{
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    T v;
    if constexpr (std::is_same_v<T, float>) v = strtof_l(text.c_str(), nullptr, c_locale);
    else v = strtod_l(text.c_str(), nullptr, c_locale);
    if (v == std::numeric_limits<T>::infinity()) return {std::numeric_limits<T>::max(), false};
    if (v == -std::numeric_limits<T>::infinity()) return {-std::numeric_limits<T>::max(), false};
    return {v, true};
}

// The longest prefix of the form the type allows, taken from the source: [sign] digits for integers;
// for floating point [sign] digits [. digits] [e [sign] digits] with at least one mantissa digit. An
// exponent marker without a digit after it ends the number before the marker (a stream source has
// still taken the marker: it cannot give back more than one character).
template <class T, class Source>
result<T> scan(Source& src)
{
    std::string text;
    bool negative = false;
    if (src.peek() == '+' || src.peek() == '-') {
        negative = src.peek() == '-';
        text += static_cast<char>(src.peek());
        src.advance();
    }
    const std::size_t sign = text.size();
    auto digits = [&] {
        std::size_t n = 0;
        for (long c; is_digit(c = src.peek()); src.advance(), ++n) text += static_cast<char>(c);
        return n;
    };
    std::size_t mantissa = digits();
    if constexpr (std::is_floating_point_v<T>) {
        if (src.peek() == '.') {
            text += '.';
            src.advance();
            mantissa += digits();
        }
        if (mantissa && (src.peek() == 'e' || src.peek() == 'E')) {
            std::string marker = "e";
            src.advance();
            if (src.peek() == '+' || src.peek() == '-') {
                marker += static_cast<char>(src.peek());
                src.advance();
            }
            if (is_digit(src.peek())) {
                text += marker;
                digits();
            }
        }
    }
    if (!mantissa) return {};
    if constexpr (std::is_floating_point_v<T>) return to_floating<T>(text);
    else return to_integer<T>(negative, text.substr(sign));
}

} // namespace detail

// The number at the front of a text, after white space (as the interpreter's locale classifies it).
template <class T, class Ch>
result<T> parse(const std::basic_string<Ch>& text)
{
    const auto& ctype = std::use_facet<std::ctype<Ch>>(text_locale());
    const Ch* p = text.data();
    const Ch* end = p + text.size();
    while (p < end && ctype.is(std::ctype_base::space, *p)) ++p;
    detail::text_source<Ch> src{p, end};
    return detail::scan<T>(src);
}

// Reads a number from a stream by the same rule: white space skipped (when the stream skips it), the
// longest numeric prefix taken. Without a clean number the target keeps its old content and the stream
// is left failed; a stream already failed reads nothing.
template <class T, class Ch>
std::basic_istream<Ch>& read(std::basic_istream<Ch>& is, T& target)
{
    const typename std::basic_istream<Ch>::sentry ok(is);
    if (!ok) return is;
    detail::stream_source<Ch> src{is.rdbuf()};
    const result<T> r = detail::scan<T>(src);
    std::ios_base::iostate state = src.at_end ? std::ios_base::eofbit : std::ios_base::goodbit;
    if (r.ok) target = r.value;
    else state |= std::ios_base::failbit;
    is.setstate(state);
    return is;
}

// Writing. Wide number text as the wide streams write it (their punctuation is always the classic one: no
// grouping, '.' for the point), formatted straight into a buffer. Reals take the streams' default
// form, printf's "%.6g"; a float is written through its double, as the streams do.
template <class T>
void append_wide(std::wstring& out, T v)
{
    if constexpr (std::is_floating_point_v<T>) {
        char buffer[64];
        const auto r =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(v), std::chars_format::general, 6);
        // Widened here and appended as one piece: appending the narrow range widens it char by char.
        const auto n = static_cast<std::size_t>(r.ptr - buffer);
        wchar_t wide[sizeof buffer];
        for (std::size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(buffer[i]);
        out.append(wide, n);
    } else {
        // Integers are joined to text on every `"k" + i`: their digits go straight into wide characters.
        wchar_t digits[12];
        wchar_t* const end = digits + 12;
        wchar_t* p = end;
        const bool negative = v < 0;
        auto magnitude = negative ? 0u - static_cast<unsigned int>(v) : static_cast<unsigned int>(v);
        do {
            *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative) *--p = L'-';
        out.append(p, static_cast<std::size_t>(end - p));
    }
}
} // namespace vorla::number_text
