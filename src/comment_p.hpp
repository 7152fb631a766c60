// The comment stripper run over a source text before it is parsed.
#pragma once

#include <string>

namespace vorla {

// Removes block and line comments outside double-quoted text. Raises the diagnostic
// "comment parser failrue" when a string, comment or trailing '/' runs off the end.
std::wstring comment_p(const std::wstring& text);

}  // namespace vorla
