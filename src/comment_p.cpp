// Strips comments from a source text; quoted text is copied through untouched.
#include "comment_p.hpp"

#include <algorithm>
#include <iterator>

#include "exception.hpp"

namespace vorla {
namespace {

constexpr const char* function_name = "vorla::comment_p<wchar_t>::comment_p";

// Every read goes through here, so an unterminated construct ends in a diagnostic, never past the end.
wchar_t at(const std::wstring& text, std::size_t i)
{
    if (i >= text.size()) throw VORLA_EXCEPTION(function_name, "comment parser failrue");
    return text[i];
}

}  // namespace

void offset_map::cut(std::size_t at, std::size_t removed)
{
    const std::size_t shift = (cuts_.empty() ? 0 : cuts_.back().second) + removed;
    if (!cuts_.empty() && cuts_.back().first == at) cuts_.back().second = shift;
    else cuts_.emplace_back(at, shift);
}

std::size_t offset_map::original(std::size_t stripped) const
{
    // The last cut at or before the offset decides its shift.
    auto it = std::upper_bound(cuts_.begin(), cuts_.end(), stripped,
                               [](std::size_t s, const auto& c) { return s < c.first; });
    return it == cuts_.begin() ? stripped : stripped + std::prev(it)->second;
}

std::wstring comment_p(const std::wstring& text)
{
    offset_map ignored;
    return comment_p(text, ignored);
}

std::wstring comment_p(const std::wstring& text, offset_map& map)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const wchar_t c = text[i];
        if (c == L'"') {
            map.open_at = i;
            // A backslash does not protect a quote here: string mode ends at the next quote.
            out += c;
            ++i;
            for (;;) {
                const wchar_t d = at(text, i++);
                out += d;
                if (d == L'"') break;
            }
        } else if (c == L'/') {
            map.open_at = i;
            const wchar_t next = at(text, i + 1);
            if (next == L'*') {
                // The search for "*/" starts at the opening '/', so "/*/" already closes.
                std::size_t j = i;
                while (!(at(text, j) == L'*' && at(text, j + 1) == L'/')) ++j;
                map.cut(out.size(), j + 2 - i);
                i = j + 2;  // nothing copied: the text on both sides is joined
            } else if (next == L'/') {
                std::size_t j = i + 2;
                while (at(text, j) != L'\n') ++j;
                map.cut(out.size(), j - i);
                i = j;  // the line feed itself is copied by the next round
            } else {
                out += c;
                ++i;
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

}  // namespace vorla
