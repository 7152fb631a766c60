// The compiler: finds, reads, parses and walks script files into a namespace's tables and globals.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "position.hpp"
#include "semantic/ptree.hpp"
#include "semantic/s_class.hpp"

namespace vorla {

class nspace;

template <class Ch>
class semantic;

template <>
class semantic<wchar_t> {
public:
    // While a file is compiled, the back entry is the directory holding it; includes look there first.
    using dir_stack = std::deque<std::wstring>;

    explicit semantic(nspace& space) : space_(space), part_(space) {}
    semantic(const semantic&) = delete;
    semantic& operator=(const semantic&) = delete;

    // Searched, in order, for a file not found beside the including file.
    std::vector<std::wstring> include_directories;
    // Full paths of every file compiled so far: each file is compiled once.
    std::vector<std::wstring> compiled_files;
    // Every source text compiled, numbered as the positions in compiled nodes and in errors name them.
    std::shared_ptr<source_files> files = std::make_shared<source_files>();
    // When set, the parse tree of every file compiled is kept (includes after their includer) for the
    // checker to read after compilation.
    bool keep_trees = false;
    // For scripts that are not trusted: an include is compiled only from below the directory of the
    // script given to compile() or an include directory, and a parse failure shows no text beyond the
    // line where it stopped.
    bool confine = false;
    struct kept_tree {
        std::uint32_t file;
        detail::semantic::ptree tree;
    };
    std::deque<kept_tree> trees;

    // The script named on the command line: looked up in the include directories only. `shown` is the
    // path as the user wrote it, used in positions (the path found is used when it is empty).
    void compile(const std::wstring& path, const std::string& shown = {});
    void compile_file(const std::wstring& path, dir_stack& dirs);
    // True when path was found in directory (and compiled now or before), false when nothing matched.
    bool compile_this(dir_stack& dirs, const std::wstring& directory, const std::wstring& path);
    // Strips, parses and walks one source text, known in positions as `shown`, its lines numbered from
    // `first_line`. The text's first `before` and last `after` characters wrap what the user wrote
    // (source_files::add).
    void compile_str(std::wstring text, dir_stack& dirs, const std::string& shown = "<text>", long first_line = 1,
                     std::size_t before = 0, std::size_t after = 0);

private:
    // Whether a file found for an include lies below a directory includes are confined to.
    bool trusted(const std::wstring& file) const;
    void walk(const detail::semantic::pnode& program, dir_stack& dirs);
    void eval_include_def(const detail::semantic::pnode& n, dir_stack& dirs);
    void global_declaration(const detail::semantic::pnode& n);
    void eval_process_def(const detail::semantic::pnode& n);
    void eval_inline_def(const detail::semantic::pnode& n);

    nspace& space_;
    detail::semantic::s_class<wchar_t> part_;
    std::string top_shown_;           // the command line's path, until its file is found
    std::vector<std::wstring> trusted_;  // with confine: the directories of the scripts given to compile()
    std::vector<std::string> shown_;  // the shown paths of the files being compiled, innermost last
};

} // namespace vorla
