// The vm's compiled form: typed instructions over frame registers, one unit per process or function body.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "factor/factor.hpp"
#include "factor/method_name.hpp"
#include "position.hpp"
#include "symbol.hpp"
#include "vm/slot.hpp"

namespace vorla {
class nspace;
class object;
}

namespace vorla::vm {

// Operands a, b and c are register numbers of the running frame unless an instruction says otherwise.
// The suffix names the operand kind the compiler settled: _i int, _u unsigned int, _f float, _d double,
// _b bool, _t string.
enum class op : std::uint8_t {
    move,        // a = b
    constant,    // a = constants[b]
    global_get,  // a = the global variable globals[b], read into a slot of its kind
    global_set,  // the global variable globals[b] = a (of the global's own kind)
    add_i, sub_i, mul_i, div_i, mod_i,  // div_i and mod_i raise range_error for a divisor that does not fit
    add_u, sub_u, mul_u, div_u, mod_u,  // div_u and mod_u likewise, for a zero divisor
    add_f, sub_f, mul_f, div_f, mod_f,
    add_d, sub_d, mul_d, div_d, mod_d,
    neg_i, neg_u, neg_f, neg_d, not_i, not_u, not_f, not_d, not_b,
    inc_i, dec_i, inc_u, dec_u, inc_f, dec_f, inc_d, dec_d,  // a += 1 in place
    lt_i, le_i, gt_i, ge_i, eq_i, ne_i,
    lt_u, le_u, gt_u, ge_u, eq_u, ne_u,
    lt_f, le_f, gt_f, ge_f, eq_f, ne_f,
    lt_d, le_d, gt_d, ge_d, eq_d, ne_d,
    eq_b, ne_b, and_b, or_b,
    lt_t, le_t, gt_t, ge_t, eq_t, ne_t,
    int_of_d, int_of_b, double_of_i, double_of_b, bool_of_i, bool_of_d,
    text_of_i, text_of_d, text_of_b,  // a = the string the value of b joins to a text as
    cast,  // a = the scalar b converted to the kind c (a vm::kind), for the conversions rarer than those above
    // Values the interpreter's classes hold: a vector, or a value whose class is known only when it runs
    // (an element). Their registers hold the value's handle; the classes compute, convert and refuse.
    make,      // a = a new value of the type b from the n registers from c, as a declaration makes it
    clone,     // a = a copy of the value in b (a vector passed by value)
    at,        // a = the handle of the element of vector b at the int or unsigned index c
    size,      // a = the size of vector (n 0), list (n 1) or hash (n 2) b, an unsigned int
    method,    // a = the built-in method unit.methods[b] of the vector c, on that site's argument registers;
               // n 1: its bool result in place; n 2: a number's method, through its class's method slot
    // Members of a class instance (the handle in b), at the place unit.members[c] settles: get_m reads the
    // member as the kind n (a scalar or string in place, a vector or instance by its own handle), set_m
    // writes the scalar or string in a, of the kind n, into the member's value.
    get_m,
    set_m,
    member_v,   // a = the member unit.members[c] (its name) of the value in b, found by name: a value whose
                // class only the run knows (an element) answers as the tree's member access asks it
    no_method,  // the call of unit.methods[b] on the instance c, which no class of it defines: its refusal
    assign_v,  // a = b through a's class (the element's own, or the variable's boxed); n: 0 for =, 1 + arith for op=
    arith_v,   // a = b op c through b's class (n: the arith)
    relate_v,  // a = the bool b rel c through b's class (n: the relation)
    truth_v,   // a = the truth of the value in b, as a condition asks it
    unary_v,   // a = !b (n 0), a bool, or -b (n 1) through b's class
    append_t,                         // a's string += b's string; c is 1 for `+=`, 0 for a join `+`
    jump,           // to a
    jump_unless,    // to b when the bool a is false
    step,           // the process's statement step ends here (never in a function body)
    call,           // a = units[b](registers c, c+1, ...): the callee's frame starts at register c; n's low bit
                    // is 1 for a method called on an instance (`a.f()`), whose errors leave through the
                    // instance, and its other bits count the inline expansions open around the call
    native,         // a = natives[b](registers c, ...), through the interpreter's native table (which may fail)
    ret,            // returns register a to the caller's destination
    ret_nil,        // returns nil (a body that ends without return)
    end,            // a process body has finished
    // Processes
    start,  // the process of unit.starts[a] starts, its arguments copied from the registers from c; b takes
            // its process value when the site keeps one
    // try/catch/throw: a throw unwinds to the unit's handler table, never through C++ exceptions.
    throw_,         // throws the value in register a
    // String methods: the hot two as instructions, the rest through `method` on the string's own class.
    text_size,      // a = the length of the string b, an unsigned int
    text_at,        // a = the one-character string at the int or unsigned index c of the string b
    method_v,       // a = the method unit.methods[b] of the number or bool c, by name through its class's method
                    // slot (which refuses a name or argument count it does not take); n: the kind the
                    // compiler took the result for, 0 for a value only the run knows
    take,           // a = b, b left empty: a temporary string handed on without copying its characters
    append_i,       // a's string += the text of the int b; c as for append_t
    // Budgets and the trace
    tick,   // a loop's test comes round (its position: file a, offset b): counted for the step budget
    loop,   // the jump back to a loop's tick at c - 1, with that tick done here: one dispatch less a turn
    // References: a variable, member, element or global handed to a reference parameter or named by a
    // reference declaration, and the run-time class checks of values whose class only the run knows.
    ref_of,      // a = a reference to register b of this frame (a place in the fiber's stack)
    ref_get,     // a = the scalar or string the reference in b stands for, read as the kind n
    ref_set,     // the scalar or string in a written through the reference in b, as the kind n
    global_ref,  // a = the global variable globals[b]'s own value, by handle
    check_call,  // the arguments of unit.checks[a] are of the classes the call's definition takes
    check_ref,   // the value in a is of class b, as the reference declaration unit.checks[c] requires
    // ref, typeid and timer values, and the variables a ref is made of
    box,     // a = a new value object holding the scalar or string in b (a variable a ref may share)
    get_r,   // a = the target of the ref in b, its own handle
    step_v,  // ++ (n 0) or -- (n 1) on the value object in b through its class (an element, a ref's target); a = b
    // Containers, and methods of values whose class only the run knows
    method_any,  // a = the method unit.methods[b] of the value in c, as the tree's method call finds it: a
                 // built-in method by name, else the value's method slot (an instance's script method)
    ret_v,       // returns register a as the function's declared class b gives it (a container's copy,
                 // unless the result is already of that class and nothing else holds it)
    hash_at,     // a = the value of hash b at the key in c, its own handle (a missing key: the hash's refusal)
    hash_has,    // a = whether hash b has the key in c
    // Compare-and-jump: a loop's or branch's int test in a function body, to a when b rel c is false.
    unless_lt_i, unless_le_i, unless_gt_i, unless_ge_i, unless_eq_i, unless_ne_i,
    // An int and an int literal: c is the literal itself, not a register (div_ik and mod_ik only for a
    // literal no int divides by with an error, neither 0 nor -1).
    add_ik, sub_ik, mul_ik, div_ik, mod_ik,
    lt_ik, le_ik, gt_ik, ge_ik, eq_ik, ne_ik,
    unless_lt_ik, unless_le_ik, unless_gt_ik, unless_ge_ik, unless_eq_ik, unless_ne_ik,
    // `g += s;` as a statement, on a global string: the string in register a appended to globals[b] where
    // it stands (a copy in and out of a register would make a loop of appends quadratic).
    global_append,
    // inline expansions
    inline_check,  // an expansion opens with a more open in this frame (and the frame's own count around
                   // it): at the interpreter's limit it fails as the tree's expansion of unit.methods[b] does
    no_inline,     // the expansion unit.methods[a] in a method, whose instance's namespace has none: its failure
    // Run-time errors: what the tree interpreter refuses only when the statement runs (a name that names
    // no variable there, a call no definition takes), raised as its own error where it would raise it.
    fail,  // the error of unit.failures[a], after the statement ran up to it
    // Calls whose definition only the run can choose
    call_v,  // a = the definition unit.dispatches[b] chooses by the classes of the arguments from register c
             // (the instance first at c in a method), called as `call` calls; n as for call
    // Instances made by instructions
    new_i,  // a = an instance made by unit.recipes[b] from the n registers from c; near the call depth
            // limit or a tick mark, made as make makes one of the recipe's class
    take_i,  // a = the instance in b of class c itself when nothing else holds it and its copy would be a
             // plain one (factor::stands_for_copy), else its copy as make makes it
};

struct instr {
    instr(op code, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0, std::uint8_t n = 0) noexcept
        : code(code), n(n), a(a), b(b), c(c)
    {
    }
    op code;
    std::uint8_t n;  // a fourth small operand: a count or the operator of a general instruction
    std::int32_t a, b, c;
};
static_assert(sizeof(instr) == 16);

// A built-in method call of a vector, or a method call an instance refuses: its name and where its
// arguments wait.
struct method_site {
    method_name name;
    std::int32_t base;
    std::uint32_t count;
    symbol text;  // the name as written
    // For method_any: the script method each class of receiver reaches with these arguments, compiled
    // for it (class, unit); its frame starts at base - 1, where the receiver waits before the arguments.
    std::vector<std::pair<type_id_t, std::uint32_t>> units = {};
    // For method_v: the method assigns to its arguments' values (frexp), which go back into their
    // registers after the call.
    bool writes_back = false;
};

// A member as the compiler found it in the class of the instance: `depth` base parts outward, and the index
// its part's constructors declare it at. The index is checked against the name (one compare); a part laid
// out otherwise (a constructor that declares its members in another order) is searched by name.
struct member_site {
    symbol name;
    std::uint32_t depth;
    std::uint32_t index;
};

// A native the program calls, with the number of arguments it is given, what the compiler took its
// result for (nil, text, or a value whose class only the run knows: object), and whether it reads into
// its arguments (read, read_line), whose new values then go back into their registers.
struct native_call {
    std::wstring name;  // called through the namespace, whose report of a failing native names it and its arguments
    std::uint32_t count;
    kind gives;
    bool writes_back;
};

// A process start: the process body's unit, how many arguments it takes (scalars and strings, which a
// slot copy copies) and the statement that starts it.
struct start_site {
    std::uint32_t body;
    std::uint32_t count;
    script_pos at;
    type_id_t pid;       // the definition's name, which the process value tells
    bool keeps = false;  // the script reads the variable the start declares: its process value is made
    // Per argument: 1 when its parameter is taken by reference, so that the new process shares the value
    // object in the register (a vector's or instance's own, or a scalar's box) instead of a copy.
    std::vector<std::uint8_t> by_reference;
};

// A catch clause of a try: the thrown value's exact type it takes (none for `catch ()`), the register
// its parameter is bound in, and where its body begins.
struct catch_clause {
    bool typed;
    type_id_t type;
    std::int32_t reg;
    bool copy;  // the parameter holds a value object: bound to a clone, as a parameter by value is
    std::uint32_t target;
};

// A try statement: a throw from an instruction in [from, to) (a call's too, from the frames it made) is
// matched against its clauses in order; one that none takes goes on to the next entry that covers it,
// then outward through the callers. Entries of inner tries come before the tries around them.
struct handler {
    std::uint32_t from, to;
    std::vector<catch_clause> clauses;
    // Runs inside the block that are not under the try: the copy of an instance a return inside it
    // gives, which the tree interpreter makes after the body has left the try.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> holes;

    bool covers(std::uint32_t at) const noexcept
    {
        if (at < from || at >= to) return false;
        for (const auto& [start, end] : holes)
            if (at >= start && at < end) return false;
        return true;
    }
};

// An inline body expanded in a unit: its code [from, to), the name and the expanding statement. An
// error in it leaves the expansion as a frame of its report, as the tree's expansion scope adds one.
struct expansion_site {
    std::uint32_t from, to;
    std::string name;
    script_pos site;
};

// A site whose values' classes only the run knows. For a call: the function's name, the arguments'
// registers and, for each, the class it must be (0: the compiler knows it already); a mismatch is the
// interpreter's own report of a call nothing takes (for a method, the instance's). For a reference
// declaration: its name.
struct check_site {
    symbol name;
    std::vector<std::int32_t> registers;
    std::vector<type_id_t> classes;
    std::int32_t receiver = -1;  // a method call's: the instance's register, whose own search then reports
};

// An error the tree interpreter raises when the statement runs, which the compiler knows it will: what
// it is, the name it concerns and the registers of the values its report describes (a call's
// arguments, a declaration's value, a stray return's value).
struct failure_site {
    enum what_t : std::uint8_t {
        no_variable,    // a name that names no variable where it stands
        no_function,    // a call no function of the top level takes
        no_process,     // a process start no definition takes
        duplicate,      // a second declaration of a name in one block (the value in register base)
        stray_break,    // a break or continue outside every loop of a process body
        stray_continue,
        stray_return,   // a return in a process body (its value in register base)
    };
    explicit failure_site(what_t what, symbol name = nullptr, std::int32_t base = 0, std::uint32_t count = 0)
        : what(what), name(name), base(base), count(count)
    {
    }
    what_t what;
    symbol name;
    type_id_t pid = 0;    // a process definition's name
    std::int32_t base;
    std::uint32_t count;
};

// A call with arguments whose classes only the run knows, which several definitions may take: each
// candidate in the order the tree's search meets them (a method's class and bases, then the top level),
// with the class each argument must be (0: the compiler knows it fits) and how the argument becomes the
// parameter (0 as it is, 1 a scalar or string read out of its value, 2 a copy by its class). A method
// candidate's frame starts at the instance; a function's after it when the call stands in a method.
struct dispatch_site {
    struct candidate {
        std::uint32_t unit;
        bool method;
        std::vector<type_id_t> classes;
        std::vector<std::uint8_t> prepare;
    };
    symbol name;
    std::uint32_t count;    // the arguments
    bool in_method;         // the instance waits in the first register, the arguments after it
    std::uint32_t depth;    // the defining class's part of that instance, whose namespace reports a miss
    std::vector<candidate> candidates;
};

// How new_i makes an instance whose construction runs no script statement: default construction, or a
// constructor with an empty body whose initializers take parameters and literals. The parts come in the
// order the tree's construction makes them (the base part, the members as the constructor lists them),
// so that the part's members stand at the indexes member sites expect.
struct instance_recipe {
    struct step {
        enum how_t : std::uint8_t {
            base,      // the base part: recipes[from]
            made,      // a member of a class made by recipes[from], or of a built-in class (from -1) from nothing
            argument,  // a scalar or string member from the argument register c + from
            literal,   // a scalar or string member from constants[from]
        };
        how_t how;
        symbol name;     // a member's
        type_id_t type;  // a member's
        std::int32_t from;
    };
    std::shared_ptr<const object> cls;  // held: the instances borrow its tables
    std::vector<step> steps;
    std::uint32_t ticks = 0;  // script constructors run, each counted as a call is
    std::uint32_t depth = 0;  // constructor calls nested deepest, each counted against the call depth limit
};

// One process or function body.
struct unit {
    std::string name;  // "main", "count(int)": for reports
    std::vector<instr> code;
    std::vector<slot> constants;
    std::vector<method_site> methods;
    std::vector<member_site> members;
    std::vector<start_site> starts;
    // Offsets into `code` where the statement or expression at a position begins, in offset order. The
    // position of any offset is that of the last entry at or before it.
    std::vector<std::pair<std::uint32_t, script_pos>> positions;
    std::vector<handler> handlers;
    // Offsets where each statement begins, in offset order: a throw that carries no account is placed
    // at the statement it was raised in, as the tree interpreter's statement step places it. In a process
    // body, of several beginning at one offset the innermost (the last) is the one a step runs, and an
    // empty branch or loop body stands at its branch or loop: the trace and the reports of where
    // processes stand read it between steps.
    std::vector<std::pair<std::uint32_t, script_pos>> statements;
    std::vector<expansion_site> expansions;  // inner expansions before the ones around them
    std::vector<check_site> checks;
    std::vector<failure_site> failures;
    std::vector<dispatch_site> dispatches;
    std::vector<instance_recipe> recipes;  // new_i's, and those of the parts they make
    std::uint32_t registers = 0;   // the frame's size
    std::uint32_t parameters = 0;  // the first registers, filled by the caller
    // A process body's parameters taken by value that it keeps boxed (handed on to a process by reference,
    // or made a ref of): boxed as the fiber is made, so that its first step stands at its first statement.
    std::vector<std::uint32_t> boxed_parameters;
    bool process = false;          // a process body: `step` ends a step
    bool method = false;           // a method of a class: register 0 holds the instance, and reports call
                                   // the frame "method C::f(int)"
    type_id_t returns = 0;         // a function's declared type: a return out of a constructor body run in
                                   // it converts its value to that type, as the call's own return does

    script_pos at(std::size_t offset) const noexcept;
    script_pos statement_at(std::size_t offset) const noexcept;
};

// Everything a run under the vm needs: the bodies (entry first), the global variables it reaches (the
// interpreter's own values, read and written in place), the natives it calls and the interpreter's
// namespace, which makes values as declarations ask and names calls in reports.
struct program {
    nspace* space = nullptr;
    std::vector<unit> units;
    std::vector<value> globals;
    std::vector<native_call> natives;
    bool catches = false;  // some unit has a try: the handler tables are asked before the interpreter's code runs
};

} // namespace vorla::vm
