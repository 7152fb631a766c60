// A started script process: its call frame, the context its steps run in, and its identity.
#pragma once

#include <cstdint>

#include "expression/expression.hpp"
#include "nlookup.hpp"

namespace vorla {

class nspace;

// Where a process came from: which it is, the statement that started it, and the origin of the process
// that ran that statement. Kept apart from the process, which may be long gone when a report needs it.
struct process_origin {
    type_id_t pid;
    std::uint32_t serial;
    script_pos at;
    std::shared_ptr<const process_origin> up;
};

class process {
public:
    process(type_id_t pid, scope_ptr frame, runtime context, nspace* root, std::uint32_t serial,
            std::shared_ptr<const process_origin> origin = nullptr)
        : pid(pid), frame(std::move(frame)), context(context), root(root), serial(serial), origin(std::move(origin)) {}
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    const type_id_t pid;     // the definition's name ("p?" + name) in the type-id manager
    const scope_ptr frame;   // parameters, locals and the body's statement queue
    runtime context;         // the root namespace's global scope and the root namespace
    nspace* const root;
    const std::uint32_t serial;  // the identity number scripts see: 1, 2, 3, ... in start order
    const std::shared_ptr<const process_origin> origin;

    // One step: one execute of the frame's head statement. True while statements remain.
    // A return, an uncaught throw or a stray break/continue reaching the top of the body ends the run
    // with a diagnostic; any other error passes through unchanged.
    bool run();

    bool finished() const noexcept { return frame->finished(); }

    // Adds this process and the ones that started it to an error's call stack.
    void leave(script_trace& trace) const;
};

} // namespace vorla
