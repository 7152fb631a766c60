// A started script process: its call frame, the context its steps run in, and its identity.
#pragma once

#include <chrono>
#include <cstdint>

#include "exception.hpp"
#include "expression/expression.hpp"
#include "expression/signal.hpp"
#include "nlookup.hpp"

namespace vorla {

class nspace;

// The report of a script exception nothing caught at the top of a process: placed at its throw, naming
// the value. Both engines end a process with it.
exception uncaught_throw(const value& thrown, trace_ptr trace);
// The diagnostic a return out of a constructor body ends a process with when no call took it: no place,
// no process frame.
exception stray_return_report(const value& returned);

// Where a process came from: the statement that started it, the process that ran that statement (serial
// 0 for none) with its own start and starter, copied so that they outlive it. Kept in the process
// itself, so starting one costs no allocation.
struct process_origin {
    script_pos at{};
    std::uint32_t starter_serial = 0;
    type_id_t starter_pid = 0;
    script_pos starter_at{};
    std::uint32_t grand_serial = 0;
    type_id_t grand_pid = 0;
};

class process {
public:
    // Steps run under the root namespace and its global scope.
    process(type_id_t pid, scope_ptr frame, nspace* root, scope* root_scope, std::uint32_t serial,
            process_origin origin = {})
        : pid(pid), frame(std::move(frame)), context(root_scope, root), root(root), serial(serial), origin(origin)
    {
    }
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    const type_id_t pid;     // the definition's name ("p?" + name) in the type-id manager
    scope_ptr frame;         // parameters, locals and the body's statement queue; released when stopped
    own_runtime context;     // the root namespace's global scope, the root namespace, the signal slot
    nspace* const root;
    const std::uint32_t serial;  // the identity number scripts see: 1, 2, 3, ... in start order
    const process_origin origin;
    // Stopped by the host: it takes no further step, and the scheduler drops it at its next turn.
    bool stopped = false;
    // Until when the process sleeps (using::sleep): the scheduler leaves it out of every pass before then.
    std::chrono::steady_clock::time_point wake_at{};

    // One step: one execute of the frame's head statement. True while statements remain.
    // A return, an uncaught throw or a stray break/continue reaching the top of the body ends the run
    // with a diagnostic; any other error passes through unchanged.
    // Inline: the scheduler's pass runs this for every step.
    bool run()
    {
        // The frame's step turns a throw, break or continue raised in its C++ form into its flow; only
        // a return out of a constructor body arrives here in that form.
        flow f;
        try {
            f = frame->steps_through() ? step_through() : frame->step(context);
        } catch (const sig_return& r) {
            stray_return(r);
        } catch (exception& e) {
            leave(e.script());
            throw;
        }
        if (f == flow::more) return true;
        if (f == flow::done) return false;
        end_with(f);
    }

    // A process of the vm has no frame here: its scheduler stops it when its fiber ends.
    bool finished() const noexcept { return stopped || (frame && frame->finished()); }

    // Adds this process and the ones that started it to an error's call stack: a starter still running
    // is followed further; one that has finished is named without its own start.
    void leave(script_trace& trace) const;

private:
    // One step of a frame whose head statement holds a scope open, taken where the process stands: from
    // the innermost scope that blocks, branches and loops hold open, instead of calling down through
    // each of them (see stepping_scope::steps_through); only a step that ends such a scope goes back up
    // through them.
    flow step_through();
    // The diagnostic for a signal that reached the top of the body (f is neither done nor more).
    [[noreturn, gnu::cold, gnu::noinline]] void end_with(flow f);
    [[noreturn, gnu::cold, gnu::noinline]] void stray_return(const sig_return& r);
};

} // namespace vorla
