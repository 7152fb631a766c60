// What the embedding tests share: the names a host uses most, and the script_error a call raises.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "vorla/vorla.hpp"

namespace vorla_test {

using vorla::interpreter;
using vorla::script_error;
using vorla::script_value;
using args = std::vector<script_value>;

// An interpreter that writes into its own string, on the tree interpreter or the vm.
struct quiet {
    explicit quiet(bool vm = false)
        : v([&] {
              vorla::interpreter_options o;
              o.output = &out;
              o.engine = vm ? vorla::interpreter_options::engine_choice::vm : vorla::interpreter_options::engine_choice::tree;
              return o;
          }())
    {
    }
    std::ostringstream out;
    interpreter v;
};

// The error a call raises, as a host catches it.
template <class F>
vorla::script_error failure(F&& f)
{
    try {
        f();
    } catch (const vorla::script_error& e) {
        return e;
    }
    ADD_FAILURE() << "no script_error was raised";
    return vorla::script_error("", "", "", 0, 0);
}

} // namespace vorla_test
