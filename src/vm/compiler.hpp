// From the checked program to vm code: a process body and the functions it reaches, or a clear refusal.
#pragma once

#include <optional>
#include <string>

#include "position.hpp"
#include "table/routine.hpp"
#include "vm/code.hpp"

namespace vorla {
class nspace;
}

namespace vorla::vm {

// What the vm cannot run yet, and where it stands in the script.
struct refusal {
    std::string what;
    script_pos at;
};

// Either the program or the first construct refused; never a program that would run differently from
// the tree interpreter.
struct compiled {
    program code;
    std::optional<refusal> refused;
};

// Compiles the process definition `body` (unit 0, named `name`) and every script function it calls,
// resolved in `root` as the tree interpreter resolves them from a process. How deep calls nest is the
// machine's to check as they run.
compiled compile_process(nspace& root, const table::routine& body, const std::string& name);

} // namespace vorla::vm
