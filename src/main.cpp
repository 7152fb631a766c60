// vorla: compiles the script named on the command line, starts its process main and runs the scheduler.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "driver/console.hpp"
#include "exception.hpp"
#include "factor/nil.hpp"
#include "factor/string_.hpp"
#include "lib/basic_filesystem.hpp"
#include "locale.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"
#include "stack_guard.hpp"

namespace {

// The wide console. Both sides sit on the narrow standard streams (see utf8_writer).
struct console {
    vorla::driver::utf8_writer out_buffer{std::cout.rdbuf()};
    vorla::driver::utf8_reader in_buffer{std::cin.rdbuf()};
    std::wostream out{&out_buffer};
    std::wistream in{&in_buffer};
    // A value that leaves formatting flags behind must not change how the next one is written.
    const std::ios_base::fmtflags out_flags = out.flags();
    const std::streamsize out_precision = out.precision();
    const wchar_t out_fill = out.fill();

    void restore_format()
    {
        out.flags(out_flags);
        out.precision(out_precision);
        out.fill(out_fill);
        out.width(0);
        out.clear();
    }
};

console& wide_console()
{
    static console c;
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

void define_console_natives(vorla::nspace& space)
{
    space.natives->define(L"debug", [](vorla::args& v) -> vorla::value {
        VORLA_WRAP(VORLA_EXCEPTION("debug", "catch exception"), {
            if (v.size() != 1) throw VORLA_EXCEPTION("debug", "invalid argument count");
            return vorla::make<vorla::string_<wchar_t>>(vorla::widen(v[0]->describe()));
        });
    });
    space.natives->define(L"read", [](vorla::args& v) -> vorla::value {
        VORLA_WRAP(VORLA_EXCEPTION("read", "catch exception"), {
            if (v.size() != 1) throw VORLA_EXCEPTION("read", "invalid argument count");
            // What was written so far is the prompt the user answers.
            std::cout.flush();
            // A failed read leaves the input failed, so every later read fails too, as a stream does.
            v[0]->read_istream(wide_console().in);
            return vorla::make<vorla::nil>();
        });
    });
    space.natives->define(L"write", [](vorla::args& v) -> vorla::value {
        VORLA_WRAP(VORLA_EXCEPTION("write", "catch exception"), {
            if (v.size() != 1) throw VORLA_EXCEPTION("write", "invalid argument count");
            auto& c = wide_console();
            v[0]->write_ostream(c.out);
            c.restore_format();
            return vorla::make<vorla::nil>();
        });
    });
}

// Everything the run builds lives in this function, so it is all destroyed before the diagnostic is printed.
void run(int argc, char** argv)
{
    const char* self = argc > 0 && argv[0] ? argv[0] : "";
    if (argc < 2) throw VORLA_EXCEPTION("main", "invalid argument count, argc=") << argc << " argv[0]" << self;

    vorla::nspace space;
    vorla::semantic<wchar_t> compiler(space);
    compiler.include_directories.push_back(executable_directory(self));
    define_console_natives(space);
    compiler.compile(script_path(argv[1]));

    vorla::args arguments;
    for (int i = 2; i < argc; ++i) arguments.push_back(vorla::make<vorla::string_<wchar_t>>(vorla::widen(argv[i])));
    space.start_process(L"main", arguments);
    while (!space.live->empty()) space.schedule();
}

} // namespace

int main(int argc, char** argv)
{
    vorla::install_locale();
    // Nothing uses C stdio for the console, so the C++ streams may buffer on their own.
    std::ios::sync_with_stdio(false);
    try {
        // Scripts recurse on the machine stack; a large one lets them nest thousands of calls deep.
        vorla::run_on_stack(vorla::script_stack_bytes, [&] { run(argc, argv); });
    } catch (const std::exception& e) {
        std::cout << vorla::driver::shorten_chain(e.what()) << '\n' << std::flush;
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
