// Expression node classes: operators, assignments, names, calls, constants and declarators.
#pragma once

#include <optional>
#include <string>

#include "expression/expression.hpp"
#include "nlookup.hpp"
#include "nspace.hpp"
#include "symbol.hpp"

namespace vorla {

// A node that calls with an argument vector keeps the vector's storage between its evaluations, so a
// call in a loop allocates it once. An evaluation nested in another of the same node (a recursion)
// finds the storage taken and uses one of its own.
class keeps_args {
protected:
    class lease {
    public:
        explicit lease(const keeps_args& node) noexcept
            : v(node.busy_ ? own_.emplace() : node.kept_), node_(node), kept_(!node.busy_)
        {
            node.busy_ = true;
        }
        ~lease()
        {
            v.clear();
            if (kept_) node_.busy_ = false;
        }
        lease(const lease&) = delete;
        lease& operator=(const lease&) = delete;

    private:
        std::optional<args> own_;  // made only for a nested evaluation

    public:
        args& v;

    private:
        const keeps_args& node_;
        bool kept_;  // v is the node's kept vector
    };

private:
    // Read by the one interpreter that compiled the node.
    mutable args kept_;
    mutable bool busy_ = false;
};

// The literal of an int literal node; nothing for any other node.
std::optional<int> int_literal(const expression& e);

// Two-operand nodes: left then right.
class binary : public expression {
public:
    binary(expr left, expr right)
        : left(std::move(left)), right(std::move(right)), right_int(int_literal(*this->right)) {}
    const expr left, right;
    // The right operand's literal when it is an int literal (`n - 1`, `i < 10`, `k /= 2`): opposite an
    // int, the operators read it here and make no value for it.
    const std::optional<int> right_int;
};

// A two-operand node that evaluates its left operand first: arithmetic, comparisons and logic. A chain of
// them, `a + b - c` or `x == 1 || x == 2`, folds to the left, so it can also be evaluated link by link
// (e_chain).
class left_first : public binary {
public:
    using binary::binary;
    // The node's value, its left operand having been evaluated to `l` (not empty) already.
    virtual value evaluate_on(value l, runtime& rt) const = 0;
};

#define VORLA_BINARY_NODE(NAME)                                                                                \
    class NAME final : public binary {                                                                         \
    public:                                                                                                    \
        using binary::binary;                                                                                  \
        value evaluate(runtime& rt) const override;                                                           \
    };
VORLA_BINARY_NODE(e_assign)
VORLA_BINARY_NODE(e_add_assign)
VORLA_BINARY_NODE(e_sub_assign)
VORLA_BINARY_NODE(e_mul_assign)
VORLA_BINARY_NODE(e_div_assign)
VORLA_BINARY_NODE(e_mod_assign)
#undef VORLA_BINARY_NODE

// An arithmetic operator; `op` selects it.
template <arith op>
class e_arithmetic final : public left_first {
public:
    using left_first::left_first;
    value evaluate(runtime& rt) const override;
    value evaluate_on(value l, runtime& rt) const override;
};
using e_add = e_arithmetic<arith::add>;
using e_sub = e_arithmetic<arith::sub>;
using e_mul = e_arithmetic<arith::mul>;
using e_div = e_arithmetic<arith::div>;
using e_mod = e_arithmetic<arith::mod>;

// A chain of many left-first operators in a row. Evaluated by recursion, each operator would take a C++
// frame for the one on its left, so a long sum would nest as deep as it is long; here the first operand
// is evaluated and then each operator in turn takes the value so far as its left operand. The chain's
// nodes are unchanged and evaluate exactly as they would on their own. Released one node at a time.
class e_chain final : public expression {
public:
    // The operators from the innermost (whose left operand is the chain's first) to the outermost.
    explicit e_chain(std::vector<std::shared_ptr<const left_first>> links);
    ~e_chain() override;
    value evaluate(runtime& rt) const override;
    // The outermost operator, whose tree is the whole chain.
    const left_first& top() const noexcept { return *links_.back(); }

private:
    std::vector<std::shared_ptr<const left_first>> links_;
};

// The base of the comparison and logical nodes. Every value class that has these operators answers
// them with a bool, so such a node's value, when it has one, is a bool.
class relational : public left_first {
public:
    relational(expr left, expr right)
        : left_first(std::move(left), std::move(right)),
          of_relations(dynamic_cast<const relational*>(this->left.get()) &&
                       dynamic_cast<const relational*>(this->right.get())) {}
    // Both operands are comparisons or logical operators: && and || of them combine two bools, which
    // a condition can take as two plain truths.
    const bool of_relations;
};

// A comparison or logical operator: left then right, and the left value's slot decides. Its value is
// a new bool; as a condition it answers without making one when the left value's class can.
template <relation R>
class e_relation final : public relational {
public:
    using relational::relational;
    value evaluate(runtime& rt) const override;
    value evaluate_on(value l, runtime& rt) const override;
    flow test(runtime& rt, bool& yes) const override;
};
using e_equal = e_relation<relation::eq>;
using e_nequal = e_relation<relation::ne>;
using e_gt = e_relation<relation::gt>;
using e_lt = e_relation<relation::lt>;
using e_gte = e_relation<relation::ge>;
using e_lte = e_relation<relation::le>;
// The script's && and || never short-circuit: the right side's effects always happen.
using e_and = e_relation<relation::and_>;
using e_or = e_relation<relation::or_>;

// Prefix operators.
class unary : public expression {
public:
    explicit unary(expr operand) : operand(std::move(operand)) {}
    const expr operand;
};
#define VORLA_UNARY_NODE(NAME)                                                                                 \
    class NAME final : public unary {                                                                          \
    public:                                                                                                    \
        using unary::unary;                                                                                    \
        value evaluate(runtime& rt) const override;                                                           \
    };
VORLA_UNARY_NODE(e_preincr)
VORLA_UNARY_NODE(e_predecr)
VORLA_UNARY_NODE(e_not)
VORLA_UNARY_NODE(e_minus)
#undef VORLA_UNARY_NODE

class e_variable;

class e_member final : public expression {
public:
    // `name` is interned in the interpreter the node is compiled for.
    e_member(expr operand, symbol name);
    value evaluate(runtime& rt) const override;
    const expr operand;
    const std::wstring name;
    const symbol interned;  // once, when compiling: an access costs no interning
    // The name as an instance's member table is searched for it: the slot where it was last found is
    // tried first, so reading a member of instances of one class costs a compare and an index.
    const table::name_key key;

private:
    // The member of v: the remembered slot of v's own part, else member_search.
    value member_of(const value& v) const;
    // The rest of member_of, out of the hot path: a search of the own part, a base part's member, and
    // every refusal, placed at this node.
    value member_search(const value& v) const;
    // The operand when it names a variable: the variable's own handle serves, with no copy.
    const e_variable* const variable_;
};

class e_method final : public expression, keeps_args {
public:
    // `name` is interned in the interpreter the node is compiled for.
    e_method(expr operand, symbol name, expr_list arguments)
        : operand(std::move(operand)), name(*name), arguments(std::move(arguments)), interned(name),
          builtin(method_name_of(std::wstring_view(this->name))) {}
    value evaluate(runtime& rt) const override;
    const expr operand;
    const std::wstring name;
    const expr_list arguments;
    const symbol interned;
    const method_name builtin;  // once, when compiling: a built-in value's method is found by a switch

private:
    // What the last call of a script method from here found (see call_site). Only the interpreter that
    // compiled the node runs it. Made at the first call through the slot: see e_function::site.
    mutable std::unique_ptr<call_site> site_;
    call_site& site() const
    {
        if (!site_) [[unlikely]] site_ = std::make_unique<call_site>();
        return *site_;
    }
    // A call whose name some built-in class answers, with its arguments on the stack.
    value call_builtin(runtime& rt) const;
    // The call through the value's method slot, with the arguments in a vector.
    value call_slot(const value& target, const args& v, runtime& rt) const;
    static constexpr std::size_t builtin_args = 3;
    // Runs `call` on target, placing what fails at this call.
    template <class F>
    value guarded(const value& target, arg_span v, runtime& rt, F&& call) const;
};

class e_variable final : public expression {
public:
    explicit e_variable(symbol name) : name(name), key(name) { variable_key = &key; }
    value evaluate(runtime& rt) const override;
    // The variable's own handle, for a node that only reads through it meanwhile.
    value& stored(runtime& rt) const
    {
        if (value* v = nlookup<wchar_t>::find_hinted(rt.current, key)) [[likely]] return *v;
        return nlookup<wchar_t>::find_variable(rt.current, key, pos);
    }
    const symbol name;
    const table::name_key key;  // the name as the scope chain is searched for it

private:
    // A lookup the remembered slot does not answer: the full search, or the report of a missing name.
    value search(runtime& rt) const;
};

// Construction or conversion by type: T(args).
class e_cast final : public expression, keeps_args {
public:
    e_cast(type_id_t type, expr_list arguments) : type(type), arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const type_id_t type;
    const expr_list arguments;
};

// A script function call, resolved at run time by name and argument types.
class e_function final : public expression {
public:
    e_function(symbol name, expr_list arguments) : name(name), arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const symbol name;
    const expr_list arguments;

private:
    // What the last call from here found: a call with the same argument types through unchanged
    // function tables runs it without a search. Only the interpreter that compiled the node runs it.
    // Made at the first call: the site is 80 bytes, and a big script compiles to a million calls that
    // run once each, or never while the vm runs the program.
    mutable std::unique_ptr<call_site> site_;
    call_site& site() const
    {
        if (!site_) [[unlikely]] site_ = std::make_unique<call_site>();
        return *site_;
    }
    // Calls with up to this many arguments hold them on the stack.
    static constexpr std::size_t stacked_call_args = 4;
    value call(arg_span v, runtime& rt) const;
};

// using::name(args)
class e_native final : public expression, keeps_args {
public:
    e_native(std::wstring name, expr_list arguments) : name(std::move(name)), arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const std::wstring name;
    const expr_list arguments;
};

// A literal: each evaluation yields a value V holding it that nobody else holds. The node keeps the
// last one it handed out; once every other holder has let go of it nobody can see it again, so the next
// evaluation hands it out anew, its content set back to the literal (a holder may have changed it:
// `5 += 1`). While something still holds it (a reference, a container, an evaluation not finished)
// the evaluation makes a new one and keeps that instead.
template <class V, class C>
class e_constant final : public expression {
public:
    explicit e_constant(C literal) : literal(std::move(literal)) {}
    value evaluate(runtime&) const override
    {
        if (spare_.use_count() == 1) spare_->set(literal);
        else spare_ = make<V>(literal);
        return spare_;
    }
    const C literal;

private:
    mutable handle<V> spare_;  // read by the one interpreter that compiled the node
};

// A declaration statement's declarators, evaluated in order; yields an empty handle.
class e_declare final : public expression {
public:
    explicit e_declare(expr_list declarators) : declarators(std::move(declarators)) {}
    value evaluate(runtime& rt) const override;
    const expr_list declarators;
};

// T name(args) / T name = e: a fresh value of T declared in the current scope.
class e_constructor final : public expression, keeps_args {
public:
    e_constructor(symbol name, type_id_t type, expr_list arguments)
        : name(name), type(type), arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const symbol name;
    const type_id_t type;
    const expr_list arguments;
};

// T &name = e: the name aliases e's own value, which must be exactly of type T.
class e_ref_constructor final : public expression {
public:
    e_ref_constructor(symbol name, type_id_t type, expr initializer)
        : name(name), type(type), initializer(std::move(initializer)) {}
    value evaluate(runtime& rt) const override;
    // The report of an initializer of class `got`, which the reference cannot name (the vm raises it too).
    [[noreturn]] static void refuse_class(nspace& space, type_id_t type, type_id_t got, symbol name);
    const symbol name;
    const type_id_t type;
    const expr initializer;
};

// Member initializers of a constructor's initializer list.
class e_declare_member final : public expression, keeps_args {
public:
    e_declare_member(symbol name, type_id_t type, expr_list arguments)
        : name(name), type(type), arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const symbol name;
    const type_id_t type;
    const expr_list arguments;
};

class e_ref_member final : public expression {
public:
    e_ref_member(symbol name, type_id_t type, expr initializer)
        : name(name), type(type), initializer(std::move(initializer)) {}
    value evaluate(runtime& rt) const override;
    const symbol name;
    const type_id_t type;
    const expr initializer;
};

class e_base final : public expression, keeps_args {
public:
    explicit e_base(expr_list arguments) : arguments(std::move(arguments)) {}
    value evaluate(runtime& rt) const override;
    const expr_list arguments;
};

} // namespace vorla
