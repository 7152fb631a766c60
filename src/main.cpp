// vorla: compiles the script named on the command line, starts its process main and runs the scheduler.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "driver/console.hpp"
#include "driver/natives.hpp"
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
    static vorla::driver::console c{std::cout.rdbuf(), std::cin.rdbuf()};
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

// Everything the run builds lives in this function, so it is all destroyed before the diagnostic is printed;
// only the table of source files stays, for the report on standard error.
void run(int argc, char** argv, std::shared_ptr<vorla::source_files>& files)
{
    const char* self = argc > 0 && argv[0] ? argv[0] : "";
    if (argc < 2) throw VORLA_EXCEPTION("main", "invalid argument count, argc=") << argc << " argv[0]" << self;

    vorla::nspace space;
    vorla::semantic<wchar_t> compiler(space);
    files = compiler.files;
    compiler.include_directories.push_back(executable_directory(self));
    vorla::driver::define_console_natives(space, wide_console());
    compiler.compile(script_path(argv[1]), argv[1]);

    vorla::args arguments;
    for (int i = 2; i < argc; ++i) arguments.push_back(std::make_shared<vorla::string_<wchar_t>>(vorla::widen(argv[i])));
    space.start_process(L"main", arguments);
    while (!space.live->empty()) space.schedule();
}

} // namespace

int main(int argc, char** argv)
{
    vorla::install_locale();
    // Nothing uses C stdio for the console, so the C++ streams may buffer on their own.
    std::ios::sync_with_stdio(false);
    auto files = std::make_shared<vorla::source_files>();
    try {
        // Scripts recurse on the machine stack; a large one lets them nest thousands of calls deep.
        vorla::run_on_stack(vorla::script_stack_bytes, [&] { run(argc, argv, files); });
    } catch (const std::exception& e) {
        std::cout << vorla::driver::shorten_chain(e.what()) << '\n' << std::flush;
        // The script's own view of the error, for people: where, why and through which calls.
        const auto* d = dynamic_cast<const vorla::exception*>(&e);
        if (d && d->trace()) std::cerr << vorla::format_report(*files, *d->trace(), e.what()) << std::flush;
        int ignored = 0;
        std::cin >> ignored;
        return 1;
    } catch (...) {
        // Script control flow that escaped every handler: a fault of the interpreter, still not a crash.
        std::cout << VORLA_EXCEPTION("main", "unexpected exception").what() << '\n' << std::flush;
        int ignored = 0;
        std::cin >> ignored;
        return 1;
    }
    std::cout.flush();
    return 0;
}
