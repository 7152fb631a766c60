// The names of the built-in values' methods as one enumeration, so a call finds its method by a switch.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

namespace vorla {

// Every name a built-in value class answers as a method. A call site resolves its name once, when the
// script is compiled; each class then dispatches with a switch instead of comparing names on every call.
enum class method_name : std::uint8_t {
    none,        // no built-in class has a method of this name
    unresolved,  // the caller gave only the text (method_name_of resolves it)
    // sequences and the hash
    size, empty, clear, front, back, pop_back, push_back, pop_front, push_front, swap, resize, at, replace,
    exist, erase, insert,
    // strings
    match, find, substr, split, lower, upper, trim, starts_with, ends_with, repeat, code, search, replace_all,
    to_int, to_double,
    // numbers
    abs, max, min, rand, cos, sin, tan, acos, asin, atan, atan2, cosh, sinh, tanh, exp, frexp, ldexp, log,
    log10, pow, sqrt, ceil, floor, infinity, is_infinity, char_, fixed, precision, pad,
    // sequences and the hash, beyond the first group
    sort, reverse, index_of, slice, join, keys, values, sort_by,
    // timers, processes and references
    start, restart, elapsed, id, exit, get,
    count_
};

namespace detail {
// Each name with its text, in the enumeration's order (checked below, so the two cannot drift apart).
inline constexpr std::pair<method_name, std::string_view> method_texts[] = {
    {method_name::size, "size"},         {method_name::empty, "empty"},
    {method_name::clear, "clear"},       {method_name::front, "front"},
    {method_name::back, "back"},         {method_name::pop_back, "pop_back"},
    {method_name::push_back, "push_back"}, {method_name::pop_front, "pop_front"},
    {method_name::push_front, "push_front"}, {method_name::swap, "swap"},
    {method_name::resize, "resize"},     {method_name::at, "at"},
    {method_name::replace, "replace"},   {method_name::exist, "exist"},
    {method_name::erase, "erase"},       {method_name::insert, "insert"},
    {method_name::match, "match"},       {method_name::find, "find"},
    {method_name::substr, "substr"},     {method_name::split, "split"},
    {method_name::lower, "lower"},       {method_name::upper, "upper"},
    {method_name::trim, "trim"},         {method_name::starts_with, "starts_with"},
    {method_name::ends_with, "ends_with"}, {method_name::repeat, "repeat"},
    {method_name::code, "code"},         {method_name::search, "search"},
    {method_name::replace_all, "replace_all"}, {method_name::to_int, "to_int"},
    {method_name::to_double, "to_double"}, {method_name::abs, "abs"},
    {method_name::max, "max"},           {method_name::min, "min"},
    {method_name::rand, "rand"},         {method_name::cos, "cos"},
    {method_name::sin, "sin"},           {method_name::tan, "tan"},
    {method_name::acos, "acos"},         {method_name::asin, "asin"},
    {method_name::atan, "atan"},         {method_name::atan2, "atan2"},
    {method_name::cosh, "cosh"},         {method_name::sinh, "sinh"},
    {method_name::tanh, "tanh"},         {method_name::exp, "exp"},
    {method_name::frexp, "frexp"},       {method_name::ldexp, "ldexp"},
    {method_name::log, "log"},           {method_name::log10, "log10"},
    {method_name::pow, "pow"},           {method_name::sqrt, "sqrt"},
    {method_name::ceil, "ceil"},         {method_name::floor, "floor"},
    {method_name::infinity, "infinity"}, {method_name::is_infinity, "is_infinity"},
    {method_name::char_, "char"},        {method_name::fixed, "fixed"},
    {method_name::precision, "precision"}, {method_name::pad, "pad"},
    {method_name::sort, "sort"},         {method_name::reverse, "reverse"},
    {method_name::index_of, "index_of"}, {method_name::slice, "slice"},
    {method_name::join, "join"},         {method_name::keys, "keys"},
    {method_name::values, "values"},     {method_name::sort_by, "sort_by"},
    {method_name::start, "start"},       {method_name::restart, "restart"},
    {method_name::elapsed, "elapsed"},   {method_name::id, "id"},
    {method_name::exit, "exit"},         {method_name::get, "get"},
};
inline constexpr std::size_t first_named = static_cast<std::size_t>(method_name::size);

constexpr bool texts_in_order()
{
    std::size_t i = first_named;
    for (const auto& [name, text] : method_texts)
        if (static_cast<std::size_t>(name) != i++ || text.empty()) return false;
    return i == static_cast<std::size_t>(method_name::count_);
}
static_assert(texts_in_order(), "every method name has its text, in the enumeration's order");
} // namespace detail

// The text of a name (empty for none and unresolved).
constexpr std::string_view method_text(method_name n)
{
    const auto i = static_cast<std::size_t>(n);
    if (i < detail::first_named || i >= static_cast<std::size_t>(method_name::count_)) return {};
    return detail::method_texts[i - detail::first_named].second;
}

// The name a method's text stands for, or none. Method names are plain ASCII, so a wide text matches
// character by character.
template <class Ch>
method_name method_name_of(std::basic_string_view<Ch> text)
{
    for (const auto& [name, known] : detail::method_texts) {
        if (known.size() != text.size()) continue;
        std::size_t i = 0;
        while (i < text.size() && text[i] == static_cast<Ch>(known[i])) ++i;
        if (i == text.size()) return name;
    }
    return method_name::none;
}

} // namespace vorla
