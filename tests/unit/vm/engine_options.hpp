// The embedding options the vm tests run a program with (output into a string, on either engine), and
// the runs several vm tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>

#include "vorla/vorla.hpp"

// o (limits, say) with its output into out, on the vm or the tree interpreter.
inline vorla::interpreter_options writing_to(std::ostringstream& out, bool vm, vorla::interpreter_options o = {})
{
    o.output = &out;
    o.engine = vm ? vorla::interpreter_options::engine_choice::vm : vorla::interpreter_options::engine_choice::tree;
    return o;
}

// The shared runs are named apart, as some tests keep helpers of these names with other options.
namespace vm_test {

// How a run of main ended: its output (and of a failed one, the diagnostic chain and the report), whether
// it failed, and how many processes it left live.
struct run_end {
    std::string text;
    bool failed = false;
    std::size_t live = 0;
};

// A run of main under options' limits, its output and engine set here.
inline run_end run_to_end(const std::string& source, bool vm, const vorla::interpreter_options& options = {})
{
    std::ostringstream out;
    vorla::interpreter i(writing_to(out, vm, options));
    i.compile_string("t.vl", source);
    i.start("main");
    try {
        i.run();
    } catch (const vorla::script_error& e) {
        return {out.str() + "\n--\n" + e.what() + "\n--\n" + e.report(), true, i.processes()};
    }
    return {out.str(), false, i.processes()};
}

inline void same_on_both(const std::string& source)
{
    const std::string tree = run_to_end(source, false).text;
    EXPECT_FALSE(tree.empty());
    EXPECT_EQ(run_to_end(source, true).text, tree) << source;
}

// The vm refuses the program when main starts, naming `what`, and nothing of it has run.
inline void refused(const std::string& source, const std::string& what)
{
    std::ostringstream out;
    vorla::interpreter i(writing_to(out, true));
    i.compile_string("t.vl", source);
    try {
        i.start("main");
        FAIL() << "not refused: " << source;
    } catch (const vorla::engine_refusal& e) {
        EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
    EXPECT_EQ(out.str(), "") << "a refused program ran";
}

} // namespace vm_test
