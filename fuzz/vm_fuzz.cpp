// Fuzz target: one input is a script run on both engines; where the vm takes the program, what it writes
// and how the run ends must be exactly what the tree interpreter gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <regex>
#include <string>
#include <string_view>

#include "vorla/vorla.hpp"

namespace {

// The tree run's budget: steps in all, and calls and loop iterations within one step. The vm keeps no
// budget yet, so only a program the tree interpreter finishes within it runs on the vm, which must then
// finish too: a vm run that does not end is a finding (libFuzzer's timeout).
constexpr std::uint64_t step_budget = 100000;

// Low enough that runaway recursion meets the call depth limit on both engines, before the tree
// interpreter's stack guard (a report of its own, which the vm has no reason to give) in this
// instrumented build.
constexpr unsigned call_limit = 150;

bool verbose = false;

struct outcome {
    std::string out;    // what using::write and using::debug wrote
    std::string error;  // what using::error wrote
    std::string diagnostic;  // the error the run ended with: its chain and the report for people
    bool budget_spent = false;
    bool refused = false;  // the vm does not take the program
};

outcome run(const std::string& text, bool vm)
{
    outcome o;
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    vorla::interpreter_options options;
    options.output = &out;
    options.error_output = &err;
    options.input = &in;
    options.call_depth_limit = call_limit;
    options.engine = vm ? vorla::interpreter_options::engine_choice::vm : vorla::interpreter_options::engine_choice::tree;
    if (!vm) options.step_budget = step_budget;
    try {
        vorla::with_script_stack([&] {
            // No include directories: an #include is looked up nowhere, so an input never reads the
            // machine's files. Only the console natives.
            vorla::interpreter interp(options);
            interp.compile_string("fuzz.vl", text);
            interp.start("main");
            interp.run();
        });
    } catch (const vorla::engine_refusal&) {
        o.refused = true;
    } catch (const vorla::script_error& e) {
        o.diagnostic = std::string(e.what()) + "\n" + e.report() + "\n" + e.file() + ":" + std::to_string(e.line()) +
                       ":" + std::to_string(e.column());
        o.budget_spent = o.diagnostic.find("budget spent") != std::string::npos;
    }
    // Anything else thrown is not a designed end of a run: left to libFuzzer as a finding.
    o.out = out.str();
    o.error = err.str();
    return o;
}

// Where a diagnostic names a place in the interpreter's own sources ("process.cpp(95)",
// "vm/machine.cpp(1,533)"), as the golden tests read it: the two engines raise the same error from
// different code, and the place is not part of what a script sees designed.
std::string without_source_places(const std::string& text)
{
    static const std::regex place(R"((^|[^\w./-])(?:[A-Za-z_]\w*/)*[A-Za-z_]\w*\.(?:[ch]pp|h)\((?:N|\d{1,3}(?:,\d{3})*)\))");
    return std::regex_replace(text, place, "$1SOURCE(N)");
}

void show(const char* engine, const outcome& o)
{
    std::cerr << "--- " << engine << " output:\n" << o.out << "\n--- " << engine << " error output:\n" << o.error
              << "\n--- " << engine << " ended with:\n" << o.diagnostic << "\n";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    verbose = std::getenv("VORLA_FUZZ_VERBOSE") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const outcome tree = run(text, false);
    if (tree.budget_spent) return 0;
    const outcome vm = run(text, true);
    if (vm.refused) {
        if (verbose) std::cerr << "the vm refuses it\n";
        return 0;
    }
    if (tree.out != vm.out || tree.error != vm.error ||
        without_source_places(tree.diagnostic) != without_source_places(vm.diagnostic)) {
        std::cerr << "the engines disagree\n";
        show("tree", tree);
        show("vm", vm);
        std::abort();
    }
    if (verbose) std::cerr << "both engines agree:\n" << tree.diagnostic << "\n";
    return 0;
}
