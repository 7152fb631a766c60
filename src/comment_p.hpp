// The comment stripper run over a source text before it is parsed.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vorla {

// Where the stripped text's characters stood in the original: every removed comment shifts what
// follows it, so positions the parser finds are mapped back before anyone sees them.
class offset_map {
public:
    // `removed` characters were dropped just before stripped offset `at`.
    void cut(std::size_t at, std::size_t removed);
    std::size_t original(std::size_t stripped) const;

    // Where the last string or comment began: the place to name when one is never closed.
    std::size_t open_at = 0;

private:
    std::vector<std::pair<std::size_t, std::size_t>> cuts_;  // stripped offset, total shift from there on
};

// Removes block and line comments outside double-quoted text. Raises the diagnostic
// "comment parser failrue" when a string, comment or trailing '/' runs off the end.
std::wstring comment_p(const std::wstring& text);
// The same, recording where each comment was cut out.
std::wstring comment_p(const std::wstring& text, offset_map& map);

}  // namespace vorla
