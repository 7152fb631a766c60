// Script positions: where a construct stands in which script file, and the script's view of an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorla {

// A compact position: the file's number in the run's file table and a character offset into its
// text. Line and column are worked out only when a position is reported. File 0 means "unknown".
struct script_pos {
    std::uint32_t file = 0;
    std::uint32_t offset = 0;
    bool known() const noexcept { return file != 0; }
};
static_assert(sizeof(script_pos) <= 8);

// Every script file of a run, numbered from 1 in the order they were read: the path as the user wrote
// it (or as an include resolved it) and the text, for line numbers and source lines.
class source_files {
public:
    struct line_col {
        std::size_t line = 0;    // 1-based
        std::size_t column = 0;  // 1-based, in characters
    };

    // Registers a file and returns its number. Its first line is numbered `first_line` in positions (a
    // text cut from a larger one keeps that one's numbers; lines a wrapper put before it go below 1). The
    // text's first `before` and last `after` characters are the compiler's own (what wraps statements given
    // on the command line): they are no line of the file, and a position among them is shown at the
    // nearest end of what the user wrote.
    std::uint32_t add(std::string path, std::wstring text, long first_line = 1, std::size_t before = 0,
                      std::size_t after = 0);
    std::size_t size() const noexcept { return files_.size(); }
    const std::string& path(std::uint32_t file) const;

    line_col locate(script_pos p) const;
    // "FILE:LINE:COL"; "?" for an unknown position.
    std::string where(script_pos p) const;
    // The source line holding p (UTF-8, without its line end), and a caret line under p's column
    // that repeats the line's tabs so the caret lines up on any tab width. A very long line is shown as a
    // window around p, marked "..." where it was cut.
    std::string source_line(script_pos p) const;
    std::string caret_line(script_pos p) const;

private:
    struct file {
        std::string path;
        // The text is kept for the lines a report quotes, for the whole run: one byte a character when
        // every character fits in one (nearly every script, and a big script's text would otherwise
        // take four times its size), else wide.
        std::string bytes;
        std::wstring wide;
        bool is_wide = false;
        std::vector<std::uint32_t> line_starts;  // offsets of every line's first character
        long first_line = 1;
        std::size_t end;                         // where the user's text ends
    };
    // The line starting at character `start`, without its end (a carriage return before the line feed
    // is part of the end).
    static std::wstring line_text(const file& f, std::size_t start);
    const file* find(script_pos p) const;
    // p's line and column counted in the file's own text (from 1, whatever first_line says).
    static line_col in_text(const file& f, script_pos p);
    std::vector<file> files_;
};

// One entry of a script call stack: what was running ("function fib(int)", "process worker#3") and
// where it was called or started from (unknown for the first process).
struct script_frame {
    enum kind : unsigned char { call, process, include };
    std::string what;
    script_pos at;  // the call site, where the process was started, or the #include
    kind how = call;
};

// The script's own account of an error, gathered while the error travels outward: the innermost
// position and plain message, then one frame per call it leaves, innermost first.
struct script_trace {
    script_pos where;
    std::string message;  // one plain sentence; empty when nothing more exact than the chain is known
    std::string hint;     // advice for a known trap, empty when there is none
    std::vector<script_frame> frames;
    bool awaiting_site = false;  // the last frame's call site is the next position met
    // A budget spent or an interrupt: it stops every process, not only the one it met, so the report
    // also says where each of the others stood.
    bool stops_run = false;
    std::vector<script_trace> others;  // where each other live process stood, with its starts

    // A position met on the way out: the error's own place when none is known yet, else the call site
    // of the frame just left.
    void mark(script_pos p)
    {
        if (!p.known()) return;
        if (awaiting_site) {
            frames.back().at = p;
            awaiting_site = false;
        } else if (!where.known()) {
            where = p;
        }
    }
    // The error leaves a call ("function fib(int)"). Without a known call site, the next position
    // marked is taken as that site.
    void leave(std::string what, script_pos site = {})
    {
        // Nothing placed yet: the call failed before its body ran (no such overload, the call depth),
        // so the error's place is the call site itself and the call is no frame.
        if (!where.known() && !site.known()) return;
        frames.push_back({std::move(what), site, script_frame::call});
        awaiting_site = !site.known();
    }
    // The error leaves a process, started at `started` (unknown for the first one).
    void leave_process(std::string what, script_pos started)
    {
        frames.push_back({std::move(what), started, script_frame::process});
        awaiting_site = false;
    }
    // The error leaves an included file; the #include is the next position marked.
    void leave_file(std::string shown)
    {
        frames.push_back({"file " + std::move(shown), {}, script_frame::include});
        awaiting_site = true;
    }
};
using trace_ptr = std::shared_ptr<script_trace>;

// At most this many frames are listed; the rest are counted.
inline constexpr std::size_t max_listed_frames = 20;

// The full report for standard error: "FILE:LINE:COL: error: MESSAGE", the source line, the caret,
// a hint when there is one, and the call stack. Without a plain message of its own, the report says
// what the innermost line of the diagnostic `chain` says.
std::string format_report(const source_files& files, const script_trace& trace, const std::string& chain);

} // namespace vorla
