// The embedding options the vm tests run a program with: output into a string, on either engine.
#pragma once

#include <sstream>

#include "vorla/vorla.hpp"

inline vorla::interpreter_options writing_to(std::ostringstream& out, bool vm)
{
    vorla::interpreter_options o;
    o.output = &out;
    o.vm = vm;
    return o;
}
