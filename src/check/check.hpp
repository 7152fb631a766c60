// The checker: what --check finds in a compiled program's parse trees before anything runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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

// A native the program can call, with the least and most arguments it takes when the interpreter knows
// them (a host's own natives check their arguments themselves).
struct native_signature {
    std::wstring name;
    std::optional<std::pair<std::size_t, std::size_t>> counts;
};

// Everything the checker reads: every file of the program (the command line's first), and the natives
// the program can call.
struct program {
    std::vector<source_tree> files;
    std::vector<native_signature> natives;
};

// The findings in source order per file, files in the order given.
std::vector<finding> check_program(const program& p);

// The report for standard error, in the form of the run's own reports: "FILE:LINE:COL: warning: ...",
// the source line, the caret and the hint.
std::string format_finding(const source_files& files, const finding& f);

} // namespace vorla::check
