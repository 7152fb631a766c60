// The file table's line arithmetic and the standard-error report of a script error.
#include "position.hpp"

#include <algorithm>

#include "exception.hpp"

namespace vorla {

std::uint32_t source_files::add(std::string path, std::wstring text, long first_line, std::size_t before,
                                std::size_t after)
{
    before = std::min(before, text.size());
    const std::size_t end = text.size() - std::min(after, text.size() - before);
    file f{std::move(path), {}, {}, false, {static_cast<std::uint32_t>(before)}, first_line, end};
    for (std::size_t i = before; i < end; ++i)
        if (text[i] == L'\n') f.line_starts.push_back(static_cast<std::uint32_t>(i + 1));
    f.line_starts.shrink_to_fit();
    f.is_wide = std::any_of(text.begin(), text.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) > 0xFF; });
    if (f.is_wide) f.wide = std::move(text);
    else f.bytes.assign(text.begin(), text.end());  // each character is its own byte value
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

source_files::line_col source_files::in_text(const file& f, script_pos p)
{
    const std::size_t offset = std::clamp<std::size_t>(p.offset, f.line_starts.front(), f.end);
    const auto after = std::upper_bound(f.line_starts.begin(), f.line_starts.end(), offset);
    const std::size_t line = static_cast<std::size_t>(after - f.line_starts.begin());
    return {line, offset - f.line_starts[line - 1] + 1};
}

source_files::line_col source_files::locate(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    const line_col lc = in_text(*f, p);
    const long numbered = static_cast<long>(lc.line) - 1 + f->first_line;
    return {static_cast<std::size_t>(std::max(1L, numbered)), lc.column};
}

std::string source_files::where(script_pos p) const
{
    const file* f = find(p);
    if (!f) return "?";
    const line_col lc = locate(p);
    return f->path + ":" + std::to_string(lc.line) + ":" + std::to_string(lc.column);
}

std::wstring source_files::line_text(const file& f, std::size_t start)
{
    auto end_of = [start](const auto& text) {
        std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start && text[end - 1] == '\r') --end;
        return end;
    };
    if (f.is_wide) return f.wide.substr(start, end_of(f.wide) - start);
    std::wstring line;
    const std::size_t end = end_of(f.bytes);
    line.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) line += static_cast<wchar_t>(static_cast<unsigned char>(f.bytes[i]));
    return line;
}

namespace {
// A line longer than this is shown as a window around the place: a report on a generated script of one
// line of megabytes stays a line of the terminal. The column in the place's text stays the line's own.
constexpr std::size_t shown_width = 160;
const std::wstring cut_mark = L"...";

struct shown_line {
    std::wstring text;          // what the report prints, with the marks where the line was cut
    std::size_t from = 0;       // the line's first character shown
    std::size_t mark_width = 0; // what stands before it: the mark when the line was cut at its start
};

shown_line shown(const std::wstring& line, std::size_t column)
{
    if (line.size() <= shown_width) return {line, 0, 0};
    const std::size_t at = std::min(column > 0 ? column - 1 : 0, line.size());
    const std::size_t from = std::min(at > shown_width / 2 ? at - shown_width / 2 : 0, line.size() - shown_width);
    shown_line s;
    s.from = from;
    if (from > 0) {
        s.text = cut_mark;
        s.mark_width = cut_mark.size();
    }
    s.text.append(line, from, shown_width);
    if (from + shown_width < line.size()) s.text += cut_mark;
    return s;
}
} // namespace

std::string source_files::source_line(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    const line_col lc = in_text(*f, p);
    return narrow(shown(line_text(*f, f->line_starts[lc.line - 1]), lc.column).text);
}

std::string source_files::caret_line(script_pos p) const
{
    const file* f = find(p);
    if (!f) return {};
    const line_col lc = in_text(*f, p);
    const std::wstring line = line_text(*f, f->line_starts[lc.line - 1]);
    const shown_line s = shown(line, lc.column);
    std::string out(s.mark_width, ' ');
    for (std::size_t i = s.from; i + 1 < lc.column; ++i) out += i < line.size() && line[i] == L'\t' ? '\t' : ' ';
    return out + "^";
}

namespace {
// How the frame inside was entered from the next frame out, by script_frame::kind.
constexpr const char* entered_from[] = {"called from ", "started by ", "included from "};
constexpr const char* entered_at[] = {"called from ", "started at ", "included from "};

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

// The call stack of a report, one line per frame.
void append_stack(std::string& out, const source_files& files, const script_trace& trace)
{
    // Each line names the frame whose body holds its position: the innermost frame with the error's own
    // place, every outer one with the place where it called, started or included the frame inside it.
    const auto& frames = trace.frames;
    auto frame_line = [&](std::size_t i) {
        const script_frame& f = frames[i];
        const script_pos at = i == 0 ? trace.where : frames[i - 1].at;
        out += "  ";
        out += i == 0 ? "in " : entered_from[frames[i - 1].how];
        out += f.what;
        if (at.known()) out += " at " + files.where(at);
        out += '\n';
    };
    if (frames.size() <= max_listed_frames) {
        for (std::size_t i = 0; i < frames.size(); ++i) frame_line(i);
    } else {
        // Runaway recursion stays short: the innermost and outermost frames, and how many lie between.
        const std::size_t half = max_listed_frames / 2;
        for (std::size_t i = 0; i < half; ++i) frame_line(i);
        out += "  ... " + std::to_string(frames.size() - 2 * half) + " more frames\n";
        for (std::size_t i = frames.size() - half; i < frames.size(); ++i) frame_line(i);
    }
    // The outermost frame was entered from code that is in no frame: a file's top level, a host, or a
    // process that has finished.
    if (!frames.empty() && frames.back().at.known())
        out += std::string("  ") + entered_at[frames.back().how] + files.where(frames.back().at) + '\n';
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

    append_stack(out, files, trace);
    if (!trace.others.empty()) {
        out += "the other live processes stood:\n";
        for (const script_trace& other : trace.others) append_stack(out, files, other);
    }
    return out;
}

} // namespace vorla
