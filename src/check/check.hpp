// The checker: what --check finds in a compiled program's parse trees before anything runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "position.hpp"
#include "semantic/ptree.hpp"

namespace vorla::check {

enum class severity { error, warning };

struct finding {
    severity level = severity::error;
    script_pos at;
    std::string message;  // one plain sentence
    std::string hint;     // what to write instead; empty when there is nothing to add
};

// One compiled file's parse tree and its number in the run's file table.
struct source_tree {
    std::uint32_t file;
    const detail::semantic::pnode* tree;
};

// Everything the checker reads: every file of the program (the command line's first), and the natives
// the program can call.
struct program {
    std::vector<source_tree> files;
    std::vector<std::wstring> natives;
};

// The findings in source order per file, files in the order given.
std::vector<finding> check_program(const program& p);

// The report for standard error, in the form of the run's own reports: "FILE:LINE:COL: warning: ...",
// the source line, the caret and the hint.
std::string format_finding(const source_files& files, const finding& f);

} // namespace vorla::check
