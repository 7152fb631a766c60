// The compilation driver: file lookup, the include guard, parsing, the top-level walk and its definitions.
#include "semantic/semantic.hpp"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "comment_p.hpp"
#include "expression/signal.hpp"
#include "lib/basic_filesystem.hpp"
#include "lib/file.hpp"
#include "nspace.hpp"
#include "stack_guard.hpp"
#include "symbol.hpp"

namespace vorla {

using detail::semantic::leaf_text;
using detail::semantic::pnode;
using detail::semantic::rule;

namespace {
constexpr const char* fn_compile_file = "vorla::semantic<wchar_t>::compile_file";
constexpr const char* fn_compile_this = "vorla::semantic<wchar_t>::compile_this";
constexpr const char* fn_compile_str = "vorla::semantic<wchar_t>::compile_str";
constexpr const char* fn_include = "vorla::semantic<wchar_t>::eval_include_def";
constexpr const char* fn_global = "vorla::semantic<wchar_t>::global_declaration";
constexpr const char* fn_process = "vorla::semantic<wchar_t>::eval_process_def";
constexpr const char* fn_inline = "vorla::semantic<wchar_t>::eval_inline_def";

std::wstring slashes(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

// A leading '/' makes a path complete; anything else is taken below the directory.
std::wstring candidate_path(const std::wstring& directory, const std::wstring& path)
{
    std::wstring p = slashes(path);
    if (!p.empty() && p.front() == L'/') return p;
    std::wstring d = slashes(directory);
    if (d.empty()) return p;
    if (d.back() != L'/') d += L'/';
    return d + p;
}

// The file's path split at every '/', the last piece dropped, the rest rejoined.
std::wstring directory_of(const std::wstring& file)
{
    const auto cut = file.rfind(L'/');
    return cut == std::wstring::npos ? std::wstring() : file.substr(0, cut);
}

// The unparsed rest of a stripped text only as far as the end of the line where the parse stopped, so a
// file that is no script (an include of /etc/passwd) is not shown beyond it.
std::wstring up_to_failing_line(const std::wstring& stripped, const detail::semantic::parse_info& info,
                                const offset_map& map)
{
    const std::size_t end = std::min(stripped.find(L'\0'), stripped.size());
    const std::size_t from = end - std::min(end, info.stop.size());
    // The stripped offset of the furthest point: offsets only grow when mapped back.
    std::size_t lo = from, hi = end;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (map.original(mid) < info.furthest) lo = mid + 1;
        else hi = mid;
    }
    const std::size_t cut = stripped.find(L'\n', lo);
    return info.stop.substr(0, cut == std::wstring::npos ? std::wstring::npos : cut - from);
}

std::string describe_of(const value& v) { return v ? v->describe() : std::string(); }
} // namespace

void semantic<wchar_t>::compile(const std::wstring& path, const std::string& shown)
{
    dir_stack dirs;
    top_shown_ = shown;
    if (confine) trusted_.push_back(directory_of(slashes(path)));
    compile_file(path, dirs);
}

bool semantic<wchar_t>::trusted(const std::wstring& file) const
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(fs::path(narrow(file)), ec);
    if (ec) return false;
    const std::string inside = real.string();
    auto below = [&](const std::wstring& directory) {
        std::string root = fs::weakly_canonical(fs::path(narrow(directory.empty() ? L"." : directory)), ec).string();
        if (ec) return false;
        while (!root.empty() && root.back() == '/') root.pop_back();
        // At a piece boundary: "/srv/app2/x" is not below "/srv/app".
        return inside.compare(0, root.size(), root) == 0 && inside.size() > root.size() && inside[root.size()] == '/';
    };
    return std::any_of(trusted_.begin(), trusted_.end(), below) ||
           std::any_of(include_directories.begin(), include_directories.end(), below);
}

void semantic<wchar_t>::compile_file(const std::wstring& path, dir_stack& dirs)
{
    if (!dirs.empty()) {
        const std::wstring here = dirs.back();
        if (compile_this(dirs, here, path)) return;
    }
    for (const std::wstring& directory : include_directories)
        if (compile_this(dirs, directory, path)) return;
    exception e = VORLA_EXCEPTION(fn_compile_file, "include failure, path=") << path;
    // The script itself, named on the command line or by a host, is no include.
    if (shown_.empty()) {
        std::error_code ec;
        const auto status = std::filesystem::status(std::filesystem::path(narrow(path)), ec);
        const std::string why = std::filesystem::is_directory(status) ? "it is a directory"
                                : std::filesystem::exists(status)
                                    ? "no file of that name was found"
                                    : std::make_error_code(std::errc::no_such_file_or_directory).message();
        e.explain("cannot read the script '" + narrow(path) + "': " + why);
    }
    e.explain("no file '" + narrow(path) + "' was found to include");
    throw e;
}

bool semantic<wchar_t>::compile_this(dir_stack& dirs, const std::wstring& directory, const std::wstring& path)
{
    std::vector<std::wstring> found;
    ::lib::basic_filesystem::list_path(candidate_path(directory, path), found);
    if (found.size() > 1)
        throw VORLA_EXCEPTION(fn_compile_this, "ambiguous path string, dir=") << directory << ", path=" << path;
    if (found.empty()) return false;
    const std::wstring file = found.front();
    if (confine && !shown_.empty() && !trusted(file))
        throw VORLA_EXCEPTION(fn_compile_this, "include refused, path=")
                  .explain("'" + narrow(path) + "' lies outside the script's directory and the include directories, "
                           "where includes are confined")
            << path;
    if (std::find(compiled_files.begin(), compiled_files.end(), file) != compiled_files.end()) return true;
    compiled_files.push_back(file);
    // Positions name the file as the user wrote it: the command line's path; an include found beside
    // the including file under that file's shown directory; any other as it was found.
    std::string shown = narrow(file);
    if (shown_.empty() && !top_shown_.empty()) {
        shown = std::move(top_shown_);
        top_shown_.clear();
    } else if (!shown_.empty() && !dirs.empty() && directory == dirs.back() && !path.empty() && path.front() != L'/') {
        const auto cut = shown_.back().rfind('/');
        shown = (cut == std::string::npos ? std::string() : shown_.back().substr(0, cut + 1)) + narrow(slashes(path));
    }
    const bool included = !shown_.empty();
    try {
        dirs.push_back(directory_of(file));
        std::wstring text;
        ::lib::file::open(file, text);
        compile_str(std::move(text), dirs, shown);
        dirs.pop_back();
    } catch (const std::exception& e) {
        exception report = VORLA_EXCEPTION(fn_compile_this, "compile failure, dir=") << directory << ", path=" << path << e;
        if (const auto* unread = dynamic_cast<const ::lib::file::unreadable*>(&e))
            report.explain("cannot read " + std::string(included ? "'" : "the script '") + shown + "': " + unread->reason);
        if (included && report.trace()) report.script().leave_file(shown);
        throw report;
    }
    return true;
}

void semantic<wchar_t>::compile_str(std::wstring text, dir_stack& dirs, const std::string& shown, long first_line,
                                    std::size_t before, std::size_t after)
{
    // Includes recurse through here.
    if (stack_exhausted())
        throw detail::semantic::refusal(VORLA_EXCEPTION(fn_compile_str, "nesting too deep"));

    // Nodes made now are placed in this file; the including file's number comes back afterwards.
    struct current_file {
        current_file(semantic& s, std::uint32_t file, const std::string& shown) : s(s), previous(s.part_.file)
        {
            s.part_.file = file;
            s.shown_.push_back(shown);
        }
        ~current_file()
        {
            s.part_.file = previous;
            s.shown_.pop_back();
        }
        semantic& s;
        std::uint32_t previous;
    } placing(*this, files->add(shown, text, first_line, before, after), shown);
    const std::uint32_t file = part_.file;

    detail::semantic::parse_info info;
    offset_map map;
    auto failure = [&]() {
        return VORLA_EXCEPTION(fn_compile_str, "parsing failure, ")
               << " match=" << info.match << " full=" << info.full << " length=" << info.length
               << " stop=" << narrow(confine ? up_to_failing_line(text, info, map) : info.stop);
    };
    try {
        text = comment_p(text, map);
    } catch (const std::exception&) {
        exception e = failure();
        e.script().where = {file, static_cast<std::uint32_t>(map.open_at)};
        e.explain(text[map.open_at] == L'"' ? "this string is never closed" : "this comment is never closed");
        throw e;
    }
    // Parsing ends at the first NUL: a file read short of its byte count is padded with them.
    const auto nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    try {
        info = detail::semantic::parse_program(text, &map);
    } catch (const std::exception& e) {
        info = {};
        throw failure() << e;
    }
    if (!info.match || !info.full) {
        exception e = failure();
        e.script().where = {file, static_cast<std::uint32_t>(info.furthest)};
        e.explain("the script does not parse here");
        if (!info.hint.empty()) e.hint(info.hint);
        // A missing `}` shows only where the next definition fails to parse: name the `{` instead.
        if (const auto open = detail::semantic::unclosed_brace(text); open != std::wstring::npos) {
            const script_pos brace{file, static_cast<std::uint32_t>(map.original(open))};
            const auto where = files->locate(brace), stop = files->locate(e.script().where);
            e.script().where = brace;
            e.script().message = "the `{` at " + std::to_string(where.line) + ":" + std::to_string(where.column) + " is never closed";
            e.hint("the parse stopped at " + std::to_string(stop.line) + ":" + std::to_string(stop.column) +
                   ": put the missing `}` before that");
        }
        throw e;
    }

    // The tree holds all the compiler reads of the text (its words and their places): the stripped
    // copy and its comment cuts go before compiling, which for a big script is a good part of its peak.
    std::wstring().swap(text);
    map = offset_map{};

    if (keep_trees) trees.push_back({file, info.tree});
    wrap_failure([] { return VORLA_EXCEPTION(fn_compile_str, "semantic failure"); }, [&] { walk(info.tree, dirs); });
}

void semantic<wchar_t>::walk(const pnode& program, dir_stack& dirs)
{
    for (const pnode& d : program.children) {
        if (d.leaf) continue;  // whitespace between definitions
        // An error nothing further in placed is placed at its definition.
        try {
            switch (d.id) {
            case rule::include_def: eval_include_def(d, dirs); break;
            case rule::declaration: global_declaration(d); break;
            case rule::class_def: part_.eval_class_def(d); break;
            case rule::process_def: eval_process_def(d); break;
            case rule::inline_def: eval_inline_def(d); break;
            case rule::function_def: part_.eval_function_def(d, space_); break;
            default: break;
            }
        } catch (exception& e) {
            e.script().mark(part_.at(d));
            throw;
        }
    }
}

void semantic<wchar_t>::eval_include_def(const pnode& n, dir_stack& dirs)
{
    const pnode& path = n.id == rule::include_def ? n.children.at(0) : n;
    try {
        wrap_failure([] { return VORLA_EXCEPTION(fn_include, "catch exception"); }, [&] { compile_file(leaf_text(path), dirs); });
    } catch (exception& e) {
        e.script().mark(part_.at(path));
        throw;
    }
}

// A global is created when its declaration is met, so its initializer sees only what came before it.
void semantic<wchar_t>::global_declaration(const pnode& n)
{
    try {
        wrap_failure([] { return VORLA_EXCEPTION(fn_global, "catch exception"); }, [&] {
            expr declaration = part_.eval_declaration(n);
            own_runtime rt{&space_.global, &space_};
            declaration->evaluate(rt);
            // A signal that crossed the initializer has no statement to go to: it is reported below.
            if (rt.out->pending()) raise_signal(rt.out->kind, *rt.out);
        });
    } catch (const sig_return& s) {
        throw VORLA_EXCEPTION(fn_global, "catch unexpected return ") << describe_of(s.v);
    } catch (const sig_throw& s) {
        // The thrown value's own account (its place and plain message) is the report's.
        const std::string text = describe_of(s.v);
        exception e = VORLA_EXCEPTION(fn_global, "catch unexpected throw ") << text;
        e.adopt(s.trace);
        e.explain("nothing caught the exception " + text);
        throw e;
    } catch (const sig_break&) {
        throw VORLA_EXCEPTION(fn_global, "catch unexpected break");
    } catch (const sig_continue&) {
        throw VORLA_EXCEPTION(fn_global, "catch unexpected continue");
    }
}

void semantic<wchar_t>::eval_process_def(const pnode& n)
{
    wrap_failure([] { return VORLA_EXCEPTION(fn_process, "catch exception"); }, [&] {
        const auto& c = n.children;
        const std::wstring& name = leaf_text(c.at(0));
        table::parameter_list params = part_.eval_param_list(c.at(1));
        control_ptr body = part_.eval_block(c.at(2));
        const type_id_t pid = space_.types->generate_p(name);
        space_.processes->define(params, pid, std::move(body));
    });
}

void semantic<wchar_t>::eval_inline_def(const pnode& n)
{
    wrap_failure([] { return VORLA_EXCEPTION(fn_inline, "catch exception"); }, [&] {
        const auto& c = n.children;
        const symbol name = space_.ctx->intern(leaf_text(c.at(0)));
        table::parameter_list params = part_.eval_param_list(c.at(1));
        control_ptr body = part_.eval_block(c.at(2));
        space_.inlines->define(params, name, std::move(body));
    });
}

} // namespace vorla
