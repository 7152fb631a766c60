// The command line: options before the script, then the script and the words it receives.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "vorla/vorla.hpp"

namespace vorla::driver {

struct options {
    bool check = false;    // compile the files that follow, run nothing
    bool strict = false;   // with --check: a warning fails the file as an error does
    bool interactive = false;  // -i: a session at the prompt (after compiling the one file given)
    bool trace = false;    // one line per scheduler step on standard error
    bool sandbox = false;  // no files or system natives, includes confined, for a script not trusted
    bool help = false;
    bool version = false;
    // --engine=vm or --engine=tree (hidden; see docs/internals.md); by default the vm, or the tree
    // interpreter for a program the vm cannot run yet.
    interpreter_options::engine_choice engine = interpreter_options::engine_choice::automatic;
    std::optional<std::uint64_t> max_steps;
    std::optional<double> max_time;  // seconds of wall-clock time
    // -e: statements run as the body of process main, in place of a script (several -e are joined as lines).
    std::optional<std::string> statements;
    // Every word after the options: the script ("-" for standard input) and the words handed to its
    // process main, or with --check the files to check.
    std::vector<std::string> operands;
};

struct command_line {
    options opts;
    std::string error;  // one line naming what is wrong; empty when the command line is usable
};

// Options stop at the first word that is not one (the script) and at "--"; every word after the script
// belongs to the script, even one that looks like an option. Long options take their value as the next
// word or after "=" (--max-steps=100).
command_line parse_command_line(int argc, char* const* argv);

// "usage: vorla [OPTION...] SCRIPT [WORD...]"
std::string usage_line();
std::string help_text();
std::string version_text();

// Answers --help and --version on `out` and a bad command line on `err` (its error and the usage line).
// Returns the exit status when the command line asks for nothing to be run, and nothing otherwise.
std::optional<int> answer_without_running(const command_line& c, std::ostream& out, std::ostream& err);

// Gives an interpreter the budgets and the native groups the options ask for (all of them unless --sandbox).
void apply_budgets(const options& o, interpreter_options& settings);

// The diagnostic of a command line without a script, naming the interpreter's path as `self`.
std::string usage_diagnostic(const char* self);

// What checking one compiled file found.
struct check_counts {
    std::size_t errors = 0;
    std::size_t warnings = 0;
};

// --check: compiles and checks each file with `check` (which raises the diagnostic of a file that does
// not compile, and reports its findings itself), names it on `err` as "FILE: ok", "FILE: ok, 2 warnings"
// or "FILE: failed, 1 error", and prints each diagnostic on `out` as a run would, then lets `explain` add
// the script's view of it (on standard error). The status is 1 when any file failed (with `strict`, a
// warning fails it too), else 0.
int check_files(const std::vector<std::string>& files, const std::function<check_counts(const std::string&)>& check,
                std::ostream& out, std::ostream& err,
                const std::function<void(const std::exception&)>& explain = {}, bool strict = false);

} // namespace vorla::driver
