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
    stamp_ = ++context::current().definitions;
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

value function::invoke(const routine& r, std::span<const value> v, runtime& rt)
{
    static constexpr const char* function_name = "vorla::table::function::call";
    call_depth depth(*rt.space->ctx, function_name);
    rt.space->watch->tick();
    try {
        // Read before the body runs: nothing the body does may reach back into the definition.
        const type_id_t return_type = r.return_type;
        runtime body{rt.current, rt.space};  // the body's own signal slot
        // The call's frame has gone when run_call returns.
        switch (const flow f = run_call(r, v, body)) {
        case flow::ret: {
            value out = body.out->take();
            // A returned value nobody else holds, already of the declared type, is its own conversion.
            if (out.use_count() == 1 && tid::plain_copy(return_type) && out->type_id() == return_type) return out;
            return rt.space->_generate(return_type, out);
        }
        case flow::thr:
            body.out->crossing_call(rt.space->root()->handlers_running);
            rt.out->at = body.out->at;
            rt.out->trace = std::move(body.out->trace);
            [[fallthrough]];
        case flow::brk:
        case flow::cont:
            rt.out->v = body.out->take();
            rt.out->kind = f;
            return value();
        default:
            // Falling off the end yields nil whatever the declared return type.
            return make<nil>();
        }
    } catch (const std::exception& caught) {
        throw VORLA_EXCEPTION(function_name, "catch exception") << caught;
    }
}

} // namespace vorla::table
