// The system group of natives: exit, getenv, now and sleep.
#pragma once

#include <functional>

#include "nspace.hpp"

namespace vorla::driver {

// `end_program(status)` flushes what the run wrote and ends the program with that status; it never returns.
void define_system_natives(nspace& space, std::function<void(int)> end_program);

} // namespace vorla::driver
