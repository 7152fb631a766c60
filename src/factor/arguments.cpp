// The arguments of built-in methods read by their exact kind, and padding, which strings and numbers share.
#include <string>

#include "factor/factor.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"

namespace vorla {

namespace {
std::string method_of(const factor& self, method_name m) { return type_word(self) + " method " + std::string(method_text(m)); }
} // namespace

void factor::refuse_argument(method_name m, arg_span v, std::size_t i, const char* wanted) const
{
    const site& s = where();
    exception e(call_text(std::string(method_text(m)), v), s.file, std::string(s.cls) + "::_method", s.line);
    e.explain("argument " + std::to_string(i + 1) + " of " + method_of(*this, m) + " must be " + wanted + ", not " +
              type_word(*v[i]));
    throw e;
}

const std::wstring& factor::text_argument(method_name m, arg_span v, std::size_t i) const
{
    if (v[i]->type_id() != tid::string_) refuse_argument(m, v, i, "a string");
    return static_cast<const string_<wchar_t>&>(*v[i]).text();
}

long long factor::whole_argument(method_name m, arg_span v, std::size_t i) const
{
    switch (v[i]->type_id()) {
    case tid::signed_: return static_cast<const signed_<int>&>(*v[i]).get();
    case tid::unsigned_: return static_cast<const unsigned_<unsigned int>&>(*v[i]).get();
    default: break;
    }
    refuse_argument(m, v, i, "an int or unsigned int");
}

std::size_t factor::index_argument(method_name m, arg_span v, std::size_t i, std::size_t most,
                                   const std::string& what, const char* bound_word, std::size_t bound) const
{
    const long long n = whole_argument(m, v, i);
    if (n < 0 || static_cast<unsigned long long>(n) > most)
        range_refusal(what + " " + std::to_string(n) + " is out of range (" + bound_word + " " +
                      std::to_string(bound) + ")");
    return static_cast<std::size_t>(n);
}

void factor::range_refusal(std::string why) const
{
    const site& s = where();
    throw_range_error(s.file, std::string(s.cls) + "::_method", s.line, std::move(why));
}

value factor::pad_method(method_name m, arg_span v, std::wstring text) const
{
    const long long width = whole_argument(m, v, 0);
    if (width < 0) range_refusal("width " + std::to_string(width) + " is negative");
    check_length(static_cast<std::size_t>(width), "_method");
    wchar_t fill = L' ';
    if (v.size() > 1) {
        const std::wstring& f = text_argument(m, v, 1);
        if (f.size() != 1) range_refusal("the fill of pad must be one character, not " + std::to_string(f.size()));
        fill = f[0];
    }
    const auto w = static_cast<std::size_t>(width);
    if (text.size() >= w) return make<string_<wchar_t>>(std::move(text));
    // Zeros go between a sign and the digits, as a number is written with leading zeros: -007.
    const std::size_t after = fill == L'0' && !text.empty() && (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
    text.insert(after, w - text.size(), fill);
    return make<string_<wchar_t>>(std::move(text));
}

} // namespace vorla
