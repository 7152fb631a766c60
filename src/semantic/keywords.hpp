// The language's keywords: the one list of their texts, which the grammar matches and the editor files must name.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "semantic/ptree.hpp"

namespace vorla::detail::semantic {

// What the grammar makes of a keyword. Types and container types may name a declaration's type; both
// and the plain words are reserved (never an identifier). `unsigned` is only the first half of
// `unsigned int`, and `#include` only opens an include line: neither is reserved on its own.
enum class keyword_class { type, container, word, type_part, directive };

struct keyword {
    rule id;
    const wchar_t* text;  // for `unsigned int`: the two words, any whitespace between them in a script
    keyword_class cls;
};

// In rule order, kw_bool to kw_throw; the grammar builds each keyword rule from its text here.
inline constexpr std::array<keyword, 34> keywords{{
    {rule::kw_bool, L"bool", keyword_class::type},
    {rule::kw_unsigned, L"unsigned", keyword_class::type_part},
    {rule::kw_int, L"int", keyword_class::type},
    {rule::kw_float, L"float", keyword_class::type},
    {rule::kw_double, L"double", keyword_class::type},
    {rule::kw_string, L"string", keyword_class::type},
    {rule::kw_unsigned_int, L"unsigned int", keyword_class::type},
    {rule::kw_nil, L"nil", keyword_class::type},
    {rule::kw_ref, L"ref", keyword_class::type},
    {rule::kw_typeid, L"typeid", keyword_class::type},
    {rule::kw_vector, L"vector", keyword_class::container},
    {rule::kw_list, L"list", keyword_class::container},
    {rule::kw_timer, L"timer", keyword_class::container},
    {rule::kw_hash, L"hash", keyword_class::container},
    {rule::kw_bad_cast, L"bad_cast", keyword_class::type},
    {rule::kw_range_error, L"range_error", keyword_class::type},
    {rule::kw_this, L"this", keyword_class::word},
    {rule::kw_true, L"true", keyword_class::word},
    {rule::kw_false, L"false", keyword_class::word},
    {rule::kw_if, L"if", keyword_class::word},
    {rule::kw_else, L"else", keyword_class::word},
    {rule::kw_while, L"while", keyword_class::word},
    {rule::kw_return, L"return", keyword_class::word},
    {rule::kw_break, L"break", keyword_class::word},
    {rule::kw_continue, L"continue", keyword_class::word},
    {rule::kw_process, L"process", keyword_class::word},
    {rule::kw_inline, L"inline", keyword_class::word},
    {rule::kw_class, L"class", keyword_class::word},
    {rule::kw_operator, L"operator", keyword_class::word},
    {rule::kw_include, L"#include", keyword_class::directive},
    {rule::kw_using, L"using", keyword_class::word},
    {rule::kw_try, L"try", keyword_class::word},
    {rule::kw_catch, L"catch", keyword_class::word},
    {rule::kw_throw, L"throw", keyword_class::word},
}};

constexpr bool keywords_in_rule_order()
{
    for (std::size_t i = 0; i < keywords.size(); ++i)
        if (static_cast<std::size_t>(keywords[i].id) != i) return false;
    return static_cast<std::size_t>(rule::kw_throw) + 1 == keywords.size();
}
static_assert(keywords_in_rule_order(), "one entry per keyword rule, in rule order");

// Whether scripts can never write `word` as a name (of a type, a variable, a method).
constexpr bool reserved(std::wstring_view word)
{
    for (const keyword& k : keywords)
        if ((k.cls == keyword_class::type || k.cls == keyword_class::container || k.cls == keyword_class::word) &&
            word == k.text)
            return true;
    return false;
}

}  // namespace vorla::detail::semantic
