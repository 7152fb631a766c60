// The script a command line names (a file, statements given with -e, or standard input), compiled and started.
#pragma once

#include <istream>
#include <string>

#include "driver/options.hpp"
#include "vorla/vorla.hpp"

namespace vorla::driver {

// How reports name the script: the path as given, "-e" for statements, "<stdin>" for standard input.
std::string script_name(const options& o);

// Where includes are looked up besides the interpreter's own directory: a script with no file of its
// own (-e, standard input) finds them in the working directory first, as one beside it would.
void add_include_directories(const options& o, interpreter_options& settings);

// Compiles the script the options name, reading it from `in` when it is "-".
void compile_script(interpreter& vorla, const options& o, std::istream& in);

// Starts process main with the words after the script, each a string. When no definition takes that
// many words, the error keeps its diagnostic and its report says so for people: how many words were
// given, which main the script defines, and the usage line.
void start_main(interpreter& vorla, const options& o);

} // namespace vorla::driver
