// The vm's dispatch loop: processes as fibers, each with its own register stack and frame array.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "expression/signal.hpp"
#include "exception.hpp"
#include "factor/factor.hpp"
#include "vm/code.hpp"

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
};

// A process: its registers and its call frames. Nothing of it lives on the C++ stack between steps.
class fiber {
public:
    // `serial`: the number scripts and reports know the process by (1, 2, 3, ... in start order).
    fiber(const program& p, std::size_t entry, std::uint32_t serial = 1);
    bool finished() const noexcept { return frames_.empty(); }
    std::size_t depth() const noexcept { return frames_.size(); }

private:
    friend class machine;
    std::uint32_t serial_;
    std::vector<slot> stack_;
    std::vector<frame> frames_;
};

class machine {
public:
    // `call_limit`: calls nested at once in one fiber (the frame array's bound).
    machine(const program& p, unsigned call_limit) : program_(p), call_limit_(call_limit) {}
    // Runs f until its process body ends a statement step or finishes; true while it has more to do.
    bool step(fiber& f);

private:
    // The way out of a run-time error: the fiber ends, and the error leaves as the interpreter's report
    // of it, placed by the position tables and with the fiber's frames as its call stack. Cold paths.
    // The instructions on value objects, whose classes compute and may refuse: the refusal ends the fiber
    // as the tree interpreter's operator, declaration or method call reports it. Out of the loop.
    [[gnu::noinline]] void values(fiber& f, const instr& in, slot* r) const;
    [[noreturn, gnu::noinline]] void member_missing(fiber& f, const instr& in, slot* r) const;
    [[noreturn, gnu::noinline]] void divisor_refused(fiber& f, arith what, const slot& divisor) const;
    [[noreturn, gnu::noinline]] void depth_exceeded(fiber& f) const;
    [[noreturn, gnu::noinline]] void join_refused(fiber& f, const slot& text, const slot& joined, bool in_place) const;
    [[noreturn]] void failed(fiber& f, exception e) const;
    [[noreturn]] void uncaught(fiber& f, sig_throw thrown) const;
    // The process ends with e, which leaves it as the process frame of its report.
    [[noreturn]] void end(fiber& f, exception e) const;
    void place(const fiber& f, script_trace& trace) const;

    const program& program_;
    unsigned call_limit_;
};

} // namespace vorla::vm
