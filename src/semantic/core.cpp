// Expression compilation: operator folds, member access, primaries, literals and type names.
#include "semantic/core.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "expression/nodes.hpp"
#include "factor/boolean.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "nspace.hpp"
#include "context.hpp"
#include "stack_guard.hpp"
#include "symbol.hpp"

namespace vorla::detail::semantic {

namespace {
constexpr const char* fn_expression = "vorla::detail::semantic::core<wchar_t>::eval_expression";
constexpr const char* fn_primary = "vorla::detail::semantic::core<wchar_t>::eval_ex_primary";
constexpr const char* fn_literal = "vorla::detail::semantic::core<wchar_t>::eval_ex_literal";
constexpr const char* fn_type = "vorla::detail::semantic::core<wchar_t>::eval_ex_type";

const std::wstring empty_text;

[[noreturn]] void unexpected(const char* function, const pnode& n)
{
    throw VORLA_EXCEPTION(function, "undefined, rule=") << rule_name(n.id);
}

// The rule of an operator: relational and assignment operators sit one level down.
rule operator_rule(const pnode& n)
{
    if ((n.id == rule::relational_op || n.id == rule::assign_op) && !n.children.empty()) return n.children[0].id;
    return n.id;
}
} // namespace

const std::wstring& leaf_text(const pnode& n)
{
    pnode p = n;
    while (!p.leaf && !p.children.empty()) p = p.children.front();
    return p.leaf ? p.text_string() : empty_text;
}

void core<wchar_t>::stack_refusal(const char* function)
{
    throw refusal(VORLA_EXCEPTION(function, "nesting too deep"));
}

expr core<wchar_t>::eval_expression(const pnode& n) { return dispatch(n).e; }

expr_list core<wchar_t>::eval_call_args(const pnode& n) { return call_args(n).list; }

core<wchar_t>::built core<wchar_t>::dispatch(const pnode& n)
{
    // An error is placed at the innermost expression it came from.
    try {
        return dispatch_level(n);
    } catch (vorla::exception& e) {
        e.script().mark(at(n));
        throw;
    }
}

core<wchar_t>::built core<wchar_t>::dispatch_level(const pnode& n)
{
    // Every cycle of the expression grammar passes through here (parentheses, arguments, operands).
    if (stack_exhausted()) stack_refusal(fn_expression);
    switch (n.id) {
    case rule::expression:
        return dispatch(n.children.at(0));
    case rule::assign_expr:
        return assign_expr(n);
    case rule::or_expr:
    case rule::and_expr:
        return logical_expr(n);
    case rule::equality_expr:
    case rule::relational_expr:
    case rule::additive_expr:
    case rule::multiplicative_expr:
        return binary_expr(n);
    case rule::unary_expr:
        return unary_expr(n);
    case rule::postfix_expr:
        return postfix_expr(n);
    case rule::primary_expr:
        return primary_expr(n);
    default:
        unexpected(fn_expression, n);
    }
}

core<wchar_t>::built_list core<wchar_t>::call_args(const pnode& n)
{
    built_list out{{}, 0};
    out.list.reserve(n.children.size());
    for (const pnode& c : n.children) {
        if (c.leaf) continue;
        built b = dispatch(c);
        out.depth = std::max(out.depth, b.depth);
        out.list.push_back(std::move(b.e));
    }
    return out;
}

// a = b += c is e_assign(a, e_add_assign(b, c)): folded from the right.
core<wchar_t>::built core<wchar_t>::assign_expr(const pnode& n)
{
    const auto& c = n.children;
    if (c.empty()) unexpected(fn_expression, n);
    built r = dispatch(c.back());
    for (std::size_t pair = (c.size() - 1) / 2; pair-- > 0;) {
        built l = dispatch(c.at(2 * pair));
        r = make_assign(c.at(2 * pair + 1), std::move(l), std::move(r));
    }
    return r;
}

core<wchar_t>::built core<wchar_t>::make_assign(const pnode& at, built l, built r) const
{
    const std::size_t d = 1 + std::max(l.depth, r.depth);
    const rule op = operator_rule(at);
    switch (op) {
    case rule::op_assign: return make<e_assign>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_add_assign: return make<e_add_assign>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_sub_assign: return make<e_sub_assign>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_mul_assign: return make<e_mul_assign>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_div_assign: return make<e_div_assign>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_mod_assign: return make<e_mod_assign>(at, d, std::move(l.e), std::move(r.e));
    default: throw VORLA_EXCEPTION(fn_expression, "undefined, rule=") << rule_name(op);
    }
}

template <class Link>
core<wchar_t>::built core<wchar_t>::fold_left(const pnode& n, std::size_t stride, Link&& link)
{
    const auto& c = n.children;
    if (c.empty()) unexpected(fn_expression, n);
    built r = dispatch(c.front());
    const bool by_links = (c.size() - 1) / stride > chain_from;
    std::vector<std::shared_ptr<const left_first>> links;
    std::size_t deepest = r.depth;
    for (std::size_t i = stride; i < c.size(); i += stride) {
        built x = dispatch(c[i]);
        deepest = std::max(deepest, x.depth);
        // Evaluated link by link, the operators on the left add no depth.
        if (by_links) r.depth = deepest;
        r = link(i, std::move(r), std::move(x));
        if (by_links) links.push_back(std::static_pointer_cast<const left_first>(r.e));
    }
    if (!by_links) return r;
    // Placed where the outermost operator is: its operator, or the whole for && and ||.
    return make<e_chain>(stride == 1 ? n : c[c.size() - 2], deepest + 2, std::move(links));
}

// || and && lost their operator nodes in the grammar: every child is an operand, folded from the left.
core<wchar_t>::built core<wchar_t>::logical_expr(const pnode& n)
{
    const bool is_or = n.id == rule::or_expr;
    return fold_left(n, 1, [&](std::size_t, built l, built x) {
        const std::size_t d = 1 + std::max(l.depth, x.depth);
        return is_or ? make<e_or>(n, d, std::move(l.e), std::move(x.e)) : make<e_and>(n, d, std::move(l.e), std::move(x.e));
    });
}

// a - b - c is e_sub(e_sub(a, b), c): folded from the left.
core<wchar_t>::built core<wchar_t>::binary_expr(const pnode& n)
{
    return fold_left(n, 2, [&](std::size_t i, built l, built x) { return make_binary(n.children[i - 1], std::move(l), std::move(x)); });
}

core<wchar_t>::built core<wchar_t>::make_binary(const pnode& at, built l, built r) const
{
    const std::size_t d = 1 + std::max(l.depth, r.depth);
    const rule op = operator_rule(at);
    switch (op) {
    case rule::op_eq: return make<e_equal>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_ne: return make<e_nequal>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_gt: return make<e_gt>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_lt: return make<e_lt>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_ge: return make<e_gte>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_le: return make<e_lte>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_plus: return make<e_add>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_minus: return make<e_sub>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_mul: return make<e_mul>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_div: return make<e_div>(at, d, std::move(l.e), std::move(r.e));
    case rule::op_mod: return make<e_mod>(at, d, std::move(l.e), std::move(r.e));
    default: throw VORLA_EXCEPTION(fn_expression, "undefined, rule=") << rule_name(op);
    }
}

// The language applies prefix operators left to right: -!x is e_not(e_minus(x)).
core<wchar_t>::built core<wchar_t>::unary_expr(const pnode& n)
{
    const auto& c = n.children;
    if (c.empty()) unexpected(fn_expression, n);
    built r = dispatch(c.back());
    for (std::size_t i = 0; i + 1 < c.size(); ++i) {
        const std::size_t d = r.depth + 1;
        switch (c[i].id) {
        case rule::op_incr: r = make<e_preincr>(c[i], d, std::move(r.e)); break;
        case rule::op_decr: r = make<e_predecr>(c[i], d, std::move(r.e)); break;
        case rule::op_not: r = make<e_not>(c[i], d, std::move(r.e)); break;
        case rule::op_minus: r = make<e_minus>(c[i], d, std::move(r.e)); break;
        default: unexpected(fn_expression, c[i]);
        }
    }
    return r;
}

// a.b.c(1).d is e_member(e_method(e_member(a, b), c, [1]), d).
core<wchar_t>::built core<wchar_t>::postfix_expr(const pnode& n)
{
    const auto& c = n.children;
    if (c.empty()) unexpected(fn_expression, n);
    built r = dispatch(c.front());
    for (std::size_t i = 1; i < c.size(); ++i) {
        if (c[i].id != rule::identifier) unexpected(fn_expression, c[i]);
        const std::wstring& name = leaf_text(c[i]);
        if (i + 1 < c.size() && c[i + 1].id == rule::call_args) {
            built_list a = call_args(c[i + 1]);
            const std::size_t d = 1 + std::max(r.depth, a.depth);
            r = make<e_method>(c[i], d, std::move(r.e), intern(name), std::move(a.list));
            ++i;
        } else {
            r = make<e_member>(c[i], r.depth + 1, std::move(r.e), intern(name));
        }
    }
    return r;
}

core<wchar_t>::built core<wchar_t>::primary_expr(const pnode& n)
{
    if (n.children.empty()) unexpected(fn_primary, n);
    const pnode& first = n.children.front();
    switch (first.id) {
    case rule::kw_true:
        return make<e_constant<boolean, bool>>(first, 1, true);
    case rule::kw_false:
        return make<e_constant<boolean, bool>>(first, 1, false);
    case rule::kw_this:
        // The language has never given `this` a meaning as an operand.
        throw refusal(VORLA_EXCEPTION(fn_primary, "invalid use of this, this is not an operand")
                          .explain("`this` cannot be used as a value"));
    case rule::using_call: {
        const auto& u = first.children;
        built_list a = u.size() > 1 ? call_args(u[1]) : built_list{{}, 0};
        return make<e_native>(first, a.depth + 1, leaf_text(u.at(0)), std::move(a.list));
    }
    case rule::numeric_literal:
        return numeric_literal(first);
    case rule::string_literal:
        return string_literal(first);
    case rule::identifier_word:
        return name_expr(n);
    case rule::expression:
        // A parenthesised expression is its own node: (x) compiles to exactly x.
        return dispatch(first);
    default:
        unexpected(fn_primary, first);
    }
}

symbol core<wchar_t>::intern(const std::wstring& name) const { return space.ctx->intern(name); }

// A bare name is a variable; a name with arguments is a construction when it names a type, a call otherwise.
core<wchar_t>::built core<wchar_t>::name_expr(const pnode& n)
{
    const std::wstring& name = leaf_text(n.children.front());
    const pnode& at = n.children.front();
    if (n.children.size() < 2) return make<e_variable>(at, 1, intern(name));
    built_list a = call_args(n.children[1]);
    type_id_t type = 0;
    bool is_type = false;
    try {
        type = space.find_typeid(name);
        is_type = true;
    } catch (const std::exception&) {
        // Not a type: a script function, bound when it is called.
    }
    if (is_type) return make<e_cast>(at, a.depth + 1, type, std::move(a.list));
    return make<e_function>(at, a.depth + 1, intern(name), std::move(a.list));
}

// Literals are read with the stream's own number extraction, which stops at the first character that
// does not belong to the base: 019 is 1. A literal the stream cannot hold is refused.
core<wchar_t>::built core<wchar_t>::numeric_literal(const pnode& n)
{
    const pnode& lit = n.children.at(0);
    const std::wstring& text = leaf_text(lit);
    const bool suffix = n.children.size() > 1;
    auto refuse = [&]() {
        std::wstring whole = text;
        if (suffix) whole += leaf_text(n.children[1]);
        const char* type = lit.id == rule::real_literal ? (suffix ? "float" : "double") : (suffix ? "unsigned int" : "int");
        throw refusal(VORLA_EXCEPTION(fn_literal, "numeric literal out of range, literal=")
                          .explain("the literal " + narrow(whole) + " does not fit in " + type)
                      << whole);
    };
    // The common case, a plain decimal int, is read here: a stream per literal costs more than the
    // rest of compiling a statement. Anything longer, larger or suffixed goes through the stream.
    if (lit.id == rule::decimal_literal && !suffix && !text.empty() && text.size() <= 9 &&
        std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        int i = 0;
        for (wchar_t c : text) i = i * 10 + (c - L'0');
        return make<e_constant<signed_<int>, int>>(n, 1, i);
    }
    std::wistringstream is(text);
    is.imbue(text_locale());
    switch (lit.id) {
    case rule::real_literal: {
        double d = 0;
        is >> d;
        if (is.fail() || !std::isfinite(d)) refuse();
        if (!suffix) return make<e_constant<real<double>, double>>(n, 1, d);
        const float f = static_cast<float>(d);
        if (!std::isfinite(f)) refuse();
        return make<e_constant<real<float>, float>>(n, 1, f);
    }
    case rule::hex_literal:
        is >> std::hex;
        break;
    case rule::octal_literal:
        is >> std::oct;
        break;
    case rule::decimal_literal:
        is >> std::dec;
        break;
    default:
        unexpected(fn_literal, lit);
    }
    if (suffix) {
        unsigned int u = 0;
        is >> u;
        if (is.fail()) refuse();
        return make<e_constant<unsigned_<unsigned int>, unsigned int>>(n, 1, u);
    }
    int i = 0;
    is >> i;
    if (is.fail()) refuse();
    return make<e_constant<signed_<int>, int>>(n, 1, i);
}

// \n and \t are the only escapes with a meaning; a backslash before any other character keeps that character.
core<wchar_t>::built core<wchar_t>::string_literal(const pnode& n)
{
    const std::wstring& text = leaf_text(n);
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t ch = text[i];
        if (ch == L'\\' && i + 1 < text.size()) {
            ch = text[++i];
            if (ch == L'n') ch = L'\n';
            else if (ch == L't') ch = L'\t';
        }
        out += ch;
    }
    return make<e_constant<string_<wchar_t>, std::wstring>>(n, 1, std::move(out));
}

type_id_t core<wchar_t>::eval_ex_type(const pnode& n)
{
    const pnode& c = n.id == rule::type_name ? n.children.at(0) : n;
    switch (c.id) {
    case rule::builtin_type:
        switch (c.children.at(0).id) {
        case rule::kw_bool: return tid::boolean;
        case rule::kw_int: return tid::signed_;
        case rule::kw_unsigned_int: return tid::unsigned_;
        case rule::kw_float: return tid::float_;
        case rule::kw_double: return tid::double_;
        case rule::kw_string: return tid::string_;
        case rule::kw_ref: return tid::ref;
        case rule::kw_typeid: return tid::typeid_;
        case rule::kw_bad_cast: return tid::bad_cast;
        case rule::kw_range_error: return tid::range_error;
        default: return tid::nil;
        }
    case rule::container_type:
        switch (c.children.at(0).id) {
        case rule::kw_vector: return tid::vector_;
        case rule::kw_list: return tid::list_;
        case rule::kw_hash: return tid::hash_;
        case rule::kw_timer: return tid::timer;
        default: throw VORLA_EXCEPTION(fn_type, "undefined");
        }
    case rule::identifier:
        try {
            return space.find_typeid(leaf_text(c));
        } catch (vorla::exception& e) {
            e.script().mark(at(c));
            e.explain("no type named '" + narrow(leaf_text(c)) + "'");
            if (const char* instead = familiar_type(leaf_text(c))) e.hint(std::string("write `") + instead + "`");
            throw;
        }
    default:
        unexpected(fn_type, c);
    }
}

} // namespace vorla::detail::semantic
