// vorla: compiles the script named on the command line, starts its process main and runs the scheduler.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/chain.hpp"
#include "driver/options.hpp"
#include "driver/terminal.hpp"
#include "vorla/vorla.hpp"

namespace {

// The interpreter's own directory: its path split at every "/" (backslashes first made slashes), the last
// piece dropped. A path without any separator gives the empty directory.
std::string executable_directory(const char* argv0)
{
    std::string path = argv0;
    for (auto& c : path)
        if (c == '\\') c = '/';
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What every interpreter of this program gets: the script's directory lookup, the budgets the options ask
// for and the console on the standard streams (the trace too, when it is asked for).
vorla::interpreter_options settings(const vorla::driver::options& o, const char* self, std::ostream& console)
{
    vorla::interpreter_options s;
    s.include_directories.push_back(executable_directory(self));
    vorla::driver::apply_budgets(o, s);
    s.output = &console;
    return s;
}

// The script's own view of an error, for people: where, why and through which calls.
void explain(const std::exception& e)
{
    if (const auto* s = dynamic_cast<const vorla::script_error*>(&e)) std::cerr << s->report() << std::flush;
}

// Everything the run builds lives in this function, so it is all destroyed before the diagnostic is printed.
void run(const vorla::driver::options& o, const char* self, std::ostream& console)
{
    if (o.operands.empty()) {
        std::cerr << vorla::driver::usage_line() << std::endl;
        throw std::runtime_error(vorla::driver::usage_diagnostic(self));
    }
    vorla::interpreter_options s = settings(o, self, console);
    if (o.trace) {
        s.trace_fd = 2;
        s.trace_line_by_line = vorla::driver::terminals::detect().err;
    }
    vorla::interpreter vorla(s);
    vorla.compile_file(o.operands.front());
    std::vector<vorla::script_value> arguments;
    for (std::size_t i = 1; i < o.operands.size(); ++i) arguments.push_back(vorla::make_string(o.operands[i]));
    vorla.start("main", arguments);
    vorla.run();
}

// --check: each file compiled into an interpreter of its own, nothing started.
int check(const vorla::driver::options& o, const char* self, std::ostream& console)
{
    auto compile_one = [&](const std::string& file) {
        vorla::with_script_stack([&] {
            vorla::interpreter vorla(settings(o, self, console));
            vorla.compile_file(file);
        });
    };
    return vorla::driver::check_files(o.operands, compile_one, std::cout, std::cerr, explain);
}

} // namespace

int main(int argc, char** argv)
{
    vorla::install_locale();
    // Nothing uses C stdio for the console, so the C++ streams may buffer on their own.
    std::ios::sync_with_stdio(false);
    const vorla::driver::command_line command = vorla::driver::parse_command_line(argc, argv);
    if (const auto status = vorla::driver::answer_without_running(command, std::cout, std::cerr)) return *status;
    const char* self = argc > 0 && argv[0] ? argv[0] : "";
    const vorla::driver::terminals terminals = vorla::driver::terminals::detect();
    // A person watching a terminal sees each line when it is written; a pipe or file is fully buffered.
    vorla::driver::line_flusher lines{std::cout.rdbuf(), terminals.out};
    std::ostream console(&lines);
    if (command.opts.check) return check(command.opts, self, console);
    try {
        // Scripts recurse on the machine stack; a large one lets them nest thousands of calls deep.
        vorla::with_script_stack([&] { run(command.opts, self, console); });
    } catch (const std::exception& e) {
        std::cout << vorla::driver::shorten_chain(e.what()) << '\n' << std::flush;
        explain(e);
        vorla::driver::wait_after_diagnostic(std::cin, terminals.in);
        return 1;
    }
    std::cout.flush();
    return 0;
}
