// Statement compilation: blocks, branches, loops, jumps, try/catch, process starts, inline expansion, declarations.
#include "semantic/s_statement.hpp"

#include <algorithm>
#include <memory>
#include <vector>
#include <stdexcept>

#include "expression/nodes.hpp"
#include "expression/statements.hpp"
#include "nspace.hpp"
#include "stack_guard.hpp"
#include "symbol.hpp"
#include "table/except.hpp"

namespace vorla::detail::semantic {

namespace {
constexpr const char* fn_statement = "vorla::detail::semantic::s_statement<wchar_t>::eval_statement";
constexpr const char* fn_except = "vorla::detail::semantic::s_statement<wchar_t>::eval_except_stmt";
constexpr const char* fn_process = "vorla::detail::semantic::s_statement<wchar_t>::eval_process_stmt";
constexpr const char* fn_ref = "vorla::detail::semantic::s_statement<wchar_t>::eval_ref_constructor";

[[noreturn]] void unexpected(const char* function, const pnode& n)
{
    throw VORLA_EXCEPTION(function, "undefined, rule=") << rule_name(n.id);
}

// Counts the statements being compiled inside one another while one is being compiled.
class depth_guard {
public:
    explicit depth_guard(std::size_t& depth) : depth_(depth)
    {
        if (++depth_ > max_statement_depth) {
            --depth_;
            throw refusal(VORLA_EXCEPTION(fn_statement, "statement nesting too deep, limit=") << max_statement_depth);
        }
    }
    ~depth_guard() { --depth_; }
    depth_guard(const depth_guard&) = delete;
    depth_guard& operator=(const depth_guard&) = delete;

private:
    std::size_t& depth_;
};
} // namespace

control_ptr s_statement<wchar_t>::eval_block(const pnode& n)
{
    control_list list;
    list.reserve(n.children.size());
    for (const pnode& c : n.children)
        if (c.id == rule::statement) list.push_back(eval_statement(c));
    return std::make_shared<c_compound>(std::move(list));
}

control_ptr s_statement<wchar_t>::eval_statement(const pnode& n)
{
    const pnode& c = n.id == rule::statement ? n.children.at(0) : n;
    // The statement is placed at its first token; an error nothing further in placed, at the statement.
    try {
        control_ptr made = statement_kind(c);
        made->pos = at(c);
        return made;
    } catch (vorla::exception& e) {
        e.script().mark(at(c));
        throw;
    }
}

control_ptr s_statement<wchar_t>::statement_kind(const pnode& c)
{
    if (stack_exhausted()) stack_refusal(fn_statement);
    depth_guard guard(statement_depth_);
    switch (c.id) {
    case rule::block:
        return eval_block(c);
    case rule::selection_stmt: {
        const pnode& s = c.children.at(0);
        if (s.id == rule::if_stmt) return eval_if_stmt(s);
        if (s.id == rule::while_stmt) return eval_while_stmt(s);
        unexpected(fn_statement, s);
    }
    case rule::jump_stmt:
        return eval_jump_stmt(c);
    case rule::try_stmt:
        return eval_except_stmt(c);
    case rule::simple_stmt:
        return eval_simple_stmt(c);
    default:
        unexpected(fn_statement, c);
    }
}

expr s_statement<wchar_t>::eval_condition(const pnode& n)
{
    return eval_expression(n.id == rule::condition ? n.children.at(0) : n);
}

// The grammar gives an else-if chain flat: condition, statement, then a condition and statement per
// further link, then the last else-branch if there is one. The links are compiled in source order and
// folded from the last, each becoming the else-branch of the one before, as if nested; the chain counts
// as one level of statement nesting. A failing else-branch is dropped and the statement becomes a plain
// if: scripts have always compiled so. A further link that fails is such an else-branch of the link
// before, so it is dropped with the rest of the chain.
control_ptr s_statement<wchar_t>::eval_if_stmt(const pnode& n)
{
    const auto& c = n.children;
    struct link {
        expr condition;
        control_ptr then;
    };
    std::vector<link> links;
    links.push_back({eval_condition(c.at(0)), eval_statement(c.at(1))});
    std::size_t i = 2;
    bool dropped = false;
    for (; i + 1 < c.size() && c[i].id == rule::condition; i += 2) {
        try {
            links.push_back({eval_condition(c[i]), eval_statement(c[i + 1])});
        } catch (vorla::exception& e) {
            // Placed where the nested if statement stood: at its condition.
            e.script().mark(at(c[i]));
            if (dynamic_cast<const refusal*>(&e)) throw;
            dropped = true;
            break;
        } catch (const std::exception&) {
            dropped = true;
            break;
        }
    }
    control_ptr otherwise;
    if (!dropped && i < c.size()) {
        try {
            otherwise = eval_statement(c[i]);
        } catch (const refusal&) {
            throw;
        } catch (const std::exception&) {
        }
    }
    control_list later;  // the links after the first, made last first
    for (std::size_t k = links.size(); k-- > 0;) {
        link& l = links[k];
        control_ptr made;
        if (!otherwise) {
            made = std::make_shared<c_if>(std::move(l.condition), std::move(l.then));
        } else if (k > 0) {
            made = std::make_shared<c_if_else>(std::move(l.condition), std::move(l.then), std::move(otherwise));
        } else {
            std::reverse(later.begin(), later.end());
            made = std::make_shared<c_if_else>(std::move(l.condition), std::move(l.then), std::move(otherwise),
                                               std::move(later));
        }
        if (k > 0) {
            made->pos = at(c[2 * k]);
            later.push_back(made);
        }
        otherwise = std::move(made);
    }
    return otherwise;
}

control_ptr s_statement<wchar_t>::eval_while_stmt(const pnode& n)
{
    expr condition = eval_condition(n.children.at(0));
    control_ptr body = eval_statement(n.children.at(1));
    return std::make_shared<c_while>(std::move(condition), std::move(body));
}

control_ptr s_statement<wchar_t>::eval_jump_stmt(const pnode& n)
{
    const pnode& kw = n.children.at(0);
    switch (kw.id) {
    case rule::kw_return: return std::make_shared<c_return>(eval_expression(n.children.at(1)));
    case rule::kw_throw: return std::make_shared<c_throw>(eval_expression(n.children.at(1)));
    case rule::kw_break: return std::make_shared<c_break>();
    case rule::kw_continue: return std::make_shared<c_continue>();
    default: unexpected(fn_statement, kw);
    }
}

// The protected block, then one (param_list, block) pair per catch clause in source order.
control_ptr s_statement<wchar_t>::eval_except_stmt(const pnode& n)
{
    const auto& c = n.children;
    control_ptr body = eval_block(c.at(0));
    auto clauses = std::make_shared<table::except>();
    for (std::size_t i = 1; i + 1 < c.size(); i += 2) {
        table::parameter_list params = eval_param_list(c[i]);
        if (params.size() > 1) throw VORLA_EXCEPTION(fn_except, "invalid arguments size");
        clauses->define(params, eval_block(c[i + 1]));
    }
    return std::make_shared<c_except>(std::move(body), std::move(clauses));
}

control_ptr s_statement<wchar_t>::eval_simple_stmt(const pnode& n)
{
    const pnode& first = n.children.at(0);
    switch (first.id) {
    case rule::inline_stmt: return eval_inline_stmt(first);
    case rule::process_stmt: return eval_process_stmt(first);
    case rule::declaration: return std::make_shared<c_single>(eval_declaration(first));
    case rule::expression: return std::make_shared<c_single>(eval_expression(first));
    case rule::semicolon: return std::make_shared<c_empty>();
    default: unexpected(fn_statement, first);
    }
}

control_ptr s_statement<wchar_t>::eval_inline_stmt(const pnode& n)
{
    const auto& c = n.children;
    expr_list a = c.size() > 1 ? eval_call_args(c[1]) : expr_list{};
    return std::make_shared<c_inline>(intern(leaf_text(c.at(0))), std::move(a));
}

// process::D v(args); binds D's process id now, so D must have been defined before this statement.
control_ptr s_statement<wchar_t>::eval_process_stmt(const pnode& n)
{
    const auto& c = n.children;
    const std::wstring key = L"p?" + leaf_text(c.at(0));
    const std::wstring& variable = leaf_text(c.at(1));
    auto wrap = [&](const std::exception& e) {
        return VORLA_EXCEPTION(fn_process, "catch exception, pid=") << key << " sid=" << variable << e;
    };
    try {
        const type_id_t pid = space.types->find(key);
        expr_list a = c.size() > 2 ? eval_call_args(c[2]) : expr_list{};
        return std::make_shared<c_start_p>(pid, intern(variable), std::move(a));
    } catch (const refusal& e) {
        throw refusal(wrap(e));
    } catch (const std::exception& e) {
        exception report = wrap(e);
        if (!space.types->contains(key))
            report.explain("no process named '" + narrow(leaf_text(c.at(0))) + "' is defined before this statement");
        throw report;
    }
}

expr s_statement<wchar_t>::eval_declaration(const pnode& n)
{
    const auto& c = n.children;
    const type_id_t type = eval_ex_type(c.at(0));
    expr_list declarators;
    declarators.reserve(c.size() - 1);
    for (std::size_t i = 1; i < c.size(); ++i) {
        if (c[i].id == rule::declarator) declarators.push_back(eval_constructor(c[i], type));
        else if (c[i].id == rule::ref_declarator) declarators.push_back(eval_ref_constructor(c[i], type));
        else if (!c[i].leaf) unexpected(fn_statement, c[i]);
    }
    auto declaration = std::make_shared<e_declare>(std::move(declarators));
    declaration->pos = at(n);
    return declaration;
}

namespace {
// ctor_args holds a call_args; accept either.
pnode inner_call_args(const pnode& n)
{
    if (n.id == rule::ctor_args && !n.children.empty() && n.children[0].id == rule::call_args) return n.children[0];
    return n;
}
} // namespace

// T x(args) and T x = e construct alike; an argument or initializer that fails to compile is dropped and the
// variable is default-constructed, as scripts have always compiled.
expr s_statement<wchar_t>::eval_constructor(const pnode& n, type_id_t type)
{
    const auto& c = n.children;
    const std::wstring& name = leaf_text(c.at(0));
    expr_list a;
    if (c.size() > 1) {
        try {
            if (c[1].id == rule::ctor_args) a = eval_call_args(inner_call_args(c[1]));
            else if (c[1].id == rule::initializer) a.push_back(eval_expression(c[1].children.at(0)));
        } catch (const refusal&) {
            throw;
        } catch (const std::exception&) {
            a.clear();
        }
    }
    auto made = std::make_shared<e_constructor>(intern(name), type, std::move(a));
    made->pos = at(c.at(0));
    return made;
}

// T &r = e and T &r(e) alias e's own value; a reference needs exactly one initializer.
expr s_statement<wchar_t>::eval_ref_constructor(const pnode& n, type_id_t type)
{
    const auto& c = n.children;
    const std::wstring& name = leaf_text(c.at(0));
    const pnode& init = c.at(1);
    std::shared_ptr<e_ref_constructor> made;
    if (init.id == rule::initializer) {
        made = std::make_shared<e_ref_constructor>(intern(name), type, eval_expression(init.children.at(0)));
    } else {
        expr_list a = eval_call_args(inner_call_args(init));
        if (a.size() != 1)
            throw VORLA_EXCEPTION(fn_ref, "invalid argument count of constructor for refference, ")
                      .explain("a reference is made from exactly one value")
                << space.types->find_str(type) << "& " << name;
        made = std::make_shared<e_ref_constructor>(intern(name), type, std::move(a.front()));
    }
    made->pos = at(c.at(0));
    return made;
}

table::parameter_list s_statement<wchar_t>::eval_param_list(const pnode& n)
{
    table::parameter_list params;
    for (const pnode& p : n.children) {
        if (p.id != rule::param) continue;
        const auto& c = p.children;
        const bool reference = c.size() >= 3 && c[1].id == rule::ampersand;
        params.push_back({reference, eval_ex_type(c.at(0)), intern(leaf_text(c.at(reference ? 2 : 1)))});
    }
    return params;
}

} // namespace vorla::detail::semantic
