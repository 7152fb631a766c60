// The state one interpreter keeps for its runs: interned names, the random sequence and the depth counters.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "factor/cycle_registry.hpp"
#include "symbol.hpp"

namespace vorla {

// Everything a script run changes outside the values and namespaces it builds. Each interpreter owns
// one, so several interpreters in one program keep their own names, random sequences and limits.
//
// The engines hand it to what needs it: the root namespace is made with it and every namespace below
// shares it, a method call carries it (rand), a function table keeps its definition count. One use
// still finds it through a thread-local pointer: the count of values that can hold others, which a
// container's constructor and destructor keep (collectable.hpp) with no interpreter at hand. That
// pointer is set by the interpreter on entry to every operation that runs script code
// (context::entry); one whose native calls into another interpreter makes that one current for the
// call and gets its own back afterwards. Code that runs outside every interpreter (layer tests, host
// calls such as make_vector) counts on the thread's detached context.
class context {
public:
    context() = default;
    context(const context&) = delete;
    context& operator=(const context&) = delete;

    // The one interned copy of a name: the same text yields the same address for the context's life.
    symbol intern(const std::wstring& name) { return &*names_.insert(name).first; }

    // The interpreter's own pseudo-random sequence, drawn by rand (random_step).
    std::uint32_t random_state = 1;
    // Script calls in progress (functions, constructors, conversions) and the most allowed at once.
    unsigned call_depth = 0;
    unsigned call_limit = default_call_limit;
    // Inline expansions open around the running statement.
    unsigned inline_depth = 0;
    // Function definitions made so far: each one stamps its table with a new number (see
    // table::function::stamp), so a table's stamp names its exact contents.
    std::uint64_t definitions = 0;
    // The values this interpreter made that can hold others, and the collector of their cycles.
    cycle_registry cycles;

    // Scripts run on a stack of script_stack_bytes, where this many nested calls need under a sixth of it
    // even in sanitizer builds (measured at about 2-4 KiB per call there). On a smaller stack the stack
    // check stops the recursion first, with the depth reached.
    static constexpr unsigned default_call_limit = 10000;

    // The context of the interpreter running on this thread, or the thread's detached one.
    static context& current() noexcept
    {
        context* c = current_;
        return c ? *c : detached();
    }

    // Makes a context current for its lifetime and restores the previous one after.
    class entry {
    public:
        explicit entry(context& c) noexcept : previous_(current_) { current_ = &c; }
        ~entry() { current_ = previous_; }
        entry(const entry&) = delete;
        entry& operator=(const entry&) = delete;

    private:
        context* previous_;
    };

private:
    static context& detached() noexcept;
    // Defined here with its constant initial value, so that every reader knows it needs no dynamic
    // initialisation and reads it directly instead of through the thread-local wrapper call.
    static inline thread_local context* current_ = nullptr;

    // Node-based, so interned addresses never move.
    std::unordered_set<std::wstring> names_;
};

} // namespace vorla
