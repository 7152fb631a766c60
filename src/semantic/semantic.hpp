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

    // The script named on the command line: looked up in the include directories only. `shown` is the
    // path as the user wrote it, used in positions (the path found is used when it is empty).
    void compile(const std::wstring& path, const std::string& shown = {});
    void compile_file(const std::wstring& path, dir_stack& dirs);
    // True when path was found in directory (and compiled now or before), false when nothing matched.
    bool compile_this(dir_stack& dirs, const std::wstring& directory, const std::wstring& path);
    // Strips, parses and walks one source text, known in positions as `shown`.
    void compile_str(std::wstring text, dir_stack& dirs, const std::string& shown = "<text>");

private:
    void walk(const detail::semantic::pnode& program, dir_stack& dirs);
    void eval_include_def(const detail::semantic::pnode& n, dir_stack& dirs);
    void global_declaration(const detail::semantic::pnode& n);
    void eval_process_def(const detail::semantic::pnode& n);
    void eval_inline_def(const detail::semantic::pnode& n);

    nspace& space_;
    detail::semantic::s_class<wchar_t> part_;
    std::string top_shown_;           // the command line's path, until its file is found
    std::vector<std::string> shown_;  // the shown paths of the files being compiled, innermost last
};

} // namespace vorla
