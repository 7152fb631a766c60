// The embedding options the vm tests run a program with (output into a string, on either engine), and
// the comparison of a whole run on both engines.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "vorla/vorla.hpp"

inline vorla::interpreter_options writing_to(std::ostringstream& out, bool vm)
{
    vorla::interpreter_options o;
    o.output = &out;
    o.engine = vm ? vorla::interpreter_options::engine_choice::vm : vorla::interpreter_options::engine_choice::tree;
    return o;
}

// The run helpers are named apart, as some tests keep a same_on_both of their own with other options.
namespace both_engines {

// The output of a run, or of a failed one its output, the diagnostic chain and the report.
inline std::string outcome(const std::string& source, bool vm)
{
    std::ostringstream out;
    vorla::interpreter i(writing_to(out, vm));
    i.compile_string("t.vl", source);
    i.start("main");
    try {
        i.run();
    } catch (const vorla::script_error& e) {
        return out.str() + "\n--\n" + e.what() + "\n--\n" + e.report();
    }
    return out.str();
}

inline void same_on_both(const std::string& source)
{
    const std::string tree = outcome(source, false);
    EXPECT_FALSE(tree.empty());
    EXPECT_EQ(outcome(source, true), tree) << source;
}

} // namespace both_engines
