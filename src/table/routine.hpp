// Parameters, routine definitions and call-frame creation, shared by every routine table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "context.hpp"
#include "expression/expression.hpp"
#include "nlookup.hpp"
#include "stack_guard.hpp"
#include "symbol.hpp"

namespace vorla::table {

struct parameter {
    bool reference;  // declared with '&': bound to the caller's own value
    type_id_t type;
    symbol name;
};
using parameter_list = std::vector<parameter>;

// The entry of the function, inline, process, catch and constructor tables.
struct routine {
    routine(control_ptr body, parameter_list params, type_id_t return_type = 0);

    control_ptr body;
    parameter_list params;
    type_id_t return_type = 0;  // function table only
    // Whether no two parameters share a name, worked out once at definition: a new frame then takes the
    // parameters without checking each against those bound before it. (Two parameters of one name are
    // refused when the call binds the second, as a duplicate variable.)
    bool distinct_names = true;
    // The statements of a body that is a block declaring no parameter's name: a call runs them straight
    // in its frame, where the block would have made a scope of its own for its declarations. Either way
    // they see the same names, and a name declared twice in the block is refused the same. Null for any
    // other body.
    const control_list* straight = nullptr;
};

// "arguments(type(102) a, type(105) s)"; "arguments()" when empty.
std::string parameter_text(const parameter_list& params);

// Exact overloading: the argument values' type ids equal the parameters' type ids, in order.
inline bool matches(const parameter_list& params, std::span<const value> v) noexcept
{
    if (params.size() != v.size()) return false;
    const parameter* p = params.data();
    for (const value& a : v)
        if ((p++)->type != a->type_id()) return false;
    return true;
}
bool same_types(const parameter_list& a, const parameter_list& b) noexcept;

// Binds r's parameters in `frame`, in order: a reference parameter to the argument's own handle, any
// other to the argument's copy (stored_copy). The arguments match r (matches): one for each parameter,
// each of its parameter's exact type, so the parameter's declared type decides how it is copied.
// Inline: every script call binds through here.
void bind_checked(const routine& r, std::span<const value> v, scope& frame);
[[gnu::always_inline]] inline void bind_parameters(const routine& r, std::span<const value> v, scope& frame)
{
    // Two parameters of one name, or a frame holding names already: each binding is checked.
    if (!r.distinct_names || !frame.variables.empty()) [[unlikely]]
        return bind_checked(r, v, frame);
    frame.variables.reserve(v.size());
    const parameter* p = r.params.data();
    for (const value& a : v) {
        // The type comes from the definition rather than asked of the value.
        frame.variables.declare_new(p->name, p->reference ? a : stored_copy(a, p->type));
        ++p;
    }
}

// A new scope under `parent` stepping the body, parameters bound: the frame of a process, or of an
// inline expansion or catch handler inside a process body, which must outlive the step that opens it.
scope_ptr make_frame(const routine& r, std::span<const value> v, scope* parent);

// Runs r's body whole in a frame of its own under rt.current, parameters bound from v: a body that
// runs inside one step (a constructor, a catch handler in a call). The frame is a plain object on the
// C++ stack: nothing can hold a scope beyond its call (a reference parameter or a returned local shares
// the value, never the scope), so its variables go when the body ends. Signals leave in rt.out.
flow run_frame(const routine& r, std::span<const value> v, runtime& rt);

// Runs the body of a function or conversion-operator call whole in rt.current, its frame. A `return`
// inside a constructor body that this call runs (constructors catch no signals) arrives as a thrown
// sig_return; it ends this call just like a return of the call's own body: its value waits in rt.out.
// Inline, like run_whole: the handler costs nothing until a return arrives that way.
flow took_return(sig_return& r, runtime& rt) noexcept;
[[gnu::always_inline]] inline flow run_call_body(const control& body, runtime& rt)
{
    try {
        return run_whole(body, rt);
    } catch (sig_return& r) {
        return took_return(r, rt);
    }
}
// The same for a routine's body.
[[gnu::always_inline]] inline flow run_call_body(const routine& r, runtime& rt)
{
    if (!r.straight) return run_call_body(*r.body, rt);
    try {
        return run_list(*r.straight, rt);
    } catch (sig_return& s) {
        return took_return(s, rt);
    }
}

// Counts the script calls in progress (functions; constructors and conversion operators too, which
// hold one of these around their bodies) in the running interpreter's context, so that runaway recursion
// ends in the diagnostic "call depth exceeded, depth=<limit>" instead of overflowing the machine stack.
// A plain recursive function takes about 2.1 KiB of stack per level in the sanitizer build, 3.9 KiB with
// loops and branches around the call (so only 2,000-4,000 levels fit a default 8 MiB stack); the driver
// runs scripts on a 256 MiB stack instead, where the default limit keeps a margin of six.
class call_depth {
public:
    // `where` is the context of the running interpreter, as the caller's namespace holds it.
    call_depth(context& where, const char* function) : context_(where)
    {
        if (++context_.call_depth > context_.call_limit || stack_exhausted()) exceeded(function);
    }
    ~call_depth() { --context_.call_depth; }
    call_depth(const call_depth&) = delete;
    call_depth& operator=(const call_depth&) = delete;

    // The report of a call that would nest deeper than the limit, `reached` calls deep.
    static exception report(const char* function, unsigned reached);

private:
    [[noreturn]] void exceeded(const char* function);
    context& context_;
};

// Counts the inline expansions open around the statement running now. An inline body runs inside its
// caller's step, and every step walks down through all expansions still open, so inline recursion with
// no end would make each step longer and never finish. Expanding one more past the limit ends in
// "inline nesting exceeded, depth=<limit>" instead.
class inline_nesting {
public:
    static constexpr unsigned limit = 1000;

    // Held while an inline statement steps the expansion it opened, in the context of its interpreter.
    explicit inline_nesting(context& where) noexcept : context_(where) { ++context_.inline_depth; }
    ~inline_nesting() { --context_.inline_depth; }
    inline_nesting(const inline_nesting&) = delete;
    inline_nesting& operator=(const inline_nesting&) = delete;

    // Refuses a new expansion when `limit` are open around it.
    static void check(const context& where, const char* function)
    {
        if (where.inline_depth >= limit) exceeded(function);
    }

private:
    [[noreturn]] static void exceeded(const char* function);
    context& context_;
};

} // namespace vorla::table
