// Compiles a process body and the functions it calls to vm units: names to registers, types settled,
// jumps for the script's control flow. What it cannot yet compile exactly it refuses, naming the place.
#include "vm/compiler.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <map>
#include <type_traits>
#include <typeinfo>
#include <unordered_set>
#include <utility>
#include <vector>

#include "expression/nodes.hpp"
#include "expression/statements.hpp"
#include "factor/boolean.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "factor/list_.hpp"
#include "factor/hash_.hpp"
#include "nspace.hpp"
#include "object.hpp"
#include "stack_guard.hpp"

namespace vorla::vm {

namespace {

// The kinds of value the compiled code holds in registers, known for every expression when compiling.
// A vector or a class instance is a value object held by handle (an instance's class is the operand's
// `cls`); `any` is a value whose class only the run knows (an element, a method's result): a scalar in
// place or a handle, which the value classes compute with. `builtin` is a value object of a built-in class
// the compiler knows by its `cls` (ref, typeid, timer), which computes, converts and refuses by itself.
enum class ty : std::uint8_t { nil, boolean, int_, uint_, float_, double_, text, vector, list, hash, instance, any, builtin };

// The slot kind a register of type t holds.
kind kind_of(ty t)
{
    switch (t) {
    case ty::nil: return kind::nil;
    case ty::boolean: return kind::boolean;
    case ty::int_: return kind::int_;
    case ty::uint_: return kind::uint_;
    case ty::float_: return kind::float_;
    case ty::double_: return kind::double_;
    case ty::text: return kind::text;
    case ty::vector: case ty::list: case ty::hash: case ty::instance: case ty::any: case ty::builtin: break;
    }
    return kind::object;
}

// Whether registers of type t hold value objects, which the value classes compute with.
bool held(ty t)
{
    return t == ty::vector || t == ty::list || t == ty::hash || t == ty::instance || t == ty::any || t == ty::builtin;
}

// Whether an operand of type t names its class in `cls` (a script class, or a built-in value class).
bool classed(ty t) { return t == ty::instance || t == ty::builtin; }

// The containers: values the language copies where it copies (a parameter, a declaration from another).
bool container(ty t) { return t == ty::vector || t == ty::list || t == ty::hash; }

bool numeric(ty t) { return t == ty::int_ || t == ty::uint_ || t == ty::float_ || t == ty::double_; }

// The row of the four numeric types in the typed-instruction tables below.
int numeric_row(ty t) { return t == ty::int_ ? 0 : t == ty::uint_ ? 1 : t == ty::float_ ? 2 : 3; }

std::optional<ty> type_of(type_id_t id)
{
    switch (id) {
    case tid::boolean: return ty::boolean;
    case tid::signed_: return ty::int_;
    case tid::unsigned_: return ty::uint_;
    case tid::float_: return ty::float_;
    case tid::double_: return ty::double_;
    case tid::string_: return ty::text;
    case tid::vector_: return ty::vector;
    case tid::list_: return ty::list;
    case tid::hash_: return ty::hash;
    case tid::nil: return ty::nil;
    case tid::ref: case tid::typeid_: case tid::timer: case tid::bad_cast: case tid::range_error: return ty::builtin;
    default: return std::nullopt;
    }
}

// The built-in class of a scalar or string type.
type_id_t type_id_of(ty t)
{
    switch (t) {
    case ty::boolean: return tid::boolean;
    case ty::int_: return tid::signed_;
    case ty::uint_: return tid::unsigned_;
    case ty::float_: return tid::float_;
    case ty::double_: return tid::double_;
    case ty::text: return tid::string_;
    default: break;
    }
    return tid::nil;
}

std::string word(ty t)
{
    switch (t) {
    case ty::nil: return "nil";
    case ty::boolean: return "bool";
    case ty::int_: return "int";
    case ty::uint_: return "unsigned int";
    case ty::float_: return "float";
    case ty::double_: return "double";
    case ty::vector: return "vector";
    case ty::list: return "list";
    case ty::hash: return "hash";
    case ty::instance: return "a class instance";
    case ty::any: return "an element or method result";
    case ty::builtin: return "a ref, typeid, timer, nil or exception value";
    case ty::text: break;
    }
    return "string";
}

struct operand {
    std::int32_t reg;
    ty type;
    type_id_t cls = 0;  // an instance's class
};

// Where a call's argument was read from: what a reference parameter binds instead of the value. A value
// object (a vector, an instance, an element) is its own handle whatever its origin.
struct origin {
    enum how : std::uint8_t {
        fresh,     // a new value (a constant, a result): the register it was computed into
        local,     // a variable's own register
        referred,  // a reference variable: its register holds the reference
        global,    // a global variable: `index` is its entry in the program's globals
        member,    // a member: `index` is the unit's member site, `reg` the instance's register
        aliased,   // the value of an assignment or ++: the tree's operator gives the target itself
    } how = fresh;
    std::int32_t reg = 0;
    std::int32_t index = 0;
    bool object_held = false;  // a reference variable whose register surely holds a value object
};

// The binary node kinds that compute (or assign) with one of the five arithmetic operators.
struct arithmetic {
    arith what;
    bool assigns;
};
// The node as T when it is of exactly that final class: the answer dynamic_cast gives, without its
// cost. A dynamic_cast that misses walks the node's bases comparing type names as strings, and
// compiling a big script asks it of every node many times over (a third of the vm's compile time for
// a million assignments). The nodes are made and compiled by this one library, which holds one type
// record per node class, so the record's address settles it.
template <class T>
const T* exactly(const expression& e) noexcept
{
    static_assert(std::is_final_v<T>);
    return &typeid(e) == &typeid(T) ? static_cast<const T*>(&e) : nullptr;
}

std::optional<arithmetic> arithmetic_of(const expression& e)
{
    if (exactly<e_add>(e)) return arithmetic{arith::add, false};
    if (exactly<e_sub>(e)) return arithmetic{arith::sub, false};
    if (exactly<e_mul>(e)) return arithmetic{arith::mul, false};
    if (exactly<e_div>(e)) return arithmetic{arith::div, false};
    if (exactly<e_mod>(e)) return arithmetic{arith::mod, false};
    if (exactly<e_add_assign>(e)) return arithmetic{arith::add, true};
    if (exactly<e_sub_assign>(e)) return arithmetic{arith::sub, true};
    if (exactly<e_mul_assign>(e)) return arithmetic{arith::mul, true};
    if (exactly<e_div_assign>(e)) return arithmetic{arith::div, true};
    if (exactly<e_mod_assign>(e)) return arithmetic{arith::mod, true};
    return std::nullopt;
}

std::optional<relation> relation_of(const expression& e)
{
    if (exactly<e_equal>(e)) return relation::eq;
    if (exactly<e_nequal>(e)) return relation::ne;
    if (exactly<e_gt>(e)) return relation::gt;
    if (exactly<e_lt>(e)) return relation::lt;
    if (exactly<e_gte>(e)) return relation::ge;
    if (exactly<e_lte>(e)) return relation::le;
    if (exactly<e_and>(e)) return relation::and_;
    if (exactly<e_or>(e)) return relation::or_;
    return std::nullopt;
}

// The typed instruction of an arithmetic operator on two operands of the numeric type t.
op arithmetic_op(arith a, ty t)
{
    static constexpr op table[4][5] = {
        {op::add_i, op::sub_i, op::mul_i, op::div_i, op::mod_i},
        {op::add_u, op::sub_u, op::mul_u, op::div_u, op::mod_u},
        {op::add_f, op::sub_f, op::mul_f, op::div_f, op::mod_f},
        {op::add_d, op::sub_d, op::mul_d, op::div_d, op::mod_d},
    };
    return table[numeric_row(t)][static_cast<int>(a)];
}

// The typed comparison of two operands of type t (a number or a string; bool only for == and !=).
op comparison_op(relation r, ty t)
{
    static constexpr op table[5][6] = {
        {op::eq_i, op::ne_i, op::gt_i, op::lt_i, op::ge_i, op::le_i},
        {op::eq_u, op::ne_u, op::gt_u, op::lt_u, op::ge_u, op::le_u},
        {op::eq_f, op::ne_f, op::gt_f, op::lt_f, op::ge_f, op::le_f},
        {op::eq_d, op::ne_d, op::gt_d, op::lt_d, op::ge_d, op::le_d},
        {op::eq_t, op::ne_t, op::gt_t, op::lt_t, op::ge_t, op::le_t},
    };
    if (t == ty::boolean) return r == relation::eq ? op::eq_b : op::ne_b;
    return table[t == ty::text ? 4 : numeric_row(t)][static_cast<int>(r)];
}

// What a declaration without an initializer holds: zero, false or the empty string.
slot zero_of(ty t)
{
    switch (t) {
    case ty::boolean: return slot::of_bool(false);
    case ty::int_: return slot::of_int(0);
    case ty::uint_: return slot::of_uint(0);
    case ty::float_: return slot::of_float(0);
    case ty::double_: return slot::of_double(0);
    case ty::nil: case ty::text: case ty::vector: case ty::list: case ty::hash: case ty::instance: case ty::any: case ty::builtin: break;
    }
    return slot::of_text(L"");
}

// Whether running `c` to its end always passes a return: then a function never falls off its end (and
// yields nil, whatever its declared type).
bool always_returns(const control& c)
{
    if (dynamic_cast<const c_return*>(&c)) return true;
    if (const auto* b = dynamic_cast<const c_compound*>(&c))
        return std::any_of(b->statements->begin(), b->statements->end(),
                           [](const control_ptr& s) { return always_returns(*s); });
    if (const auto* i = dynamic_cast<const c_if_else*>(&c)) return always_returns(*i->then) && always_returns(*i->otherwise);
    // A try returns when its block does and so does every clause (a throw the clauses do not take
    // leaves the function anyway).
    if (const auto* x = dynamic_cast<const c_except*>(&c)) {
        const auto& clauses = x->clauses->clauses();
        return always_returns(*x->body) &&
               std::all_of(clauses.begin(), clauses.end(), [](const table::routine& r) { return always_returns(*r.body); });
    }
    return false;
}

// Whether running `c` may end with a return, break or continue signal (any try, inline or process start
// is taken to): in a constructor body, which catches no signals, such a signal ends the call around the
// construction, which the vm's frames cannot take yet.
bool may_signal(const control& c)
{
    if (dynamic_cast<const c_single*>(&c) || dynamic_cast<const c_empty*>(&c) || dynamic_cast<const c_throw*>(&c)) return false;
    if (const auto* b = dynamic_cast<const c_compound*>(&c))
        return std::any_of(b->statements->begin(), b->statements->end(), [](const control_ptr& s) { return may_signal(*s); });
    if (const auto* i = dynamic_cast<const c_if*>(&c)) return may_signal(*i->then);
    if (const auto* i = dynamic_cast<const c_if_else*>(&c)) return may_signal(*i->then) || may_signal(*i->otherwise);
    if (const auto* w = dynamic_cast<const c_while*>(&c)) return may_signal(*w->body);
    if (const auto* k = dynamic_cast<const c_constructor*>(&c)) return may_signal(*k->body);
    return true;
}

// Whether a break or continue may leave `c` (one no loop of it takes), or an inline expansion in it may
// signal: in a constructor body such a signal would end the loop around the construction, which the
// vm's jumps cannot find at run time. A return is taken by the machine: it ends the call around it.
bool may_escape(const control& c, bool looped = false)
{
    if (dynamic_cast<const c_single*>(&c) || dynamic_cast<const c_empty*>(&c) || dynamic_cast<const c_throw*>(&c) ||
        dynamic_cast<const c_return*>(&c) || dynamic_cast<const c_start_p*>(&c))
        return false;
    if (dynamic_cast<const c_break*>(&c) || dynamic_cast<const c_continue*>(&c)) return !looped;
    if (const auto* b = dynamic_cast<const c_compound*>(&c))
        return std::any_of(b->statements->begin(), b->statements->end(), [&](const control_ptr& s) { return may_escape(*s, looped); });
    if (const auto* i = dynamic_cast<const c_if*>(&c)) return may_escape(*i->then, looped);
    if (const auto* i = dynamic_cast<const c_if_else*>(&c)) return may_escape(*i->then, looped) || may_escape(*i->otherwise, looped);
    if (const auto* w = dynamic_cast<const c_while*>(&c)) return may_escape(*w->body, true);
    if (const auto* k = dynamic_cast<const c_constructor*>(&c)) return may_escape(*k->body, looped);
    if (const auto* x = dynamic_cast<const c_except*>(&c)) {
        const auto& clauses = x->clauses->clauses();
        return may_escape(*x->body, looped) ||
               std::any_of(clauses.begin(), clauses.end(), [&](const table::routine& r) { return may_escape(*r.body, looped); });
    }
    return true;
}

class shared_state;

// Whose method a unit is: the class that defines it, the class of the instance it runs on (register 0)
// and how many base parts outward from that instance the defining class's part is. Empty for a function.
struct owner {
    const object* defining = nullptr;
    type_id_t receiver = 0;
    std::uint32_t offset = 0;
};

// A member found in a class or its bases: its declaration and where the instance keeps it.
struct member_found {
    object::member_type type;
    member_site site;
};

// A method found by exact parameter types in a class or its bases.
struct method_found {
    const table::routine* routine;
    const object* cls;     // the class that defines it
    std::uint32_t depth;   // base parts outward from the class searched
};

// One unit being compiled: its registers, the variables in scope and the loops around the statement.
class unit_compiler {
public:
    unit_compiler(shared_state& all, std::size_t index, const table::routine& r, bool process, std::optional<ty> returns,
                  owner whose = {}, script_pos called_at = {});
    bool body();

private:
    struct variable {
        symbol name;
        operand at;
        std::int32_t start = -1;  // a process variable: the start site whose value it holds
        // A scalar or string reached through a reference (a reference parameter or declaration): the
        // register holds the place or the value object, read with ref_get and written with ref_set.
        bool by_ref = false;
        // The variable whose register this is (a reference declaration's alias of a local names it), and
        // whether that register surely holds a value object (a boxed variable, a global's or member's
        // value), which a ref can take as its target.
        symbol home = nullptr;
        bool object_held = false;
    };
    // A block's variables in declaration order. Whether a name is declared in the block is asked at
    // every declaration: once the block holds many (a generated body may declare a million), the names
    // are indexed, so that question stays cheap. Variables are only ever added to a block.
    struct block_variables : std::vector<variable> {
        block_variables() = default;
        block_variables(std::vector<variable> v) : std::vector<variable>(std::move(v)) {}
        bool declares(symbol name) const
        {
            if (size() < indexed_from) return std::any_of(begin(), end(), [name](const variable& v) { return v.name == name; });
            for (; indexed_ < size(); ++indexed_) index_.insert((*this)[indexed_].name);
            return index_.count(name) != 0;
        }

    private:
        static constexpr std::size_t indexed_from = 32;
        mutable std::unordered_set<symbol> index_;
        mutable std::size_t indexed_ = 0;
    };
    struct loop {
        std::uint32_t again;                 // where `continue` goes: the test
        std::vector<std::size_t> breaks;     // jumps to patch to the loop's end
    };

    unit& u();
    bool refuse(const std::string& what, script_pos at);
    std::int32_t temporary();
    void emit(op code, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0, int n = 0)
    {
        u().code.emplace_back(code, a, b, c, static_cast<std::uint8_t>(n));
    }
    void mark(script_pos at) { u().positions.emplace_back(static_cast<std::uint32_t>(u().code.size()), at); }
    void step()
    {
        if (process_) emit(op::step);
    }
    // A statement of a process body begins here: a step may run it next.
    void stands(script_pos at)
    {
        if (process_) u().statements.emplace_back(static_cast<std::uint32_t>(u().code.size()), at);
    }
    std::int32_t constant(slot s);
    std::map<std::pair<kind, std::uint64_t>, std::int32_t> scalar_constants_;  // by kind and payload bits
    // An int division or remainder can raise a range_error: its operator's position goes in the table.
    void may_refuse_divisor(ty t, arith a, script_pos at)
    {
        if ((t == ty::int_ || t == ty::uint_) && (a == arith::div || a == arith::mod)) mark(at);
    }

    bool statement(const control& c);
    bool compile_statement(const control& c);
    // try/catch/throw
    bool try_statement(const c_except& x);
    bool throw_statement(const c_throw& t);
    // Inline expansions
    bool inline_statement(const c_inline& x);
    bool block(const control_list& list);
    // `owner`: the branch or loop whose body c is; a step of its empty body stands at the owner.
    bool scoped(const control& c, script_pos owner = {});
    // A body that may be left or skipped (a branch, a loop body, a try's block or clause, an expansion):
    // scoped, and what follows it can be reached even when the body always fails.
    bool branch(const control& c, script_pos owner = {})
    {
        const bool ok = scoped(c, owner);
        dead_ = false;
        return ok;
    }
    bool declare(const expression& e);
    bool condition(const expression& e, std::int32_t& reg);
    std::size_t jump_unless(std::int32_t test);
    bool settle(operand from, ty to, std::int32_t into, std::int32_t first, script_pos at);
    bool with_literal(op general_op, std::int32_t a, std::int32_t b, std::int32_t right);
    void land(std::size_t jump, std::size_t target);

    // Compiles e into a register: a variable's own, or a new temporary.
    std::optional<operand> value_of(const expression& e);
    // Compiles e into the register `into` (a temporary of the caller).
    std::optional<ty> into(const expression& e, std::int32_t into);
    // Converts the value in `from` to kind `to` in register `into`; false when the vm has no exact
    // conversion for it.
    bool convert(operand from, ty to, std::int32_t into, script_pos at);
    std::optional<ty> binary_arith(const binary& e, arithmetic a, std::int32_t into);
    std::optional<ty> relational(const binary& e, relation r, std::int32_t into);
    // `left_at`: the target in place of e's left side (the variable an inner ++ or assignment yields).
    std::optional<ty> assign(const binary& e, std::int32_t into, const expression* left_at = nullptr);
    std::optional<ty> refuse_nullopt(const std::string& what, script_pos at)
    {
        refuse(what, at);
        return std::nullopt;
    }
    std::optional<ty> step_by_one(const unary& e, bool up, std::int32_t into);
    // ++ or -- on what `subject` names (a variable, member or global; the target of an inner ++ or
    // assignment; or a new value in a temporary).
    std::optional<ty> step_target(const expression& subject, script_pos pos, bool up, std::int32_t into);
    // Steps the value in place.reg by one, as its type steps (a bool's or string's class refuses it).
    bool step_place(const operand& place, script_pos pos, bool up);
    // The target an assignment or ++/-- yields as its value (the variable itself), or nullptr.
    static const expression* aliased_target(const expression& e);
    // Calls; `cls`, when given, takes the class of an instance the call returns.
    std::optional<ty> call(const e_function& e, std::int32_t into, type_id_t* cls = nullptr);
    std::optional<ty> method(const e_method& e, std::int32_t into, type_id_t* cls = nullptr);
    // A method call the value's own class resolves when the program runs: the arguments are copied into
    // registers from `base` on and the call is listed; refused when an argument is the nil a function
    // gives. The list entry's index; the caller frees the registers after emitting the call.
    // Arguments in registers from `temporaries` on were computed for this call alone: they are handed on
    // (a string's characters moved, not copied).
    std::optional<std::int32_t> stage_method(const e_method& e, const std::vector<operand>& given, std::int32_t& base,
                                             std::int32_t temporaries = std::numeric_limits<std::int32_t>::max());
    std::optional<ty> native(const e_native& e, std::int32_t into);
    // String methods
    std::optional<ty> text_method(const e_method& e, std::int32_t text, const std::vector<operand>& given, std::int32_t into);
    // Methods of containers, and of a value whose class only the run knows (an element, a method's result)
    std::optional<ty> container_method(const e_method& e, const operand& target, const std::vector<operand>& given,
                                       std::int32_t into, std::int32_t temporaries);
    std::optional<ty> any_method(const e_method& e, std::int32_t receiver, const std::vector<operand>& given, std::int32_t into,
                                 std::int32_t temporaries);
    // The vm units of the script methods a call with these arguments reaches, for each class of receiver.
    // `dropped`: the statement drops the call's value.
    std::vector<std::pair<type_id_t, std::uint32_t>> receiver_units(const e_method& e, const std::vector<operand>& given,
                                                                     bool dropped);
    // A member of the instance a method runs on, named plainly in its body.
    std::optional<member_found> own_member(symbol name) const;
    // A member read into `into`: the scalar or string itself, a vector or instance by its handle.
    std::optional<operand> read_member(const member_found& m, std::int32_t instance, std::int32_t into, script_pos at);
    // `a.x`: the instance's operand is a variable or another member, which reading changes nothing.
    std::optional<operand> member(const e_member& e, std::int32_t into);
    // The place an assignment or ++ changes when it is a member: the instance's register and the site.
    struct member_place {
        std::int32_t instance = 0;
        std::int32_t site = 0;
        ty type = ty::nil;
    };
    // A site of -1: the place is a handle already read into register `instance` (a member found by name).
    std::optional<member_place> member_target(const expression& target, bool& is_member);
    // Whether reading e to reach a member of it changes nothing and meets nothing of the program a
    // right side could change first: a variable, a member, an element of one.
    static bool member_operand(const expression& e);
    // A new instance of the class `type` from the arguments, as a declaration or construction makes it.
    bool construct(type_id_t type, const expr_list& arguments, std::int32_t into, script_pos at);
    // ---- instances made by instructions
    // What a recipe's constructor is handed: the construction's argument k (a register from new_i's c) or
    // a literal (constants[index]), a scalar or string of the settled type.
    struct recipe_source {
        bool literal;
        std::int32_t index;
        ty type;
    };
    // The recipe (its index among the unit's) making an instance of class `type` from `given` as the
    // tree's construction does, when that runs no script statement and cannot fail but at the call depth
    // limit or a tick mark (which new_i leaves to make); nullopt otherwise.
    std::optional<std::int32_t> recipe(type_id_t type, const std::vector<recipe_source>& given, unsigned nesting);
    // A member made from nothing or from its initializer's arguments, as a recipe step.
    bool recipe_member(instance_recipe& made, symbol name, type_id_t type, const std::vector<recipe_source>& from,
                       unsigned nesting);
    // The body of a recipe's constructor: nothing but assignments of sources to scalar or string members
    // of the class's own part, of the member's type, each listed in `assigned` in order.
    bool recipe_body(const control& body, const table::routine& r, const object& cls, const std::vector<recipe_source>& given,
                     std::vector<std::pair<symbol, recipe_source>>& assigned);
    // An initializer's arguments as sources: parameters of the constructor r (handed `given`) and literals.
    std::optional<std::vector<recipe_source>> recipe_arguments(const expr_list& arguments, const table::routine& r,
                                                               const std::vector<recipe_source>& given);
    // The calling frame's registers from `base`: the instance first for a method, then the arguments,
    // copied where the language copies them (a vector, an instance by value).
    // `taking` is the callee's parameter list (by reference or by value) and `from` where each argument
    // was read, for the references it binds.
    bool pass(const std::vector<operand>& given, std::optional<std::int32_t> instance, const table::parameter_list& taking,
              const std::vector<origin>& from, script_pos at);
    // A call's arguments, left to right, each with its origin.
    bool arguments(const expr_list& list, std::vector<operand>& given, std::vector<origin>& from);
    // The one top-level definition of `name` a call with arguments whose classes only the run knows may
    // reach; the check of those classes is emitted before the call.
    const table::routine* run_time_overload(const e_function& e, const std::vector<operand>& given);
    // Calls whose definition only the run can choose
    // How many top-level definitions take the arguments whose classes the compiler knows.
    std::size_t top_level_fits(const e_function& e, const std::vector<operand>& given) const;
    bool fits_known(const table::routine& r, const std::vector<operand>& given) const;
    // A call_v over every definition the run could reach, which the arguments' classes choose.
    std::optional<ty> dispatch_call(const e_function& e, const std::vector<operand>& given, std::int32_t into, type_id_t* cls);
    // The same for a method of the instance in register `instance` (its class and bases).
    std::optional<method_found> run_time_method(const e_method& e, const object& receiver, std::int32_t instance,
                                                const std::vector<operand>& given);
    // `T &name = e`: the name aliases e's own value.
    bool declare_reference(const e_ref_constructor& d);
    std::string shown(const operand& o) const;
    // The local variable of that name; a process variable read makes its start keep the value.
    const variable* local(symbol name) const;
    // Processes
    bool start(const c_start_p& s);
    // The process variable e names, or nullptr.
    const variable* process_variable(const expression& e) const;
    // A global variable of a kind the vm keeps in a slot, as an index into the program's globals.
    struct global_found {
        std::int32_t index;
        ty type;
        type_id_t cls;  // an instance's class
    };
    std::optional<global_found> global(symbol name, script_pos at);

    shared_state& all_;
    std::size_t index_;
    const table::routine& routine_;
    bool process_;
    std::optional<ty> returns_;
    owner owner_;
    script_pos called_at_;  // the first call's site: the place of a refusal of the unit's parameters
    std::vector<block_variables> scopes_;
    std::vector<loop> loops_;
    std::vector<handler> tries_;  // the tries whose protected block is being compiled, innermost last
    std::int32_t next_ = 0;  // the first free register
    // The register of an expression statement's value, which nothing reads: an assignment leaves its
    // variable there only when it is read (a copy of a long string each time would make `s += x` in a
    // loop quadratic).
    std::int32_t dropped_ = -1;

    // ---- inline expansions nested at run time ----
    // Expansions open around the code being compiled in this unit (an expansion's own call frames
    // count the ones around their call site on top: `call`'s n).
    std::uint32_t open_ = 0;
    // The call instruction's n: 1 for a call on an instance, and the expansions open around the call.
    std::optional<int> call_flags(bool on_instance, script_pos at);
    // The call of r, settled when compiling and compiled as `callee` (none when that failed), its arguments
    // passed from base on: the call instruction into `into`, and what the call gives (r's class in *cls).
    std::optional<ty> call_settled(const table::routine& r, std::optional<std::size_t> callee, bool on_instance,
                                   std::int32_t base, std::int32_t into, type_id_t* cls, script_pos at);
    // Where each argument a call changes goes back after it: a local's register (through its ref when the
    // variable holds one) or a global; neither for one that changes in place.
    using write_backs = std::vector<std::pair<const variable*, std::optional<global_found>>>;
    // The arguments at base on, as the call left them, written back where `back` says.
    void write_back(const write_backs& back, std::int32_t base);
    // The expansion about to open fails when the tree's limit of expansions open at once is reached,
    // counting the frames' too; false when it always fails here (nothing more is compiled for it).
    bool expansion_check(const c_inline& x);
    bool inline_in_method(const c_inline& x);

    // ---- ref, typeid and timer values ----
    bool compile_body();
    // The variables whose register holds a value object of their scalar or string (by name: a ref is
    // made of them somewhere in the unit), and whether the body must be compiled again with more of them.
    std::vector<symbol> boxing_;
    bool restart_ = false;
    // ---- processes sharing a variable by reference ----
    // A scalar or string argument `arg` of a process start bound to a reference parameter, as the value
    // object the new process shares, into register `to`. A variable met unboxed is boxed from its
    // declaration on, and the unit compiled again (as for a ref).
    bool share(const expr& arg, const operand& v, const origin& from, std::int32_t to);
    static symbol home_of(const variable& v) { return v.home ? v.home : v.name; }
    // A variable just declared: a scalar or string one that a ref is made of becomes its value object.
    void box(variable& v);
    // The register holding the value object e itself stands for, as a ref's target: a variable's,
    // global's, member's or element's own value, or a new one for any other value.
    std::optional<std::int32_t> target_of(const expr& e);
    // A new value of the built-in class `type` (ref, typeid, timer) from the arguments, as a declaration
    // or construction makes it.
    bool construct_builtin(type_id_t type, const expr_list& arguments, std::int32_t into, script_pos at);
    // ++ or -- on an element or a ref's target, through its class.
    std::optional<ty> step_value(const unary& e, bool up, std::int32_t into);
    bool test_computed_ = false;  // the last condition's test is a temporary it computed, not a variable

    // Run-time errors
    // The code being compiled cannot be reached: an error the tree raises when the statement runs was
    // emitted before it (in this statement or an earlier one of the block), and the rest is left out.
    bool dead_ = false;
    // Emits the error `s` at `at` and marks what follows unreachable; false, to end the statement's
    // compilation as a refusal would, but without one.
    bool fails(failure_site s, script_pos at);
    // The registers from the first free one holding copies of the operands, for a failure site's report.
    failure_site described(failure_site s, const std::vector<operand>& given);
};

// What the units of one program share: the program, the functions compiled or being compiled, the
// first refusal.
class shared_state {
public:
    explicit shared_state(nspace& root) : root(root) {}
    nspace& root;
    program code;
    std::optional<refusal> refused;
    // compiled or being compiled: a method once per class of instance it runs on
    std::map<std::pair<const table::routine*, type_id_t>, std::size_t> units;
    std::map<std::pair<std::wstring, std::size_t>, std::int32_t> natives;  // by name and argument count

    // The script class of a type id, or nullptr.
    const object* class_of(type_id_t id) const
    {
        const auto found = root.classes->find(id);
        return found == root.classes->end() ? nullptr : found->second.get();
    }
    // The register type of a declared type, a script class too.
    std::optional<ty> typed(type_id_t id) const
    {
        if (const std::optional<ty> t = type_of(id)) return t;
        if (class_of(id)) return ty::instance;
        return std::nullopt;
    }
    // What a call of r gives: its declared type, or a value only the run knows when its body may end
    // without return (nil then, whatever the declared type).
    std::optional<ty> gives(const table::routine& r) const
    {
        const std::optional<ty> t = typed(r.return_type);
        if (t && *t != ty::nil && !always_returns(*r.body)) return ty::any;
        return t;
    }
    // Whether a parameter of declared type id takes an argument of this operand's type.
    bool takes(type_id_t id, const operand& o) const
    {
        return typed(id) == o.type && (!classed(o.type) || id == o.cls);
    }
    std::optional<member_found> member(const object& cls, symbol name) const;
    std::optional<method_found> method(const object& cls, symbol name, const std::vector<operand>& given) const;
    // Whether a constructor run when an instance of the class is made or copied (its own, its base's,
    // its members') may end with a return, break or continue.
    bool construction_signals(type_id_t id) const;
    // Whether such a constructor may end with a break or continue (a return the machine takes).
    bool construction_escapes(type_id_t id) const;
    // Whether `test` holds for the class or for any class whose instances making one makes.
    template <class Test>
    bool any_class_made(type_id_t id, Test&& test) const;

    // A type as scripts write it, a class's name too.
    std::string type_text(type_id_t id) const
    {
        const std::string w = type_word(id);
        return w.empty() ? root.type_name(id) : w;
    }
    // The unit of a process definition, compiled on first start.
    std::optional<std::size_t> process_body(const table::routine& r, const std::string& name);
    // The unit of a function definition, compiled on first use.
    std::optional<std::size_t> function(const table::routine& r, const std::string& name, script_pos at, owner whose = {});

private:
    // Where the class's constructors declare a member in an instance's part: the order of the first
    // constructor's initializers, or the member table's (default construction's) without one.
    static std::uint32_t layout_index(const object& cls, symbol name);
};

std::uint32_t shared_state::layout_index(const object& cls, symbol name)
{
    const auto constructors = cls.constructors->all();
    if (!constructors.empty())
        if (const auto* c = dynamic_cast<const c_constructor*>(constructors.front().body.get())) {
            std::uint32_t i = 0;
            for (const expr& init : c->initializers) {
                symbol declared = nullptr;
                if (const auto* d = dynamic_cast<const e_declare_member*>(init.get())) declared = d->name;
                else if (const auto* r = dynamic_cast<const e_ref_member*>(init.get())) declared = r->name;
                if (!declared) continue;
                if (declared == name) return i;
                ++i;
            }
        }
    std::uint32_t i = 0;
    for (const auto& m : *cls.members) {
        if (m.first == name) return i;
        ++i;
    }
    return 0;
}

std::optional<member_found> shared_state::member(const object& cls, symbol name) const
{
    std::uint32_t depth = 0;
    for (const object* c = &cls; c; c = c->base_id ? class_of(c->base_id) : nullptr, ++depth)
        if (const object::member_type* m = c->find_member_type(name)) return member_found{*m, {name, depth, layout_index(*c, name)}};
    return std::nullopt;
}

std::optional<method_found> shared_state::method(const object& cls, symbol name, const std::vector<operand>& given) const
{
    // Outward through the bases, and at each class only the exact parameter types, as the instance's
    // method search goes; a class without the signature passes the search on.
    std::uint32_t depth = 0;
    for (const object* c = &cls; c; c = c->base_id ? class_of(c->base_id) : nullptr, ++depth)
        for (const table::routine& r : c->functions->overloads(name)) {
            if (r.params.size() != given.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < given.size() && same; ++k) same = takes(r.params[k].type, given[k]);
            if (same) return method_found{&r, c, depth};
        }
    return std::nullopt;
}

bool shared_state::construction_signals(type_id_t id) const
{
    return any_class_made(id, [](const object& c) {
        const auto constructors = c.constructors->all();
        return std::any_of(constructors.begin(), constructors.end(), [](const table::routine& r) { return may_signal(*r.body); });
    });
}

bool shared_state::construction_escapes(type_id_t id) const
{
    return any_class_made(id, [](const object& c) {
        const auto constructors = c.constructors->all();
        return std::any_of(constructors.begin(), constructors.end(), [](const table::routine& r) { return may_escape(*r.body); });
    });
}

template <class Test>
bool shared_state::any_class_made(type_id_t id, Test&& test) const
{
    // The class, its base and its members' classes, each once (a class may contain itself).
    std::vector<type_id_t> seen, waiting{id};
    while (!waiting.empty()) {
        const type_id_t next = waiting.back();
        waiting.pop_back();
        const object* c = class_of(next);
        if (!c || std::find(seen.begin(), seen.end(), next) != seen.end()) continue;
        seen.push_back(next);
        if (test(*c)) return true;
        if (c->base_id) waiting.push_back(c->base_id);
        for (const auto& m : *c->members)
            if (!m.second.reference) waiting.push_back(m.second.type);
    }
    return false;
}

std::optional<std::size_t> shared_state::function(const table::routine& r, const std::string& name, script_pos at, owner whose)
{
    // A recursive call finds its own unit here while the body is still being compiled.
    if (const auto found = units.find({&r, whose.receiver}); found != units.end()) return found->second;
    const std::optional<ty> returns = typed(r.return_type);
    // An instance is returned as a copy (the call's conversion to the declared class), made inside the call.
    if (!returns || *returns == ty::any || (*returns == ty::instance && construction_signals(r.return_type))) {
        refused = refusal{"a function returning " + type_text(r.return_type), at};
        return std::nullopt;
    }
    const std::size_t index = code.units.size();
    code.units.emplace_back();
    code.units.back().name = name;
    code.units.back().method = whose.defining != nullptr;
    code.units.back().returns = r.return_type;
    units.emplace(std::pair{&r, whose.receiver}, index);
    unit_compiler c(*this, index, r, false, returns, whose, at);
    const bool ok = c.body();
    if (!ok) return std::nullopt;
    return index;
}

unit_compiler::unit_compiler(shared_state& all, std::size_t index, const table::routine& r, bool process,
                             std::optional<ty> returns, owner whose, script_pos called_at)
    : all_(all), index_(index), routine_(r), process_(process), returns_(returns), owner_(whose), called_at_(called_at)
{
}

unit& unit_compiler::u() { return all_.code.units[index_]; }

bool unit_compiler::refuse(const std::string& what, script_pos at)
{
    if (!all_.refused) all_.refused = refusal{what, at};
    return false;
}

std::int32_t unit_compiler::temporary()
{
    const std::int32_t r = next_++;
    u().registers = std::max(u().registers, static_cast<std::uint32_t>(next_));
    return r;
}

std::int32_t unit_compiler::constant(slot s)
{
    // A script repeats its literals (a generated one may say `x = x + 1;` a million times): a scalar is
    // kept once per unit, as loading it copies it into its register anyway.
    const bool scalar = s.what() < kind::text;
    const std::pair<kind, std::uint64_t> key{s.what(), scalar ? std::bit_cast<std::uint64_t>(s.d()) : 0};
    if (scalar)
        if (const auto found = scalar_constants_.find(key); found != scalar_constants_.end()) return found->second;
    u().constants.push_back(std::move(s));
    const auto index = static_cast<std::int32_t>(u().constants.size() - 1);
    if (scalar) scalar_constants_.emplace(key, index);
    return index;
}

bool unit_compiler::fails(failure_site s, script_pos at)
{
    u().failures.push_back(std::move(s));
    mark(at);
    emit(op::fail, static_cast<std::int32_t>(u().failures.size() - 1));
    dead_ = true;
    return false;
}

failure_site unit_compiler::described(failure_site s, const std::vector<operand>& given)
{
    s.base = next_;
    s.count = static_cast<std::uint32_t>(given.size());
    for (const operand& v : given) emit(op::move, temporary(), v.reg);
    return s;
}

bool unit_compiler::body()
{
    // A ref made of a scalar or string variable needs the variable's own value object, which a register
    // holding the scalar does not have: such a variable is boxed from its declaration on, and the body
    // compiled again with it boxed (code compiled before the ref was met, a loop's, would read it as a
    // scalar).
    const std::optional<refusal> before = all_.refused;
    for (;;) {
        if (compile_body()) return true;
        if (!restart_) return false;
        restart_ = false;
        all_.refused = before;
        unit fresh;
        fresh.name = std::move(u().name);
        fresh.process = u().process;
        fresh.method = u().method;
        u() = std::move(fresh);
        scalar_constants_.clear();
        scopes_.clear();
        loops_.clear();
        tries_.clear();
        next_ = 0;
        dropped_ = -1;
        open_ = 0;
        dead_ = false;
    }
}

bool unit_compiler::compile_body()
{
    scopes_.emplace_back();
    if (owner_.defining) temporary();  // register 0: the instance the method runs on
    std::optional<std::size_t> duplicate;
    // A body's own position may be unknown (a function's block): its first call's site stands in.
    const script_pos params_at = routine_.body->pos.known() ? routine_.body->pos : called_at_;
    for (const table::parameter& p : routine_.params) {
        const std::optional<ty> t = all_.typed(p.type);
        if (!t || *t == ty::nil)
            return refuse("a parameter of type " + all_.type_text(p.type) + (p.reference ? " taken by reference" : ""), params_at);
        if (*t == ty::instance && !p.reference && all_.construction_signals(p.type))
            return refuse("a parameter of class " + all_.type_text(p.type) + ", whose construction may return, break or continue",
                          params_at);
        // The call binds the parameters in order and fails at the second of one name (a process start
        // finds no definition with two, see start).
        if (local(p.name) && !duplicate) {
            if (p.reference && !held(*t)) return refuse("two parameters of one name", params_at);
            duplicate = scopes_.back().size();
        }
        // A reference to a value object is its handle; to a scalar or string, a place or a value object. A
        // process's reference parameter is always a value object: its starter's register is out of reach.
        scopes_.back().push_back({p.name, {temporary(), *t, classed(*t) ? p.type : 0}, -1, p.reference && !held(*t)});
        scopes_.back().back().object_held = process_ && p.reference && !held(*t);
    }
    u().parameters = static_cast<std::uint32_t>(routine_.params.size()) + (owner_.defining ? 1 : 0);
    // An instance parameter copies its argument inside the call, before any position is marked: an error
    // of a copy constructor leaves through this frame as it leaves the tree interpreter's call, placed
    // at the call site.
    // A process's arguments were copied as it started.
    for (std::size_t k = 0; k < routine_.params.size(); ++k) {
        const variable& p = scopes_.back()[k];
        if (p.at.type == ty::instance && !process_ && !routine_.params[k].reference) emit(op::clone, p.at.reg, p.at.reg);
        variable& param = scopes_.back()[k];
        if (process_ && !held(param.at.type) && !param.by_ref &&
            std::find(boxing_.begin(), boxing_.end(), home_of(param)) != boxing_.end()) {
            // Boxed as the fiber is made: an instruction here would stand before the first statement.
            u().boxed_parameters.push_back(static_cast<std::uint32_t>(param.at.reg));
            param.by_ref = param.object_held = true;
        }
        box(param);
        if (duplicate == k) {
            // Refused as the call binds it, before the body's first position: placed at the call site.
            u().failures.emplace_back(failure_site::duplicate, p.name, p.at.reg, 1);
            emit(op::fail, static_cast<std::int32_t>(u().failures.size() - 1));
            emit(op::ret_nil);
            return true;
        }
    }
    if (!statement(*routine_.body)) return false;
    emit(process_ ? op::end : op::ret_nil);
    return true;
}

const unit_compiler::variable* unit_compiler::local(symbol name) const
{
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
        for (const variable& v : *s)
            if (v.name == name) {
                // A process value is made only for a start whose variable the script reads.
                if (v.start >= 0) all_.code.units[index_].starts[static_cast<std::size_t>(v.start)].keeps = true;
                return &v;
            }
    return nullptr;
}

std::optional<unit_compiler::global_found> unit_compiler::global(symbol name, script_pos at)
{
    value* v = all_.root.global.variables.find(name);
    if (!v) {
        // The tree's lookup fails when the name is read: neither a local, a member nor a global.
        fails(failure_site(failure_site::no_variable, name), at);
        return std::nullopt;
    }
    // A vector or an instance is the global's own value object, read and changed in place by handle.
    const type_id_t id = (*v)->type_id();
    const std::optional<ty> t = all_.typed(id);
    if (!t || *t == ty::nil) {
        refuse("the global variable " + narrow(*name) + " of type " + all_.type_text((*v)->type_id()), at);
        return std::nullopt;
    }
    auto& globals = all_.code.globals;
    for (std::size_t i = 0; i < globals.size(); ++i)
        if (globals[i].get() == v->get()) return global_found{static_cast<std::int32_t>(i), *t, classed(*t) ? id : 0};
    globals.push_back(*v);
    return global_found{static_cast<std::int32_t>(globals.size() - 1), *t, classed(*t) ? id : 0};
}

// A block's own scope: its variables' registers are free again after it.
bool unit_compiler::block(const control_list& list)
{
    scopes_.emplace_back();
    const std::int32_t mark_ = next_;
    bool ok = true;
    for (const control_ptr& s : list)
        if (!(ok = statement(*s))) break;
    scopes_.pop_back();
    next_ = mark_;
    return ok;
}

// A branch or loop body: in a scope of its own, as the tree interpreter runs it.
bool unit_compiler::scoped(const control& c, script_pos owner)
{
    if (const auto* b = dynamic_cast<const c_compound*>(&c)) {
        if (b->statements->empty()) {
            stands(owner.known() ? owner : b->pos);
            step();  // an empty block takes one step
            return true;
        }
        return block(*b->statements);
    }
    scopes_.emplace_back();
    const std::int32_t mark_ = next_;
    const bool ok = statement(c);
    scopes_.pop_back();
    next_ = mark_;
    return ok;
}

bool unit_compiler::condition(const expression& e, std::int32_t& reg)
{
    const std::int32_t first = next_;
    const std::optional<operand> v = value_of(e);
    if (!v) return false;
    if (v->type == ty::boolean) {
        reg = v->reg;  // read by the jump at once, before anything can change it
        test_computed_ = reg >= first;
        return true;
    }
    test_computed_ = false;
    reg = temporary();
    return convert(*v, ty::boolean, reg, e.pos);
}

// The jump past a branch or loop body when `test` is false. In a function body, where no step ends
// between the test and the jump, an int comparison just computed into `test` becomes a compare-and-jump.
std::size_t unit_compiler::jump_unless(std::int32_t test)
{
    std::vector<instr>& code = u().code;
    static constexpr std::pair<op, op> fused[] = {
        {op::lt_i, op::unless_lt_i},   {op::le_i, op::unless_le_i},   {op::gt_i, op::unless_gt_i},
        {op::ge_i, op::unless_ge_i},   {op::eq_i, op::unless_eq_i},   {op::ne_i, op::unless_ne_i},
        {op::lt_ik, op::unless_lt_ik}, {op::le_ik, op::unless_le_ik}, {op::gt_ik, op::unless_gt_ik},
        {op::ge_ik, op::unless_ge_ik}, {op::eq_ik, op::unless_eq_ik}, {op::ne_ik, op::unless_ne_ik}};
    if (test_computed_ && !code.empty() && code.back().a == test)
        for (const auto& [compare, jump] : fused)
            if (code.back().code == compare) {
                code.back().code = jump;
                return code.size() - 1;
            }
    code.emplace_back(op::jump_unless, test);
    return code.size() - 1;
}

// Where a jump_unless (or the compare-and-jump it became) goes.
void unit_compiler::land(std::size_t jump, std::size_t target)
{
    instr& in = u().code[jump];
    (in.code == op::jump_unless ? in.b : in.a) = static_cast<std::int32_t>(target);
}

bool unit_compiler::statement(const control& c)
{
    // A statement after one that always fails is never run: it is not compiled, nor refused.
    if (dead_) return true;
    const bool ok = compile_statement(c);
    // A statement whose compilation ended at an error it raises stands compiled up to that error.
    return ok || (dead_ && !all_.refused);
}

bool unit_compiler::compile_statement(const control& c)
{
    // Compiling recurses once per level of nesting (an else-if chain nests here): refused, not overflowed.
    if (stack_exhausted()) return refuse("statements nested this deep", c.pos);
    mark(c.pos);
    u().statements.emplace_back(static_cast<std::uint32_t>(u().code.size()), c.pos);
    const std::int32_t mark_ = next_;
    if (const auto* s = dynamic_cast<const c_single*>(&c)) {
        // A statement's value is dropped: whatever it is (an instance assigned to, say) needs no class.
        bool ok;
        if (dynamic_cast<const e_declare*>(s->e.get())) {
            ok = declare(*s->e);
        } else {
            dropped_ = temporary();
            ok = into(*s->e, dropped_).has_value();
            dropped_ = -1;
        }
        if (dynamic_cast<const e_declare*>(s->e.get()) == nullptr) next_ = mark_;
        step();
        return ok;
    }
    if (const auto* b = dynamic_cast<const c_compound*>(&c)) return scoped(*b);
    if (dynamic_cast<const c_empty*>(&c)) {
        step();
        return true;
    }
    const auto* plain_if = dynamic_cast<const c_if*>(&c);
    const auto* if_else = dynamic_cast<const c_if_else*>(&c);
    if (plain_if || if_else) {
        // An if is an if-else whose else side is nothing: no jump over it.
        std::int32_t test;
        if (!condition(plain_if ? *plain_if->condition : *if_else->condition, test)) return false;
        step();
        const std::size_t to_else = jump_unless(test);
        next_ = mark_;
        if (!branch(plain_if ? *plain_if->then : *if_else->then, c.pos)) return false;
        if (plain_if) {
            land(to_else, u().code.size());
            return true;
        }
        const std::size_t to_end = u().code.size();
        emit(op::jump);
        land(to_else, u().code.size());
        if (!branch(*if_else->otherwise, c.pos)) return false;
        u().code[to_end].a = static_cast<std::int32_t>(u().code.size());
        return true;
    }
    if (const auto* w = dynamic_cast<const c_while*>(&c)) {
        const auto again = static_cast<std::uint32_t>(u().code.size());
        // Each test is counted for the step budget, as the tree interpreter counts it, at the test.
        emit(op::tick, static_cast<std::int32_t>(w->condition->pos.file), static_cast<std::int32_t>(w->condition->pos.offset));
        std::int32_t test;
        if (!condition(*w->condition, test)) return false;
        step();
        const std::size_t out = jump_unless(test);
        next_ = mark_;
        loops_.push_back({again, {}});
        if (!branch(*w->body, c.pos)) return false;
        emit(op::loop, static_cast<std::int32_t>(w->condition->pos.file), static_cast<std::int32_t>(w->condition->pos.offset),
             static_cast<std::int32_t>(again + 1));
        const auto end = static_cast<std::int32_t>(u().code.size());
        land(out, static_cast<std::size_t>(end));
        for (std::size_t j : loops_.back().breaks) u().code[j].a = end;
        loops_.pop_back();
        return true;
    }
    if (dynamic_cast<const c_break*>(&c) || dynamic_cast<const c_continue*>(&c)) {
        // In a process body it ends the process; out of a function it would break the caller's loop.
        if (loops_.empty() && (!process_ || open_ != 0)) return refuse("a break or continue outside every loop", c.pos);
        if (loops_.empty())
            return fails(failure_site(dynamic_cast<const c_break*>(&c) ? failure_site::stray_break : failure_site::stray_continue), c.pos);
        step();
        if (dynamic_cast<const c_break*>(&c)) {
            loops_.back().breaks.push_back(u().code.size());
            emit(op::jump);
        } else {
            emit(op::jump, static_cast<std::int32_t>(loops_.back().again));
        }
        return true;
    }
    if (const auto* r = dynamic_cast<const c_return*>(&c)) {
        if (process_ && open_ != 0) return refuse("a return in a process body", c.pos);
        if (process_) {
            // Its value is made, then the process ends with it.
            const std::optional<operand> v = value_of(*r->e);
            if (!v) return false;
            return fails(described(failure_site(failure_site::stray_return), {*v}), c.pos);
        }
        if (returns_ == ty::nil) return refuse("a return in a function declared nil", c.pos);
        const std::optional<operand> v = value_of(*r->e);
        if (!v) return false;
        const std::int32_t result = temporary();
        if (*returns_ == ty::instance && v->type == ty::any) {
            // An element or a method's result: the declared class makes the caller's value after the body
            // has left, as the tree's call converts it (see ret_v).
            const auto handed = static_cast<std::uint32_t>(u().code.size());
            emit(op::ret_v, v->reg, static_cast<std::int32_t>(routine_.return_type));
            for (handler& h : tries_) h.holes.emplace_back(handed, static_cast<std::uint32_t>(u().code.size()));
            next_ = mark_;
            return true;
        }
        if (*returns_ == ty::instance) {
            // A copy of an instance of exactly the declared class (another value would be converted by
            // one of the class's constructors).
            if (v->type != ty::instance || v->cls != routine_.return_type)
                return refuse("returning " + shown(*v) + " from a function declared " + all_.type_text(routine_.return_type), r->e->pos);
            // The tree interpreter copies it after the body, where no statement's place is marked and
            // no try of the body runs.
            const auto copy = static_cast<std::uint32_t>(u().code.size());
            mark(script_pos{});
            emit(op::clone, result, v->reg);
            emit(op::ret, result);
            for (handler& h : tries_) h.holes.emplace_back(copy, static_cast<std::uint32_t>(u().code.size()));
            next_ = mark_;
            return true;
        } else if (container(*returns_) || *returns_ == ty::builtin) {
            // The declared class makes the caller's value after the body has left (see ret_v): a ref
            // returned is the target of a new ref, as the tree's conversion makes it.
            if (v->type == ty::nil) return refuse("returning the nil a function gives from a function declared " +
                                                  all_.type_text(routine_.return_type), r->e->pos);
            const auto handed = static_cast<std::uint32_t>(u().code.size());
            emit(op::ret_v, v->reg, static_cast<std::int32_t>(routine_.return_type));
            for (handler& h : tries_) h.holes.emplace_back(handed, static_cast<std::uint32_t>(u().code.size()));
            next_ = mark_;
            return true;
        } else if (!convert(*v, *returns_, result, r->e->pos)) {
            return false;
        }
        emit(op::ret, result);
        next_ = mark_;
        return true;
    }
    if (const auto* p = dynamic_cast<const c_start_p*>(&c)) return start(*p);
    if (const auto* x = dynamic_cast<const c_except*>(&c)) return try_statement(*x);
    if (const auto* t = dynamic_cast<const c_throw*>(&c)) return throw_statement(*t);
    if (const auto* x = dynamic_cast<const c_inline*>(&c)) return inline_statement(*x);
    return refuse("this kind of statement (a constructor body)", c.pos);
}

// The protected block, then each clause's body with its parameter in a register of its own; the table
// entry sends a throw from the block to the clauses. A throw ends its step (the step instructions of the
// block's statements stand where they do without it), and matching a clause takes none.
bool unit_compiler::try_statement(const c_except& x)
{
    tries_.emplace_back();
    tries_.back().from = static_cast<std::uint32_t>(u().code.size());
    if (!branch(*x.body)) return false;
    handler h = std::move(tries_.back());
    tries_.pop_back();
    h.to = static_cast<std::uint32_t>(u().code.size());
    std::vector<std::size_t> to_end{u().code.size()};
    emit(op::jump);
    for (const table::routine& clause : x.clauses->clauses()) {
        catch_clause taken{false, 0, 0, false, 0};
        scopes_.emplace_back();
        const std::int32_t mark_ = next_;
        if (!clause.params.empty()) {
            const table::parameter& p = clause.params.front();
            // A reference parameter would share the thrown value, which may be a variable's own.
            if (p.reference) return refuse("a catch parameter taken by reference", x.pos);
            std::optional<ty> t = all_.typed(p.type);
            if (p.type == tid::bad_cast || p.type == tid::range_error) t = ty::any;
            if (!t || *t == ty::nil || *t == ty::instance)
                return refuse("a catch parameter of type " + all_.type_text(p.type), x.pos);
            taken = {true, p.type, temporary(), held(*t), 0};
            scopes_.back().push_back({p.name, {taken.reg, *t}});
        }
        taken.target = static_cast<std::uint32_t>(u().code.size());
        h.clauses.push_back(taken);
        if (!clause.params.empty()) box(scopes_.back().back());
        if (!branch(*clause.body)) return false;
        scopes_.pop_back();
        next_ = mark_;
        to_end.push_back(u().code.size());
        emit(op::jump);
    }
    for (const std::size_t j : to_end) u().code[j].a = static_cast<std::int32_t>(u().code.size());
    // Inner tries were entered in the table as they were compiled, before this one around them.
    u().handlers.push_back(std::move(h));
    all_.code.catches = true;
    return true;
}

// ---- inline expansions -----------------------------------------------------------------------------

// `inline name(args);` expands the definition its argument types choose in place: the arguments are
// read in the caller's scope, the parameters bound to copies, and the body compiled with only its own
// names and the globals in sight, as the tree's expansion scope hangs under the global scope, not the
// caller's. Its return, break and continue are the caller's function's and loop's. The expansion takes
// a step of its own, then the body's steps.
bool unit_compiler::inline_statement(const c_inline& x)
{
    // A method's namespace is its instance's, which holds no inline definitions: the expansion fails
    // there when it runs, as the tree's does.
    if (owner_.defining) return inline_in_method(x);
    const std::int32_t mark_ = next_;
    std::vector<operand> given;
    for (const expr& a : x.arguments) {
        const std::optional<operand> v = value_of(*a);
        if (!v) return false;
        given.push_back(*v);
    }
    const table::routine* found = nullptr;
    for (const table::routine& r : all_.root.inlines->overloads(x.name)) {
        if (r.params.size() != given.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < given.size() && same; ++k) same = all_.takes(r.params[k].type, given[k]);
        if (same) found = &r;
    }
    if (!found) return refuse("an inline expansion of " + narrow(*x.name) + " that no inline definition takes", x.pos);
    // An expansion inside its own body nests as deep as the tree's limit lets it: each level is expanded
    // in turn, and the level the limit refuses fails there (see expansion_check).
    if (!expansion_check(x)) return true;
    std::vector<variable> params;
    for (std::size_t k = 0; k < given.size(); ++k) {
        const table::parameter& p = found->params[k];
        if (p.reference || given[k].type == ty::instance || given[k].type == ty::nil)
            return refuse("an inline parameter " + std::string(p.reference ? "taken by reference" : "of type " + shown(given[k])), x.pos);
        for (const variable& v : params)
            if (v.name == p.name) return refuse("two inline parameters of one name", x.pos);
        const std::int32_t reg = temporary();
        // A container or a built-in value by value is a copy (a ref's shares its target).
        emit(container(given[k].type) || given[k].type == ty::builtin ? op::clone : op::move, reg, given[k].reg);
        params.push_back({p.name, given[k]});
        params.back().at.reg = reg;
        params.back().home = p.name;
        box(params.back());
    }
    step();
    // The caller's names are out of sight while the body compiles.
    std::vector<block_variables> caller = std::move(scopes_);
    scopes_.assign(1, std::move(params));
    ++open_;
    expansion_site site{static_cast<std::uint32_t>(u().code.size()), 0, narrow(*x.name), x.pos};
    const bool ok = branch(*found->body);
    --open_;
    scopes_ = std::move(caller);
    if (!ok) return false;
    site.to = static_cast<std::uint32_t>(u().code.size());
    u().expansions.push_back(std::move(site));
    next_ = mark_;
    return true;
}

std::optional<int> unit_compiler::call_flags(bool on_instance, script_pos at)
{
    // n holds the count in its seven high bits.
    if (open_ > 127) {
        refuse("a call inside more than 127 inline expansions", at);
        return std::nullopt;
    }
    return static_cast<int>(open_ << 1) | (on_instance ? 1 : 0);
}

std::optional<ty> unit_compiler::call_settled(const table::routine& r, std::optional<std::size_t> callee, bool on_instance,
                                              std::int32_t base, std::int32_t into, type_id_t* cls, script_pos at)
{
    if (!callee) return std::nullopt;
    const std::optional<int> flags = call_flags(on_instance, at);
    if (!flags) return std::nullopt;
    mark(at);
    // The callee's registers start at base: make room for them in this frame's count too.
    emit(op::call, into, static_cast<std::int32_t>(*callee), base, *flags);
    next_ = base;
    if (cls) *cls = r.return_type;
    return all_.gives(r);
}

void unit_compiler::write_back(const write_backs& back, std::int32_t base)
{
    for (std::size_t k = 0; k < back.size(); ++k) {
        const std::int32_t from = base + static_cast<std::int32_t>(k);
        if (back[k].first && back[k].first->by_ref)
            emit(op::ref_set, from, back[k].first->at.reg, 0, static_cast<int>(kind_of(back[k].first->at.type)));
        else if (back[k].first) emit(op::move, back[k].first->at.reg, from);
        else if (back[k].second) emit(op::global_set, from, back[k].second->index);
    }
}

bool unit_compiler::expansion_check(const c_inline& x)
{
    // An expansion's levels are code: a body expanding itself twice would double with each level.
    if (u().code.size() > (std::size_t{1} << 20)) return refuse("inline expansions nested into more than a million instructions", x.pos);
    u().methods.push_back({method_name::none, 0, 0, x.name});
    mark(x.pos);
    emit(op::inline_check, static_cast<std::int32_t>(open_), static_cast<std::int32_t>(u().methods.size() - 1));
    return open_ < table::inline_nesting::limit;
}

bool unit_compiler::inline_in_method(const c_inline& x)
{
    std::vector<operand> given;
    for (const expr& a : x.arguments) {
        const std::optional<operand> v = value_of(*a);
        if (!v) return false;
        given.push_back(*v);
    }
    std::int32_t base = 0;
    for (const operand& v : given)
        if (v.type == ty::nil) return refuse("handing an inline expansion the nil a function gives", x.pos);
    base = next_;
    for (const operand& v : given) emit(op::move, temporary(), v.reg);
    u().methods.push_back({method_name::none, base, static_cast<std::uint32_t>(given.size()), x.name});
    mark(x.pos);
    emit(op::no_inline, static_cast<std::int32_t>(u().methods.size() - 1), 0);
    step();
    return true;
}

bool unit_compiler::throw_statement(const c_throw& t)
{
    const std::optional<operand> v = value_of(*t.e);
    if (!v) return false;
    // The throw's own place: an uncaught one is reported at the statement.
    mark(t.pos);
    emit(op::throw_, v->reg);
    return true;
}

bool unit_compiler::declare(const expression& e)
{
    for (const expr& d : static_cast<const e_declare&>(e).declarators) {
        if (const auto* r = dynamic_cast<const e_ref_constructor*>(d.get())) {
            if (!declare_reference(*r)) return false;
            continue;
        }
        const auto* c = dynamic_cast<const e_constructor*>(d.get());
        if (!c) return refuse("this kind of declaration", d->pos);
        // A variable of type nil is a value object of its class (a function declared nil gives none).
        const std::optional<ty> t = c->type == tid::nil ? ty::builtin : all_.typed(c->type);
        if (!t || *t == ty::nil) return refuse("a variable of type " + all_.type_text(c->type), d->pos);
        // A second declaration of the name in the block makes its value, then the block's table refuses it.
        const bool again = scopes_.back().declares(c->name);
        const std::int32_t reg = temporary();
        if (*t == ty::instance || *t == ty::builtin) {
            // The value is made as the interpreter makes it: an instance by its class's constructor, or the
            // default or copy construction, from the arguments; any other (ref, typeid, timer, nil) by its
            // built-in class's own construction.
            const std::int32_t mark_ = next_;
            const bool made = *t == ty::instance ? construct(c->type, c->arguments, reg, d->pos)
                                                 : construct_builtin(c->type, c->arguments, reg, d->pos);
            if (!made) return false;
            next_ = mark_;
            if (again) return fails(failure_site(failure_site::duplicate, c->name, reg, 1), d->pos);
            scopes_.back().push_back({c->name, {reg, *t, c->type}});
            continue;
        }
        if (c->arguments.size() > 1 && !container(*t)) return refuse("a declaration with several arguments", d->pos);
        // The initializers run before the name exists: `int x = x;` reads an outer x.
        const std::int32_t mark_ = next_;
        std::vector<operand> given;
        for (const expr& a : c->arguments) {
            const std::optional<operand> v = value_of(*a);
            if (!v) return false;
            given.push_back(*v);
        }
        if (container(*t) || (given.size() == 1 && held(given.front().type))) {
            // Made as the interpreter makes the declared value: a vector from its arguments (a copy of
            // another), a scalar from a value only the run knows (an element; an instance, through its
            // class's conversion operator).
            std::int32_t base = given.empty() ? 0 : given.front().reg;
            if (given.size() > 1) {
                base = next_;
                for (const operand& v : given) emit(op::move, temporary(), v.reg);
            }
            mark(d->pos);
            emit(op::make, reg, static_cast<std::int32_t>(c->type), base, static_cast<std::uint8_t>(given.size()));
        } else if (given.empty()) {
            emit(op::constant, reg, constant(zero_of(*t)));
        } else if (*t == ty::text && given.front().type == ty::text && given.front().reg >= mark_) {
            emit(op::take, reg, given.front().reg);  // a computed string, not another variable's
        } else if (!settle(given.front(), *t, reg, mark_, d->pos)) {
            return false;
        }
        next_ = mark_;
        if (again) return fails(failure_site(failure_site::duplicate, c->name, reg, 1), d->pos);
        scopes_.back().push_back({c->name, {reg, *t}});
        box(scopes_.back().back());
    }
    return true;
}

bool unit_compiler::declare_reference(const e_ref_constructor& d)
{
    const std::optional<ty> t = all_.typed(d.type);
    if (!t || *t == ty::nil) return refuse("a reference of type " + all_.type_text(d.type), d.pos);
    const bool again = scopes_.back().declares(d.name);
    const std::int32_t reg = temporary();
    const std::int32_t mark_ = next_;
    std::vector<operand> given;
    std::vector<origin> from;
    if (!arguments(expr_list{d.initializer}, given, from)) return false;
    const operand v = given.front();
    const type_id_t cls = classed(*t) ? d.type : 0;
    // The variable the initializer names, whose register an alias shares.
    const expression* named_expr = d.initializer.get();
    while (const auto* c = dynamic_cast<const e_chain*>(named_expr)) named_expr = &c->top();
    const auto* source_name = dynamic_cast<const e_variable*>(named_expr);
    const variable* source_found = source_name ? local(source_name->name) : nullptr;
    const symbol source_home = source_found ? home_of(*source_found) : nullptr;
    const bool source_object = source_found && source_found->object_held;
    if (v.type == ty::any) {
        // Only the run knows the value's class: the declaration's own check, with its report.
        u().checks.push_back({d.name, {}, {}});
        mark(d.pos);
        emit(op::check_ref, v.reg, static_cast<std::int32_t>(d.type), static_cast<std::int32_t>(u().checks.size() - 1));
    } else if (v.type != *t || (classed(*t) && v.cls != d.type)) {
        // The value's class is known and is not the reference's: the declaration's own check refuses it
        // when it runs (nothing after it in the block is reached).
        if (v.type == ty::nil) return refuse("a reference of type " + all_.type_text(d.type) + " to nil", d.pos);
        u().checks.push_back({d.name, {}, {}});
        mark(d.pos);
        emit(op::check_ref, v.reg, static_cast<std::int32_t>(d.type), static_cast<std::int32_t>(u().checks.size() - 1));
        next_ = mark_;
        scopes_.back().push_back({d.name, {reg, *t, cls}});
        return true;
    }
    if (again) return fails(failure_site(failure_site::duplicate, d.name, v.reg, 1), d.pos);
    next_ = mark_;
    if (held(*t)) {
        // A value object is its own handle: the name holds it as the initializer's value does.
        emit(op::move, reg, v.reg);
        scopes_.back().push_back({d.name, {reg, *t, cls}});
        return true;
    }
    variable named{d.name, {reg, *t}, -1, true};
    switch (from.front().how) {
    case origin::local:
        // A variable of this frame: the name is one more name of its register.
        named = {d.name, {from.front().reg, *t}, -1, false};
        named.home = source_home;
        break;
    case origin::referred:
        named.at.reg = from.front().reg;
        named.home = source_home;
        named.object_held = source_object;
        break;
    case origin::global:
        emit(op::global_ref, reg, from.front().index);
        named.object_held = true;
        break;
    case origin::member:
        emit(op::get_m, reg, from.front().reg, from.front().index, static_cast<int>(kind::object));
        named.object_held = true;
        break;
    case origin::fresh:
        // A new value (or an element's handle) that nothing else names: the register keeps it.
        emit(op::move, reg, v.reg);
        named.by_ref = named.object_held = v.type == ty::any;
        if (!named.by_ref) box(named);
        break;
    case origin::aliased: return refuse("a reference to the value of an assignment or ++", d.pos);
    }
    scopes_.back().push_back(named);
    return true;
}

bool unit_compiler::convert(operand from, ty to, std::int32_t into, script_pos at)
{
    // A vector refuses to be a truth (bad_cast), which its class raises as the condition asks it; so
    // does a string.
    if ((held(from.type) || from.type == ty::text || from.type == ty::nil) && to == ty::boolean) {
        mark(at);
        emit(op::truth_v, into, from.reg);
        return true;
    }
    if ((from.type == ty::any || from.type == ty::builtin || from.type == ty::nil) && !held(to) && to != ty::nil) {
        // A value only the run knows (or nil) converts as a declaration of the type makes it from one.
        mark(at);
        emit(op::make, into, static_cast<std::int32_t>(type_id_of(to)), from.reg, 1);
        return true;
    }
    if (held(from.type) || held(to)) return refuse("a conversion of " + word(from.type) + " to " + word(to), at);
    if (from.type == to) {
        if (from.reg != into) emit(op::move, into, from.reg);
        return true;
    }
    static constexpr struct {
        ty from, to;
        op code;
    } conversions[] = {
        {ty::double_, ty::int_, op::int_of_d},   {ty::boolean, ty::int_, op::int_of_b},
        {ty::int_, ty::double_, op::double_of_i}, {ty::boolean, ty::double_, op::double_of_b},
        {ty::int_, ty::boolean, op::bool_of_i},   {ty::double_, ty::boolean, op::bool_of_d},
        {ty::int_, ty::text, op::text_of_i},      {ty::double_, ty::text, op::text_of_d},
        {ty::boolean, ty::text, op::text_of_b},
    };
    for (const auto& c : conversions)
        if (c.from == from.type && c.to == to) {
            emit(c.code, into, from.reg);
            return true;
        }
    // Any other pair of scalars converts through the general instruction, as does a string to a number
    // (a reading of its text); a string has no truth.
    if (((numeric(from.type) || from.type == ty::boolean) && to != ty::nil) || (from.type == ty::text && numeric(to))) {
        emit(op::cast, into, from.reg, static_cast<std::int32_t>(kind_of(to)));
        return true;
    }
    return refuse("a conversion of " + word(from.type) + " to " + word(to), at);
}

// Whether an instruction only writes its register a (reads nothing there): then the one that just
// computed a temporary can write its destination instead.
bool writes_only_a(op code)
{
    switch (code) {
    case op::inc_i: case op::dec_i: case op::inc_u: case op::dec_u:
    case op::inc_f: case op::dec_f: case op::inc_d: case op::dec_d:
        return false;
    default:
        break;
    }
    return (code >= op::move && code <= op::cast) || (code >= op::add_ik && code <= op::ne_ik) || code == op::at ||
           code == op::size || code == op::text_size || code == op::text_at || code == op::get_m;
}

// convert for a value computed into a temporary (a register from `first` on) that nothing reads after:
// the instruction that computed it writes `into` itself when no conversion is needed.
bool unit_compiler::settle(operand from, ty to, std::int32_t into, std::int32_t first, script_pos at)
{
    std::vector<instr>& code = u().code;
    if (from.type == to && from.reg != into && from.reg >= first && !code.empty() && code.back().a == from.reg &&
        writes_only_a(code.back().code)) {
        code.back().a = into;
        return true;
    }
    return convert(from, to, into, at);
}

// `a = b op right` for two ints, when `right` is an int literal just loaded into a register of its own
// (the last instruction): the literal goes into the instruction instead. Not for a divisor an int
// division may refuse (0, -1), whose error the general instruction raises.
bool unit_compiler::with_literal(op general_op, std::int32_t a, std::int32_t b, std::int32_t right)
{
    static constexpr std::pair<op, op> literal[] = {
        {op::add_i, op::add_ik}, {op::sub_i, op::sub_ik}, {op::mul_i, op::mul_ik}, {op::div_i, op::div_ik},
        {op::mod_i, op::mod_ik}, {op::lt_i, op::lt_ik},   {op::le_i, op::le_ik},   {op::gt_i, op::gt_ik},
        {op::ge_i, op::ge_ik},   {op::eq_i, op::eq_ik},   {op::ne_i, op::ne_ik}};
    std::vector<instr>& code = u().code;
    if (code.empty() || code.back().code != op::constant || code.back().a != right || right == b) return false;
    const slot& k = u().constants[static_cast<std::size_t>(code.back().b)];
    if (k.what() != kind::int_) return false;
    if ((general_op == op::div_i || general_op == op::mod_i) && (k.i() == 0 || k.i() == -1)) return false;
    for (const auto& [general, immediate] : literal)
        if (general == general_op) {
            code.back() = instr(immediate, a, b, k.i());
            return true;
        }
    return false;
}

std::optional<operand> unit_compiler::value_of(const expression& e)
{
    if (const auto* v = exactly<e_variable>(e)) {
        if (const variable* found = local(v->name)) {
            if (!found->by_ref) return found->at;
            const std::int32_t reg = temporary();
            emit(op::ref_get, reg, found->at.reg, 0, static_cast<int>(kind_of(found->at.type)));
            return operand{reg, found->at.type};
        }
        if (const std::optional<member_found> m = own_member(v->name)) return read_member(*m, 0, temporary(), e.pos);
        const std::optional<global_found> g = global(v->name, e.pos);
        if (!g) return std::nullopt;
        const std::int32_t reg = temporary();
        emit(held(g->type) ? op::global_ref : op::global_get, reg, g->index);
        return operand{reg, g->type, g->cls};
    }
    if (const auto* m = dynamic_cast<const e_member*>(&e)) return member(*m, temporary());
    if (dynamic_cast<const e_function*>(&e) || dynamic_cast<const e_method*>(&e)) {
        // A call returning an instance says its class.
        const std::int32_t reg = temporary();
        type_id_t cls = 0;
        const auto* f = dynamic_cast<const e_function*>(&e);
        const std::optional<ty> t = f ? call(*f, reg, &cls) : method(static_cast<const e_method&>(e), reg, &cls);
        if (!t) return std::nullopt;
        return operand{reg, *t, classed(*t) ? cls : 0};
    }
    if (const auto* c = dynamic_cast<const e_cast*>(&e); c && all_.class_of(c->type)) {
        const std::int32_t reg = temporary();
        if (!construct(c->type, c->arguments, reg, e.pos)) return std::nullopt;
        return operand{reg, ty::instance, c->type};
    }
    if (const auto* c = dynamic_cast<const e_cast*>(&e); c && type_of(c->type) == ty::builtin) {
        const std::int32_t reg = temporary();
        if (!construct_builtin(c->type, c->arguments, reg, e.pos)) return std::nullopt;
        return operand{reg, ty::builtin, c->type};
    }
    const std::int32_t reg = temporary();
    const std::optional<ty> t = into(e, reg);
    if (!t) return std::nullopt;
    // Every instance whose class the compiler knows came out above; the value of an assignment to an
    // instance does not carry its class.
    if (classed(*t)) {
        refuse(*t == ty::instance ? "an instance as the value of an assignment" : "a ref, typeid or timer as the value of an assignment", e.pos);
        return std::nullopt;
    }
    return operand{reg, *t};
}

std::optional<ty> unit_compiler::into(const expression& e, std::int32_t into)
{
    if (stack_exhausted()) {
        refuse("an expression nested this deep", e.pos);
        return std::nullopt;
    }
    // A long chain of operators is compiled as the tree it holds, one level deeper per operator.
    if (const auto* c = exactly<e_chain>(e)) return unit_compiler::into(c->top(), into);
    if (const auto* c = exactly<e_constant<signed_<int>, int>>(e)) {
        emit(op::constant, into, constant(slot::of_int(c->literal)));
        return ty::int_;
    }
    if (const auto* c = exactly<e_constant<unsigned_<unsigned int>, unsigned int>>(e)) {
        emit(op::constant, into, constant(slot::of_uint(c->literal)));
        return ty::uint_;
    }
    if (const auto* c = exactly<e_constant<real<float>, float>>(e)) {
        emit(op::constant, into, constant(slot::of_float(c->literal)));
        return ty::float_;
    }
    if (const auto* c = exactly<e_constant<real<double>, double>>(e)) {
        emit(op::constant, into, constant(slot::of_double(c->literal)));
        return ty::double_;
    }
    if (const auto* c = exactly<e_constant<boolean, bool>>(e)) {
        emit(op::constant, into, constant(slot::of_bool(c->literal)));
        return ty::boolean;
    }
    if (const auto* c = exactly<e_constant<string_<wchar_t>, std::wstring>>(e)) {
        emit(op::constant, into, constant(slot::of_text(c->literal)));
        return ty::text;
    }
    if (const auto* v = exactly<e_variable>(e)) {
        if (const variable* found = local(v->name)) {
            if (found->by_ref) emit(op::ref_get, into, found->at.reg, 0, static_cast<int>(kind_of(found->at.type)));
            else emit(op::move, into, found->at.reg);
            return found->at.type;
        }
        // In a method a member hides a global of its name.
        if (const std::optional<member_found> m = own_member(v->name)) {
            const std::optional<operand> read = read_member(*m, 0, into, e.pos);
            if (!read) return std::nullopt;
            return read->type;
        }
        const auto g = global(v->name, e.pos);
        if (!g) return std::nullopt;
        emit(held(g->type) ? op::global_ref : op::global_get, into, g->index);
        return g->type;
    }
    if (const auto a = arithmetic_of(e)) {
        if (a->assigns) return assign(static_cast<const binary&>(e), into);
        return binary_arith(static_cast<const binary&>(e), *a, into);
    }
    if (const auto r = relation_of(e)) return relational(static_cast<const binary&>(e), *r, into);
    if (dynamic_cast<const e_assign*>(&e)) return assign(static_cast<const binary&>(e), into);
    if (dynamic_cast<const e_preincr*>(&e) || dynamic_cast<const e_predecr*>(&e))
        return step_by_one(static_cast<const unary&>(e), dynamic_cast<const e_preincr*>(&e) != nullptr, into);
    if (dynamic_cast<const e_not*>(&e) || dynamic_cast<const e_minus*>(&e)) {
        const bool negates = dynamic_cast<const e_minus*>(&e) != nullptr;
        const std::optional<operand> v = value_of(*static_cast<const unary&>(e).operand);
        if (!v) return std::nullopt;
        if (held(v->type)) {
            mark(e.pos);
            emit(op::unary_v, into, v->reg, 0, negates ? 1 : 0);
            return negates ? ty::any : ty::boolean;
        }
        static constexpr struct {
            ty type;
            op minus, not_;
        } unary_ops[] = {{ty::int_, op::neg_i, op::not_i},   {ty::uint_, op::neg_u, op::not_u},
                         {ty::float_, op::neg_f, op::not_f}, {ty::double_, op::neg_d, op::not_d},
                         {ty::boolean, op::end, op::not_b}};
        for (const auto& u : unary_ops)
            if (u.type == v->type && (!negates || u.minus != op::end)) {
                emit(negates ? u.minus : u.not_, into, v->reg);
                return negates ? v->type : ty::boolean;
            }
        // The value's class negates or refuses (a bool has no minus, a string neither).
        mark(e.pos);
        emit(op::unary_v, into, v->reg, 0, negates ? 1 : 0);
        return negates ? ty::any : ty::boolean;
    }
    if (const auto* m = dynamic_cast<const e_member*>(&e)) {
        const std::optional<operand> read = member(*m, into);
        if (!read) return std::nullopt;
        return read->type;
    }
    if (const auto* f = dynamic_cast<const e_function*>(&e)) return call(*f, into);
    if (const auto* m = dynamic_cast<const e_method*>(&e)) return method(*m, into);
    if (const auto* n = dynamic_cast<const e_native*>(&e)) return native(*n, into);
    if (const auto* c = dynamic_cast<const e_cast*>(&e)) {
        if (all_.class_of(c->type)) {
            if (!construct(c->type, c->arguments, into, e.pos)) return std::nullopt;
            return ty::instance;
        }
        const std::optional<ty> t = type_of(c->type);
        // A ref, typeid or timer, or a container (`vector()`, `vector(3, 0)`), made as a declaration makes it.
        if (t == ty::builtin || t == ty::vector || t == ty::list || t == ty::hash) {
            if (!construct_builtin(c->type, c->arguments, into, e.pos)) return std::nullopt;
            return t;
        }
        // `int()`: the value a declaration without an initializer holds.
        if (t && *t != ty::nil && !held(*t) && c->arguments.empty()) {
            emit(op::constant, into, constant(zero_of(*t)));
            return t;
        }
        if (!t || *t == ty::nil || held(*t) || c->arguments.size() != 1) {
            refuse("a construction of " + all_.type_text(c->type), e.pos);
            return std::nullopt;
        }
        const std::optional<operand> v = value_of(*c->arguments.front());
        if (!v) return std::nullopt;
        if (held(v->type)) {
            // A value only the run knows converts as the construction does (an instance by its class's
            // conversion operator).
            mark(e.pos);
            emit(op::make, into, static_cast<std::int32_t>(c->type), v->reg, 1);
            return t;
        }
        if (!convert(*v, *t, into, e.pos)) return std::nullopt;
        return t;
    }
    refuse("this kind of expression (methods, members, containers, references and class values)", e.pos);
    return std::nullopt;
}

std::optional<ty> unit_compiler::binary_arith(const binary& e, arithmetic a, std::int32_t into)
{
    const std::int32_t first_temporary = next_;
    const std::optional<operand> l = value_of(*e.left);
    if (!l) return std::nullopt;
    const std::optional<operand> r = value_of(*e.right);
    if (!r) return std::nullopt;
    if (held(l->type) || held(r->type)) {
        // The left value's class computes: a number or a string gives its own type.
        mark(e.pos);
        emit(op::arith_v, into, l->reg, r->reg, static_cast<std::uint8_t>(a.what));
        return numeric(l->type) || l->type == ty::text ? l->type : ty::any;
    }
    if (l->type == ty::text && a.what == arith::add) {
        // Joining: the right side's text goes after the left string's (an int's straight on).
        std::int32_t right = r->reg;
        if (r->type != ty::text && r->type != ty::int_) {
            right = temporary();
            if (!convert(*r, ty::text, right, e.right->pos)) return std::nullopt;
        }
        // A left side computed into a temporary is handed on; a variable's is copied.
        if (l->reg != into) emit(l->reg >= first_temporary ? op::take : op::move, into, l->reg);
        mark(e.pos);  // a join past the string limit is refused at its operator
        emit(r->type == ty::int_ ? op::append_i : op::append_t, into, right, 0);
        return ty::text;
    }
    if (!numeric(l->type)) {
        // A bool, a string other than joined, nil: the left value's class computes or refuses.
        mark(e.pos);
        emit(op::arith_v, into, l->reg, r->reg, static_cast<std::uint8_t>(a.what));
        return ty::any;
    }
    std::int32_t right = r->reg;
    if (r->type != l->type) {
        right = temporary();
        if (!convert(*r, l->type, right, e.right->pos)) return std::nullopt;
    }
    if (!with_literal(arithmetic_op(a.what, l->type), into, l->reg, right)) {
        may_refuse_divisor(l->type, a.what, e.pos);
        emit(arithmetic_op(a.what, l->type), into, l->reg, right);
    }
    return l->type;
}

std::optional<ty> unit_compiler::relational(const binary& e, relation r, std::int32_t into)
{
    const std::optional<operand> l = value_of(*e.left);
    if (!l) return std::nullopt;
    const std::optional<operand> rv = value_of(*e.right);
    if (!rv) return std::nullopt;
    if (held(l->type) || held(rv->type)) {
        mark(e.pos);
        emit(op::relate_v, into, l->reg, rv->reg, static_cast<std::uint8_t>(r));
        return ty::boolean;
    }
    if (r == relation::and_ || r == relation::or_) {
        // Both sides are always evaluated. The left one decides here too: a number reads the right side
        // as its own type before asking its truth (`1 && 0.5` is false), a bool asks the right side's.
        if (l->type != ty::boolean && !numeric(l->type)) {
            mark(e.pos);
            emit(op::relate_v, into, l->reg, rv->reg, static_cast<std::uint8_t>(r));
            return ty::boolean;
        }
        operand right = *rv;
        if (right.type != l->type) {
            right = {temporary(), l->type};
            if (!convert(*rv, l->type, right.reg, e.right->pos)) return std::nullopt;
        }
        const std::int32_t a = temporary(), b = temporary();
        if (!convert(*l, ty::boolean, a, e.left->pos) || !convert(right, ty::boolean, b, e.right->pos)) return std::nullopt;
        emit(r == relation::and_ ? op::and_b : op::or_b, into, a, b);
        return ty::boolean;
    }
    const bool ordered = r != relation::eq && r != relation::ne;
    // A string compares with the text of a number or bool on its right, the text a join gives it.
    if (l->type == ty::nil || (l->type == ty::boolean && ordered) ||
        (l->type == ty::text && rv->type != ty::text && !numeric(rv->type) && rv->type != ty::boolean)) {
        // The left value's class compares (a bool asks the right side's truth) or refuses.
        mark(e.pos);
        emit(op::relate_v, into, l->reg, rv->reg, static_cast<std::uint8_t>(r));
        return ty::boolean;
    }
    std::int32_t right = rv->reg;
    if (rv->type != l->type) {
        right = temporary();
        if (!convert(*rv, l->type, right, e.right->pos)) return std::nullopt;
    }
    if (!with_literal(comparison_op(r, l->type), into, l->reg, right)) emit(comparison_op(r, l->type), into, l->reg, right);
    return ty::boolean;
}

// x = e and x op= e: the right side first; the variable keeps its type and takes the converted result.
std::optional<ty> unit_compiler::assign(const binary& e, std::int32_t into, const expression* left_at)
{
    const expression* left = left_at ? left_at : e.left.get();
    while (const auto* c = dynamic_cast<const e_chain*>(left)) left = &c->top();
    const auto* target = dynamic_cast<const e_variable*>(left);
    const auto* element = dynamic_cast<const e_method*>(left);
    const bool to_member = dynamic_cast<const e_member*>(left) != nullptr;
    if (const expression* aliased = aliased_target(*left)) {
        // `++a = 4`: the inner operator yields its target, which takes the value. With an int literal
        // on the right the tree reads the left side first; any other right side first, which the target's
        // own assignment would then read after the inner operator: refused.
        if (!dynamic_cast<const e_constant<signed_<int>, int>*>(e.right.get())) {
            refuse("an assignment to the value of an assignment or ++ from something other than an int", e.pos);
            return std::nullopt;
        }
        const std::int32_t mark_ = next_;
        if (!unit_compiler::into(*left, temporary())) return std::nullopt;
        next_ = mark_;
        return assign(e, into, aliased);
    }
    const std::int32_t first = next_;
    const std::optional<operand> r = value_of(*e.right);
    if (!r) return std::nullopt;
    if (!target && !to_member && !element) {
        // A new value (a call's result): it takes the right side in a temporary nothing else sees.
        const std::optional<operand> fresh = value_of(*left);
        if (!fresh) return std::nullopt;
        operand place{temporary(), fresh->type, fresh->cls};
        emit(op::move, place.reg, fresh->reg);
        const std::optional<arithmetic> how = arithmetic_of(e);
        if (held(place.type) || held(r->type) || place.type == ty::nil || !numeric(place.type) ||
            (how && !numeric(r->type) && r->type != ty::boolean)) {
            if (place.type == ty::nil) return refuse_nullopt("an assignment to the nil a function gives", e.pos);
            // Through the value classes, as the tree's operator assigns to the value it was given.
            if (!held(place.type)) {
                const std::int32_t boxed = temporary();
                emit(op::box, boxed, place.reg);
                place = {boxed, ty::any};
            }
            mark(e.pos);
            emit(op::assign_v, place.reg, r->reg, 0, static_cast<std::uint8_t>(how ? 1 + static_cast<int>(how->what) : 0));
        } else {
            std::int32_t right = r->reg;
            if (r->type != place.type) {
                right = temporary();
                if (!convert(*r, place.type, right, e.right->pos)) return std::nullopt;
            }
            if (how) {
                may_refuse_divisor(place.type, how->what, e.pos);
                emit(arithmetic_op(how->what, place.type), place.reg, place.reg, right);
            } else {
                emit(op::move, place.reg, right);
            }
        }
        if (place.reg != into && into != dropped_) emit(op::move, into, place.reg);
        return place.type;
    }
    const std::optional<arithmetic> how = arithmetic_of(e);
    const auto general = static_cast<std::uint8_t>(how ? 1 + static_cast<int>(how->what) : 0);
    if (element) {
        // The element's own value takes the right side through its class; the expression is the element.
        const std::optional<operand> place = value_of(*element);
        if (!place) return std::nullopt;
        // A method's result is the value it gave (an element of a container, say); one the compiler
        // typed is a copy of it (a string's substr) that nothing else would see change.
        if (place->type != ty::any) {
            refuse("an assignment to the result of a method giving " + shown(*place), e.pos);
            return std::nullopt;
        }
        mark(e.pos);
        emit(op::assign_v, place->reg, r->reg, 0, general);
        if (place->reg != into && into != dropped_) emit(op::move, into, place->reg);
        return ty::any;
    }
    const variable* v = target ? local(target->name) : nullptr;
    std::optional<global_found> g;
    bool is_member = false;
    std::optional<member_place> m;
    if (!v) m = member_target(*left, is_member);
    if (is_member && !m) return std::nullopt;
    operand place{};
    bool written_as_is = false;
    const bool by_ref = v && v->by_ref;
    if (by_ref) {
        // Through the reference: read (for op=) and written back like a member.
        place = {temporary(), v->at.type};
        if (how || held(r->type)) emit(op::ref_get, place.reg, v->at.reg, 0, static_cast<int>(kind_of(place.type)));
    } else if (v) {
        place = v->at;
    } else if (m && m->site < 0) {
        place = {m->instance, ty::any};
    } else if (m && !how && !held(m->type) && r->type == m->type) {
        // `p.x= v;` of a scalar or string of the member's own type: written from the right side's register,
        // with nothing read first (set_m finds the member where get_m would, after the right side).
        place = *r;
        written_as_is = true;
    } else if (m) {
        // The member's value, read after the right side as the tree's operator finds it then; a vector
        // or instance member is its own handle and changes in place.
        place = {temporary(), m->type};
        emit(op::get_m, place.reg, m->instance, m->site, static_cast<int>(kind_of(m->type)));
    } else {
        if (!(g = global(target->name, left->pos))) return std::nullopt;
        if (g->type == ty::text && how && how->what == arith::add && into == dropped_ && !held(r->type)) {
            // `g += s;` with nothing reading its value: the global's own string grows where it stands.
            std::int32_t right = r->reg;
            if (r->type != ty::text) {
                right = temporary();
                if (!convert(*r, ty::text, right, e.right->pos)) return std::nullopt;
            }
            mark(e.pos);
            emit(op::global_append, right, g->index);
            return ty::text;
        }
        place = {temporary(), g->type};
        emit(held(g->type) ? op::global_ref : op::global_get, place.reg, g->index);
    }
    const std::optional<arithmetic> a = how;
    if (held(place.type) || held(r->type)) {
        // A vector variable takes a copy of the right side's elements through its class; a scalar
        // variable takes a value only the run knows as its class converts it.
        mark(e.pos);
        emit(op::assign_v, place.reg, r->reg, 0, general);
    } else if (written_as_is) {
        // set_m below writes the right side's register itself.
    } else if (!a) {
        if (!settle(*r, place.type, place.reg, first, e.pos)) return std::nullopt;
    } else if (place.type == ty::text && a->what == arith::add) {
        std::int32_t right = r->reg;
        if (r->type != ty::text) {
            right = temporary();
            if (!convert(*r, ty::text, right, e.right->pos)) return std::nullopt;
        }
        mark(e.pos);
        emit(op::append_t, place.reg, right, 1);
    } else if (!numeric(place.type)) {
        // A bool or a string refuses the operator: the classes decide, on a value object made of the
        // variable's value, which is written back as its kind.
        const std::int32_t boxed = temporary();
        emit(op::box, boxed, place.reg);
        mark(e.pos);
        emit(op::assign_v, boxed, r->reg, 0, general);
        emit(op::assign_v, place.reg, boxed, 0, 0);
    } else {
        std::int32_t right = r->reg;
        if (r->type != place.type) {
            right = temporary();
            if (!convert(*r, place.type, right, e.right->pos)) return std::nullopt;
        }
        if (!with_literal(arithmetic_op(a->what, place.type), place.reg, place.reg, right)) {
            may_refuse_divisor(place.type, a->what, e.pos);
            emit(arithmetic_op(a->what, place.type), place.reg, place.reg, right);
        }
    }
    if (g && !held(g->type)) emit(op::global_set, place.reg, g->index);
    if (by_ref) emit(op::ref_set, place.reg, v->at.reg, 0, static_cast<int>(kind_of(place.type)));
    if (m && !held(m->type)) emit(op::set_m, place.reg, m->instance, m->site, static_cast<int>(kind_of(m->type)));
    if (place.reg != into && into != dropped_) emit(op::move, into, place.reg);
    return place.type;
}

std::optional<ty> unit_compiler::step_by_one(const unary& e, bool up, std::int32_t into)
{
    if (const auto* m = dynamic_cast<const e_method*>(e.operand.get());
        m && ((m->builtin == method_name::at && m->arguments.size() == 1) || (m->builtin == method_name::get && m->arguments.empty())))
        return step_value(e, up, into);
    return step_target(*e.operand, e.pos, up, into);
}

std::optional<ty> unit_compiler::step_target(const expression& subject, script_pos pos, bool up, std::int32_t into)
{
    const expression* inner = &subject;
    while (const auto* c = dynamic_cast<const e_chain*>(inner)) inner = &c->top();
    // `++(++a)`, `--(a = b)`: the inner operator yields its target itself, which then steps again.
    if (const expression* aliased = aliased_target(*inner)) {
        const std::int32_t mark_ = next_;
        if (!unit_compiler::into(*inner, temporary())) return std::nullopt;
        next_ = mark_;
        return step_target(*aliased, pos, up, into);
    }
    const auto* target = dynamic_cast<const e_variable*>(inner);
    if (!target && !dynamic_cast<const e_member*>(inner)) {
        // A new value (a call's result): it steps in a temporary of its own, which nothing else sees.
        const std::optional<operand> v = value_of(*inner);
        if (!v) return std::nullopt;
        operand fresh{temporary(), v->type, v->cls};
        emit(op::move, fresh.reg, v->reg);
        if (!step_place(fresh, pos, up)) return std::nullopt;
        if (fresh.reg != into && into != dropped_) emit(op::move, into, fresh.reg);
        return fresh.type;
    }
    const variable* v = target ? local(target->name) : nullptr;
    bool is_member = false;
    std::optional<member_place> m;
    if (!v) m = member_target(*inner, is_member);
    if (is_member && !m) return std::nullopt;
    std::optional<global_found> g;
    if (target && !v && !m && !(g = global(target->name, inner->pos))) return std::nullopt;
    const bool by_ref = v && v->by_ref;
    const operand place = v && !by_ref ? v->at
                          : by_ref     ? operand{temporary(), v->at.type}
                          : g          ? operand{temporary(), g->type, g->cls}
                          : m          ? operand{temporary(), m->type}
                                       : operand{};
    if (m && m->site < 0) {
        refuse("++ or -- on a member of a value only the run knows", pos);
        return std::nullopt;
    }
    if (g) emit(held(g->type) ? op::global_ref : op::global_get, place.reg, g->index);
    if (by_ref) emit(op::ref_get, place.reg, v->at.reg, 0, static_cast<int>(kind_of(place.type)));
    if (m) emit(op::get_m, place.reg, m->instance, m->site, static_cast<int>(kind_of(m->type)));
    if (!step_place(place, pos, up)) return std::nullopt;
    if (g && !held(g->type)) emit(op::global_set, place.reg, g->index);
    if (by_ref) emit(op::ref_set, place.reg, v->at.reg, 0, static_cast<int>(kind_of(place.type)));
    if (m && !held(m->type)) emit(op::set_m, place.reg, m->instance, m->site, static_cast<int>(kind_of(m->type)));
    if (place.reg != into && into != dropped_) emit(op::move, into, place.reg);
    return place.type;
}

bool unit_compiler::step_place(const operand& place, script_pos pos, bool up)
{
    static constexpr op steps[4][2] = {{op::inc_i, op::dec_i}, {op::inc_u, op::dec_u}, {op::inc_f, op::dec_f}, {op::inc_d, op::dec_d}};
    if (numeric(place.type)) {
        emit(steps[numeric_row(place.type)][up ? 0 : 1], place.reg);
        return true;
    }
    if (place.type == ty::nil) return refuse("++ or -- on the nil a function gives", pos);
    mark(pos);
    if (held(place.type) && place.type != ty::any) {
        // A value object steps itself through its class (a ref its target; others refuse).
        emit(op::step_v, place.reg, place.reg, 0, up ? 0 : 1);
        return true;
    }
    // A bool or string (or a value only the run knows, which may sit in the register as a scalar): its
    // class steps a value object made of it, which is then written back as the place's own kind.
    const std::int32_t boxed = temporary();
    emit(op::box, boxed, place.reg);
    emit(op::step_v, boxed, boxed, 0, up ? 0 : 1);
    emit(op::assign_v, place.reg, boxed, 0, 0);
    return true;
}

const expression* unit_compiler::aliased_target(const expression& e)
{
    if (exactly<e_preincr>(e) || exactly<e_predecr>(e)) return static_cast<const unary&>(e).operand.get();
    if (exactly<e_assign>(e) || (arithmetic_of(e) && arithmetic_of(e)->assigns)) return static_cast<const binary&>(e).left.get();
    return nullptr;
}

std::optional<ty> unit_compiler::call(const e_function& e, std::int32_t into, type_id_t* cls)
{
    // The arguments go into consecutive registers at the top, where the callee's frame will start.
    std::vector<operand> given;
    std::vector<origin> from;
    if (!arguments(e.arguments, given, from)) return std::nullopt;
    const bool run_time = std::any_of(given.begin(), given.end(), [](const operand& o) { return o.type == ty::any; });
    const auto named = [&](const table::parameter_list& params) {
        std::string name = narrow(*e.name) + "(";
        for (std::size_t k = 0; k < params.size(); ++k) name += (k ? ", " : "") + all_.type_text(params[k].type);
        return name + ")";
    };
    const std::int32_t base = next_;
    // In a method, the methods of its class and of the bases come first (the instance goes on as the
    // callee's), then the functions of the top level.
    if (run_time && (owner_.defining || top_level_fits(e, given) > 1)) return dispatch_call(e, given, into, cls);
    if (owner_.defining)
        if (const std::optional<method_found> m = all_.method(*owner_.defining, e.name, given)) {
            if (!pass(given, 0, m->routine->params, from, e.pos)) return std::nullopt;
            const std::optional<std::size_t> callee = all_.function(
                *m->routine, narrow(m->cls->name) + "::" + named(m->routine->params), e.pos,
                {m->cls, owner_.receiver, owner_.offset + m->depth});
            return call_settled(*m->routine, callee, false, base, into, cls, e.pos);
        }
    // The definition whose parameter types are exactly the arguments' kinds, as a call finds at run time.
    const table::routine* found = nullptr;
    if (run_time) {
        if (!(found = run_time_overload(e, given))) return std::nullopt;
    } else {
        for (const table::routine& r : all_.root.functions->overloads(e.name)) {
            if (r.params.size() != given.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < given.size() && same; ++k) same = all_.takes(r.params[k].type, given[k]);
            if (same) found = &r;
        }
    }
    if (!found) {
        // In a method the search went through the instance's namespaces first, whose report differs.
        if (owner_.defining) {
            refuse("a call of " + narrow(*e.name) + " that no function of the program's top level takes", e.pos);
            return std::nullopt;
        }
        // The interpreter's search fails when the call runs, its arguments evaluated.
        fails(described(failure_site(failure_site::no_function, e.name), given), e.pos);
        return std::nullopt;
    }
    if (!pass(given, std::nullopt, found->params, from, e.pos)) return std::nullopt;
    return call_settled(*found, all_.function(*found, named(found->params), e.pos), false, base, into, cls, e.pos);
}

std::size_t unit_compiler::top_level_fits(const e_function& e, const std::vector<operand>& given) const
{
    std::size_t count = 0;
    for (const table::routine& r : all_.root.functions->overloads(e.name)) count += fits_known(r, given) ? 1 : 0;
    return count;
}

bool unit_compiler::fits_known(const table::routine& r, const std::vector<operand>& given) const
{
    if (r.params.size() != given.size()) return false;
    for (std::size_t k = 0; k < given.size(); ++k)
        if (given[k].type != ty::any && !all_.takes(r.params[k].type, given[k])) return false;
    return true;
}

std::optional<ty> unit_compiler::dispatch_call(const e_function& e, const std::vector<operand>& given, std::int32_t into, type_id_t* cls)
{
    // Every definition the run could reach, in the order the tree's search meets them: in a method its
    // class's and the bases', then the top level's.
    struct reached {
        const table::routine* routine;
        const object* cls;
        std::uint32_t depth;
    };
    std::vector<reached> found;
    if (owner_.defining) {
        std::uint32_t depth = 0;
        for (const object* c = owner_.defining; c; c = c->base_id ? all_.class_of(c->base_id) : nullptr, ++depth)
            for (const table::routine& r : c->functions->overloads(e.name))
                if (fits_known(r, given)) found.push_back({&r, c, depth});
    }
    for (const table::routine& r : all_.root.functions->overloads(e.name))
        if (fits_known(r, given)) found.push_back({&r, nullptr, 0});
    if (found.empty()) {
        if (owner_.defining) {
            refuse("a call of " + narrow(*e.name) + " in a method that no definition takes", e.pos);
            return std::nullopt;
        }
        fails(described(failure_site(failure_site::no_function, e.name), given), e.pos);
        return std::nullopt;
    }
    for (const operand& v : given)
        if (v.type != ty::any && !numeric(v.type) && v.type != ty::boolean && v.type != ty::text && !container(v.type) &&
            v.type != ty::instance) {
            refuse("a call whose definition only the run chooses, with an argument of " + word(v.type), e.pos);
            return std::nullopt;
        }
    dispatch_site site{e.name, static_cast<std::uint32_t>(given.size()), owner_.defining != nullptr, owner_.offset, {}};
    std::optional<ty> result;
    type_id_t result_cls = 0;
    bool alike = true;
    // Whether each argument is passed by reference (its own handle) to every candidate: a known container
    // is copied for a parameter by value, so all must take it alike.
    std::vector<std::optional<bool>> by_ref(given.size());
    for (const reached& r : found) {
        dispatch_site::candidate c{0, r.cls != nullptr, {}, {}};
        std::string name = narrow(*e.name) + "(";
        for (std::size_t k = 0; k < given.size(); ++k) {
            const table::parameter& p = r.routine->params[k];
            const std::optional<ty> t = all_.typed(p.type);
            name += (k ? ", " : "") + all_.type_text(p.type);
            // A value object by reference is its own handle; a scalar would need its place.
            const bool known = given[k].type != ty::any;
            if (!t || (p.reference && !held(*t)) || (known && by_ref[k] && *by_ref[k] != p.reference)) {
                refuse("a call whose definition only the run chooses, to a parameter " +
                           std::string(p.reference ? "taken by reference" : "of type " + all_.type_text(p.type)),
                       e.pos);
                return std::nullopt;
            }
            if (known) by_ref[k] = p.reference;
            if (p.reference) {
                c.classes.push_back(known ? 0 : p.type);
                c.prepare.push_back(0);
                continue;
            }
            if (given[k].type != ty::any) {
                c.classes.push_back(0);
                c.prepare.push_back(0);
                continue;
            }
            // The argument's class must be the parameter's; a scalar or string is read out of its value,
            // a container copied, an instance copied by the callee as its frame begins.
            c.classes.push_back(p.type);
            if (numeric(*t) || *t == ty::boolean || *t == ty::text) c.prepare.push_back(1);
            else if (container(*t)) c.prepare.push_back(2);
            else if (*t == ty::instance) c.prepare.push_back(0);
            else {
                refuse("a call whose definition only the run chooses, to a parameter of type " + all_.type_text(p.type), e.pos);
                return std::nullopt;
            }
        }
        name += ")";
        const std::optional<std::size_t> callee =
            r.cls ? all_.function(*r.routine, narrow(r.cls->name) + "::" + name, e.pos, {r.cls, owner_.receiver, owner_.offset + r.depth})
                  : all_.function(*r.routine, name, e.pos);
        if (!callee) return std::nullopt;
        c.unit = static_cast<std::uint32_t>(*callee);
        const std::optional<ty> gives = all_.gives(*r.routine);
        if (&r == &found.front()) {
            result = gives;
            result_cls = r.routine->return_type;
        } else if (gives != result || (gives && classed(*gives) && r.routine->return_type != result_cls)) {
            alike = false;
        }
        site.candidates.push_back(std::move(c));
    }
    // The instance (in a method), then the arguments, copied where the language copies a known one.
    const std::int32_t base = next_;
    if (owner_.defining) emit(op::move, temporary(), 0);
    for (std::size_t k = 0; k < given.size(); ++k) {
        const std::int32_t to = temporary();
        emit(container(given[k].type) && !by_ref[k].value_or(false) ? op::clone : op::move, to, given[k].reg);
    }
    const std::optional<int> flags = call_flags(false, e.pos);
    if (!flags) return std::nullopt;
    u().dispatches.push_back(std::move(site));
    mark(e.pos);
    emit(op::call_v, into, static_cast<std::int32_t>(u().dispatches.size() - 1), base, *flags);
    next_ = base;
    if (!alike || !result) return ty::any;
    if (cls) *cls = result_cls;
    return result;
}

const table::routine* unit_compiler::run_time_overload(const e_function& e, const std::vector<operand>& given)
{
    // Every definition the run could reach: those whose other parameters the known arguments fit.
    const table::routine* found = nullptr;
    std::size_t count = 0;
    for (const table::routine& r : all_.root.functions->overloads(e.name)) {
        if (r.params.size() != given.size()) continue;
        bool fits = true;
        for (std::size_t k = 0; k < given.size() && fits; ++k) fits = given[k].type == ty::any || all_.takes(r.params[k].type, given[k]);
        if (fits) {
            found = &r;
            ++count;
        }
    }
    if (count == 0 && !owner_.defining) {
        // No definition fits the arguments whose classes the compiler knows: the call always fails.
        fails(described(failure_site(failure_site::no_function, e.name), given), e.pos);
        return nullptr;
    }
    if (count != 1) {
        refuse("a call of " + narrow(*e.name) + " with an argument whose class only the run knows, which " +
                   (count ? "several definitions" : "no definition") + " may take",
               e.pos);
        return nullptr;
    }
    // With one definition possible, a value of another class is a call that nothing takes: the check
    // reports it as the interpreter's search does.
    check_site site{e.name, {}, {}};
    for (std::size_t k = 0; k < given.size(); ++k) {
        site.registers.push_back(given[k].reg);
        site.classes.push_back(given[k].type == ty::any ? found->params[k].type : 0);
    }
    u().checks.push_back(std::move(site));
    mark(e.pos);
    emit(op::check_call, static_cast<std::int32_t>(u().checks.size() - 1));
    return found;
}

std::optional<method_found> unit_compiler::run_time_method(const e_method& e, const object& receiver, std::int32_t instance,
                                                          const std::vector<operand>& given)
{
    // Every method of the class and its bases whose other parameters the known arguments fit.
    std::optional<method_found> found;
    std::size_t count = 0;
    std::uint32_t depth = 0;
    for (const object* c = &receiver; c; c = c->base_id ? all_.class_of(c->base_id) : nullptr, ++depth)
        for (const table::routine& r : c->functions->overloads(e.interned)) {
            if (r.params.size() != given.size()) continue;
            bool fits = true;
            for (std::size_t k = 0; k < given.size() && fits; ++k)
                fits = given[k].type == ty::any || all_.takes(r.params[k].type, given[k]);
            if (fits) {
                found = method_found{&r, c, depth};
                ++count;
            }
        }
    if (count != 1) {
        refuse("a method call with an argument whose class only the run knows, which " +
                   std::string(count ? "several methods" : "no method") + " may take",
               e.pos);
        return std::nullopt;
    }
    // A value of another class is a call the instance's own search refuses when it runs.
    check_site site{e.interned, {}, {}, instance};
    for (std::size_t k = 0; k < given.size(); ++k) {
        site.registers.push_back(given[k].reg);
        site.classes.push_back(given[k].type == ty::any ? found->routine->params[k].type : 0);
    }
    u().checks.push_back(std::move(site));
    mark(e.pos);
    emit(op::check_call, static_cast<std::int32_t>(u().checks.size() - 1));
    return found;
}

bool unit_compiler::arguments(const expr_list& list, std::vector<operand>& given, std::vector<origin>& from)
{
    for (const expr& a : list) {
        const expression* e = a.get();
        while (const auto* c = dynamic_cast<const e_chain*>(e)) e = &c->top();
        origin o;
        if (const auto* v = dynamic_cast<const e_variable*>(e)) {
            if (const variable* found = local(v->name)) {
                o = {found->by_ref ? origin::referred : origin::local, found->at.reg, 0, found->object_held};
            } else if (!own_member(v->name)) {
                const std::optional<global_found> g = global(v->name, e->pos);
                if (!g) return false;
                o = {origin::global, 0, g->index};
            }
        } else if (dynamic_cast<const e_assign*>(e) || dynamic_cast<const e_preincr*>(e) || dynamic_cast<const e_predecr*>(e) ||
                   (arithmetic_of(*e) && arithmetic_of(*e)->assigns)) {
            o.how = origin::aliased;
        }
        const std::size_t emitted = u().code.size();
        const std::optional<operand> v = value_of(*a);
        if (!v) return false;
        // A member read (`a.x`, or a plain member name in a method) ends in the get_m that fetched it.
        if (o.how == origin::fresh && u().code.size() > emitted && !held(v->type)) {
            const instr& last = u().code.back();
            if (last.code == op::get_m && last.a == v->reg) o = {origin::member, last.b, last.c};
        }
        given.push_back(*v);
        from.push_back(o);
    }
    return true;
}

std::optional<std::int32_t> unit_compiler::stage_method(const e_method& e, const std::vector<operand>& given,
                                                        std::int32_t& base, std::int32_t temporaries)
{
    for (const operand& v : given)
        if (v.type == ty::nil) {
            refuse("handing a method the nil a function gives", e.pos);
            return std::nullopt;
        }
    base = next_;
    for (const operand& v : given) emit(v.reg >= temporaries ? op::take : op::move, temporary(), v.reg);
    u().methods.push_back({e.builtin, base, static_cast<std::uint32_t>(given.size()), e.interned});
    return static_cast<std::int32_t>(u().methods.size() - 1);
}

std::optional<ty> unit_compiler::method(const e_method& e, std::int32_t into, type_id_t* cls)
{
    const std::int32_t first_temporary = next_;
    // The arguments before the receiver, as the tree interpreter evaluates them.
    std::vector<operand> given;
    std::vector<origin> from;
    if (!arguments(e.arguments, given, from)) return std::nullopt;
    const std::optional<operand> target = value_of(*e.operand);
    if (!target) return std::nullopt;
    if (target->type == ty::instance) {
        // A method of the instance's class or of a base, by the arguments' exact types; it runs on the
        // instance itself, which goes first in the callee's frame. With an argument whose class only the
        // run knows, the one method that may take it, its classes checked when the call runs.
        const object& receiver = *all_.class_of(target->cls);
        const bool run_time = std::any_of(given.begin(), given.end(), [](const operand& o) { return o.type == ty::any; });
        const std::optional<method_found> m =
            run_time ? run_time_method(e, receiver, target->reg, given) : all_.method(receiver, e.interned, given);
        if (run_time && !m) return std::nullopt;
        if (!m) {
            // An argument whose class only the run knows may yet be of the type a method takes.
            if (std::any_of(given.begin(), given.end(), [](const operand& o) { return o.type == ty::any; })) {
                refuse("a method call with an argument whose class only the run knows", e.pos);
                return std::nullopt;
            }
            // Neither the class nor a base takes these types: the instance's own search refuses the call
            // at run time (a global function of the name is never a method).
            std::int32_t base = 0;
            const std::optional<std::int32_t> entry = stage_method(e, given, base);
            if (!entry) return std::nullopt;
            mark(e.pos);
            emit(op::no_method, into, *entry, target->reg);
            next_ = base;
            return ty::any;
        }
        std::string name = narrow(m->cls->name) + "::" + narrow(e.name) + "(";
        for (std::size_t k = 0; k < given.size(); ++k) name += (k ? ", " : "") + all_.type_text(m->routine->params[k].type);
        const std::int32_t base = next_;
        if (!pass(given, target->reg, m->routine->params, from, e.pos)) return std::nullopt;
        const std::optional<std::size_t> callee = all_.function(*m->routine, name + ")", e.pos, {m->cls, target->cls, m->depth});
        return call_settled(*m->routine, callee, true, base, into, cls, e.pos);
    }
    if (target->type == ty::text) return text_method(e, target->reg, given, into);
    if (target->type == ty::builtin) {
        // A ref's get is its target's own handle; any other call goes to the value's method slot, which
        // refuses what its class does not take.
        if (target->cls == tid::ref && e.builtin == method_name::get && given.empty()) {
            emit(op::get_r, into, target->reg);
            return ty::any;
        }
        const bool reading = target->cls == tid::timer && given.empty() &&
                             (e.builtin == method_name::start || e.builtin == method_name::restart || e.builtin == method_name::elapsed);
        std::int32_t base = 0;
        const std::optional<std::int32_t> entry = stage_method(e, given, base);
        if (!entry) return std::nullopt;
        mark(e.pos);
        emit(op::method_v, into, *entry, target->reg, reading ? static_cast<int>(kind::double_) : 0);
        next_ = base;
        return reading ? ty::double_ : ty::any;
    }
    if (numeric(target->type) || target->type == ty::boolean) {
        // frexp assigns to its argument's own value: the value it is handed goes back into the variable
        // it was read from after the call (an element changes in place, being its own handle).
        const bool writes_back = e.builtin == method_name::frexp;
        write_backs back(given.size());
        for (std::size_t k = 0; writes_back && k < given.size(); ++k) {
            // The tree's assignment or ++ hands frexp its target itself, which a copy would not change.
            if (from[k].how == origin::aliased) {
                refuse("the number method frexp into the value of an assignment or ++", e.pos);
                return std::nullopt;
            }
            const auto* name = dynamic_cast<const e_variable*>(e.arguments[k].get());
            if (held(given[k].type) || !name) continue;
            if (!(back[k].first = local(name->name))) {
                if (own_member(name->name)) {
                    refuse("the number method frexp into a member", e.pos);
                    return std::nullopt;
                }
                back[k].second = global(name->name, e.arguments[k]->pos);
                if (!back[k].second) return std::nullopt;
            }
        }
        // A number's methods give a number of its own type or a text (a truth for is_infinity); a bool
        // has none, and its refusal gives nothing.
        std::optional<ty> gives;
        if (numeric(target->type)) {
            switch (e.builtin) {
            case method_name::char_: case method_name::pad: case method_name::fixed: case method_name::precision:
                gives = ty::text;
                break;
            case method_name::is_infinity: gives = ty::boolean; break;
            default: gives = target->type; break;
            }
        }
        std::int32_t base = 0;
        const std::optional<std::int32_t> entry = stage_method(e, given, base);
        if (!entry) return std::nullopt;
        u().methods[static_cast<std::size_t>(*entry)].writes_back = writes_back;
        mark(e.pos);
        emit(op::method_v, into, *entry, target->reg, gives ? static_cast<int>(kind_of(*gives)) : 0);
        write_back(back, base);
        next_ = base;
        return gives ? *gives : ty::any;
    }
    if (const variable* p = process_variable(*e.operand)) {
        // A process value answers exit and id; its class refuses any other call.
        std::optional<ty> gives;
        if (given.empty() && e.builtin == method_name::exit) gives = ty::boolean;
        if (given.empty() && e.builtin == method_name::id) gives = ty::uint_;
        std::int32_t base = 0;
        const std::optional<std::int32_t> entry = stage_method(e, given, base);
        if (!entry) return std::nullopt;
        mark(e.pos);
        emit(op::method_v, into, *entry, p->at.reg, gives ? static_cast<int>(kind_of(*gives)) : 0);
        next_ = base;
        return gives ? *gives : ty::any;
    }
    if (target->type == ty::any) return any_method(e, target->reg, given, into, first_temporary);
    if (!container(target->type)) {
        refuse("a method of " + word(target->type), e.pos);
        return std::nullopt;
    }
    return container_method(e, *target, given, into, first_temporary);
}

// ---- methods of containers and of values only the run knows ---------------------------------------------

// What a container's method gives, when the compiler can tell: a count, a truth, a new vector (a hash's
// keys or values); every other result stays the value the method gave (an element's own handle).
std::optional<ty> container_result(ty container, method_name m)
{
    switch (m) {
    case method_name::size: return ty::uint_;
    case method_name::empty: return ty::boolean;
    case method_name::exist: return container == ty::hash ? std::optional<ty>(ty::boolean) : std::nullopt;
    case method_name::keys: case method_name::values:
        return container == ty::hash ? std::optional<ty>(ty::vector) : std::nullopt;
    default: break;
    }
    return std::nullopt;
}

std::optional<ty> unit_compiler::container_method(const e_method& e, const operand& target, const std::vector<operand>& given,
                                                  std::int32_t into, std::int32_t temporaries)
{
    // A vector's at with a typed index and size are instructions of their own.
    if (target.type == ty::vector && e.builtin == method_name::at && given.size() == 1 &&
        (given[0].type == ty::int_ || given[0].type == ty::uint_)) {
        mark(e.pos);
        emit(op::at, into, target.reg, given[0].reg);
        return ty::any;
    }
    if (e.builtin == method_name::size && given.empty()) {
        emit(op::size, into, target.reg, 0, target.type == ty::vector ? 0 : target.type == ty::list ? 1 : 2);
        return ty::uint_;
    }
    // A hash's at and exist, the lookups scripts make most, are instructions of their own.
    if (target.type == ty::hash && given.size() == 1 && (e.builtin == method_name::at || e.builtin == method_name::exist) &&
        given[0].type != ty::nil) {
        mark(e.pos);
        emit(e.builtin == method_name::at ? op::hash_at : op::hash_has, into, target.reg, given[0].reg);
        return e.builtin == method_name::at ? ty::any : ty::boolean;
    }
    const std::string name = narrow(e.name);
    const method_signatures table = target.type == ty::vector ? vector_::methods()
                                    : target.type == ty::list ? list_::methods()
                                                              : hash_::methods();
    const bool listed = std::any_of(table.begin(), table.end(),
                                    [&](const method_signature& m) { return m.name == name && m.argc == given.size(); });
    std::int32_t base = 0;
    const std::optional<std::int32_t> entry = stage_method(e, given, base, temporaries);
    if (!entry) return std::nullopt;
    mark(e.pos);
    if (!listed) {
        // No such method, or not with this many arguments: the container's own refusal, at run time.
        emit(op::no_method, into, *entry, target.reg);
        next_ = base;
        return ty::any;
    }
    if (e.builtin == method_name::sort_by) {
        // Its keys are script methods of the elements: through the container's method slot, which runs
        // them on the interpreter's class code (their throws come back as the slot raises them).
        emit(op::method_v, into, *entry, target.reg, 0);
        next_ = base;
        return ty::any;
    }
    const std::optional<ty> gives = container_result(target.type, e.builtin);
    emit(op::method, into, *entry, target.reg, gives ? 1 : 0);
    next_ = base;
    return gives ? *gives : ty::any;
}

std::optional<ty> unit_compiler::any_method(const e_method& e, std::int32_t receiver, const std::vector<operand>& given,
                                            std::int32_t into, std::int32_t temporaries)
{
    // Only the run knows the receiver's class: the tree interpreter's own way, a built-in method by its
    // name first, else the value's method slot. An instance of a class whose script method these
    // argument types reach runs that method's vm unit, compiled here for each such class (a method the vm
    // cannot compile, or one taking a reference or a container, runs on the interpreter's class code).
    std::vector<std::pair<type_id_t, std::uint32_t>> units = receiver_units(e, given, into == dropped_);
    const std::int32_t mark_ = next_;
    if (!units.empty()) {
        const std::int32_t staged = temporary();  // the receiver goes first in the callee's frame
        emit(op::move, staged, receiver);
        receiver = staged;
    }
    std::int32_t base = 0;
    const std::optional<std::int32_t> entry = stage_method(e, given, base, temporaries);
    if (!entry) return std::nullopt;
    u().methods[static_cast<std::size_t>(*entry)].units = std::move(units);
    mark(e.pos);
    emit(op::method_any, into, *entry, receiver, u().methods[static_cast<std::size_t>(*entry)].units.empty() ? 0 : 1);
    next_ = mark_;
    return ty::any;
}

std::vector<std::pair<type_id_t, std::uint32_t>> unit_compiler::receiver_units(const e_method& e, const std::vector<operand>& given,
                                                                             bool dropped)
{
    std::vector<std::pair<type_id_t, std::uint32_t>> units;
    if (std::any_of(given.begin(), given.end(), [](const operand& o) { return o.type == ty::any || o.type == ty::nil || container(o.type); }))
        return units;
    for (const auto& [id, cls] : *all_.root.classes) {
        const std::optional<method_found> m = all_.method(*cls, e.interned, given);
        if (!m || std::any_of(m->routine->params.begin(), m->routine->params.end(), [](const table::parameter& p) { return p.reference; }))
            continue;
        // The result waits in a register, where nil is no value object: a method giving nil is run here
        // only where the statement drops its value, else on the tree's class code, which gives a nil value.
        const std::optional<ty> returns = all_.typed(m->routine->return_type);
        if (!returns || (*returns == ty::nil && !dropped)) continue;
        std::string name = narrow(m->cls->name) + "::" + narrow(e.name) + "(";
        for (std::size_t k = 0; k < given.size(); ++k) name += (k ? ", " : "") + all_.type_text(m->routine->params[k].type);
        // Compiled on trial: a method the vm refuses leaves nothing behind, and the class code runs it.
        const std::optional<refusal> refused = all_.refused;
        const std::size_t before = all_.code.units.size();
        const std::optional<std::size_t> callee = all_.function(*m->routine, name + ")", e.pos, {m->cls, id, m->depth});
        if (!callee) {
            all_.refused = refused;
            std::erase_if(all_.units, [&](const auto& entry) { return entry.second >= before; });
            continue;
        }
        units.emplace_back(id, static_cast<std::uint32_t>(*callee));
    }
    return units;
}

// ---- string methods ------------------------------------------------------------------------------------

// The type of what a string method gives (each gives one class of value, whatever its arguments).
ty text_method_result(method_name m)
{
    switch (m) {
    case method_name::empty: case method_name::match: case method_name::starts_with: case method_name::ends_with:
        return ty::boolean;
    case method_name::size: case method_name::find: return ty::uint_;
    case method_name::code: case method_name::to_int: return ty::int_;
    case method_name::to_double: return ty::double_;
    case method_name::split: case method_name::search: return ty::vector;
    default: break;
    }
    return ty::text;
}

std::optional<ty> unit_compiler::text_method(const e_method& e, std::int32_t text, const std::vector<operand>& given,
                                             std::int32_t into)
{
    // size, and at with a typed index, are instructions of their own.
    if (e.builtin == method_name::at && given.size() == 1 && (given[0].type == ty::int_ || given[0].type == ty::uint_)) {
        mark(e.pos);
        emit(op::text_at, into, text, given[0].reg);
        return ty::text;
    }
    if (e.builtin == method_name::size && given.empty()) {
        emit(op::text_size, into, text);
        return ty::uint_;
    }
    std::int32_t base = 0;
    const std::optional<std::int32_t> entry = stage_method(e, given, base);
    if (!entry) return std::nullopt;
    mark(e.pos);
    const std::string name = narrow(e.name);
    const method_signatures table = string_<wchar_t>::methods();
    const bool listed = std::any_of(table.begin(), table.end(),
                                    [&](const method_signature& m) { return m.name == name && m.argc == given.size(); });
    if (!listed) {
        // No such method of a string, or not with this many arguments: the string's own refusal, at run time.
        emit(op::no_method, into, *entry, text);
        next_ = base;
        return ty::any;
    }
    // The result in a slot of its kind (a vector by its handle).
    emit(op::method, into, *entry, text, 1);
    next_ = base;
    return text_method_result(e.builtin);
}

std::optional<ty> unit_compiler::native(const e_native& e, std::int32_t into)
{
    // write gives nil and debug the value's description; what any other native gives is known when it
    // has run, and is held by its handle like an element. A native no table defines (a group the command
    // line left out) is refused by the namespace's native call when it runs, as on the tree interpreter.
    // sleep sets the wake time of the fiber taking its step, which the scheduler's passes read.
    const bool defined = all_.root.natives->has(e.name);
    const ty gives = !defined ? ty::any : e.name == L"write" ? ty::nil : e.name == L"debug" ? ty::text : ty::any;
    // read and read_line change the value they are given, which the tree interpreter hands them as the
    // variable's own value: here a copy is handed, and written back into the variable after the call.
    const bool writes_back = e.name == L"read" || e.name == L"read_line";
    std::vector<operand> given;
    for (const expr& a : e.arguments) {
        const std::optional<operand> v = value_of(*a);
        if (!v) return std::nullopt;
        // debug describes an instance as its class does; what another native does with one (write
        // through a conversion) is not settled here yet.
        if (v->type == ty::nil || (v->type == ty::instance && gives != ty::text)) {
            refuse("handing a native the nil a function gives, or an instance", e.pos);
            return std::nullopt;
        }
        given.push_back(*v);
    }
    // Where each changed argument goes back to: a local's register or a global (an element changes in
    // place, being its own handle).
    write_backs back(given.size());
    if (writes_back)
        for (std::size_t k = 0; k < given.size(); ++k) {
            if (given[k].type == ty::any || held(given[k].type)) continue;
            const auto* name = dynamic_cast<const e_variable*>(e.arguments[k].get());
            if (name) back[k].first = local(name->name);
            if (name && !back[k].first) back[k].second = global(name->name, e.arguments[k]->pos);
            if (!back[k].first && !back[k].second) {
                refuse("using::" + narrow(e.name) + " into something other than a variable or an element", e.pos);
                return std::nullopt;
            }
        }
    const std::int32_t base = next_;
    for (const operand& v : given) emit(op::move, temporary(), v.reg);
    auto [at, added] = all_.natives.emplace(std::pair(e.name, given.size()), static_cast<std::int32_t>(all_.code.natives.size()));
    if (added)
        all_.code.natives.push_back({e.name, static_cast<std::uint32_t>(given.size()), kind_of(gives), writes_back});
    mark(e.pos);
    emit(op::native, into, at->second, base);
    write_back(back, base);
    next_ = base;
    return gives;
}

bool unit_compiler::pass(const std::vector<operand>& given, std::optional<std::int32_t> instance,
                         const table::parameter_list& taking, const std::vector<origin>& from, script_pos at)
{
    if (instance) emit(op::move, temporary(), *instance);
    for (std::size_t k = 0; k < given.size(); ++k) {
        const operand& v = given[k];
        const table::parameter& p = taking[k];
        const std::int32_t to = temporary();
        if (!p.reference) {
            // A parameter by value is a copy of the argument: a vector's is made here, an instance's by the
            // callee as its frame begins (see body), where a copy constructor of the class runs under the
            // tree interpreter's calls too. A value only the run knows was checked to be of the
            // parameter's class: a scalar is read out of it as a declaration of that class reads it.
            const ty t = v.type == ty::any ? *all_.typed(p.type) : v.type;
            if (container(t) || t == ty::builtin) emit(op::clone, to, v.reg);
            else if (v.type == ty::any && !held(t)) emit(op::make, to, static_cast<std::int32_t>(p.type), v.reg, 1);
            else emit(op::move, to, v.reg);
            continue;
        }
        // By reference: a value object is its own handle; a scalar or string is reached where it lives.
        if (held(v.type) && v.type != ty::any) {
            emit(op::move, to, v.reg);
            continue;
        }
        if (v.type == ty::any && held(*all_.typed(p.type))) {
            emit(op::move, to, v.reg);
            continue;
        }
        switch (from[k].how) {
        case origin::local: emit(op::ref_of, to, from[k].reg); break;
        case origin::referred: emit(op::move, to, from[k].reg); break;
        case origin::global: emit(op::global_ref, to, from[k].index); break;
        case origin::member: emit(op::get_m, to, from[k].reg, from[k].index, static_cast<int>(kind::object)); break;
        // A new value (an element's handle too) waits in the caller's register until the call returns.
        case origin::fresh: emit(op::ref_of, to, v.reg); break;
        case origin::aliased: return refuse("handing the value of an assignment or ++ to a reference parameter", at);
        }
    }
    return true;
}

std::string unit_compiler::shown(const operand& o) const
{
    return classed(o.type) ? all_.type_text(o.cls) : word(o.type);
}

std::optional<member_found> unit_compiler::own_member(symbol name) const
{
    if (!owner_.defining) return std::nullopt;
    std::optional<member_found> m = all_.member(*owner_.defining, name);
    if (m) m->site.depth += owner_.offset;
    return m;
}

std::optional<operand> unit_compiler::read_member(const member_found& m, std::int32_t instance, std::int32_t into, script_pos at)
{
    const std::optional<ty> t = all_.typed(m.type.type);
    if (!t || *t == ty::nil) {
        refuse("a member of type " + all_.type_text(m.type.type), at);
        return std::nullopt;
    }
    u().members.push_back(m.site);
    mark(at);
    emit(op::get_m, into, instance, static_cast<std::int32_t>(u().members.size() - 1), static_cast<int>(kind_of(*t)));
    return operand{into, *t, classed(*t) ? m.type.type : 0};
}

std::optional<operand> unit_compiler::member(const e_member& e, std::int32_t into)
{
    // Read, the member of any value is found after its operand is computed, as the tree's access finds
    // it (a ref's target, a method's result); only an assignment's target needs an operand it may read
    // again (member_target).
    const std::optional<operand> of = value_of(*e.operand);
    if (!of) return std::nullopt;
    if (of->type == ty::any) {
        // A value whose class only the run knows (an element): its member is found by name, as the
        // tree interpreter's member access finds it, and is its own handle.
        u().members.push_back({e.interned, 0, 0});
        mark(e.pos);
        emit(op::member_v, into, of->reg, static_cast<std::int32_t>(u().members.size() - 1));
        return operand{into, ty::any};
    }
    if (of->type != ty::instance) {
        refuse("a member of " + word(of->type), e.pos);
        return std::nullopt;
    }
    const object& cls = *all_.class_of(of->cls);
    const std::optional<member_found> m = all_.member(cls, e.interned);
    if (!m) {
        // No part of the instance has it: reading it is the instance's own refusal, at run time.
        u().members.push_back({e.interned, 0, 0});
        mark(e.pos);
        emit(op::get_m, into, of->reg, static_cast<std::int32_t>(u().members.size() - 1), static_cast<int>(kind::object));
        return operand{into, ty::any};
    }
    return read_member(*m, of->reg, into, e.pos);
}

bool unit_compiler::member_operand(const expression& e)
{
    if (dynamic_cast<const e_variable*>(&e)) return true;
    if (const auto* m = dynamic_cast<const e_member*>(&e)) return member_operand(*m->operand);
    if (const auto* at = dynamic_cast<const e_method*>(&e))
        return at->builtin == method_name::at && at->arguments.size() == 1 && member_operand(*at->operand) &&
               (dynamic_cast<const e_variable*>(at->arguments.front().get()) ||
                dynamic_cast<const e_constant<signed_<int>, int>*>(at->arguments.front().get()));
    return false;
}

std::optional<unit_compiler::member_place> unit_compiler::member_target(const expression& target, bool& is_member)
{
    std::optional<member_found> m;
    std::int32_t instance = 0;
    script_pos at = target.pos;
    if (const auto* v = dynamic_cast<const e_variable*>(&target)) {
        if (!(m = own_member(v->name))) return std::nullopt;
        is_member = true;
    } else if (const auto* e = dynamic_cast<const e_member*>(&target)) {
        is_member = true;
        if (!member_operand(*e->operand)) {
            refuse("a member of something other than a variable, a member or an element", e->pos);
            return std::nullopt;
        }
        const std::optional<operand> of = value_of(*e->operand);
        if (!of) return std::nullopt;
        if (of->type == ty::any) {
            // Found by name at run time (see member); the handle then changes in place.
            u().members.push_back({e->interned, 0, 0});
            mark(at);
            const std::int32_t place = temporary();
            emit(op::member_v, place, of->reg, static_cast<std::int32_t>(u().members.size() - 1));
            return member_place{place, -1, ty::any};
        }
        if (of->type != ty::instance) {
            refuse("a member of " + word(of->type), e->pos);
            return std::nullopt;
        }
        const object& cls = *all_.class_of(of->cls);
        if (!(m = all_.member(cls, e->interned))) {
            refuse("the member " + narrow(e->name) + ", which class " + narrow(cls.name) + " does not declare", e->pos);
            return std::nullopt;
        }
        instance = of->reg;
    } else {
        return std::nullopt;
    }
    const std::optional<ty> t = all_.typed(m->type.type);
    if (!t || *t == ty::nil) {
        refuse("a member of type " + all_.type_text(m->type.type), at);
        return std::nullopt;
    }
    u().members.push_back(m->site);
    mark(at);
    return member_place{instance, static_cast<std::int32_t>(u().members.size() - 1), *t};
}

bool unit_compiler::construct(type_id_t type, const expr_list& arguments, std::int32_t into, script_pos at)
{
    const std::int32_t first_temporary = next_;
    std::vector<operand> given;
    for (const expr& a : arguments) {
        const std::optional<operand> v = value_of(*a);
        if (!v) return false;
        if (v->type == ty::nil) return refuse("handing a constructor the nil a function gives", at);
        given.push_back(*v);
    }
    if (given.size() > 255) return refuse("a construction with more than 255 arguments", at);
    if (all_.construction_escapes(type))
        return refuse("an instance of " + all_.type_text(type) + ", whose construction may break or continue", at);
    // A reference parameter binds the argument's own value: a vector's or an instance's is its handle; a
    // scalar or string variable's is its value object, which the variable is boxed for (as for a ref).
    for (const table::routine& r : all_.class_of(type)->constructors->all()) {
        if (r.params.size() != given.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < given.size() && same; ++k) same = all_.takes(r.params[k].type, given[k]);
        if (!same) continue;
        for (std::size_t k = 0; k < given.size(); ++k) {
            if (!r.params[k].reference || held(given[k].type)) continue;
            const expression* e = arguments[k].get();
            while (const auto* c = dynamic_cast<const e_chain*>(e)) e = &c->top();
            // A variable or member is read again for its own value (reading changes nothing); any other
            // argument is a new value, which nothing else sees.
            if (dynamic_cast<const e_assign*>(e) || dynamic_cast<const e_preincr*>(e) || dynamic_cast<const e_predecr*>(e) ||
                (arithmetic_of(*e) && arithmetic_of(*e)->assigns))
                return refuse("handing the value of an assignment or ++ to a constructor's reference parameter", at);
            if (dynamic_cast<const e_variable*>(e) || (dynamic_cast<const e_member*>(e) && member_operand(*e))) {
                const std::optional<std::int32_t> own = target_of(arguments[k]);
                if (!own) return false;
                given[k].reg = *own;
            } else {
                const std::int32_t reg = temporary();
                emit(op::box, reg, given[k].reg);
                given[k].reg = reg;
            }
        }
    }
    // The arguments in consecutive registers, as make reads them.
    std::int32_t base = given.empty() ? 0 : given.front().reg;
    if (given.size() > 1) {
        base = next_;
        for (const operand& v : given) emit(op::move, temporary(), v.reg);
    }
    mark(at);
    // Scalars and strings handed to a construction that runs no script statement: made by new_i.
    std::vector<recipe_source> sources;
    for (std::size_t k = 0; k < given.size(); ++k)
        if (given[k].type != ty::nil && type_id_of(given[k].type) != tid::nil)
            sources.push_back({false, static_cast<std::int32_t>(k), given[k].type});
    if (sources.size() == given.size())
        if (const std::optional<std::int32_t> made = recipe(type, sources, 0)) {
            emit(op::new_i, into, *made, base, static_cast<int>(given.size()));
            return true;
        }
    // A new instance of the class (a call's result, a construction) that nothing else holds may become
    // the copy itself when the copy would be a plain one.
    if (given.size() == 1 && given[0].type == ty::instance && given[0].cls == type && given[0].reg >= first_temporary) {
        emit(op::take_i, into, given[0].reg, static_cast<std::int32_t>(type));
        return true;
    }
    emit(op::make, into, static_cast<std::int32_t>(type), base, static_cast<int>(given.size()));
    return true;
}

// ---- instances made by instructions ------------------------------------------------------------------

std::optional<std::int32_t> unit_compiler::recipe(type_id_t type, const std::vector<recipe_source>& given, unsigned nesting)
{
    // A class holding itself (through members or bases) recurses until the call depth fails: make's work.
    constexpr unsigned deepest = 16;
    const object* cls = all_.class_of(type);
    if (!cls || nesting > deepest) return std::nullopt;
    instance_recipe made;
    made.cls = all_.root.get_object(type);
    // The constructor the tree's exact search finds for arguments of these types.
    const table::routine* chosen = nullptr;
    for (const table::routine& r : cls->constructors->all()) {
        if (r.params.size() != given.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < given.size() && same; ++k) same = r.params[k].type == type_id_of(given[k].type);
        if (same) chosen = &r;
    }
    std::uint32_t inner = 0;  // the deepest nesting of the parts' constructions
    auto deeper = [&](std::int32_t part) { inner = std::max(inner, u().recipes[static_cast<std::size_t>(part)].depth); };
    if (!chosen) {
        // Default construction: the base from nothing, then each member in the member table's order. With
        // arguments and no constructor taking them, the tree refuses, as make will.
        if (!given.empty()) return std::nullopt;
        if (cls->base_id) {
            const std::optional<std::int32_t> base = recipe(cls->base_id, {}, nesting + 1);
            if (!base) return std::nullopt;
            made.steps.push_back({instance_recipe::step::base, nullptr, cls->base_id, *base});
        }
        for (const auto& [name, m] : *cls->members)
            if (m.reference || !recipe_member(made, name, m.type, {}, nesting)) return std::nullopt;
    } else {
        // A constructor with parameters by value of distinct names, initializers of members and the base
        // from those parameters and literals, and a body of assignments of them to members.
        const auto* k = dynamic_cast<const c_constructor*>(chosen->body.get());
        if (!k || !chosen->distinct_names) return std::nullopt;
        for (const table::parameter& p : chosen->params)
            if (p.reference) return std::nullopt;
        std::vector<std::pair<symbol, recipe_source>> assigned;
        if (!recipe_body(*k->body, *chosen, *cls, given, assigned)) return std::nullopt;
        ++made.ticks;
        for (const expr& init : k->initializers) {
            if (const auto* d = dynamic_cast<const e_declare_member*>(init.get())) {
                const std::optional<std::vector<recipe_source>> from = recipe_arguments(d->arguments, *chosen, given);
                if (!from || !recipe_member(made, d->name, d->type, *from, nesting)) return std::nullopt;
            } else if (const auto* b = dynamic_cast<const e_base*>(init.get())) {
                const std::optional<std::vector<recipe_source>> from = recipe_arguments(b->arguments, *chosen, given);
                if (!from || !cls->base_id) return std::nullopt;
                const std::optional<std::int32_t> base = recipe(cls->base_id, *from, nesting + 1);
                if (!base) return std::nullopt;
                made.steps.push_back({instance_recipe::step::base, nullptr, cls->base_id, *base});
            } else {
                return std::nullopt;  // a reference member: bound to its initializer's own value
            }
        }
        // An assigned member takes the body's value in place of its initializer's: nothing runs between
        // them that could see the first.
        for (const auto& [name, from] : assigned) {
            const auto step = std::find_if(made.steps.begin(), made.steps.end(),
                                           [name = name](const instance_recipe::step& s) { return s.name == name; });
            if (step == made.steps.end() || (step->how == instance_recipe::step::made && step->from >= 0)) return std::nullopt;
            step->how = from.literal ? instance_recipe::step::literal : instance_recipe::step::argument;
            step->from = from.index;
        }
    }
    // A member declared twice fails in the tree; so does a base made twice.
    for (std::size_t i = 0; i < made.steps.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (made.steps[i].name == made.steps[j].name) return std::nullopt;
    for (const instance_recipe::step& st : made.steps)
        if (st.how == instance_recipe::step::base || (st.how == instance_recipe::step::made && st.from >= 0)) {
            deeper(st.from);
            made.ticks += u().recipes[static_cast<std::size_t>(st.from)].ticks;
        }
    made.depth = inner + 1;
    u().recipes.push_back(std::move(made));
    return static_cast<std::int32_t>(u().recipes.size() - 1);
}

bool unit_compiler::recipe_member(instance_recipe& made, symbol name, type_id_t type, const std::vector<recipe_source>& from,
                                  unsigned nesting)
{
    if (all_.class_of(type)) {
        const std::optional<std::int32_t> part = recipe(type, from, nesting + 1);
        if (!part) return false;
        made.steps.push_back({instance_recipe::step::made, name, type, *part});
        return true;
    }
    switch (type) {
    case tid::boolean: case tid::signed_: case tid::unsigned_: case tid::float_: case tid::double_: case tid::string_:
        if (from.size() == 1 && type_id_of(from.front().type) == type) {
            made.steps.push_back({from.front().literal ? instance_recipe::step::literal : instance_recipe::step::argument,
                                  name, type, from.front().index});
            return true;
        }
        [[fallthrough]];
    case tid::vector_: case tid::list_: case tid::hash_:
        if (!from.empty()) return false;
        made.steps.push_back({instance_recipe::step::made, name, type, -1});
        return true;
    default: return false;
    }
}

bool unit_compiler::recipe_body(const control& body, const table::routine& r, const object& cls,
                                const std::vector<recipe_source>& given, std::vector<std::pair<symbol, recipe_source>>& assigned)
{
    std::vector<const control*> statements{&body};
    if (const auto* block = dynamic_cast<const c_compound*>(&body)) {
        statements.clear();
        for (const control_ptr& s : *block->statements) statements.push_back(s.get());
    }
    for (const control* s : statements) {
        if (dynamic_cast<const c_empty*>(s)) continue;
        const auto* single = dynamic_cast<const c_single*>(s);
        const auto* a = single ? dynamic_cast<const e_assign*>(single->e.get()) : nullptr;
        const auto* target = a ? dynamic_cast<const e_variable*>(a->left.get()) : nullptr;
        if (!target) return false;
        // In the constructor's frame a parameter's name is the parameter; a member of the part's own class
        // is found next.
        for (const table::parameter& p : r.params)
            if (p.name == target->name) return false;
        const object::member_type* m = cls.find_member_type(target->name);
        if (!m || m->reference) return false;
        const std::optional<std::vector<recipe_source>> from = recipe_arguments(expr_list{a->right}, r, given);
        if (!from || type_id_of(from->front().type) != m->type || type_id_of(from->front().type) == tid::nil) return false;
        assigned.emplace_back(target->name, from->front());
    }
    return true;
}

std::optional<std::vector<unit_compiler::recipe_source>> unit_compiler::recipe_arguments(
    const expr_list& arguments, const table::routine& r, const std::vector<recipe_source>& given)
{
    std::vector<recipe_source> out;
    for (const expr& a : arguments) {
        const expression* e = a.get();
        if (const auto* v = dynamic_cast<const e_variable*>(e)) {
            // In the constructor's frame a parameter's name is the parameter; any other is a member or a global.
            std::size_t k = 0;
            while (k < r.params.size() && r.params[k].name != v->name) ++k;
            if (k == r.params.size()) return std::nullopt;
            out.push_back(given[k]);
            continue;
        }
        slot literal;
        ty t;
        if (const auto* c = dynamic_cast<const e_constant<signed_<int>, int>*>(e)) literal = slot::of_int(c->literal), t = ty::int_;
        else if (const auto* c = dynamic_cast<const e_constant<unsigned_<unsigned int>, unsigned int>*>(e)) literal = slot::of_uint(c->literal), t = ty::uint_;
        else if (const auto* c = dynamic_cast<const e_constant<real<float>, float>*>(e)) literal = slot::of_float(c->literal), t = ty::float_;
        else if (const auto* c = dynamic_cast<const e_constant<real<double>, double>*>(e)) literal = slot::of_double(c->literal), t = ty::double_;
        else if (const auto* c = dynamic_cast<const e_constant<boolean, bool>*>(e)) literal = slot::of_bool(c->literal), t = ty::boolean;
        else if (const auto* c = dynamic_cast<const e_constant<string_<wchar_t>, std::wstring>*>(e)) literal = slot::of_text(c->literal), t = ty::text;
        else return std::nullopt;
        out.push_back({true, constant(std::move(literal)), t});
    }
    return out;
}

// ---- ref, typeid and timer values ---------------------------------------------------------------------

void unit_compiler::box(variable& v)
{
    if (held(v.at.type) || v.by_ref || std::find(boxing_.begin(), boxing_.end(), home_of(v)) == boxing_.end()) return;
    emit(op::box, v.at.reg, v.at.reg);
    v.by_ref = v.object_held = true;
}

std::optional<std::int32_t> unit_compiler::target_of(const expr& arg)
{
    const expression* e = arg.get();
    while (const auto* c = dynamic_cast<const e_chain*>(e)) e = &c->top();
    if (const auto* name = dynamic_cast<const e_variable*>(e))
        if (const variable* v = local(name->name)) {
            if (held(v->at.type) || v->object_held) return v->at.reg;
            if (v->by_ref) {
                // A reference parameter's value may be a register of the caller, which has no value object.
                refuse("a ref or reference member bound to a reference parameter of type " + word(v->at.type), arg->pos);
                return std::nullopt;
            }
            // Met for the first time: the variable is boxed and the unit compiled again.
            if (std::find(boxing_.begin(), boxing_.end(), home_of(*v)) != boxing_.end()) {
                refuse("a ref made of a variable the vm could not box", arg->pos);
                return std::nullopt;
            }
            boxing_.push_back(home_of(*v));
            restart_ = true;
            return std::nullopt;
        }
    std::vector<operand> given;
    std::vector<origin> from;
    if (!arguments(expr_list{arg}, given, from)) return std::nullopt;
    const operand v = given.front();
    switch (from.front().how) {
    case origin::global: {
        // The global's own value object, whatever its class.
        const std::int32_t reg = temporary();
        emit(op::global_ref, reg, from.front().index);
        return reg;
    }
    case origin::member: {
        const std::int32_t reg = temporary();
        emit(op::get_m, reg, from.front().reg, from.front().index, static_cast<int>(kind::object));
        return reg;
    }
    case origin::aliased:
        refuse("a ref made of the value of an assignment or ++", arg->pos);
        return std::nullopt;
    case origin::local: case origin::referred: case origin::fresh: break;
    }
    if (v.type == ty::nil) {
        refuse("a ref made of the nil a function gives", arg->pos);
        return std::nullopt;
    }
    if (held(v.type)) return v.reg;  // a vector, instance or element is its own handle
    // A new scalar or string that nothing else holds: its own new value object.
    const std::int32_t reg = temporary();
    emit(op::box, reg, v.reg);
    return reg;
}

bool unit_compiler::construct_builtin(type_id_t type, const expr_list& arguments, std::int32_t into, script_pos at)
{
    if (arguments.size() > 255) return refuse("a construction with more than 255 arguments", at);
    std::vector<std::int32_t> given;
    if (type == tid::ref && arguments.size() == 1) {
        // A ref's one argument is its target, the value itself, not a copy.
        const std::optional<std::int32_t> target = target_of(arguments.front());
        if (!target) return false;
        given.push_back(*target);
    } else {
        for (const expr& a : arguments) {
            const std::optional<operand> v = value_of(*a);
            if (!v) return false;
            if (v->type == ty::nil) return refuse("handing a construction the nil a function gives", at);
            given.push_back(v->reg);
        }
    }
    std::int32_t base = given.empty() ? 0 : given.front();
    if (given.size() > 1) {
        base = next_;
        for (const std::int32_t r : given) emit(op::move, temporary(), r);
    }
    mark(at);
    emit(op::make, into, static_cast<std::int32_t>(type), base, static_cast<int>(given.size()));
    return true;
}

std::optional<ty> unit_compiler::step_value(const unary& e, bool up, std::int32_t into)
{
    const std::optional<operand> v = value_of(*e.operand);
    if (!v) return std::nullopt;
    if (v->type != ty::any) {
        refuse("++ or -- on the value of a method", e.pos);
        return std::nullopt;
    }
    mark(e.pos);
    emit(op::step_v, into, v->reg, 0, up ? 0 : 1);
    return ty::any;
}
} // namespace

// ---- processes -----------------------------------------------------------------------------------------

std::optional<std::size_t> shared_state::process_body(const table::routine& r, const std::string& name)
{
    if (const auto found = units.find({&r, type_id_t{0}}); found != units.end()) return found->second;
    const std::size_t index = code.units.size();
    code.units.emplace_back();
    code.units.back().name = name;
    code.units.back().process = true;
    units.emplace(std::pair{&r, type_id_t{0}}, index);
    unit_compiler c(*this, index, r, true, std::nullopt);
    if (!c.body()) return std::nullopt;
    return index;
}

// `process::worker w(a, b);`: the arguments are evaluated in order into consecutive registers, the
// definition is the one whose parameter types are exactly theirs (the tree interpreter looks it up the
// same way when the statement runs), and the statement takes one step.
bool unit_compiler::start(const c_start_p& s)
{
    // A method's namespace would be searched before the program's: the vm does not follow that search.
    if (owner_.defining) return refuse("a process start in a method", s.pos);
    if (scopes_.back().declares(s.variable)) return refuse("a second declaration of " + narrow(*s.variable) + " in one block", s.pos);
    const std::int32_t value = temporary();  // the process value, when the script reads it
    std::vector<operand> given;
    std::vector<origin> from;
    if (!arguments(s.arguments, given, from)) return false;
    for (std::size_t k = 0; k < given.size(); ++k) {
        const operand* v = &given[k];
        const script_pos at = s.arguments[k]->pos;
        // A slot copy is the copy a process start makes of a scalar or a string; other values are copied by
        // their classes, which may fail while the process starts.
        if (v->type == ty::any || v->type == ty::nil) return refuse("a process started with " + word(v->type), at);
        if (v->type == ty::instance && all_.construction_signals(v->cls))
            return refuse("a process started with an instance of " + all_.type_text(v->cls) + ", whose construction may return, break or continue", at);
    }
    if (given.size() > 255) return refuse("a process started with more than 255 arguments", s.pos);
    const table::routine* found = nullptr;
    for (const table::routine& r : all_.root.processes->overloads(s.pid)) {
        if (r.params.size() != given.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < given.size() && same; ++k) same = all_.takes(r.params[k].type, given[k]);
        if (same) {
            found = &r;
            break;
        }
    }
    // A definition whose parameters share a name takes nothing: the start fails before anything is copied.
    if (!found || !found->distinct_names) {
        failure_site none(failure_site::no_process);
        none.pid = s.pid;
        return fails(described(std::move(none), given), s.pos);
    }
    std::string name = all_.root.type_name(s.pid);
    if (name.rfind("p?", 0) == 0) name.erase(0, 2);
    const std::optional<std::size_t> body = all_.process_body(*found, name);
    if (!body) return false;
    const std::int32_t base = next_;
    std::vector<std::uint8_t> by_reference(given.size(), 0);
    for (std::size_t k = 0; k < given.size(); ++k) {
        const std::int32_t to = temporary();
        by_reference[k] = found->params[k].reference ? 1 : 0;
        if (!by_reference[k] || held(given[k].type)) emit(op::move, to, given[k].reg);
        else if (!share(s.arguments[k], given[k], from[k], to)) return false;
    }
    mark(s.pos);  // a copy constructor's failure is placed at the start
    u().starts.push_back({static_cast<std::uint32_t>(*body), static_cast<std::uint32_t>(given.size()), s.pos, s.pid, false,
                          std::move(by_reference)});
    const auto site = static_cast<std::int32_t>(u().starts.size() - 1);
    emit(op::start, site, value, base);
    next_ = value + 1;
    // The value's class answers whatever the script does with it, as the tree interpreter's does.
    scopes_.back().push_back({s.variable, {value, ty::any}, site});
    step();
    return true;
}

bool unit_compiler::share(const expr& arg, const operand& v, const origin& from, std::int32_t to)
{
    const script_pos at = arg->pos;
    switch (from.how) {
    case origin::fresh: emit(op::box, to, v.reg); return true;  // a new value: its own box
    case origin::global: emit(op::global_ref, to, from.index); return true;
    case origin::member: emit(op::get_m, to, from.reg, from.index, static_cast<int>(kind::object)); return true;
    case origin::referred:
        // A function's reference parameter may stand for a register of its caller's frame.
        if (!from.object_held) return refuse("a reference parameter of a function handed on to a process by reference", at);
        emit(op::move, to, from.reg);
        return true;
    case origin::local: {
        const expression* e = arg.get();
        while (const auto* c = dynamic_cast<const e_chain*>(e)) e = &c->top();
        const auto* name = dynamic_cast<const e_variable*>(e);
        const variable* found = name ? local(name->name) : nullptr;
        if (!found || std::find(boxing_.begin(), boxing_.end(), home_of(*found)) != boxing_.end()) break;
        boxing_.push_back(home_of(*found));
        restart_ = true;
        return false;
    }
    case origin::aliased: return refuse("handing the value of an assignment or ++ to a reference parameter", at);
    }
    return refuse("a variable handed to a process by reference that the vm could not box", at);
}

const unit_compiler::variable* unit_compiler::process_variable(const expression& e) const
{
    const auto* v = dynamic_cast<const e_variable*>(&e);
    const variable* found = v ? local(v->name) : nullptr;
    return found && found->start >= 0 ? found : nullptr;
}

compiled compile_process(nspace& root, const table::routine& body, const std::string& name)
{
    shared_state all(root);
    all.code.units.emplace_back();
    all.code.units.back().name = name;
    all.code.units.back().process = true;
    all.code.space = &root;
    all.units.emplace(std::pair{&body, type_id_t{0}}, 0);
    unit_compiler c(all, 0, body, true, std::nullopt);
    const bool ok = c.body();
    compiled out;
    if (!ok && !all.refused) all.refused = refusal{"an unknown construct", body.body->pos};
    out.refused = std::move(all.refused);
    if (!out.refused) out.code = std::move(all.code);
    return out;
}

} // namespace vorla::vm
