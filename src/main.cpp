// vorla: compiles the script named on the command line, starts its process main and runs the scheduler.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/chain.hpp"
#include "driver/natives.hpp"
#include "driver/options.hpp"
#include "driver/repl.hpp"
#include "driver/script.hpp"
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

// A standard stream the program was started without (`vorla x.vl >&-`) gets /dev/null opened for reading:
// a file the script opens cannot take its number and receive the output, and every write to it still
// fails (EBADF), so that the loss is reported.
void hold_closed_standard_streams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int held = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
    }
}

// Standard output as the program writes it outside the console: the first refusal and its reason are
// kept, as the stream's own state forgets the reason. (A reader that went away, as `| head -1` does,
// ends the program by SIGPIPE first, as it ends any filter.)
class standard_output {
public:
    void print(const std::string& text)
    {
        if (lost_) return;
        errno = 0;
        std::cout << text << std::flush;
        note();
    }
    // Flushes it; output that could not be written is named on standard error with the system's reason,
    // and makes the run a failure.
    bool written()
    {
        if (!lost_) {
            errno = 0;
            std::cout.flush();
            note();
        }
        if (lost_) std::cerr << vorla::driver::lost_output_note(error_) << std::endl;
        return !lost_;
    }

private:
    void note()
    {
        if (!std::cout.fail()) return;
        lost_ = true;
        error_ = errno;
    }
    bool lost_ = false;
    int error_ = 0;
};

// The script's own view of an error, for people: where, why and through which calls.
void explain(const std::exception& e)
{
    if (const auto* s = dynamic_cast<const vorla::script_error*>(&e)) std::cerr << s->report() << std::flush;
}

// The run that Ctrl-C asks to stop; set only while it runs.
vorla::interpreter* volatile running_interpreter = nullptr;
volatile std::sig_atomic_t run_interrupted = 0;

// Ctrl-C asks the run to stop where it stands and say where that was; a second Ctrl-C, for a script
// that waits for input or a native that does not return, ends the program at once as Ctrl-C always does.
extern "C" void interrupt_run(int)
{
    if (run_interrupted) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    run_interrupted = 1;
    if (vorla::interpreter* target = running_interpreter) target->interrupt();
}

// Everything the run builds lives in this function, so it is all destroyed before the diagnostic is printed.
void run(const vorla::driver::options& o, const char* self, std::ostream& console)
{
    if (o.operands.empty() && !o.statements) {
        std::cerr << vorla::driver::usage_line() << std::endl;
        throw std::runtime_error(vorla::driver::usage_diagnostic(self));
    }
    vorla::interpreter_options s = settings(o, self, console);
    vorla::driver::add_include_directories(o, s);
    if (o.trace) {
        s.trace_fd = 2;
        s.trace_line_by_line = vorla::driver::terminals::detect().err;
    }
    vorla::interpreter vorla(s);
    vorla::driver::compile_script(vorla, o, std::cin);
    vorla::driver::start_main(vorla, o);
    const struct interruptible {
        explicit interruptible(vorla::interpreter& v)
        {
            running_interpreter = &v;
            std::signal(SIGINT, interrupt_run);
        }
        ~interruptible()
        {
            std::signal(SIGINT, SIG_DFL);
            running_interpreter = nullptr;
        }
    } ctrl_c(vorla);
    vorla.run();
}

// --check: each file compiled into an interpreter of its own and checked, nothing started.
int check(const vorla::driver::options& o, const char* self, std::ostream& console)
{
    auto check_one = [&](const std::string& file) {
        vorla::driver::check_counts counts;
        vorla::with_script_stack([&] {
            vorla::interpreter_options s = settings(o, self, console);
            s.keep_for_check = true;
            vorla::interpreter vorla(s);
            vorla.compile_file(file);
            for (const vorla::check_finding& f : vorla.check()) {
                std::cerr << f.report;
                ++(f.error ? counts.errors : counts.warnings);
            }
        });
        return counts;
    };
    return vorla::driver::check_files(o.operands, check_one, std::cout, std::cerr, explain, o.strict);
}

volatile std::sig_atomic_t interrupted = 0;

// -i: a session at the prompt. Ctrl-C stops what the input started and the session goes on; at the prompt
// it is libedit's to handle (a new line).
int interactive(const vorla::driver::options& o, const char* self, std::ostream& console, bool terminal)
{
    int status = 0;
    vorla::with_script_stack([&] {
        vorla::interpreter vorla(settings(o, self, console));
        if (!o.operands.empty()) {
            try {
                vorla.compile_file(o.operands.front());
            } catch (const vorla::script_error& e) {
                std::cout << vorla::driver::shorten_chain(e.what()) << '\n' << std::flush;
                explain(e);
                status = 1;
                return;
            }
        }
        std::signal(SIGINT, [](int) { interrupted = 1; });
        auto stop_asked = [] { return std::exchange(interrupted, 0) != 0; };
        if (terminal) {
            vorla::driver::terminal_lines lines(stop_asked);
            vorla::driver::run_session(vorla, lines, console, std::cerr, stop_asked);
        } else {
            vorla::driver::stream_lines lines(std::cin);
            vorla::driver::run_session(vorla, lines, console, std::cerr, stop_asked);
        }
        console.flush();
    });
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    hold_closed_standard_streams();
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
    standard_output out;
    if (command.opts.check) {
        const int status = check(command.opts, self, console);
        return out.written() ? status : 1;
    }
    if (command.opts.interactive) {
        try {
            const int status = interactive(command.opts, self, console, terminals.in && terminals.out);
            return out.written() ? status : 1;
        } catch (const vorla::engine_refusal& e) {
            // An input the vm cannot run yet ends the session, as it ends a run.
            console.flush();
            std::cerr << "vorla: " << e.what() << std::endl;
            return 3;
        }
    }
    try {
        // Scripts recurse on the machine stack; a large one lets them nest thousands of calls deep.
        vorla::with_script_stack([&] { run(command.opts, self, console); });
    } catch (const vorla::engine_refusal& e) {
        // Not a diagnostic of the script: a developer's choice of engine that cannot run it yet.
        std::cerr << "vorla: " << e.what() << std::endl;
        return 3;
    } catch (const std::exception& e) {
        // Stopped by Ctrl-C: the output so far is kept, and where each process stood goes to standard
        // error; the status is the one a shell gives a program that SIGINT ended.
        if (run_interrupted) {
            explain(e);
            return out.written() ? 130 : 1;
        }
        out.print(vorla::driver::shorten_chain(vorla::plain_what(e)) + '\n');
        explain(e);
        out.written();
        vorla::driver::wait_after_diagnostic(std::cin, terminals.in, &std::cerr);
        return 1;
    }
    return out.written() ? 0 : 1;
}
