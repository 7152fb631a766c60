// The value interface every script value implements, the value handle, type ids and the shared refusals.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "../exception.hpp"
#include "handle.hpp"
#include "method_name.hpp"

namespace vorla {

class factor;
class collectable;
class context;
class scope;
struct script_signal;
struct call_site;
using value = handle<factor>;  // the value handle
using args = std::vector<value>;        // the argument vector
// Arguments where their caller keeps them (an argument vector, a buffer on the stack).
using arg_span = std::span<const value>;
// Handles on their way to release (see release_all); most values give up only a few.
using release_list = boost::container::small_vector<value, 8>;
using type_id_t = std::uint32_t;

// Fixed type ids of the fifteen built-in value classes. The type-id manager never hands these out.
namespace tid {
constexpr type_id_t boolean = 101;
constexpr type_id_t signed_ = 102;
constexpr type_id_t float_ = 103;
constexpr type_id_t double_ = 104;
constexpr type_id_t string_ = 105;
constexpr type_id_t unsigned_ = 106;
constexpr type_id_t vector_ = 107;
constexpr type_id_t list_ = 108;
constexpr type_id_t timer = 109;
constexpr type_id_t hash_ = 110;
constexpr type_id_t nil = 111;
constexpr type_id_t ref = 112;
constexpr type_id_t typeid_ = 113;
constexpr type_id_t bad_cast = 114;
constexpr type_id_t range_error = 115;
constexpr bool is_builtin(type_id_t id) { return id >= boolean && id <= range_error; }
// Numbers and strings: built-in classes whose copy holds no other values, so making one cannot fail.
constexpr bool flat(type_id_t id)
{
    return id == boolean || id == signed_ || id == unsigned_ || id == float_ || id == double_ || id == string_;
}
// Built-in classes whose copy (clone, or construction from a value of the same type) is a plain copy
// of content: a handle to such a value that nobody else holds may stand in for its copy.
constexpr bool plain_copy(type_id_t id)
{
    return flat(id) || id == vector_ || id == list_ || id == hash_ || id == timer || id == bad_cast || id == range_error;
}
} // namespace tid

// A method call: the evaluated arguments and the method name (wide or narrow).
template <class Ch>
struct method_call {
    const args& v;
    const std::basic_string<Ch>& name;
    // The interned copy of the name (see symbol.hpp) when the caller has one, so script classes need
    // not look the name up on every call.
    const std::basic_string<Ch>* interned = nullptr;
    // Where a signal that crosses the call (a script method's body threw or broke out) waits, when the
    // caller is a running statement: the method then yields an empty handle. Without one, the signal is
    // raised in its C++ form (expression/signal.hpp).
    script_signal* out = nullptr;
    // The name as a built-in method name, when the caller resolved it once beforehand; built-in classes
    // resolve it from the text otherwise.
    method_name method = method_name::unresolved;
    // What the calling site found last time, when it remembers: a script class's method then needs no
    // search while the class's tables are unchanged (see call_site).
    call_site* site = nullptr;
    // The interpreter making the call, for the methods that use its state (rand draws from its
    // sequence); null when a host calls a method on a value it holds, outside every interpreter.
    context* ctx = nullptr;
};

// The five arithmetic operators, for slots that take the operator as an argument.
enum class arith : std::uint8_t { add, sub, mul, div, mod };

// The comparisons and the two logical operators, whose value is a bool.
enum class relation : std::uint8_t { eq, ne, gt, lt, ge, le, and_, or_ };

// a op b for numbers, with b read only when the operator needs it: && and || leave it unread when a
// decides. The one place numbers compare, whether the answer becomes a bool value or a plain truth.
template <class T, class Read>
bool numeric_relation(relation op, T a, Read b)
{
    switch (op) {
    case relation::eq: return a == b();
    case relation::ne: return a != b();
    case relation::gt: return a > b();
    case relation::lt: return a < b();
    case relation::ge: return a >= b();
    case relation::le: return a <= b();
    case relation::and_: return a != 0 && b() != 0;
    case relation::or_: break;
    }
    return a != 0 || b() != 0;
}

// Where a value class reports its refusals from: its header, its qualified class name and a line.
struct site {
    const char* file;
    const char* cls;
    int line;
};
#define VORLA_SITE(CLS)                                                                                        \
    const ::vorla::site& where() const override                                                                \
    {                                                                                                          \
        static const ::vorla::site s{__FILE__, CLS, __LINE__};                                                 \
        return s;                                                                                              \
    }

// Function-name suffixes of the conversion slots, as diagnostics spell them.
namespace opname {
inline constexpr const char* to_bool = "operator bool";
inline constexpr const char* to_unsigned = "operator unsigned int";
inline constexpr const char* to_int = "operator int";
inline constexpr const char* to_float = "operator float";
inline constexpr const char* to_double = "operator double";
inline constexpr const char* to_string =
    "operator class std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> >";
inline constexpr const char* to_wstring =
    "operator class std::basic_string<wchar_t,struct std::char_traits<wchar_t>,class std::allocator<wchar_t> >";
} // namespace opname

// Argument-list text: "v[0]=int(1), v[1]=string(a)"; empty for no arguments.
std::string arglist_text(arg_span v);
// Method-call text: "id=name, v=0" or "id=name, " + argument-list text.
std::string call_text(const std::string& name, arg_span v);
// The combining step of value hashing.
inline void hash_combine(std::uint32_t& seed, std::uint32_t h)
{
    seed ^= h + 0x9E3779B9u + (seed << 6) + (seed >> 2);
}

// Every slot of the interface. A class overrides what it supports; every other slot is refused by the
// shared rules below, reported under the class's own name (where()).
class factor : public counted {
public:
    virtual ~factor() = default;

    virtual void call_constructor(const args& v);                  // 0
    virtual void call_constructor(const value& v);                 // 1
    virtual void call_constructor();                               // 2
    virtual value operator+(const value& r) const;                 // 3
    virtual value operator-() const;                               // 4
    virtual value operator-(const value& r) const;                 // 5
    virtual value operator*(const value& r) const;                 // 6
    virtual value operator/(const value& r) const;                 // 7
    virtual value operator%(const value& r) const;                 // 8
    virtual value operator&&(const value& r) const;                // 9
    virtual value operator||(const value& r) const;                // 10
    virtual value operator==(const value& r) const;                // 11
    virtual value operator!=(const value& r) const;                // 12
    virtual value operator>=(const value& r) const;                // 13
    virtual value operator<=(const value& r) const;                // 14
    virtual value operator>(const value& r) const;                 // 15
    virtual value operator<(const value& r) const;                 // 16
    virtual void operator=(const value& r);                        // 17
    virtual void operator++();                                     // 18
    virtual void operator--();                                     // 19
    virtual value operator!() const;                               // 20
    virtual explicit operator bool() const;                        // 21
    virtual explicit operator unsigned int() const;                // 22
    virtual explicit operator int() const;                         // 23
    virtual explicit operator float() const;                       // 24
    virtual explicit operator double() const;                      // 25
    virtual explicit operator std::string() const;                 // 26
    virtual explicit operator std::wstring() const;                // 27
    virtual value member(const std::wstring& name) const;          // 28
    virtual value member(const std::string& name) const;           // 29
    virtual value method(const method_call<wchar_t>& c);           // 30
    virtual value method(const method_call<char>& c);              // 31
    virtual type_id_t type_id() const = 0;                         // 32
    virtual value clone() const = 0;                               // 33
    virtual void hash(std::uint32_t& seed) const = 0;              // 34
    virtual bool equal(const value& other) const = 0;              // 35
    virtual std::string describe() const = 0;                      // 36
    virtual std::wostream& write_ostream(std::wostream& os) const; // 37
    virtual std::ostream& write_ostream(std::ostream& os) const;   // 38
    virtual std::wistream& read_istream(std::wistream& is);        // 39
    virtual std::istream& read_istream(std::istream& is);          // 40

    factor& operator=(const factor&) = delete;

    // member(*name) for a name interned when the script was compiled (see symbol.hpp): an instance finds it without
    // interning the text again on every access.
    virtual value member_of(const std::wstring* name) const { return member(*name); }
    // The variables of a script instance's own part (its members, not those of its base parts): member
    // access finds a name there with no call. nullptr for every other value.
    virtual scope* own_members() noexcept { return nullptr; }

    // l op= r worked out inside this object, for a class whose `l op r` is a new value of its own class
    // holding exactly what this leaves in l: numbers for all five operators, strings for +. Such a class
    // overrides it, so that `l op= r` makes no intermediate value, a string grows by the piece rather than
    // by a copy of the whole, and an operand held by nothing but the running expression can take the
    // result itself. Any other operation yields false with nothing changed; the caller then takes the
    // operator and assignment slots.
    virtual bool operate_in_place(arith op, const value& r)
    {
        (void)op;
        (void)r;
        return false;
    }

    // A built-in method its caller resolved when compiling (never none or unresolved), with the arguments
    // where the caller keeps them: the method's result; or an empty handle, with nothing done, when the
    // class has no such method with that many arguments (the caller then takes the method slot, which
    // also reports the miss), or when the method runs script code and so needs the call's signal slot
    // (sort_by, which the method slot answers). Containers and strings answer here, so a call on them
    // needs no argument vector.
    virtual value builtin_method(method_name m, arg_span v)
    {
        (void)m;
        (void)v;
        return value();
    }

    // l op r as a plain truth, for a condition that wants no bool value: true with the answer in `out`
    // when the class answers the operator this way (exactly what its operator slot's bool would hold,
    // with the same refusals); false, with nothing asked of r, when the caller must take the slot.
    virtual bool test_relation(relation op, const value& r, bool& out) const
    {
        (void)op;
        (void)r;
        (void)out;
        return false;
    }

    // Appends this value's wide text (what operator std::wstring gives) to `out`. Numbers and strings
    // override it to write straight into `out`, so joining text makes no string in between.
    virtual void append_wide(std::wstring& out) const { out += static_cast<std::wstring>(*this); }

    // Moves every value handle this value holds into `out`, leaving it holding none. Values that hold
    // others (refs, containers, instances) override it, so that releasing a structure however deep is a
    // loop over a work list (release_all) instead of nested destructors.
    virtual void give_up_children(release_list& out) { (void)out; }
    // This value as one the cycle collector walks (factor/collectable.hpp): those that hold others.
    virtual collectable* cycle_node() noexcept { return nullptr; }

    // How deep a walk over nested values may go: copy, compare, hash and describe recurse through refs
    // and containers, which may nest millions deep or reach themselves.
    static constexpr unsigned nesting_limit = 10000;

    // A copy that counts what it makes against `budget`, the elements one copy may still make:
    // containers take their element count from it before they allocate and copy their elements the same
    // way; any other value is simply its clone. A container's clone starts a budget of copy_limit.
    // `depth`: the levels of the copy open around this value (see nesting).
    virtual value clone_counted(std::size_t& budget, unsigned depth) const
    {
        (void)budget;
        (void)depth;
        return clone();
    }
    // hash, equal and describe one level down a walk over a nested value, `depth` levels below where the
    // walk began: values that hold others override these to refuse a walk too deep and to hand the next
    // level on; any other value walks as it does alone.
    virtual void hash_at(std::uint32_t& seed, unsigned depth) const
    {
        (void)depth;
        hash(seed);
    }
    virtual bool equal_at(const value& other, unsigned depth) const
    {
        (void)depth;
        return equal(other);
    }
    virtual std::string describe_at(unsigned depth) const
    {
        (void)depth;
        return describe();
    }
    // Whether this value, when nothing else holds it, may stand in for its clone: the clone would be a
    // plain copy of content that runs no script code and cannot fail (built-in classes answer by type,
    // tid::plain_copy; an instance by what it holds).
    virtual bool stands_for_copy() const { return false; }
    // How many values one copy of a nested value may make in all, a container counting container_weight
    // besides its elements (its own memory is many times a number's). Copying is how a value that holds
    // copies of itself doubles (v.push_back(v)), so this, not the machine, is what stops such a script;
    // a container of size_limit numbers still copies.
    static constexpr std::size_t copy_limit = 16000000;
    static constexpr std::size_t container_weight = 64;

protected:
    factor() = default;
    factor(const factor&) = default;

    virtual const site& where() const = 0;

    // The shared refusal rules, reported as "<class>::<op>" from the class's site.
    [[noreturn]] void refuse(const char* op, const std::string& message) const;
    [[noreturn]] void refuse(const char* op, const value& operand) const;  // message: describe(operand)
    [[noreturn]] void refuse(const char* op) const;                        // empty message
    // With the plain sentence a person reads beside the diagnostic.
    [[noreturn]] void refuse(const char* op, const std::string& message, std::string plain) const;
    [[noreturn]] void refuse_cast(const char* op) const;                   // script bad_cast
    // The arguments of built-in methods that take them exactly. A wrong kind of argument refuses the call
    // as a missing method would (an interpreter error), with a plain sentence naming what was wanted.
    [[noreturn]] void refuse_argument(method_name m, arg_span v, std::size_t i, const char* wanted) const;
    // Argument i as a string's text.
    const std::wstring& text_argument(method_name m, arg_span v, std::size_t i) const;
    // Argument i as an int or an unsigned int, widened so that a negative int stays negative.
    long long whole_argument(method_name m, arg_span v, std::size_t i) const;
    // Argument i as a position or count from 0 to `most`; a negative one, or one past `most`, is a range
    // error whose account says "<what> N is out of range (<bound_word> B)".
    std::size_t index_argument(method_name m, arg_span v, std::size_t i, std::size_t most, const std::string& what,
                               const char* bound_word, std::size_t bound) const;
    // The script range_error of a built-in method, reported from the class's site with the plain account `why`.
    [[noreturn]] void range_refusal(std::string why) const;
    // Takes n elements from a copy's budget (see clone_counted), or refuses the copy as "clone".
    void take_from(std::size_t& budget, std::size_t n) const;
    // Refuses a text about to grow to `length` past string_limit, as the operation `op`.
    void check_length(std::size_t length, const char* op) const;
    // pad(width) and pad(width, fill) of method m over `text`: a string at least width characters long,
    // the text at its right. A fill of "0" goes after a leading sign.
    value pad_method(method_name m, arg_span v, std::wstring text) const;

    // The factor-level "undefined" failure of the slots a class leaves to the interface itself.
    [[noreturn]] static void undefined(const char* op);

    // Entered for one level of a walk over nested values (op: "clone", "hash", "equal", "describe"),
    // `depth` levels below where the walk began; the walk passes depth + 1 to the values this one holds.
    // Past nesting_limit levels, or near the end of the machine stack, the walk ends in the refusal
    // "<class>::<op>: nesting too deep" instead of a crash.
    class nesting {
    public:
        nesting(const factor& self, const char* op, unsigned depth);
        nesting(const nesting&) = delete;
        nesting& operator=(const nesting&) = delete;
    };
};

// Releases the handles in `work` and everything reachable only through them, one value at a time: a
// value whose last handle is dropped first gives up its own handles to the work list. Never recurses,
// however deep the structure (a destructor of a value that holds others calls this on its handles).
void release_all(release_list& work) noexcept;
// Releases a value's own handles (see give_up_children) without recursion, for its destructor.
void release_children(factor& self) noexcept;

// The type of a value as scripts write it ("int", "unsigned int", "vector", a class name).
std::string type_word(type_id_t id);
std::string type_word(const factor& v);

// Runs the constructor slot that fits the argument count: none, one value, or the whole list.
inline void construct(factor& f, const args& v)
{
    switch (v.size()) {
    case 0:
        f.call_constructor();
        break;
    case 1:
        f.call_constructor(v.front());
        break;
    default:
        f.call_constructor(v);
        break;
    }
}

// l op r through the left value's own operator slot.
inline value arithmetic(const factor& l, arith op, const value& r)
{
    switch (op) {
    case arith::add: return l.operator+(r);
    case arith::sub: return l.operator-(r);
    case arith::mul: return l.operator*(r);
    case arith::div: return l.operator/(r);
    case arith::mod: break;
    }
    return l.operator%(r);
}

// l op r through the left value's own comparison or logical slot: a new bool.
inline value relate(const factor& l, relation op, const value& r)
{
    switch (op) {
    case relation::eq: return l.operator==(r);
    case relation::ne: return l.operator!=(r);
    case relation::gt: return l.operator>(r);
    case relation::lt: return l.operator<(r);
    case relation::ge: return l.operator>=(r);
    case relation::le: return l.operator<=(r);
    case relation::and_: return l.operator&&(r);
    case relation::or_: break;
    }
    return l.operator||(r);
}

// The copy a container or a by-value parameter keeps of an argument: the argument's own object when nothing else holds it (the
// caller's argument list is its only holder, so no one can see it change) and its copy would be a plain
// copy of content anyway; a clone otherwise.
inline value stored_copy(const value& v)
{
    return v.use_count() == 1 && (tid::plain_copy(v->type_id()) || v->stands_for_copy()) ? v : v->clone();
}
// The same for a value known to be of class `type` (an argument matched to its parameter's type), which
// need not be asked.
inline value stored_copy(const value& v, type_id_t type)
{
    return v.use_count() == 1 && (tid::plain_copy(type) || v->stands_for_copy()) ? v : v->clone();
}

// The plain sentence for an operation ("operator +", "call_constructor", ...) that `self` refused with
// `operand` (null for one without): "cannot add string to bool". Empty for other operations.
std::string refusal_sentence(const std::string& op, const factor& self, const factor* operand);
// The type a conversion slot ("operator int", opname::to_wstring, ...) converts to, as scripts write it.
std::string conversion_target(const char* op);

// `cause` is the account of the error that made the conversion fail, kept for the report.
[[noreturn]] void throw_bad_cast(const char* file, const std::string& function, int line,
                                 trace_ptr cause = nullptr);
// `why` is the plain account a person reads when nothing catches the error ("vector index 7 is out of range").
[[noreturn]] void throw_range_error(const char* file, const std::string& function, int line, std::string why = {});

// The most code points a string may hold. Joining, repeating, padding and the texts `debug` and the
// containers' descriptions build are refused before they grow past it, so a script that doubles a string
// in a loop stops with a plain message long before the machine runs out of memory.
inline constexpr std::size_t string_limit = std::size_t{1} << 24;
inline bool within_string_limit(std::size_t length) { return length <= string_limit; }
// The refusal of a text of `length` code points (or bytes, for a narrow text): an interpreter error that
// no script catches, with the plain message beside it. For every place that makes text, inside the value
// classes or not (reading a file).
[[noreturn]] void throw_string_limit(std::size_t length, const char* file, const std::string& function, int line);

// The truth value of a value, as conditions ask it.
inline bool truth(const value& v) { return static_cast<bool>(*v); }

} // namespace vorla
