// Evaluation of every expression node: operators, assignments, names, calls and declarators.
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
        value v = e->evaluate(rt);
        if (!v && rt.out->pending()) return false;
        out.push_back(std::move(v));
    }
    return true;
}
} // namespace

bool evaluate_args(const expr_list& list, runtime& rt, args& out) { return evaluate_into(list, rt, out); }
bool evaluate_args(const expr_list& list, runtime& rt, arg_buffer& out) { return evaluate_into(list, rt, out); }

namespace {

// An operator's own step. A failure is placed at the operator and, unless a cause further in said
// more, explained by the operand types: "cannot add string to bool".
template <class F>
decltype(auto) operate(const expression& node, const char* op, const value& l, const factor* r, F&& step)
{
    try {
        return step();
    } catch (exception& e) {
        script_trace& t = e.script();
        t.mark(node.pos);
        if (t.message.empty()) t.message = refusal_sentence(op, *l, r);
        throw;
    } catch (sig_throw& s) {
        if (s.trace) s.trace->mark(node.pos);
        throw;
    }
}

// A binary operator: left first, then right; the left value's operator decides the result. An empty
// operand is a signal crossing the expression, passed on.
template <class Apply>
value apply_binary(const expression& node, const char* op, const expr& left, const expr& right, runtime& rt, Apply apply)
{
    value l = left->evaluate(rt);
    if (!l) return l;
    value r = right->evaluate(rt);
    if (!r) return r;
    return operate(node, op, l, r.get(), [&] { return apply(*l, r); });
}

// An arithmetic operator: left first, then right. A left value held by nothing but this expression
// (a literal, another operator's result) takes the result itself when its class works it out in place;
// any other is left alone and the left value's operator makes the result.
template <arith op>
value apply_arithmetic(const expression& node, const char* op_name, const expr& left, const expr& right, runtime& rt)
{
    value l = left->evaluate(rt);
    if (!l) return l;
    value r = right->evaluate(rt);
    if (!r) return r;
    return operate(node, op_name, l, r.get(), [&] {
        if (l.use_count() == 1 && l->operate_in_place(op, r)) return l;
        return arithmetic(*l, op, r);
    });
}

// A compound assignment: the right side first, then the left value object changes in place, so every
// holder of that handle (the variable, references, reference parameters) sees the new content.
template <arith op>
value apply_assign(const expression& node, const char* op_name, const expr& left, const expr& right, runtime& rt)
{
    value r = right->evaluate(rt);
    if (!r) return r;
    value l = left->evaluate(rt);
    if (!l) return l;
    operate(node, op_name, l, r.get(), [&] {
        if (!l->operate_in_place(op, r)) l->operator=(arithmetic(*l, op, r));
    });
    return l;
}

// A unary operator on the operand's own value object.
template <class Apply>
value apply_unary(const expression& node, const char* op, const expr& operand, runtime& rt, Apply apply)
{
    value v = operand->evaluate(rt);
    if (!v) return v;
    return operate(node, op, v, nullptr, [&] { return apply(v); });
}

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

value e_add::evaluate(runtime& rt) const
{
    return apply_arithmetic<arith::add>(*this, "operator +", left, right, rt);
}
value e_sub::evaluate(runtime& rt) const
{
    return apply_arithmetic<arith::sub>(*this, "operator -", left, right, rt);
}
value e_mul::evaluate(runtime& rt) const
{
    return apply_arithmetic<arith::mul>(*this, "operator *", left, right, rt);
}
value e_div::evaluate(runtime& rt) const
{
    return apply_arithmetic<arith::div>(*this, "operator /", left, right, rt);
}
value e_mod::evaluate(runtime& rt) const
{
    return apply_arithmetic<arith::mod>(*this, "operator %", left, right, rt);
}
value e_equal::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator ==", left, right, rt, [](const factor& l, const value& r) { return l.operator==(r); });
}
value e_nequal::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator !=", left, right, rt, [](const factor& l, const value& r) { return l.operator!=(r); });
}
value e_gt::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator >", left, right, rt, [](const factor& l, const value& r) { return l.operator>(r); });
}
value e_lt::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator <", left, right, rt, [](const factor& l, const value& r) { return l.operator<(r); });
}
value e_gte::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator >=", left, right, rt, [](const factor& l, const value& r) { return l.operator>=(r); });
}
value e_lte::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator <=", left, right, rt, [](const factor& l, const value& r) { return l.operator<=(r); });
}

// The script's && and || never short-circuit: the right side's effects always happen.
value e_and::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator &&", left, right, rt, [](const factor& l, const value& r) { return l.operator&&(r); });
}
value e_or::evaluate(runtime& rt) const
{
    return apply_binary(*this, "operator ||", left, right, rt, [](const factor& l, const value& r) { return l.operator||(r); });
}

value e_assign::evaluate(runtime& rt) const
{
    value r = right->evaluate(rt);
    if (!r) return r;
    value l = left->evaluate(rt);
    if (!l) return l;
    operate(*this, "operator =", l, r.get(), [&] { l->operator=(r); });
    return l;
}
value e_add_assign::evaluate(runtime& rt) const
{
    return apply_assign<arith::add>(*this, "operator +", left, right, rt);
}
value e_sub_assign::evaluate(runtime& rt) const
{
    return apply_assign<arith::sub>(*this, "operator -", left, right, rt);
}
value e_mul_assign::evaluate(runtime& rt) const
{
    return apply_assign<arith::mul>(*this, "operator *", left, right, rt);
}
value e_div_assign::evaluate(runtime& rt) const
{
    return apply_assign<arith::div>(*this, "operator /", left, right, rt);
}
value e_mod_assign::evaluate(runtime& rt) const
{
    return apply_assign<arith::mod>(*this, "operator %", left, right, rt);
}

// ++x / --x change x in place and yield x's own handle, so ++x = 5 assigns to x.
value e_preincr::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator ++", operand, rt, [](const value& v) {
        v->operator++();
        return v;
    });
}
value e_predecr::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator --", operand, rt, [](const value& v) {
        v->operator--();
        return v;
    });
}
value e_not::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator !", operand, rt, [](const value& v) { return v->operator!(); });
}
value e_minus::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator -", operand, rt, [](const value& v) { return v->operator-(); });
}

e_member::e_member(expr operand, std::wstring name)
    : operand(std::move(operand)), name(std::move(name)), interned(intern(this->name)), key(interned),
      variable_(dynamic_cast<const e_variable*>(this->operand.get()))
{
}

value e_member::evaluate(runtime& rt) const
{
    // Finding a member runs no script code, so the variable's stored handle stays put meanwhile.
    if (variable_) return member_of(nlookup<wchar_t>::find_variable(rt.current, variable_->key, variable_->pos));
    value v = operand->evaluate(rt);
    if (!v) return v;
    return member_of(v);
}

value e_member::member_of(const value& v) const
{
    // A member of the instance's own part, found where it was last time or by a search of the part;
    // a base part's member, and every refusal, come from the value itself.
    if (scope* own = v->own_members(); own && own->variables.may_hold(key)) {
        if (value* m = own->variables.at_hint(key)) return *m;
        if (value* m = own->variables.find(key)) return *m;
    }
    try {
        return v->member_of(interned);
    } catch (exception& e) {
        script_trace& t = e.script();
        t.mark(pos);
        if (t.message.empty()) t.message = type_word(*v) + " has no member '" + narrow(name) + "'";
        throw;
    }
}

// Arguments before the receiver: their side effects happen even when the receiver then fails.
value e_method::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    value target = operand->evaluate(rt);
    if (!target) return target;
    try {
        return passed(target->method(method_call<wchar_t>{v, name, interned, rt.out, builtin, &site}), pos, rt);
    } catch (exception& e) {
        // A built-in value's refusal says nothing more exact than this; a script method's error does.
        script_trace& t = e.script();
        t.mark(pos);
        if (t.message.empty() && t.frames.empty())
            t.message = type_word(*target) + " has no method " + rt.space->call_signature(narrow(name), v);
        throw;
    } catch (sig_throw& s) {
        if (s.trace) s.trace->mark(pos);
        throw;
    }
}

// The stored handle itself, never a copy: assigning through it changes the variable.
value e_variable::evaluate(runtime& rt) const
{
    return nlookup<wchar_t>::find_variable(rt.current, key, pos);
}

value e_cast::evaluate(runtime& rt) const
{
    lease held(*this);
    args& v = held.v;
    if (!evaluate_args(arguments, rt, v)) return value();
    return placed(pos, [&] { return rt.space->_generate(type, v); });
}

value e_function::evaluate(runtime& rt) const
{
    arg_buffer v;
    if (!evaluate_args(arguments, rt, v)) return value();
    // The call is a frame of an error from its body, placed here; an error of the call itself is placed here.
    auto called = [&](script_trace& t) {
        if (t.where.known()) t.leave(rt.space->call_description(name, args(v.begin(), v.end())), pos);
        else t.mark(pos);
    };
    try {
        value out = rt.space->call_function(name, std::span<const value>(v.data(), v.size()), *rt.out, site);
        if (!out && rt.out->kind == flow::thr && rt.out->trace) called(*rt.out->trace);
        return out;
    } catch (exception& e) {
        called(e.script());
        throw;
    } catch (sig_throw& s) {
        if (s.trace) called(*s.trace);
        throw;
    }
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
    return placed(pos, [&]() -> value { return rt.current->variables.declare(name, rt.space->_generate(type, v)); });
}

// A reference aliases the initializer's own value object; there is no conversion, so the types
// must match exactly.
value e_ref_constructor::evaluate(runtime& rt) const
{
    value v = initializer->evaluate(rt);
    if (!v) return v;
    return placed(pos, [&]() -> value {
        if (v->type_id() != type)
            throw VORLA_EXCEPTION("vorla::e_ref_constructor<wchar_t,struct vorla::runtime>::evaluate",
                                  "fail to initialize refference, ")
                      .explain("a reference to " + rt.space->type_name(type) + " cannot refer to a value of type " +
                               rt.space->type_name(v->type_id()))
                  << rt.space->types->find_str(type) << "& " << *name;
        return rt.current->variables.declare(name, std::move(v));
    });
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
