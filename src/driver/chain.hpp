// Folding of long diagnostic chains for the console: deep recursion repeats its lines thousands of times.
#pragma once

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "locale.hpp"

namespace vorla::driver {

// A count in a folding note, grouped under the interpreter's locale as every number of a diagnostic is.
inline std::string counted(std::size_t n)
{
    std::ostringstream os;
    os.imbue(text_locale());
    os << n;
    return os.str();
}

// How many lines from `i` on continue the pattern of period k: the first k, and every later line equal
// to the one k before it. Less than k when fewer than k lines are left.
inline std::size_t repeat_extent(const std::vector<std::string>& lines, std::size_t i, std::size_t k)
{
    std::size_t end = std::min(lines.size(), i + k);
    while (end < lines.size() && lines[end] == lines[end - k]) ++end;
    return end - i;
}

// A diagnostic chain with its repetitions folded (deep recursion repeats one line, or a group of 2-4
// lines when it alternates between calls and constructors, say). A run of more than 8 identical lines
// keeps its first 3 and last 2 around one line saying how many were left out; a run of more than 8
// lines repeating a group of 2 to 4 keeps its first and last group around one such line. The
// smallest repeating group is the one folded.
inline std::string shorten_chain(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string out;
    auto emit = [&out, &lines](std::size_t from, std::size_t count) {
        for (std::size_t k = from; k < from + count; ++k) {
            out += lines[k];
            out += '\n';
        }
    };
    auto note = [&out](const std::string& line) {
        out += line;
        out += '\n';
    };
    constexpr std::size_t fold_above = 8;
    for (std::size_t i = 0; i < lines.size();) {
        const std::size_t same = repeat_extent(lines, i, 1);
        if (same > fold_above) {
            emit(i, 3);
            note(">\t... " + counted(same - 5) + " identical lines omitted");
            emit(i + same - 2, 2);
            i += same;
            continue;
        }
        std::size_t folded = 0;
        for (std::size_t k = 2; k <= 4 && !folded; ++k) {
            const std::size_t whole = repeat_extent(lines, i, k) / k * k;  // whole groups only
            if (whole <= fold_above) continue;
            emit(i, k);
            note(">\t... " + counted(whole - 2 * k) + " lines omitted (a group of " +
                 counted(k) + " lines repeated)");
            emit(i + whole - k, k);
            folded = whole;
        }
        if (folded) {
            i += folded;
        } else {
            emit(i, 1);
            ++i;
        }
    }
    out.pop_back();  // the caller ends the text with its own newline
    return out;
}

} // namespace vorla::driver
