// The vm's dispatch loop: processes as fibers, each with its own register stack and frame array.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "expression/signal.hpp"
#include "exception.hpp"
#include "factor/factor.hpp"
#include "step_watch.hpp"
#include "vm/code.hpp"

namespace vorla {
class process;
class cycle_registry;
}

namespace vorla::vm {

// A broken invariant of the vm itself (never a script's error): what the compiler promised does not
// hold at run time. Scripts cannot catch it.
class fault : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

struct frame {
    const unit* body;
    std::uint32_t pc;
    std::uint32_t base;    // the frame's first register in the fiber's stack
    std::int32_t result;   // the caller's register (relative to the caller's base) the return fills
    std::uint32_t inlines = 0;  // inline expansions open in the frames around this one
};

// Where a process came from, for the frames of its reports: the statement that started it, and the
// process that ran it (serial 0 for none) with that one's own start and starter, kept so that they
// outlive it. A process is named by its body's unit.
struct origin {
    script_pos at{};
    std::uint32_t starter = 0;
    const unit* starter_body = nullptr;
    script_pos starter_at{};
    std::uint32_t grand = 0;
    const unit* grand_body = nullptr;
};

// A process: its registers and its call frames. Nothing of it lives on the C++ stack between steps.
class fiber {
public:
    // `serial`: the number scripts and reports know the process by (1, 2, 3, ... in start order).
    // `arguments` fill the body's first registers (its parameters).
    fiber(const program& p, std::size_t entry, std::uint32_t serial = 1, origin from = {},
          std::vector<slot> arguments = {});
    // The process values a script holds of it report it finished once it is gone.
    ~fiber();
    fiber(const fiber&) = delete;
    fiber& operator=(const fiber&) = delete;
    // Run to its end, failed, or stopped by the host.
    bool finished() const noexcept { return stopped_ || frames_.empty(); }
    std::size_t depth() const noexcept { return frames_.size(); }
    std::uint32_t serial() const noexcept { return serial_; }
    // The process's name, as its definition names it.
    const std::string& name() const noexcept;
    // Between two steps: where the statement its next step runs stands (unknown when it has finished).
    script_pos standing() const noexcept;

    // Until when it sleeps (using::sleep): the scheduler leaves it out of every pass before then.
    std::chrono::steady_clock::time_point& wake_at() noexcept { return wake_at_; }

    // The program its units are of: each host start compiles one (a session's inputs, say), and a
    // fiber runs on the machine of its own.
    const program& code() const noexcept { return *code_; }
    // The process object its process values and the host's handle stand for, made on first asking.
    const std::shared_ptr<process>& shown(type_id_t pid, nspace& root);
    bool shows(const process& p) const noexcept { return shown_.get() == &p; }
    // Stopped by the host: it takes no step after the current one, and counts as finished (the
    // scheduler drops it at its next turn).
    void stop() noexcept;

private:
    friend class machine;
    friend struct processes;
    std::uint32_t serial_;
    origin from_;
    const unit* body_;  // the process body, which names the process after its frames are gone
    std::shared_ptr<process> shown_;  // what its process values hold, when the script keeps one
    std::vector<slot> stack_;
    std::vector<frame> frames_;
    // After the members the dispatch loop reaches, which keep their places.
    const program* code_;
    std::chrono::steady_clock::time_point wake_at_{};
    bool stopped_ = false;
};

// The vm's processes in start order, as the scheduler passes over them, and how many have started (the
// next one's number).
struct processes {
    std::list<fiber> live;
    std::uint32_t started = 0;
    // The process frames of a report: f, then the processes that started it, as far as they are known.
    void leave(const fiber& f, script_trace& trace) const;
};

class machine {
public:
    // `call_limit`: calls nested at once in one fiber (the frame array's bound).
    // `all`: where a process start appends the new process (a pass reaches it in the same pass).
    machine(const program& p, unsigned call_limit, processes& all);
    // Runs f until its process body ends a statement step or finishes; true while it has more to do.
    // While f is the one live process, it runs on into at most `passes` further steps, each a pass of
    // its own counted by the watch, as long as nothing is due between steps; `passes` is left with
    // what is not used.
    bool step(fiber& f, std::uint64_t& passes);
    bool step(fiber& f)
    {
        std::uint64_t none = 0;
        return step(f, none);
    }

private:
    // step's loop.
    bool run(fiber& f, std::uint64_t& passes);
    // The way out of a run-time error: the fiber ends, and the error leaves as the interpreter's report
    // of it, placed by the position tables and with the fiber's frames as its call stack. Cold paths.
    // The instructions on value objects, whose classes compute and may refuse: the refusal ends the fiber
    // as the tree interpreter's operator, declaration or method call reports it. Out of the loop.
    // A script throw met there goes to raise: both answer as it does.
    [[gnu::noinline]] bool values(fiber& f, const instr& in, slot* r) const;
    [[noreturn, gnu::noinline]] void member_missing(fiber& f, const instr& in, slot* r) const;
    // A value whose class the compiler could not know is not of the class a call or reference needs.
    [[noreturn, gnu::noinline]] void call_refused(fiber& f, const check_site& c, slot* r) const;
    [[noreturn, gnu::noinline]] void reference_refused(fiber& f, const instr& in, slot* r) const;
    [[gnu::noinline]] bool divisor_refused(fiber& f, arith what, const slot& divisor) const;
    [[noreturn, gnu::noinline]] void depth_exceeded(fiber& f) const;
    [[noreturn, gnu::noinline]] void join_refused(fiber& f, const slot& text, const slot& joined, bool in_place) const;
    [[noreturn]] void failed(fiber& f, exception e) const;
    [[noreturn]] void uncaught(fiber& f, const slot& thrown, trace_ptr trace) const;
    // A script throw of `thrown` from the innermost frame (its pc past the throwing instruction): the
    // frames are unwound to the innermost clause that takes it, which the fiber resumes at; true when
    // that is in the process body, whose step the throw ended. With no clause for it the process ends
    // as uncaught. `trace` is the account a value class made with its throw, if any.
    bool raise(fiber& f, slot thrown, trace_ptr trace) const;
    // Whether a try of the fiber is running its protected part (in any frame).
    bool guarded(const fiber& f) const noexcept;
    [[noreturn, gnu::noinline]] void expansion_refused(fiber& f, const instr& in) const;
    // A return out of a constructor body the interpreter's class code ran: the innermost call returns
    // the value (converted to its declared type), or the process ends with it as stray; as `raise`.
    bool take_return(fiber& f, value v) const;
    // The process ends with e, which leaves it as the process frame of its report.
    [[noreturn]] void end(fiber& f, exception e) const;
    // Containers
    // The result in register a of a function returning a container, as its declared class b makes it:
    // in place in a (nothing), or the call's failure, or a throw out of the call (raise's answer).
    [[gnu::noinline]] std::optional<bool> give_back(fiber& f, const instr& in, slot* r) const;
    // Processes
    // True when a copy constructor's throw, taken by a handler of the process body, ended the step.
    [[gnu::noinline]] bool start(fiber& f, const instr& in, slot* r) const;
    void place(const fiber& f, script_trace& trace) const { place(f, trace, f.frames_.size() - 1, true); }
    // The innermost frame's place, then the frames from `from` outward as left calls, each after the
    // inline expansions around its call site (and around the innermost place when `inner`).
    void place(const fiber& f, script_trace& trace, std::size_t from, bool inner) const;
    // A tick of the step budget come to its mark: a budget spent ends the process.
    [[gnu::noinline]] void ticked(fiber& f, script_pos at) const;
    // Instances made by instructions
    // Whether new_i may make the recipe's instance itself: its constructor calls stay within the call
    // depth limit and its ticks below the watch's mark (which then counts them). Else make makes it.
    bool may_build(const fiber& f, const instance_recipe& recipe) const noexcept;
    // Whether the instance v, which nothing else holds, may stand for its copy (take_i).
    [[gnu::noinline]] bool plain_copy(const fiber& f, const value& v) const;
    // The instance the recipe makes, its arguments from `given`, as the tree's construction makes it.
    value built(const unit& u, const instance_recipe& recipe, const slot* given) const;
    // Run-time errors
    // The error of the failure site the instruction names, made by the interpreter's own code.
    [[noreturn, gnu::noinline]] void failure(fiber& f, const instr& in, slot* r) const;
    // The candidate of a call_v whose parameter classes the arguments (from `from_reg`) have, the run-time
    // ones made into the parameters; none is the interpreter's report of a call nothing takes.
    [[gnu::noinline]] const dispatch_site::candidate& choose(fiber& f, const dispatch_site& d, slot* from_reg) const;

    const program& program_;
    unsigned call_limit_;
    processes& all_;
    step_watch& watch_;  // counts the calls and loop iterations of a step for the budgets
    cycle_registry& cycles_;  // collected when due at a call or a loop test, as the tree interpreter does
};

// A value the interpreter's code gives (a host's argument, say) in a slot: a scalar or a string in place,
// any other value by its handle.
slot unboxed(value v);

} // namespace vorla::vm
