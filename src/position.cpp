// The file table's line arithmetic and the standard-error report of a script error.
#include "position.hpp"

#include <algorithm>

#include "exception.hpp"

namespace vorla {

std::uint32_t source_files::add(std::string path, std::wstring text)
{
    file f{std::move(path), std::move(text), {0}};
    for (std::size_t i = 0; i < f.text.size(); ++i)
        if (f.text[i] == L'\n') f.line_starts.push_back(i + 1);
    files_.push_back(std::move(f));
    return static_cast<std::uint32_t>(files_.size());
}

const std::string& source_files::path(std::uint32_t n) const
{
    static const std::string unknown = "?";
    return n >= 1 && n <= files_.size() ? files_[n - 1].path : unknown;
}

const source_files::file* source_files::find(script_pos p) const
{
    return p.file >= 1 && p.file <= files_.size() ? &files_[p.file - 1] : nullptr;
}

source_files::line_col source_files::locate(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    const std::size_t offset = std::min<std::size_t>(p.offset, f->text.size());
    const auto after = std::upper_bound(f->line_starts.begin(), f->line_starts.end(), offset);
    const std::size_t line = static_cast<std::size_t>(after - f->line_starts.begin());
    return {line, offset - f->line_starts[line - 1] + 1};
}

std::string source_files::where(script_pos p) const
{
    const file* f = find(p);
    if (!f) return "?";
    const line_col lc = locate(p);
    return f->path + ":" + std::to_string(lc.line) + ":" + std::to_string(lc.column);
}

namespace {
// The line's text without its end (a carriage return before the line feed is part of the end).
std::wstring line_text(const std::wstring& text, std::size_t start)
{
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start && text[end - 1] == L'\r') --end;
    return text.substr(start, end - start);
}
} // namespace

std::string source_files::source_line(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    return narrow(line_text(f->text, f->line_starts[locate(p).line - 1]));
}

std::string source_files::caret_line(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    const line_col lc = locate(p);
    const std::wstring line = line_text(f->text, f->line_starts[lc.line - 1]);
    std::string out;
    for (std::size_t i = 0; i + 1 < lc.column; ++i) out += i < line.size() && line[i] == L'\t' ? '\t' : ' ';
    return out + "^";
}

namespace {
// The innermost line of a diagnostic chain without the interpreter's "file(line) function: " lead.
std::string innermost_message(const std::string& chain)
{
    const auto last = chain.rfind("\n>\t");
    std::string line = last == std::string::npos ? chain : chain.substr(last + 3);
    const auto lead = line.find(") ");
    const auto colon = lead == std::string::npos ? std::string::npos : line.find(": ", lead);
    if (colon != std::string::npos) line.erase(0, colon + 2);
    return line;
}
} // namespace

std::string format_report(const source_files& files, const script_trace& trace, const std::string& chain)
{
    std::string out;
    script_pos where = trace.where;
    // An error with no position of its own (a call that failed as a whole) is placed at its call site.
    if (!where.known())
        for (const script_frame& f : trace.frames)
            if (f.at.known()) {
                where = f.at;
                break;
            }
    if (where.known()) out += files.where(where) + ": ";
    out += "error: ";
    out += trace.message.empty() ? innermost_message(chain) : trace.message;
    out += '\n';
    if (where.known()) {
        out += files.source_line(where) + '\n';
        out += files.caret_line(where) + '\n';
    }
    if (!trace.hint.empty()) out += "hint: " + trace.hint + '\n';

    auto frame_line = [&](const script_frame& f) {
        out += "  in " + f.what;
        static const char* const links[] = {" at ", ", started at ", ", included at "};
        if (f.at.known()) out += links[f.how] + files.where(f.at);
        out += '\n';
    };
    const auto& frames = trace.frames;
    if (frames.size() <= max_listed_frames) {
        for (const script_frame& f : frames) frame_line(f);
    } else {
        // Runaway recursion stays short: the innermost and outermost frames, and how many lie between.
        const std::size_t half = max_listed_frames / 2;
        for (std::size_t i = 0; i < half; ++i) frame_line(frames[i]);
        out += "  ... " + std::to_string(frames.size() - 2 * half) + " more frames\n";
        for (std::size_t i = frames.size() - half; i < frames.size(); ++i) frame_line(frames[i]);
    }
    return out;
}

} // namespace vorla
