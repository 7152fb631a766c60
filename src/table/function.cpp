// The script function table: definition, overload lookup by exact argument types, and the call itself.
#include "table/function.hpp"

#include <stdexcept>

#include "expression/signal.hpp"
#include "factor/nil.hpp"
#include "nspace.hpp"

namespace vorla::table {

void function::define(const parameter_list& params, type_id_t return_type, symbol name, control_ptr body)
{
    auto& overloads = entries_[name];
    for (const routine& r : overloads)
        if (same_types(r.params, params))
            throw VORLA_EXCEPTION("vorla::table::function::define", "overwrite function, typeid=")
                      .explain("'" + narrow(*name) + "' is already defined with these parameter types")
                << return_type << " id=" << *name << " " << parameter_text(params);
    overloads.push_back(routine{std::move(body), params, return_type});
    stamp_ = ++*definitions_;
}

const routine* function::find(symbol name, std::span<const value> v) const noexcept
{
    auto it = entries_.find(name);
    if (it == entries_.end()) return nullptr;
    for (const routine& r : it->second)
        if (matches(r.params, v)) return &r;
    return nullptr;
}

value function::call(const args& v, symbol name, runtime& rt) const
{
    const routine* r = find(name, v);
    if (!r) throw std::out_of_range("Unable to find key in unordered_map.");
    value out = invoke(*r, v, rt);
    if (!out) raise_signal(rt.out->kind, *rt.out);
    return out;
}

namespace {
// Whether one of the arguments is `x` itself.
bool held_by(std::span<const value> v, const value& x) noexcept
{
    for (const value& a : v)
        if (a.get() == x.get()) return true;
    return false;
}

} // namespace

value function::invoke(const routine& r, std::span<const value> v, runtime& rt)
{
    call_depth depth(*rt.space->ctx, call_name);
    rt.space->watch->tick();
    // Between the caller's expression and the body no value is half-changed: a cycle collection may run.
    rt.space->ctx->cycles.poll();
    try {
        // Read before the body runs: nothing the body does may reach back into the definition.
        const type_id_t return_type = r.return_type;
        // The body reports to the caller's slot, which is clear while a call starts: a return is taken
        // back out of it below, and whatever else crosses the call stays there for the caller.
        script_signal& out = *rt.out;
        flow f;
        {
            // The call's frame, on the C++ stack: nothing can hold a scope beyond its call, so its
            // variables go as the body ends, before the returned value is converted.
            scope frame(rt.current);
            bind_parameters(r, v, frame);
            runtime body{&frame, rt.space, out};
            f = run_call_body(r, body);
        }
        switch (f) {
        case flow::ret: {
            value result = out.take();
            // A returned value already of the declared type that nobody else holds is its own conversion.
            // Nor does the call's argument list count as a holder: a temporary argument becomes its by-value
            // parameter without a copy (stored_copy), and returning the parameter hands it back to the
            // caller, who drops the list as the call ends.
            const std::uint32_t holders = result.use_count();
            if ((holders == 1 || (holders == 2 && held_by(v, result))) && tid::plain_copy(return_type) &&
                result->type_id() == return_type)
                return result;
            // Held elsewhere too (a member, a global): a number or string of the declared type is copied as
            // its clone, the same plain copy the conversion makes, and one that cannot fail. (A container's
            // copy can fail on deep nesting, and its report names the conversion.)
            if (tid::flat(return_type) && result->type_id() == return_type) return result->clone();
            return rt.space->_generate(return_type, result);
        }
        case flow::thr:
        case flow::brk:
        case flow::cont:
            // A statement reports its signal as its flow; crossing the call, it waits in the slot.
            out.kind = f;
            out.crossing_call(rt.space->root()->handlers_running);
            return value();
        default:
            // Falling off the end yields nil whatever the declared return type.
            return make<nil>();
        }
    } catch (const std::exception& caught) {
        throw left_call(caught);
    }
}

exception function::left_call(const std::exception& caught)
{
    return VORLA_EXCEPTION(call_name, "catch exception") << caught;
}

} // namespace vorla::table
