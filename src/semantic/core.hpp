// The expression part of the compiler: parse-tree expressions, argument lists and type names into nodes and type ids.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "exception.hpp"
#include "expression/expression.hpp"
#include "semantic/ptree.hpp"
#include "symbol.hpp"

namespace vorla {
class nspace;
}

namespace vorla::detail::semantic {

// Evaluating a node recurses once per level of its tree, and running a statement once per level of
// statement nesting, so both are bounded here, where the input can still be refused with a message.
inline constexpr std::size_t max_expression_depth = 1000;
inline constexpr std::size_t max_statement_depth = 1000;
// A chain of more left-first operators than this in a row (`a + b + c ...`, `x == 1 || x == 2 ...`) is
// evaluated link by link (e_chain) and counts as two levels over its deepest operand, however long it
// is. A shorter one nests as it folds, each operator a level, as it always has.
inline constexpr std::size_t chain_from = 16;

// A refusal by the compiler itself (input nested too deeply, a literal that does not fit, `this`).
// The handlers that quietly drop a failing else-branch or declarator initializer let these through:
// dropping them would silently change what the script means.
class refusal : public vorla::exception {
public:
    using vorla::exception::exception;
    explicit refusal(const vorla::exception& e) : vorla::exception(e) {}
};

// Text of the first leaf under a node (the name under `identifier`, the literal under a literal rule).
const std::wstring& leaf_text(const pnode& n);

template <class Ch>
class core;

template <>
class core<wchar_t> {
public:
    explicit core(nspace& space) : space(space) {}

    // The namespace compiled into: type names are resolved in it.
    nspace& space;
    // The file being compiled, as numbered in the run's file table: every node made is placed in it.
    std::uint32_t file = 0;
    script_pos at(const pnode& n) const noexcept { return {file, n.offset}; }
    // A name as the program's interpreter interns it (its context's copy).
    symbol intern(const std::wstring& name) const;
    // A node made outside make(), placed at n.
    template <class Node>
    std::shared_ptr<Node> placed_at(std::shared_ptr<Node> node, const pnode& n) const
    {
        node->pos = at(n);
        return node;
    }

    // `expression` (or any expression level) to a node.
    expr eval_expression(const pnode& n);
    // `call_args` to an argument list.
    expr_list eval_call_args(const pnode& n);
    // `type_name` to a type id.
    type_id_t eval_ex_type(const pnode& n);

protected:
    // A node with the depth of the tree under it (a leaf node has depth 1).
    struct built {
        expr e;
        std::size_t depth;
    };
    struct built_list {
        expr_list list;
        std::size_t depth;  // the deepest argument; 0 for an empty list
    };

    built dispatch(const pnode& n);
    built dispatch_level(const pnode& n);
    built_list call_args(const pnode& n);

    // Raised when the machine stack is nearly used up by nesting in the input.
    [[noreturn]] static void stack_refusal(const char* function);
    // Every node is built through here so that no tree deeper than max_expression_depth exists; the
    // node is placed at `where`.
    template <class Node, class... A>
    built make(const pnode& where, std::size_t depth, A&&... a) const;

private:
    built assign_expr(const pnode& n);
    built logical_expr(const pnode& n);
    built binary_expr(const pnode& n);
    built unary_expr(const pnode& n);
    built postfix_expr(const pnode& n);
    built primary_expr(const pnode& n);
    built name_expr(const pnode& n);
    built numeric_literal(const pnode& n);
    built string_literal(const pnode& n);

    // Children of n from the first, one operand every `stride` children, folded from the left by
    // link(i, left, operand i): one node deeper per operator, or an e_chain past chain_from operators.
    template <class Link>
    built fold_left(const pnode& n, std::size_t stride, Link&& link);

    built make_assign(const pnode& op, built l, built r) const;
    built make_binary(const pnode& op, built l, built r) const;
};

template <class Node, class... A>
core<wchar_t>::built core<wchar_t>::make(const pnode& where, std::size_t depth, A&&... a) const
{
    if (depth > max_expression_depth) {
        refusal r(VORLA_EXCEPTION("vorla::detail::semantic::core<wchar_t>::eval_expression",
                                  "expression nesting too deep, limit=")
                  << max_expression_depth);
        r.script().mark(at(where));
        r.explain("expressions nest more than " + std::to_string(max_expression_depth) + " levels deep");
        throw r;
    }
    auto node = std::make_shared<Node>(std::forward<A>(a)...);
    node->pos = at(where);
    return {std::move(node), depth};
}

} // namespace vorla::detail::semantic
