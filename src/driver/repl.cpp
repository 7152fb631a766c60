// The interactive session: reads inputs until their brackets close, compiles definitions into the program,
// and runs statements as the body of a fresh process, with declarations kept as globals between inputs.
#include "driver/repl.hpp"

#include <editline/readline.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "comment_p.hpp"
#include "exception.hpp"
#include "semantic/ptree.hpp"

namespace vorla::driver {

using detail::semantic::pnode;
using detail::semantic::rule;

std::optional<std::string> stream_lines::next(const char*)
{
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    return line;
}

terminal_lines::terminal_lines(std::function<bool()> interrupted) : interrupted_(std::move(interrupted))
{
    using_history();
    // Tab inserts itself: scripts are indented with it, and there is nothing to complete.
    rl_bind_key('\t', rl_insert);
}

terminal_lines::~terminal_lines() { clear_history(); }

std::optional<std::string> terminal_lines::next(const char* prompt)
{
    char* got = readline(prompt);
    // A signal that cuts libedit's read short ends the line with nothing, as the end of input does. A Ctrl-C
    // drops the input being typed, as a shell does, and the next prompt starts a line of its own; only Ctrl-D
    // ends the session.
    cancelled_ = !got && interrupted_ && interrupted_();
    if (cancelled_) {
        FILE* out = rl_outstream ? rl_outstream : stdout;
        std::fputs("\n", out);
        std::fflush(out);
        return std::string();
    }
    if (!got) return std::nullopt;
    std::string line(got);
    std::free(got);
    if (!line.empty()) add_history(line.c_str());
    return line;
}

namespace {

// Each statement input runs as the body of a process of its own; the prefix stands on a line of its own so
// that the input keeps its lines and columns.
const std::wstring body_open = L"process __input() {\n";

// Brackets still open outside strings; negative when more closed than opened.
int open_brackets(const std::wstring& stripped)
{
    int depth = 0;
    for (std::size_t i = 0; i < stripped.size(); ++i) {
        const wchar_t c = stripped[i];
        if (c == L'"') {
            for (++i; i < stripped.size() && stripped[i] != L'"'; ++i)
                if (stripped[i] == L'\\') ++i;
        } else if (c == L'{' || c == L'(') {
            ++depth;
        } else if (c == L'}' || c == L')') {
            --depth;
        }
    }
    return depth;
}

bool blank(const std::wstring& s) { return s.find_first_not_of(L" \t\r\n") == std::wstring::npos; }

// The parse of `text`, comments stripped first; nothing when a string or comment is left open.
std::optional<detail::semantic::parse_info> parse_of(const std::wstring& text)
{
    offset_map map;
    std::wstring stripped;
    try {
        stripped = comment_p(text, map);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return detail::semantic::parse_program(stripped, &map);
}

// The parse of `text` when the whole of it parses.
std::optional<detail::semantic::parse_info> parsed(const std::wstring& text)
{
    auto info = parse_of(text);
    if (!info || !info->match || !info->full) return std::nullopt;
    return info;
}

// How far into the input (after `prefix` characters of wrapper) the parse of `text` got.
std::size_t furthest(const std::wstring& text, std::size_t prefix)
{
    const auto info = parse_of(text);
    return info && info->furthest > prefix ? info->furthest - prefix : 0;
}

// The statements of a parsed statement input (inside the process made of it).
std::optional<detail::semantic::pnode_children> statements_of(const detail::semantic::parse_info& info)
{
    for (const pnode& d : info.tree.children)
        if (d.id == rule::process_def && d.children.size() > 2) return d.children[2].children;
    return std::nullopt;
}

// The input is one expression statement: its value is shown.
bool lone_expression(const detail::semantic::parse_info& info)
{
    const std::optional<detail::semantic::pnode_children> body = statements_of(info);
    if (!body) return false;
    std::optional<pnode> only;
    for (const pnode& s : *body) {
        if (s.id != rule::statement) continue;
        if (only) return false;
        only = s;
    }
    if (!only) return false;
    const pnode& c = only->children.at(0);
    if (c.id != rule::simple_stmt || c.children.at(0).id != rule::expression) return false;
    // An assignment is made for its effect: its value is not shown.
    const pnode& e = c.children[0].children.at(0);
    return !(e.id == rule::assign_expr && e.children.size() > 1);
}

class session {
public:
    session(interpreter& vorla, std::ostream& err, const std::function<bool()>& interrupted)
        : vorla_(vorla), err_(err), interrupted_(interrupted)
    {
        // The value of an expression statement in its debug form; nothing for nil (a call made for its effect).
        vorla_.define_native("__show", [](const std::vector<script_value>& v) {
            if (v.size() != 1 || v[0].is_nil()) return make_string(std::string());
            return make_string(v[0].describe() + "\n");
        });
    }

    // Definitions (and declarations, which become globals) go into the program; anything else runs at
    // once as the body of a process of its own, which any process it starts outlives.
    void input(const std::wstring& text, long first_line)
    {
        // A declaration typed without its semicolon is still a global.
        for (const std::wstring& definitions : {text, text + L";"})
            if (parsed(definitions)) {
                compiled([&] { vorla_.compile_string("input", definitions, first_line); });
                return;
            }
        std::wstring body = text;
        auto wrapped = parsed(body_open + body + L"\n}");
        if (!wrapped) {
            // A last expression may go without its semicolon, as people type at a prompt.
            body = text + L";";
            wrapped = parsed(body_open + body + L"\n}");
        }
        if (!wrapped) {
            // It does not parse: the reading that got further gives the report (definitions or statements).
            if (furthest(text, 0) >= furthest(body_open + text + L"\n}", body_open.size()))
                compiled([&] { vorla_.compile_string("input", text, first_line); });
            else
                compiled([&] { vorla_.compile_string("input", body_open + text + L"\n}", first_line - 1); });
            return;
        }
        const std::string name = "__input" + std::to_string(++count_);
        const std::wstring open = L"process " + widen(name) + L"() {\n";
        if (lone_expression(*wrapped)) {
            const auto semicolon = body.find_last_of(L';');
            const std::wstring expression = body.substr(0, semicolon);
            if (!compiled([&] {
                    vorla_.compile_string("input", open + L"using::write(using::__show(\n" + expression + L"\n));\n}",
                                          first_line - 2);
                }))
                return;
        } else if (!compiled([&] { vorla_.compile_string("input", open + body + L"\n}", first_line - 1); })) {
            return;
        }
        compiled([&] {
            if (interrupted_) interrupted_();  // a Ctrl-C typed at the prompt is not for this run
            vorla_.start(name);
            while (vorla_.processes() > 0) {
                if (interrupted_ && interrupted_()) {
                    err_ << "interrupted: " << vorla_.processes() << " process" << (vorla_.processes() == 1 ? "" : "es")
                         << " stopped\n" << std::flush;
                    vorla_.stop_processes();
                    return;
                }
                vorla_.step();
            }
        });
    }

private:
    // Runs f; an error is reported and the session goes on.
    template <class F>
    bool compiled(F f)
    {
        try {
            f();
            return true;
        } catch (const script_error& e) {
            err_ << (e.report().empty() ? std::string("error: ") + e.what() + "\n" : e.report()) << std::flush;
            return false;
        }
    }

    interpreter& vorla_;
    std::ostream& err_;
    const std::function<bool()>& interrupted_;
    unsigned count_ = 0;
};

} // namespace

input_kind classify(const std::string& utf8_text)
{
    // A line comment ends at the line's end, which the line as read no longer has.
    const std::wstring text = widen(utf8_text) + L"\n";
    std::wstring stripped;
    try {
        stripped = comment_p(text);
    } catch (const std::exception&) {
        return input_kind::incomplete;  // a string or comment still open
    }
    if (blank(stripped)) return input_kind::empty;
    if (open_brackets(stripped) > 0) return input_kind::incomplete;
    return parsed(text) ? input_kind::definitions : input_kind::statements;
}

void run_session(interpreter& vorla, line_source& lines, std::ostream& out, std::ostream& err,
                 const std::function<bool()>& interrupted)
{
    session s(vorla, err, interrupted);
    long line = 0;
    for (;;) {
        std::optional<std::string> got = lines.next("vorla> ");
        if (!got) return;
        if (lines.cancelled()) continue;
        ++line;
        const long first = line;
        std::string text = *got;
        input_kind kind = classify(text);
        while (kind == input_kind::incomplete) {
            got = lines.next("  ...> ");
            if (!got) break;
            if (lines.cancelled()) {
                kind = input_kind::empty;
                break;
            }
            ++line;
            text += "\n" + *got;
            kind = classify(text);
        }
        if (kind != input_kind::empty) s.input(widen(text + "\n"), first);
        out.flush();
        if (!got) return;
    }
}

} // namespace vorla::driver
