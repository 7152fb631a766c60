// Advice for the traps this grammar sets: constructs that people used to other languages write and the
// parser stops at. Each rule looks only at the text around the point where parsing stopped.
#include <algorithm>
#include <cwchar>
#include <utility>
#include <cwctype>
#include <string>
#include <vector>

#include "exception.hpp"
#include "semantic/ptree.hpp"

namespace vorla::detail::semantic {
namespace {

constexpr std::size_t none = std::wstring::npos;

bool space(wchar_t c) { return iswspace_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }
bool word(wchar_t c) { return c == L'_' || iswalnum_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }

class around {
public:
    around(const std::wstring& text, std::size_t at) : t(text), at(at < text.size() ? at : text.size()) {}

    const std::wstring& t;
    const std::size_t at;

    wchar_t here() const { return at < t.size() ? t[at] : L'\0'; }
    bool starts(std::size_t i, const wchar_t* s) const { return t.compare(i, std::wcslen(s), s) == 0; }
    // The last character before i that is not whitespace, or none.
    std::size_t before(std::size_t i) const
    {
        while (i > 0) {
            if (!space(t[--i])) return i;
        }
        return none;
    }
    bool space_before() const { return at > 0 && space(t[at - 1]); }
    // The word ending just before i (empty when t[i - 1] is no word character).
    std::wstring word_before(std::size_t i) const
    {
        std::size_t s = i;
        while (s > 0 && word(t[s - 1])) --s;
        return t.substr(s, i - s);
    }
    std::size_t line_start(std::size_t i) const
    {
        const auto nl = i == 0 ? none : t.rfind(L'\n', i - 1);
        return nl == none ? 0 : nl + 1;
    }
    std::size_t line_end(std::size_t i) const
    {
        const auto nl = t.find(L'\n', i);
        return nl == none ? t.size() : nl;
    }
    // Text from a to b without the whitespace at either end.
    std::wstring trimmed(std::size_t a, std::size_t b) const
    {
        while (a < b && space(t[a])) ++a;
        while (b > a && space(t[b - 1])) --b;
        return t.substr(a, b - a);
    }
    // Where the statement holding i begins: after the last ';', '{' or '}' before it.
    std::size_t statement_start(std::size_t i) const
    {
        const auto cut = i == 0 ? none : t.find_last_of(L";{}", i - 1);
        return cut == none ? 0 : cut + 1;
    }
};

// The type of this language that a name from another language means, or null.
const char* familiar_type_impl(const std::wstring& name)
{
    static const std::pair<const wchar_t*, const char*> names[] = {
        {L"integer", "int"},   {L"Integer", "int"},    {L"long", "int"},        {L"short", "int"},
        {L"boolean", "bool"},  {L"Boolean", "bool"},   {L"String", "string"},   {L"str", "string"},
        {L"char", "string"},   {L"real", "double"},    {L"number", "double"},   {L"array", "vector"},
        {L"Array", "vector"},  {L"map", "hash"},       {L"dict", "hash"},       {L"unsigned", "unsigned int"},
        {L"uint", "unsigned int"}, {L"void", "nil"},
    };
    for (const auto& [other, ours] : names)
        if (name == other) return ours;
    return nullptr;
}

std::string quote(const std::wstring& code) { return "`" + narrow(code) + "`"; }

// class B : public A
std::string base_access(const around& a)
{
    const std::size_t p = a.before(a.at);
    if (p == none || !word(a.t[p])) return {};
    const std::wstring access = a.word_before(p + 1);
    if (access != L"public" && access != L"private" && access != L"protected") return {};
    const std::size_t colon = a.before(p + 1 - access.size());
    if (colon == none || a.t[colon] != L':') return {};
    const std::wstring fixed = a.trimmed(a.line_start(colon), colon + 1) + L" " + a.trimmed(a.at, a.line_end(a.at));
    return "a base class is named without an access word: write " + quote(fixed);
}

// class A { ... }   with no ';' after the closing brace
std::string class_semicolon(const around& a)
{
    const std::size_t close = a.before(a.at);
    if (close == none || a.t[close] != L'}') return {};
    int depth = 0;
    std::size_t open = none;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (a.t[i] == L'}') ++depth;
        else if (a.t[i] == L'{' && --depth == 0) {
            open = i;
            break;
        }
    }
    if (open == none) return {};
    // Back over "Name", an optional ": Base", then "class".
    std::size_t p = a.before(open);
    if (p == none || !word(a.t[p])) return {};
    std::wstring name = a.word_before(p + 1);
    std::size_t q = a.before(p + 1 - name.size());
    if (q != none && a.t[q] == L':') {
        q = a.before(q);
        if (q == none || !word(a.t[q])) return {};
        name = a.word_before(q + 1);
        q = a.before(q + 1 - name.size());
    }
    if (q == none || a.word_before(q + 1) != L"class") return {};
    return "a class definition ends with a semicolon after its closing brace: write `};`";
}

// for (...)
std::string for_loop(const around& a)
{
    std::size_t s = a.statement_start(a.at);
    // A for's own semicolons split its head; look back past them to the statement's real start.
    for (int k = 0; k < 3; ++k) {
        const std::wstring head = a.trimmed(s, a.at);
        if (head.rfind(L"for", 0) == 0 && (head.size() == 3 || !word(head[3]))) {
            return "there is no `for` loop: write the loop as `int i = 0; while (i < n) { ...; ++i; }`";
        }
        if (s == 0) break;
        s = a.statement_start(s - 1);
    }
    return {};
}

// i++ and i--
std::string postfix_step(const around& a)
{
    if (a.at < 2) return {};
    const std::size_t op = a.at - 2;
    if (!a.starts(op, L"++") && !a.starts(op, L"--")) return {};
    const std::wstring operand = a.word_before(op);
    if (operand.empty()) return {};
    return "there is no postfix " + quote(a.t.substr(op, 2)) + ": write " + quote(a.t.substr(op, 2) + operand);
}

// v[i]
std::string brackets(const around& a)
{
    if (a.here() != L'[') return {};
    const std::wstring name = a.word_before(a.at);
    if (name.empty()) return {};
    const auto close = a.t.find(L']', a.at);
    const std::wstring index = close == none || close > a.line_end(a.at) ? L"i" : a.trimmed(a.at + 1, close);
    return "there is no `[]` indexing: write " + quote(name + L".at(" + index + L")");
}

// x = -1   (the prefix operator after a space)
std::string spaced_prefix(const around& a)
{
    const wchar_t c = a.here();
    if ((c != L'-' && c != L'!' && c != L'+') || !a.space_before()) return {};
    const std::size_t p = a.before(a.at);
    if (p == none || std::wstring(L"=+-*/%<>!&|").find(a.t[p]) == none) return {};
    const std::size_t start = std::max(a.line_start(p), a.statement_start(p));
    const std::wstring fixed = a.trimmed(start, p + 1) + a.trimmed(a.at, a.line_end(a.at));
    return "a prefix operator must directly follow the operator before it: write " + quote(fixed);
}

// a.b + 1   (a space after a member name that is not called)
std::string spaced_member(const around& a)
{
    if (!a.space_before() || a.here() == L'(') return {};
    const std::size_t p = a.before(a.at);
    if (p == none || !word(a.t[p])) return {};
    const std::wstring member = a.word_before(p + 1);
    const std::size_t dot = p + 1 - member.size();
    if (dot == 0 || a.t[dot - 1] != L'.') return {};
    std::size_t chain = dot - 1;
    while (chain > 0 && (word(a.t[chain - 1]) || a.t[chain - 1] == L'.')) --chain;
    const std::wstring fixed = a.t.substr(chain, p + 1 - chain) + a.trimmed(a.at, a.line_end(a.at));
    return "a space after a member name ends the expression unless the member is called: write " + quote(fixed);
}

// integer x;   (a type name from another language; "int" matches its head, so the declaration fails)
std::string foreign_type(const around& a)
{
    const std::size_t p = a.before(a.at);
    if (p == none || !word(a.t[p])) return {};
    const std::wstring name = a.word_before(p + 1);
    const char* ours = familiar_type_impl(name);
    if (!ours || a.trimmed(a.statement_start(p), p + 1) != name) return {};
    return "there is no type " + quote(name) + ": write `" + ours + "`";
}

// 1e5   (an exponent without its sign: the number ends before the `e`)
std::string unsigned_exponent(const around& a)
{
    if (a.at < 2 || !std::iswdigit(static_cast<std::wint_t>(a.here()))) return {};
    const wchar_t e = a.t[a.at - 1];
    if (e != L'e' && e != L'E') return {};
    std::size_t start = a.at - 1;
    while (start > 0 && (std::iswdigit(static_cast<std::wint_t>(a.t[start - 1])) || a.t[start - 1] == L'.')) --start;
    if (start == a.at - 1 || (start > 0 && word(a.t[start - 1]))) return {};
    std::size_t end = a.at;
    while (end < a.t.size() && std::iswdigit(static_cast<std::wint_t>(a.t[end]))) ++end;
    const std::wstring fixed = a.t.substr(start, a.at - start) + L"+" + a.t.substr(a.at, end - a.at);
    return "an exponent needs its sign: write " + quote(fixed);
}

// 'text'
std::string single_quote(const around& a)
{
    if (a.here() != L'\'') return {};
    return "strings are written in double quotes: \"text\"";
}

} // namespace

const char* familiar_type(const std::wstring& name) { return familiar_type_impl(name); }

std::string parse_hint(const std::wstring& text, std::size_t at)
{
    const around a(text, at);
    for (auto rule : {base_access, class_semicolon, for_loop, postfix_step, brackets, spaced_prefix, spaced_member,
                      foreign_type, unsigned_exponent, single_quote}) {
        std::string h = rule(a);
        if (!h.empty()) return h;
    }
    return {};
}

std::size_t unclosed_brace(const std::wstring& text)
{
    struct open {
        std::size_t at;
        std::size_t indent;  // of the line it stands on
    };
    auto indent_of = [&](std::size_t i) {
        std::size_t s = i == 0 ? 0 : text.rfind(L'\n', i - 1);
        s = s == none ? 0 : s + 1;
        std::size_t n = s;
        while (n < text.size() && (text[n] == L' ' || text[n] == L'\t')) ++n;
        return std::make_pair(n - s, n == i);  // the indent, and whether i is the line's first character
    };
    std::vector<open> opened;
    std::size_t suspect = none;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'"') {
            for (++i; i < text.size() && text[i] != L'"'; ++i)
                if (text[i] == L'\\') ++i;
        } else if (c == L'{') {
            opened.push_back({i, indent_of(i).first});
        } else if (c == L'}') {
            if (opened.empty()) return none;  // more closed than opened: not this mistake
            // A `}` that starts a line under another indent than its `{` was probably meant for an outer one.
            const auto [indent, first] = indent_of(i);
            if (suspect == none && first && indent != opened.back().indent) suspect = opened.back().at;
            opened.pop_back();
        }
    }
    if (opened.empty()) return none;
    return suspect != none ? suspect : opened.back().at;
}

} // namespace vorla::detail::semantic
