// Evaluation of the operator nodes: arithmetic, comparisons and logic, assignments and prefix operators.
#include <optional>

#include "expression/nodes.hpp"
#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/integer.hpp"
#include "factor/signed_.hpp"
#include "factor/unsigned_.hpp"
#include "nlookup.hpp"

namespace vorla {

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

// The int path of the binary operators. When both operands are exactly script ints (by far the
// commonest case), or an int and an unsigned int, an operator applies the int rules itself, with no
// virtual call; any other pair goes through the left value's slots, which answer the same for these
// pairs (integer_result).
//
// Forced inline where the optimiser runs, so each operator keeps its operands in registers; an
// unoptimised (sanitizer) build keeps the helper a call, its operator frames as small as before.
#if defined(__OPTIMIZE__)
#define VORLA_OPERATOR_PATH [[gnu::always_inline]] inline
#else
#define VORLA_OPERATOR_PATH inline
#endif

// Two int operands: the left value and the right one (empty when an int literal was read from the node
// instead), with their ints.
struct int_operands {
    value& l;
    signed_<int>& a;
    value& r;
    signed_<int>* rb;  // r's int, when r was evaluated
    int b;

    // An int result: the left operand takes it when nothing but the expression holds it, else the right
    // one likewise (nobody can see either change); otherwise it is a new int.
    VORLA_OPERATOR_PATH value result(int n) const
    {
        if (l.use_count() == 1) {
            a.set(n);
            return std::move(l);
        }
        if (rb && r.use_count() == 1) {
            rb->set(n);
            return std::move(r);
        }
        return make<signed_<int>>(n);
    }
};

// Evaluates a binary node's operands, left first or (for assignments) right first, and hands them to
// `ints` (an int_operands) when both are ints, else to `other(l, r)`. An int literal on the right
// opposite an int is read from the node and makes no value: evaluating a literal has no effect, so which
// side goes first makes no difference then. An empty operand is a signal crossing the expression:
// `crossed()` answers for the node then, the signal waiting in rt.out. A left-first node whose left
// operand a chain has evaluated already (e_chain) is handed its value as `given`.
template <bool right_first, class Ints, class Other, class Crossed>
VORLA_OPERATOR_PATH auto with_operands(const binary& node, runtime& rt, Ints&& ints, Other&& other, Crossed&& crossed,
                                       value* given = nullptr)
{
    auto left = [&] { return given ? std::move(*given) : read_operand(*node.left, rt); };
    // Both evaluated: the int path when both are ints.
    auto both = [&](value& l, value& r) {
        if (signed_<int>* a = exact_int(l)) {
            // An unsigned int (a size, say) reads as the int of the same 32 bits, as the int class's own
            // slots convert it; it never takes an int result.
            signed_<int>* b = exact_int(r);
            unsigned_<unsigned int>* u = b ? nullptr : exact_unsigned(r);
            if (b || u) return ints(int_operands{l, *a, r, b, b ? b->get() : static_cast<int>(u->get())});
        }
        return other(l, r);
    };
    if (node.right_int) {
        value l = left();
        if (!l) return crossed();
        if (signed_<int>* a = exact_int(l)) {
            value none;
            return ints(int_operands{l, *a, none, nullptr, *node.right_int});
        }
        value r = read_operand(*node.right, rt);
        if (!r) return crossed();
        return other(l, r);
    }
    if constexpr (right_first) {
        value r = read_operand(*node.right, rt);
        if (!r) return crossed();
        value l = left();
        if (!l) return crossed();
        return both(l, r);
    } else {
        value l = left();
        if (!l) return crossed();
        value r = read_operand(*node.right, rt);
        if (!r) return crossed();
        return both(l, r);
    }
}

// Whether integer_result refuses a op b: the int path then lets it throw under operate, which places the
// refusal at the operator; every other int result needs no such guard.
constexpr bool refused_divisor(arith op, int a, int b)
{
    return (op == arith::div || op == arith::mod) && !divisor_fits(a, b);
}

// What a node that yields a value yields when a signal crossed an operand.
value crossed_value() { return value(); }

// An arithmetic operator: left first, then right. A left value held by nothing but this expression
// (a literal, another operator's result) takes the result itself when its class works it out in place;
// any other is left alone and the left value's operator makes the result.
template <arith op>
value apply_arithmetic(const binary& node, const char* op_name, runtime& rt, value* given = nullptr)
{
    return with_operands<false>(
        node, rt,
        [&](const int_operands& o) {
            if (refused_divisor(op, o.a.get(), o.b)) [[unlikely]]
                return operate(node, op_name, o.l, o.r.get(), [&] { return o.result(integer_result(op, o.a.get(), o.b)); });
            return o.result(integer_result(op, o.a.get(), o.b));
        },
        [&](value& l, value& r) {
            return operate(node, op_name, l, r.get(), [&] {
                if (l.use_count() == 1 && l->operate_in_place(op, r)) return std::move(l);
                return arithmetic(*l, op, r);
            });
        },
        crossed_value, given);
}

// A compound assignment: the right side first, then the left value object changes in place, so every
// holder of that handle (the variable, references, reference parameters) sees the new content.
template <arith op>
value apply_assign(const binary& node, const char* op_name, runtime& rt)
{
    return with_operands<true>(
        node, rt,
        [&](const int_operands& o) {
            if (refused_divisor(op, o.a.get(), o.b)) [[unlikely]]
                operate(node, op_name, o.l, o.r.get(), [&] { o.a.set(integer_result(op, o.a.get(), o.b)); });
            o.a.set(integer_result(op, o.a.get(), o.b));
            return std::move(o.l);
        },
        [&](value& l, value& r) {
            operate(node, op_name, l, r.get(), [&] {
                if (!l->operate_in_place(op, r)) l->operator=(arithmetic(*l, op, r));
            });
            return std::move(l);
        },
        crossed_value);
}

// A unary operator on the operand's own value object.
template <class Apply>
value apply_unary(const expression& node, const char* op, const expr& operand, runtime& rt, Apply apply)
{
    value v = read_operand(*operand, rt);
    if (!v) return v;
    return operate(node, op, v, nullptr, [&] { return apply(v); });
}

} // namespace

std::optional<int> int_literal(const expression& e)
{
    if (auto* c = dynamic_cast<const e_constant<signed_<int>, int>*>(&e)) return c->literal;
    return std::nullopt;
}

namespace {
constexpr const char* arith_text(arith op)
{
    switch (op) {
    case arith::add: return "operator +";
    case arith::sub: return "operator -";
    case arith::mul: return "operator *";
    case arith::div: return "operator /";
    case arith::mod: break;
    }
    return "operator %";
}
} // namespace

template <arith op>
value e_arithmetic<op>::evaluate(runtime& rt) const
{
    return apply_arithmetic<op>(*this, arith_text(op), rt);
}

template <arith op>
value e_arithmetic<op>::evaluate_on(value l, runtime& rt) const
{
    return apply_arithmetic<op>(*this, arith_text(op), rt, &l);
}

template class e_arithmetic<arith::add>;
template class e_arithmetic<arith::sub>;
template class e_arithmetic<arith::mul>;
template class e_arithmetic<arith::div>;
template class e_arithmetic<arith::mod>;

namespace {
constexpr const char* relation_text(relation op)
{
    switch (op) {
    case relation::eq: return "operator ==";
    case relation::ne: return "operator !=";
    case relation::gt: return "operator >";
    case relation::lt: return "operator <";
    case relation::ge: return "operator >=";
    case relation::le: return "operator <=";
    case relation::and_: return "operator &&";
    case relation::or_: break;
    }
    return "operator ||";
}
} // namespace

namespace {
template <relation R>
VORLA_OPERATOR_PATH value relation_value(const e_relation<R>& node, runtime& rt, value* given)
{
    return with_operands<false>(
        node, rt,
        [](const int_operands& o) { return make_boolean(numeric_relation(R, o.a.get(), [&] { return o.b; })); },
        [&](value& l, value& r) { return operate(node, relation_text(R), l, r.get(), [&] { return relate(*l, R, r); }); },
        crossed_value, given);
}
} // namespace

template <relation R>
value e_relation<R>::evaluate(runtime& rt) const
{
    return relation_value(*this, rt, nullptr);
}

template <relation R>
value e_relation<R>::evaluate_on(value l, runtime& rt) const
{
    return relation_value(*this, rt, &l);
}

// The same operands, order and refusals as evaluate; only the bool value is skipped where the left
// value's class answers plainly.
template <relation R>
flow e_relation<R>::test(runtime& rt, bool& yes) const
{
    if constexpr (R == relation::and_ || R == relation::or_) {
        // bool && bool and bool || bool: both operands in order, each failing as it would as a value;
        // the bool slots then only combine the two truths.
        if (of_relations) {
            bool a = false, b = false;
            if (flow f = left->test(rt, a); f != flow::done) return f;
            if (flow f = right->test(rt, b); f != flow::done) return f;
            yes = R == relation::and_ ? a && b : a || b;
            return flow::done;
        }
    }
    return with_operands<false>(
        *this, rt,
        [&](const int_operands& o) {
            yes = numeric_relation(R, o.a.get(), [&] { return o.b; });
            return flow::done;
        },
        [&](value& l, value& r) {
            if (operate(*this, relation_text(R), l, r.get(), [&] { return l->test_relation(R, r, yes); }))
                return flow::done;
            const value c = operate(*this, relation_text(R), l, r.get(), [&] { return relate(*l, R, r); });
            if (!c && rt.out->pending()) return rt.out->kind;
            yes = placed(pos, [&] { return truth(c); });
            return flow::done;
        },
        [&] { return rt.out->kind; });
}

template class e_relation<relation::eq>;
template class e_relation<relation::ne>;
template class e_relation<relation::gt>;
template class e_relation<relation::lt>;
template class e_relation<relation::ge>;
template class e_relation<relation::le>;
template class e_relation<relation::and_>;
template class e_relation<relation::or_>;

flow expression::test(runtime& rt, bool& yes) const
{
    value c = evaluate(rt);
    if (!c && rt.out->pending()) return rt.out->kind;
    yes = placed(pos, [&] { return truth(c); });
    return flow::done;
}

value e_assign::evaluate(runtime& rt) const
{
    return with_operands<true>(
        *this, rt,
        [](const int_operands& o) {
            o.a.set(o.b);
            return std::move(o.l);
        },
        [&](value& l, value& r) {
            operate(*this, "operator =", l, r.get(), [&] { l->operator=(r); });
            return std::move(l);
        },
        crossed_value);
}
value e_add_assign::evaluate(runtime& rt) const { return apply_assign<arith::add>(*this, "operator +", rt); }
value e_sub_assign::evaluate(runtime& rt) const { return apply_assign<arith::sub>(*this, "operator -", rt); }
value e_mul_assign::evaluate(runtime& rt) const { return apply_assign<arith::mul>(*this, "operator *", rt); }
value e_div_assign::evaluate(runtime& rt) const { return apply_assign<arith::div>(*this, "operator /", rt); }
value e_mod_assign::evaluate(runtime& rt) const { return apply_assign<arith::mod>(*this, "operator %", rt); }

// ++x / --x change x in place and yield x's own handle, so ++x = 5 assigns to x. An int steps by the int
// rules directly (wrapping at the ends), with no virtual call and nothing that can fail.
template <arith op>
value apply_step(const expression& node, const char* op_name, const expr& operand, runtime& rt)
{
    value v = read_operand(*operand, rt);
    if (!v) return v;
    if (signed_<int>* n = exact_int(v)) n->set(integer_result(op, n->get(), 1));
    else
        operate(node, op_name, v, nullptr, [&] {
            if constexpr (op == arith::add) v->operator++();
            else v->operator--();
        });
    return v;
}

value e_preincr::evaluate(runtime& rt) const { return apply_step<arith::add>(*this, "operator ++", operand, rt); }
value e_predecr::evaluate(runtime& rt) const { return apply_step<arith::sub>(*this, "operator --", operand, rt); }
value e_not::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator !", operand, rt, [](const value& v) { return v->operator!(); });
}
value e_minus::evaluate(runtime& rt) const
{
    return apply_unary(*this, "operator -", operand, rt, [](const value& v) { return v->operator-(); });
}
e_chain::e_chain(std::vector<std::shared_ptr<const left_first>> links) : links_(std::move(links)) {}

e_chain::~e_chain()
{
    // Each operator holds the one before it as its left operand. Released from the outermost, each goes
    // while links_ still holds the one before it, so no release reaches further than one operator.
    while (!links_.empty()) links_.pop_back();
}

value e_chain::evaluate(runtime& rt) const
{
    value v = read_operand(*links_.front()->left, rt);
    for (const auto& link : links_) {
        if (!v) return v;  // a signal crossed the chain; it waits in rt.out
        v = link->evaluate_on(std::move(v), rt);
    }
    return v;
}

#undef VORLA_OPERATOR_PATH

} // namespace vorla
