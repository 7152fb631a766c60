// Fuzz target: one input is a script, taken the whole way a script file goes (decode, strip, parse,
// compile, run) with the console writing nowhere and reading from empty input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "context.hpp"
#include "driver/console.hpp"
#include "driver/natives.hpp"
#include "lib/file.hpp"
#include "locale.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"
#include "stack_guard.hpp"

namespace {

// Scheduler steps one input may take, and calls and loop iterations within any one step (compile-time
// initializers included). An endless loop is a script's own choice, not a finding.
constexpr std::uint64_t step_budget = 200000;

bool verbose = false;

// The stack scripts run on: its own thread, like the driver's, but smaller. On the driver's stack the
// call-depth limit ends a runaway recursion at 10,000 calls, which costs many seconds per input in this
// instrumented build; here the stack guard ends it first, about a thousand calls deep, so recursing
// inputs stay fast and the guard that keeps deep recursion from overflowing is what gets tested.
constexpr std::size_t script_stack = std::size_t(4) << 20;

// A stream buffer that takes everything and keeps nothing.
class null_buffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void run(vorla::context& state, const std::wstring& text)
{
    null_buffer sink;
    std::stringbuf empty;
    vorla::driver::console console(&sink, &empty, &sink);

    vorla::nspace space{state};
    space.watch->limit_steps(step_budget);
    vorla::semantic<wchar_t> compiler(space);
    // No include directories and no including file: an #include is looked up nowhere and fails, so
    // an input never reads the machine's files. Only the console natives: files and the system (exit,
    // sleep) are the machine's, not the interpreter's.
    vorla::driver::define_console_natives(space, console);
    vorla::semantic<wchar_t>::dir_stack dirs;
    compiler.compile_str(text, dirs);
    space.start_process(L"main", vorla::args{});
    while (!space.live->empty()) space.schedule();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vorla::install_locale();
    verbose = std::getenv("VORLA_FUZZ_VERBOSE") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text =
        lib::file::decode_utf8(std::string_view(reinterpret_cast<const char*>(data), size));
    // Each input runs in a context of its own, as in an interpreter of its own: fresh names, random sequence
    // and counts.
    vorla::context input;
    // Inputs are small: at the interpreter's own threshold the cycle collector would hardly ever run.
    // Collecting after every few containers made tries it against the states every input reaches.
    input.cycles.least_growth(16);
    try {
        vorla::run_on_stack(script_stack, [&] {
            const vorla::context::entry running(input);
            run(input, text);
        });
    } catch (const std::exception& e) {
        // A diagnostic: the run ended as designed. Folding the chain is part of what the driver does.
        const std::string shown = vorla::driver::shorten_chain(e.what());
        if (shown.empty() && e.what()[0] != '\0') std::abort();
        // For triage: replaying one input with VORLA_FUZZ_VERBOSE set shows how its run ended.
        if (verbose) std::cerr << shown << '\n';
    }
    // Anything else thrown (script control flow that escaped every handler) is left to libFuzzer.
    // The program is gone: whatever its values still hold among themselves is a cycle, and a cycle the
    // collector misses shows as a leak.
    input.cycles.collect();
    if (input.call_depth != 0) {
        std::cerr << "call depth count not back at zero after the run\n";
        std::abort();
    }
    return 0;
}
