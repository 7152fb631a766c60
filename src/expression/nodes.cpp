// Evaluation of the expression nodes other than operators: names, members, calls, casts and declarators.
#include "expression/nodes.hpp"

#include <memory>

#include "expression/signal.hpp"
#include "factor/nil.hpp"
#include "idm.hpp"
#include "nlookup.hpp"
#include "nspace.hpp"
#include "object.hpp"

namespace vorla {

namespace {
template <class Buffer>
bool evaluate_into(const expr_list& list, runtime& rt, Buffer& out)
{
    out.reserve(list.size());
    for (const expr& e : list) {
        value v = read_operand(*e, rt);
        if (!v && rt.out->pending()) return false;
        out.push_back(std::move(v));
    }
    return true;
}
} // namespace

bool evaluate_args(const expr_list& list, runtime& rt, args& out) { return evaluate_into(list, rt, out); }
bool evaluate_args(const expr_list& list, runtime& rt, arg_buffer& out) { return evaluate_into(list, rt, out); }

namespace {

// Reference members and the base part are bound by the object being constructed, which is the
// runtime's namespace while a constructor's initializers run.
object& constructed_object(runtime& rt, const char* function)
{
    auto* o = dynamic_cast<object*>(rt.space);
    if (!o) throw VORLA_EXCEPTION(function, "member initializer outside a constructor");
    return *o;
}

// A throw crossing the expression at `p` with an account (it will end the run): p is its place or the
// call site of the frame it just left.
value passed(const value& v, script_pos p, const runtime& rt)
{
    if (!v && rt.out->kind == flow::thr && rt.out->trace) rt.out->trace->mark(p);
    return v;
}

} // namespace

e_member::e_member(expr operand, symbol name)
    : operand(std::move(operand)), name(*name), interned(name), key(interned),
      variable_(dynamic_cast<const e_variable*>(this->operand.get()))
{
}

// A member of the instance's own part where it was found last time: the slot's own name is compared,
// so no mask test is needed first.
inline value e_member::member_of(const value& v) const
{
    if (scope* own = v->own_members())
        if (value* m = own->variables.at_hint(key)) [[likely]] return *m;
    return member_search(v);
}

value e_member::evaluate(runtime& rt) const
{
    // Finding a member runs no script code, so the variable's stored handle stays put meanwhile.
    if (variable_) return member_of(variable_->stored(rt));
    value v = operand->evaluate(rt);
    if (!v) return v;
    return member_of(v);
}

value e_member::member_search(const value& v) const
{
    // A member of the instance's own part found by a search of the part; a base part's member, and
    // every refusal, come from the value itself.
    if (scope* own = v->own_members(); own && own->variables.may_hold(key))
        if (value* m = own->variables.find(key)) return *m;
    try {
        return v->member_of(interned);
    } catch (exception& e) {
        script_trace& t = e.script();
        t.mark(pos);
        if (t.message.empty()) t.message = type_word(*v) + " has no member '" + narrow(name) + "'";
        throw;
    }
}

namespace {
// A built-in call's arguments on the stack: only the slots the call fills are made and released, so a
// call with one argument pays for one handle, not for every slot.
template <std::size_t N>
class stacked_args {
public:
    stacked_args() {}
    ~stacked_args() { std::destroy_n(slots_, size_); }
    stacked_args(const stacked_args&) = delete;
    stacked_args& operator=(const stacked_args&) = delete;
    // Adds v after the others (there are fewer than N); evaluate_into fills it like any argument buffer.
    void push_back(value v) { std::construct_at(slots_ + size_++, std::move(v)); }
    void reserve(std::size_t) const noexcept {}
    value* begin() { return slots_; }
    value* end() { return slots_ + size_; }
    arg_span span() const { return arg_span(slots_, size_); }

private:
    union {
        value slots_[N];
    };
    std::size_t size_ = 0;
};
} // namespace

// The paths of a method call are forced into e_method::evaluate where the optimiser runs; an unoptimised
// (sanitizer) build keeps each in its own frame, so a deep recursion through method calls takes no
// more stack there than before, and the sanitizer can still follow exceptions thrown across it.
#if defined(__OPTIMIZE__)
#define VORLA_METHOD_PATH [[gnu::always_inline]] inline
#else
#define VORLA_METHOD_PATH inline
#endif

template <class F>
VORLA_METHOD_PATH value e_method::guarded(const value& target, arg_span v, runtime& rt, F&& call) const
{
    try {
        return call();
    } catch (exception& e) {
        // A built-in value's refusal says nothing more exact than this; a script method's error does. Running
        // out of depth (calls, steps, memory) is no refusal: its own text is the message.
        script_trace& t = e.script();
        t.mark(pos);
        if (t.message.empty() && t.frames.empty() && !e.out_of_depth())
            t.message = type_word(*target) + " has no method " + rt.space->call_signature(narrow(name), args(v.begin(), v.end()));
        throw;
    } catch (sig_throw& s) {
        if (s.trace) s.trace->mark(pos);
        throw;
    }
}

VORLA_METHOD_PATH value e_method::call_slot(const value& target, const args& v, runtime& rt) const
{
    return guarded(target, v, rt, [&] {
        return passed(target->method(method_call<wchar_t>{v, name, interned, rt.out, builtin, &site(), rt.space->ctx}), pos, rt);
    });
}

// A name built-in classes answer: the arguments stay in a few slots on the stack while a built-in value
// runs it (no built-in method takes more than builtin_args).
VORLA_METHOD_PATH value e_method::call_builtin(runtime& rt) const
{
    stacked_args<builtin_args> v;
    if (!evaluate_into(arguments, rt, v)) return value();
    value target = read_operand(*operand, rt);
    if (!target) return target;
    const arg_span given = v.span();
    if (value out = guarded(target, given, rt, [&] { return target->builtin_method(builtin, given); })) return out;
    // Any other value (a script instance with a method of that name, a number) takes its method slot.
    lease held(*this);
    held.v.assign(std::make_move_iterator(v.begin()), std::make_move_iterator(v.end()));
    return call_slot(target, held.v, rt);
}

// Arguments before the receiver: their side effects happen even when the receiver then fails.
value e_method::evaluate(runtime& rt) const
{
    if (builtin != method_name::none && builtin != method_name::unresolved && arguments.size() <= builtin_args)
        return call_builtin(rt);
    lease held(*this);
    if (!evaluate_args(arguments, rt, held.v)) return value();
    value target = read_operand(*operand, rt);
    if (!target) return target;
    return call_slot(target, held.v, rt);
}
#undef VORLA_METHOD_PATH

// The stored handle itself, never a copy: assigning through it changes the variable.
value e_variable::evaluate(runtime& rt) const
{
    if (value* v = nlookup<wchar_t>::find_hinted(rt.current, key)) [[likely]] return *v;
    return search(rt);
}

value e_variable::search(runtime& rt) const { return nlookup<wchar_t>::find_variable(rt.current, key, pos); }

value e_cast::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    return placed(pos, [&] { return rt.space->_generate(type, v); });
}

namespace {
// The account of an error or throw leaving the call `node` made with arguments v: the call is a frame of
// an error from its body, placed at the node; an error of the call itself is placed at the node.
[[gnu::cold]] void left_call(const e_function& node, script_trace& t, arg_span v, runtime& rt)
{
    if (t.where.known()) t.leave(rt.space->call_description(node.name, args(v.begin(), v.end())), node.pos);
    else t.mark(node.pos);
}
} // namespace

// The call with its arguments evaluated: the site's remembered definition, or a search.
[[gnu::always_inline]] inline value e_function::call(arg_span v, runtime& rt) const
{
    try {
        value out = rt.space->call_function(name, v, *rt.out, site());
        if (!out && rt.out->kind == flow::thr && rt.out->trace) [[unlikely]]
            left_call(*this, *rt.out->trace, v, rt);
        return out;
    } catch (exception& e) {
        left_call(*this, e.script(), v, rt);
        throw;
    } catch (sig_throw& s) {
        if (s.trace) left_call(*this, *s.trace, v, rt);
        throw;
    }
}

value e_function::evaluate(runtime& rt) const
{
    // A few arguments wait on the stack, in exactly the slots they fill.
    if (arguments.size() <= stacked_call_args) [[likely]] {
        stacked_args<stacked_call_args> v;
        if (!evaluate_into(arguments, rt, v)) return value();
        return call(v.span(), rt);
    }
    arg_buffer v;
    if (!evaluate_args(arguments, rt, v)) return value();
    return call(arg_span(v.data(), v.size()), rt);
}

value e_native::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    return placed(pos, [&] { return rt.space->call_native(name, v); });
}

// A declaration has no value of its own: using one where a value is wanted yields an empty handle.
value e_declare::evaluate(runtime& rt) const
{
    for (const expr& d : declarators)
        if (!d->evaluate(rt) && rt.out->pending()) break;
    return value();
}

// Initialization always builds a fresh value of the declared type, so x = y's later changes to x
// never reach y.
value e_constructor::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    return placed(pos, [&]() -> value {
        // An initializer of exactly the declared type that nothing else holds (`string a = "k" + i;`) is
        // the fresh value itself: its copy would be a plain copy nobody could tell from it (stored_copy).
        if (v.size() == 1 && v[0].use_count() == 1 && v[0]->type_id() == type && tid::plain_copy(type))
            return rt.current->variables.declare(name, std::move(v[0]));
        return rt.current->variables.declare(name, rt.space->_generate(type, v));
    });
}

// A reference aliases the initializer's own value object; there is no conversion, so the types
// must match exactly.
value e_ref_constructor::evaluate(runtime& rt) const
{
    value v = initializer->evaluate(rt);
    if (!v) return v;
    return placed(pos, [&]() -> value {
        if (v->type_id() != type) refuse_class(*rt.space, type, v->type_id(), name);
        return rt.current->variables.declare(name, std::move(v));
    });
}

void e_ref_constructor::refuse_class(nspace& space, type_id_t type, type_id_t got, symbol name)
{
    throw VORLA_EXCEPTION("vorla::e_ref_constructor<wchar_t,struct vorla::runtime>::evaluate", "fail to initialize refference, ")
              .explain("a reference to " + space.type_name(type) + " cannot refer to a value of type " + space.type_name(got))
          << space.types->find_str(type) << "& " << *name;
}

// During construction the runtime's namespace is the instance's own, so its global scope holds the
// instance's members.
value e_declare_member::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    placed(pos, [&] {
        value member = rt.space->create_instance(type);
        construct(*member, v);
        rt.space->global.variables.declare(name, std::move(member));
    });
    return make<nil>();
}

// The member becomes an alias of the initializer's own value; the object checks its type.
value e_ref_member::evaluate(runtime& rt) const
{
    static constexpr const char* function = "vorla::e_ref_member<wchar_t,struct vorla::runtime>::evaluate";
    value v = initializer->evaluate(rt);
    if (!v) return v;
    placed(pos, [&] { constructed_object(rt, function).call_ref_member_constructor(v, type, name); });
    return make<nil>();
}

value e_base::evaluate(runtime& rt) const
{
    static constexpr const char* function = "vorla::e_base<wchar_t,struct vorla::runtime>::evaluate";
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    placed(pos, [&] { constructed_object(rt, function).call_base_constructor(v); });
    return make<nil>();
}

} // namespace vorla
