// vorla: compiles the script named on the command line, starts its process main and runs the scheduler.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/console.hpp"
#include "driver/natives.hpp"
#include "driver/options.hpp"
#include "driver/terminal.hpp"
#include "driver/trace.hpp"
#include "exception.hpp"
#include "factor/string_.hpp"
#include "lib/basic_filesystem.hpp"
#include "locale.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"
#include "stack_guard.hpp"

namespace {

vorla::driver::console& wide_console()
{
    // A person watching a terminal sees each line when it is written; a pipe or file is fully buffered.
    static vorla::driver::line_flusher lines{std::cout.rdbuf(), vorla::driver::terminals::detect().out};
    static vorla::driver::console c{&lines, std::cin.rdbuf()};
    return c;
}

// The interpreter's own directory: its path split at every "/" (backslashes first made slashes), the last
// piece dropped. A path without any separator gives the empty directory.
std::wstring executable_directory(const char* argv0)
{
    std::wstring path = vorla::widen(argv0);
    for (auto& c : path)
        if (c == L'\\') c = L'/';
    const auto slash = path.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A relative script path that names an existing file where the user stands is compiled from there;
// anything else is left to the compiler's lookup in its include directories.
std::wstring script_path(const char* argv1)
{
    std::wstring path = vorla::widen(argv1);
    if (path.empty() || path.front() == L'/') return path;
    std::error_code ec;
    const std::filesystem::path p(argv1);
    if (!std::filesystem::exists(p, ec) || std::filesystem::is_directory(p, ec)) return path;
    while (path.size() > 2 && path.compare(0, 2, L"./") == 0) path.erase(0, 2);
    return lib::basic_filesystem::make_absolute(path);
}

// Compiles one script file into a new root namespace, set up as a run sets it up. The table of its source
// files goes to `files`, where it outlives the namespace for the report on standard error.
void compile(vorla::nspace& space, const char* self, const std::string& file,
             std::shared_ptr<vorla::source_files>& files)
{
    vorla::semantic<wchar_t> compiler(space);
    files = compiler.files;
    compiler.include_directories.push_back(executable_directory(self));
    vorla::driver::define_console_natives(space, wide_console());
    compiler.compile(script_path(file.c_str()), file);
}

// Everything the run builds lives in this function, so it is all destroyed before the diagnostic is printed;
// only the table of source files stays, for the report on standard error.
void run(const vorla::driver::options& o, const char* self, std::shared_ptr<vorla::source_files>& files)
{
    if (o.operands.empty()) {
        std::cerr << vorla::driver::usage_line() << std::endl;
        // The count the command line would have without its options: the interpreter's path alone.
        throw VORLA_EXCEPTION("main", "invalid argument count, argc=") << 1 << " argv[0]" << self;
    }
    vorla::nspace space;
    std::optional<vorla::driver::trace_writer> trace;
    if (o.trace) space.watch->observe(&trace.emplace(2, vorla::driver::terminals::detect().err));
    vorla::driver::apply_budgets(o, *space.watch);
    compile(space, self, o.operands.front(), files);
    if (trace) trace->show_positions(files);

    vorla::args arguments;
    for (std::size_t i = 1; i < o.operands.size(); ++i)
        arguments.push_back(vorla::make<vorla::string_<wchar_t>>(vorla::widen(o.operands[i])));
    space.start_process(L"main", arguments);
    while (!space.live->empty()) {
        space.watch->begin_pass();
        space.schedule();
    }
}

// The script's own view of an error, for people: where, why and through which calls.
void explain(const std::exception& e, const std::shared_ptr<vorla::source_files>& files)
{
    const auto* d = dynamic_cast<const vorla::exception*>(&e);
    if (d && d->trace() && files) std::cerr << vorla::format_report(*files, *d->trace(), e.what()) << std::flush;
}

// --check: each file compiled into a namespace of its own, nothing started.
int check(const vorla::driver::options& o, const char* self)
{
    std::shared_ptr<vorla::source_files> files;
    auto compile_one = [&](const std::string& file) {
        files.reset();
        vorla::run_on_stack(vorla::script_stack_bytes, [&] {
            vorla::nspace space;
            vorla::driver::apply_budgets(o, *space.watch);
            compile(space, self, file, files);
        });
    };
    return vorla::driver::check_files(o.operands, compile_one, std::cout, std::cerr,
                                      [&](const std::exception& e) { explain(e, files); });
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
    if (command.opts.check) return check(command.opts, self);
    const bool terminal_input = vorla::driver::terminals::detect().in;
    std::shared_ptr<vorla::source_files> files;
    try {
        // Scripts recurse on the machine stack; a large one lets them nest thousands of calls deep.
        vorla::run_on_stack(vorla::script_stack_bytes, [&] { run(command.opts, self, files); });
    } catch (const std::exception& e) {
        std::cout << vorla::driver::shorten_chain(e.what()) << '\n' << std::flush;
        explain(e, files);
        vorla::driver::wait_after_diagnostic(std::cin, terminal_input);
        return 1;
    } catch (...) {
        // Script control flow that escaped every handler: a fault of the interpreter, still not a crash.
        std::cout << VORLA_EXCEPTION("main", "unexpected exception").what() << '\n' << std::flush;
        vorla::driver::wait_after_diagnostic(std::cin, terminal_input);
        return 1;
    }
    std::cout.flush();
    return 0;
}
