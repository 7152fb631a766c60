// The vm's dispatch loop: one switch over typed instructions, calls as frames of the fiber.
#include "vm/machine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

#include "factor/integer.hpp"
#include "factor/number_text.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/boolean.hpp"
#include "factor/string_.hpp"
#include "factor/vector_.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/instance.hpp"
#include "factor/process_.hpp"
#include "factor/ref.hpp"
#include "factor/nil.hpp"
#include "expression/nodes.hpp"
#include "expression/signal.hpp"
#include "nlookup.hpp"
#include "nspace.hpp"
#include "object.hpp"
#include "process.hpp"
#include "table/function.hpp"
#include "table/variable.hpp"

namespace vorla::vm {

namespace {

// Script code that the value classes run for the vm (a constructor, a conversion operator, a copy
// constructor) is called from the fiber's innermost frame: the interpreter's call depth counts the
// fiber's calls meanwhile, so that it nests exactly as deep as under the tree interpreter's calls.
// While the interpreter's code runs for a fiber inside a try's protected part, the run counts one script
// handler running, as it does under the tree interpreter's try statement: a throw in that code then
// carries no account, which only a throw nothing can catch needs.
class lent_handler {
public:
    lent_handler(unsigned& running, bool lent) : running_(running), lent_(lent) { running_ += lent_ ? 1 : 0; }
    ~lent_handler() { running_ -= lent_ ? 1 : 0; }
    lent_handler(const lent_handler&) = delete;
    lent_handler& operator=(const lent_handler&) = delete;

private:
    unsigned& running_;
    bool lent_;
};

class lent_depth {
public:
    lent_depth(context& c, std::size_t calls) : c_(c), n_(static_cast<unsigned>(calls)) { c_.call_depth += n_; }
    ~lent_depth() { c_.call_depth -= n_; }
    lent_depth(const lent_depth&) = delete;
    lent_depth& operator=(const lent_depth&) = delete;

private:
    context& c_;
    unsigned n_;
};


// A scalar slot as T, as the value class of its kind converts itself (a real through real_bits).
template <class T>
T number_of(const slot& s) noexcept
{
    switch (s.what()) {
    case kind::boolean: return static_cast<T>(s.b() ? 1 : 0);
    case kind::int_: return static_cast<T>(s.i());
    case kind::uint_: return static_cast<T>(s.u());
    case kind::float_:
        if constexpr (std::is_integral_v<T>) return static_cast<T>(real_bits(s.f()));
        else return static_cast<T>(s.f());
    case kind::double_:
        if constexpr (std::is_integral_v<T>) return static_cast<T>(real_bits(s.d()));
        else return static_cast<T>(s.d());
    case kind::nil: case kind::place: case kind::text: case kind::object: break;
    }
    return T{};
}

// A string's text read as a number of kind `to`, by the string class's own conversion.
slot number_read(const slot& s, kind to)
{
    const value text = make<string_<wchar_t>>(s.chars());
    switch (to) {
    case kind::int_: return slot::of_int(static_cast<int>(*text));
    case kind::uint_: return slot::of_uint(static_cast<unsigned int>(*text));
    case kind::float_: return slot::of_float(static_cast<float>(*text));
    case kind::double_: return slot::of_double(static_cast<double>(*text));
    case kind::nil: case kind::boolean: case kind::place: case kind::text: case kind::object: break;
    }
    throw fault("vm: a string converted to a kind the compiler does not read it as");
}

// The scalar s as kind `to`: a number, a truth (not zero) or the text it joins a string as; a string as
// the number its text reads as.
slot converted(const slot& s, kind to)
{
    if (s.what() == kind::text) return number_read(s, to);
    switch (to) {
    case kind::boolean: return slot::of_bool(s.what() == kind::boolean ? s.b() : number_of<double>(s) != 0);
    case kind::int_: return slot::of_int(static_cast<std::int32_t>(number_of<std::uint32_t>(s)));
    case kind::uint_: return slot::of_uint(number_of<std::uint32_t>(s));
    case kind::float_: return slot::of_float(number_of<float>(s));
    case kind::double_: return slot::of_double(number_of<double>(s));
    case kind::text: break;
    case kind::nil: case kind::place: case kind::object: throw fault("vm: a conversion to nil or to a value object");
    }
    std::wstring out;
    switch (s.what()) {
    case kind::boolean: out = s.b() ? L"1" : L"0"; break;
    case kind::int_: number_text::append_wide(out, s.i()); break;
    case kind::uint_: number_text::append_wide(out, s.u()); break;
    case kind::float_: number_text::append_wide(out, s.f()); break;
    case kind::double_: number_text::append_wide(out, s.d()); break;
    case kind::nil: case kind::place: case kind::text: case kind::object: throw fault("vm: a text conversion of a kind the compiler does not convert");
    }
    return slot::of_text(std::move(out));
}

// A slot as the interpreter's value, for what the vm hands to the interpreter's own code (natives).
value boxed(const slot& s)
{
    switch (s.what()) {
    case kind::boolean: return make<boolean>(s.b());
    case kind::int_: return make<signed_<int>>(s.i());
    case kind::uint_: return make<unsigned_<unsigned int>>(s.u());
    case kind::float_: return make<real<float>>(s.f());
    case kind::double_: return make<real<double>>(s.d());
    case kind::text: return make<string_<wchar_t>>(s.chars());
    case kind::object: return s.object();
    case kind::nil: return make<nil>();  // what a function gives that ended without return
    case kind::place: break;
    }
    throw fault("vm: a reference handed to the interpreter's code");
}

// The same for a slot whose value is not needed after: a string's characters move into the value.
value moved_out(slot& s)
{
    if (s.what() == kind::text) return make<string_<wchar_t>>(std::move(s.chars()));
    // A staged instance nothing else holds may then go into a container as it is (stored_copy).
    if (s.what() == kind::object) return s.take_object();
    return boxed(s);
}

} // namespace

// A value the interpreter's code gave, in a slot: a scalar or a string in place, any other value (nil
// too) by its handle.
slot unboxed(value v)
{
    switch (v->type_id()) {
    case tid::boolean: return slot::of_bool(static_cast<bool>(*v));
    case tid::signed_: return slot::of_int(static_cast<const signed_<int>&>(*v).get());
    case tid::unsigned_: return slot::of_uint(static_cast<const unsigned_<unsigned int>&>(*v).get());
    case tid::float_: return slot::of_float(static_cast<const real<float>&>(*v).get());
    case tid::double_: return slot::of_double(static_cast<const real<double>&>(*v).get());
    case tid::string_: return slot::of_text(static_cast<const string_<wchar_t>&>(*v).text());
    default: break;
    }
    return slot::of_value(std::move(v));
}

namespace {
// The exact type of a thrown value, as a catch clause matches it.
type_id_t type_of(const slot& s) noexcept
{
    switch (s.what()) {
    case kind::nil: case kind::place: return tid::nil;
    case kind::boolean: return tid::boolean;
    case kind::int_: return tid::signed_;
    case kind::uint_: return tid::unsigned_;
    case kind::float_: return tid::float_;
    case kind::double_: return tid::double_;
    case kind::text: return tid::string_;
    case kind::object: break;
    }
    return s.object()->type_id();
}

const vector_elements& items(const slot& s) { return static_cast<const vector_&>(*s.object()).elements(); }

// Whether a slot holds an int, in place or as an int value object; `out` takes it.
bool int_in(const slot& s, std::int32_t& out) noexcept
{
    if (s.what() == kind::int_) {
        out = s.i();
        return true;
    }
    if (s.what() != kind::object) return false;
    const signed_<int>* v = exact_int(s.object());
    if (v) out = v->get();
    return v != nullptr;
}

// A double in place or a double value (an element).
bool double_in(const slot& s, double& out) noexcept
{
    if (s.what() == kind::double_) {
        out = s.d();
        return true;
    }
    if (s.what() != kind::object) return false;
    const real<double>* v = exact_double(s.object());
    if (v) out = v->get();
    return v != nullptr;
}

// A double or an int (in place or a value), read as the double a double on its left converts it to.
bool double_operand(const slot& s, double& out) noexcept
{
    std::int32_t i;
    if (double_in(s, out)) return true;
    if (!int_in(s, i)) return false;
    out = static_cast<double>(i);
    return true;
}

// What the number path below needs of its two types: how the left operand is read (which decides the
// type), how the right one is (a double takes an int too), the value class of an element, and the slot's
// own form.
template <typename T> struct number_kind;
template <> struct number_kind<std::int32_t> {
    using element = signed_<int>;
    static constexpr type_id_t type = tid::signed_;
    static constexpr kind in_place = kind::int_;
    static bool left(const slot& s, std::int32_t& out) noexcept { return int_in(s, out); }
    static bool right(const slot& s, std::int32_t& out) noexcept { return int_in(s, out); }
    static element* element_of(const value& v) noexcept { return exact_int(v); }
    static std::int32_t get(const slot& s) noexcept { return s.i(); }
    static void set(slot& s, std::int32_t x) noexcept { s.set_int(x); }
};
template <> struct number_kind<double> {
    using element = real<double>;
    static constexpr type_id_t type = tid::double_;
    static constexpr kind in_place = kind::double_;
    static bool left(const slot& s, double& out) noexcept { return double_in(s, out); }
    static bool right(const slot& s, double& out) noexcept { return double_operand(s, out); }
    static element* element_of(const value& v) noexcept { return exact_double(v); }
    static double get(const slot& s) noexcept { return s.d(); }
    static void set(slot& s, double x) noexcept { s.set_double(x); }
};

// x op y by the rules of T's class into `out`; false for a divisor the int rules refuse, which the general
// path then reports.
template <typename T>
[[gnu::always_inline]] inline bool number_result(arith a, T x, T y, T& out)
{
    if constexpr (std::is_integral_v<T>) {
        if (!divisor_fits(x, y)) return false;
        out = integer_result(a, x, y);
    } else {
        out = real_result(a, x, y);
    }
    return true;
}

// The int and double paths of the tree interpreter's operators, for the general instructions: an int or
// a double on the left (in place or as a value, an element say) with an operand of the same type on the
// right (or an int beside a double) computes here with no value object. Any other pair, and a divisor the
// int rules refuse, takes the general path, whose classes give the same answers and refusals.
template <typename T>
[[gnu::always_inline]] inline bool number_path(const instr& in, slot* r)
{
    using N = number_kind<T>;
    T x, y;
    switch (in.code) {
    case op::make:
        if (in.n != 1 || in.b != static_cast<std::int32_t>(N::type) || !N::right(r[in.c], x)) return false;
        N::set(r[in.a], x);
        return true;
    case op::relate_v:
        if (!N::left(r[in.b], x) || !N::right(r[in.c], y)) return false;
        r[in.a].set_bool(numeric_relation(static_cast<relation>(in.n), x, [&] { return y; }));
        return true;
    case op::arith_v:
        if (!N::left(r[in.b], x) || !N::right(r[in.c], y) || !number_result(static_cast<arith>(in.n), x, y, x))
            return false;
        N::set(r[in.a], x);
        return true;
    case op::assign_v: {
        typename N::element* element = r[in.a].what() == kind::object ? N::element_of(r[in.a].object()) : nullptr;
        if ((!element && r[in.a].what() != N::in_place) || !N::right(r[in.b], y)) return false;
        if (in.n != 0 && !number_result(static_cast<arith>(in.n - 1), element ? element->get() : N::get(r[in.a]), y, y))
            return false;
        if (element) element->set(y);
        else N::set(r[in.a], y);
        return true;
    }
    default: break;
    }
    return false;
}

// x / y or x % y of two ints or two unsigned ints into `into`, for the typed instructions; false, with
// nothing written, for a divisor the int rules refuse, which the caller reports.
template <typename T>
[[gnu::always_inline]] inline bool quotient(slot& into, T x, T y, bool div) noexcept
{
    if (!divisor_fits(x, y)) [[unlikely]]
        return false;
    const T q = div ? x / y : x % y;
    if constexpr (std::is_signed_v<T>) into.set_int(q);
    else into.set_uint(q);
    return true;
}

// A condition's truth of a scalar or a number or bool value, as their classes answer it; nothing else.
bool plain_truth(const slot& s, bool& out) noexcept
{
    switch (s.what()) {
    case kind::boolean: out = s.b(); return true;
    case kind::int_: out = s.i() != 0; return true;
    case kind::uint_: out = s.u() != 0; return true;
    case kind::double_: out = s.d() != 0; return true;
    case kind::object: break;
    default: return false;
    }
    const value& v = s.object();
    if (const boolean* b = exact_bool(v)) out = static_cast<bool>(*b);
    else if (const signed_<int>* i = exact_int(v)) out = i->get() != 0;
    else if (const real<double>* d = exact_double(v)) out = d->get() != 0;
    else return false;
    return true;
}

// The names the tree interpreter's operators report under.
const char* operator_text(arith a)
{
    static constexpr const char* names[] = {"operator +", "operator -", "operator *", "operator /", "operator %"};
    return names[static_cast<int>(a)];
}
const char* operator_text(relation r)
{
    static constexpr const char* names[] = {"operator ==", "operator !=", "operator >",  "operator <",
                                            "operator >=", "operator <=", "operator &&", "operator ||"};
    return names[static_cast<int>(r)];
}

// A member's own handle in the instance held by s, at the site the compiler settled: the site's index
// when the part binds the name there, else a search of the part; nullptr when the part has no such member.
[[gnu::always_inline]] inline value* member_at(const slot& s, const member_site& m) noexcept
{
    object* part = &static_cast<instance&>(*s.object()).part();
    for (std::uint32_t k = 0; k < m.depth; ++k) {
        if (!part->base) [[unlikely]] return nullptr;
        part = &static_cast<instance&>(*part->base).part();
    }
    table::variable& members = part->global.variables;
    if (value* found = members.at_index(m.index, m.name)) [[likely]] return found;
    return members.find(m.name);
}

// A member's value read into a slot as the kind k the compiler settled: a member's value is always of its
// declared class (made as one, and rebound only to copies of one), so no class is asked for.
[[gnu::always_inline]] inline void read_member(slot& out, const value& m, kind k)
{
    switch (k) {
    case kind::int_: out.set_int(static_cast<const signed_<int>&>(*m).get()); return;
    case kind::double_: out.set_double(static_cast<const real<double>&>(*m).get()); return;
    case kind::boolean: out.set_bool(static_cast<const boolean&>(*m).boolean::operator bool()); return;
    case kind::uint_: out.set_uint(static_cast<const unsigned_<unsigned int>&>(*m).get()); return;
    case kind::float_: out.set_float(static_cast<const real<float>&>(*m).get()); return;
    case kind::text: out = slot::of_text(static_cast<const string_<wchar_t>&>(*m).text()); return;
    case kind::object: out = slot::of_value(m); return;
    case kind::nil: case kind::place: break;
    }
    throw fault("vm: a member read as nil");
}

// The scalar or string in s written into the member's value, of the kind k.
[[gnu::always_inline]] inline void write_member(const value& m, const slot& s, kind k)
{
    switch (k) {
    case kind::int_: static_cast<signed_<int>&>(*m).set(s.i()); return;
    case kind::double_: static_cast<real<double>&>(*m).set(s.d()); return;
    case kind::boolean: static_cast<boolean&>(*m).set(s.b()); return;
    case kind::uint_: static_cast<unsigned_<unsigned int>&>(*m).set(s.u()); return;
    case kind::float_: static_cast<real<float>&>(*m).set(s.f()); return;
    case kind::text: static_cast<string_<wchar_t>&>(*m).set(s.chars()); return;
    case kind::object: case kind::nil: case kind::place: break;
    }
    throw fault("vm: a member written as a value object or nil");
}

// A global variable's value read into a slot; the compiler checked its class when it took it.
slot read_global(const value& g)
{
    switch (g->type_id()) {
    case tid::signed_: return slot::of_int(static_cast<const signed_<int>&>(*g).get());
    case tid::unsigned_: return slot::of_uint(static_cast<const unsigned_<unsigned int>&>(*g).get());
    case tid::float_: return slot::of_float(static_cast<const real<float>&>(*g).get());
    case tid::double_: return slot::of_double(static_cast<const real<double>&>(*g).get());
    case tid::boolean: return slot::of_bool(static_cast<bool>(*g));
    case tid::string_: return slot::of_text(static_cast<const string_<wchar_t>&>(*g).text());
    default: break;
    }
    throw fault("vm: a global of a kind the compiler does not take");
}

void write_global(value& g, const slot& s)
{
    switch (g->type_id()) {
    case tid::signed_: static_cast<signed_<int>&>(*g).set(s.i()); return;
    case tid::unsigned_: static_cast<unsigned_<unsigned int>&>(*g).set(s.u()); return;
    case tid::float_: static_cast<real<float>&>(*g).set(s.f()); return;
    case tid::double_: static_cast<real<double>&>(*g).set(s.d()); return;
    case tid::boolean: static_cast<boolean&>(*g).set(s.b()); return;
    case tid::string_: static_cast<string_<wchar_t>&>(*g).set(s.chars()); return;
    default: break;
    }
    throw fault("vm: a global of a kind the compiler does not take");
}

// Whether the process body ends at pc with nothing left to run: only jumps (a test's, whose result waits
// in its register) between there and the end. The tree interpreter finishes the blocks, loops and
// branches of a statement that was the last one in the same step, and the process with them.
[[gnu::always_inline]] inline bool finishes(const instr* code, std::uint32_t pc, const slot* r) noexcept
{
    // Every loop holds a tick at its test, so the jumps end; the bound is for a unit that broke that.
    for (std::uint32_t hops = 0; hops < 1024; ++hops) {
        const instr& next = code[pc];
        if (next.code == op::jump) pc = static_cast<std::uint32_t>(next.a);
        else if (next.code == op::jump_unless) pc = r[next.a].b() ? pc + 1 : static_cast<std::uint32_t>(next.b);
        else return next.code == op::end;
    }
    return false;
}

} // namespace

fiber::fiber(const program& p, std::size_t entry, std::uint32_t serial, origin from, std::vector<slot> arguments)
    : serial_(serial), from_(from), body_(&p.units.at(entry)), stack_(std::move(arguments)), code_(&p)
{
    stack_.resize(std::max<std::size_t>(body_->registers, stack_.size()));
    for (const std::uint32_t k : body_->boxed_parameters) stack_[k] = slot::of_value(boxed(stack_[k]));
    frames_.reserve(1);
    frames_.push_back({body_, 0, 0, -1});
}

machine::machine(const program& p, unsigned call_limit, processes& all)
    : program_(p), call_limit_(call_limit), all_(all), watch_(*p.space->watch), cycles_(p.space->ctx->cycles)
{
}

bool machine::step(fiber& f, std::uint64_t& passes)
{
    // Memory running out is the tree interpreter's error at the statement that ran out, which no handler
    // takes. The innermost frame's pc is the one kept when it last left the loop's registers (at a call
    // or a value instruction, where containers grow).
    try {
        return run(f, passes);
    } catch (const std::bad_alloc&) {
        const frame& inner = f.frames_.back();
        try {
            ran_out_of_memory(inner.body->statement_at(inner.pc ? inner.pc - 1 : 0));
        } catch (exception& e) {
            failed(f, std::move(e));
        }
    }
}

// The dispatch switch has a default only to drop its range check: every operation must still have its
// case, which -Wswitch-enum checks here.
#pragma GCC diagnostic push
#pragma GCC diagnostic warning "-Wswitch-enum"
bool machine::run(fiber& f, std::uint64_t& passes)
{
    frame* fr = &f.frames_.back();
    const instr* code = fr->body->code.data();
    slot* r = f.stack_.data() + fr->base;
    std::uint32_t pc = fr->pc;
    // After a throw was caught in this step, at the clause it unwound to.
    auto resume = [&] {
        fr = &f.frames_.back();
        code = fr->body->code.data();
        r = f.stack_.data() + fr->base;
        pc = fr->pc;
    };
    // Enters the callee's frame at register `base`, its result going to the caller's register `to`:
    // counted as the tree interpreter counts a call, before the frame exists (the process body's frame is
    // no call, so calls nest frames - 1 deep); cycles of refs the calls made and dropped are freed as the
    // run goes.
    auto enter = [&](const unit& callee, std::uint32_t base, std::int32_t to, std::uint32_t inlines) {
        fr->pc = pc;
        if (f.frames_.size() > call_limit_) [[unlikely]] depth_exceeded(f);
        if (watch_.tick_due()) [[unlikely]] ticked(f, {});
        if (cycles_.due()) [[unlikely]] cycles_.collect();
        if (f.stack_.size() < base + callee.registers) f.stack_.resize(base + callee.registers);
        f.frames_.push_back({&callee, 0, base, to, inlines});
        fr = &f.frames_.back();
        code = callee.code.data();
        r = f.stack_.data() + base;
        pc = 0;
    };
    for (;;) {
        const instr& in = code[pc++];
        switch (in.code) {
        case op::move: r[in.a] = r[in.b]; break;
        case op::constant: r[in.a] = fr->body->constants[static_cast<std::size_t>(in.b)]; break;
        case op::global_get: r[in.a] = read_global(program_.globals[static_cast<std::size_t>(in.b)]); break;
        case op::global_set:
            write_global(const_cast<value&>(program_.globals[static_cast<std::size_t>(in.b)]), r[in.a]);
            break;
        case op::add_i: r[in.a].set_int(integer_result(arith::add, r[in.b].i(), r[in.c].i())); break;
        case op::sub_i: r[in.a].set_int(integer_result(arith::sub, r[in.b].i(), r[in.c].i())); break;
        case op::mul_i: r[in.a].set_int(integer_result(arith::mul, r[in.b].i(), r[in.c].i())); break;
        case op::div_i:
        case op::mod_i:
            if (quotient(r[in.a], r[in.b].i(), r[in.c].i(), in.code == op::div_i)) [[likely]] break;
            fr->pc = pc;
            if (divisor_refused(f, in.code == op::div_i ? arith::div : arith::mod, r[in.c])) return true;
            resume();
            break;
        case op::add_u: r[in.a].set_uint(integer_result(arith::add, r[in.b].u(), r[in.c].u())); break;
        case op::sub_u: r[in.a].set_uint(integer_result(arith::sub, r[in.b].u(), r[in.c].u())); break;
        case op::mul_u: r[in.a].set_uint(integer_result(arith::mul, r[in.b].u(), r[in.c].u())); break;
        case op::div_u:
        case op::mod_u:
            if (quotient(r[in.a], r[in.b].u(), r[in.c].u(), in.code == op::div_u)) [[likely]] break;
            fr->pc = pc;
            if (divisor_refused(f, in.code == op::div_u ? arith::div : arith::mod, r[in.c])) return true;
            resume();
            break;
        case op::add_f: r[in.a].set_float(real_result(arith::add, r[in.b].f(), r[in.c].f())); break;
        case op::sub_f: r[in.a].set_float(real_result(arith::sub, r[in.b].f(), r[in.c].f())); break;
        case op::mul_f: r[in.a].set_float(real_result(arith::mul, r[in.b].f(), r[in.c].f())); break;
        case op::div_f: r[in.a].set_float(real_result(arith::div, r[in.b].f(), r[in.c].f())); break;
        case op::mod_f: r[in.a].set_float(real_result(arith::mod, r[in.b].f(), r[in.c].f())); break;
        case op::add_d: r[in.a].set_double(r[in.b].d() + r[in.c].d()); break;
        case op::sub_d: r[in.a].set_double(r[in.b].d() - r[in.c].d()); break;
        case op::mul_d: r[in.a].set_double(r[in.b].d() * r[in.c].d()); break;
        case op::div_d: r[in.a].set_double(r[in.b].d() / r[in.c].d()); break;
        case op::mod_d: r[in.a].set_double(std::fmod(r[in.b].d(), r[in.c].d())); break;
        case op::neg_i: r[in.a].set_int(integer_result(arith::sub, 0, r[in.b].i())); break;
        case op::neg_u: r[in.a].set_uint(integer_result(arith::sub, 0u, r[in.b].u())); break;
        case op::neg_f: r[in.a].set_float(-r[in.b].f()); break;
        case op::neg_d: r[in.a].set_double(-r[in.b].d()); break;
        case op::not_i: r[in.a].set_bool(r[in.b].i() == 0); break;
        case op::not_u: r[in.a].set_bool(r[in.b].u() == 0); break;
        case op::not_f: r[in.a].set_bool(r[in.b].f() == 0); break;
        case op::not_d: r[in.a].set_bool(r[in.b].d() == 0); break;
        case op::not_b: r[in.a].set_bool(!r[in.b].b()); break;
        case op::inc_i: r[in.a].set_int(integer_result(arith::add, r[in.a].i(), 1)); break;
        case op::dec_i: r[in.a].set_int(integer_result(arith::sub, r[in.a].i(), 1)); break;
        case op::inc_u: r[in.a].set_uint(integer_result(arith::add, r[in.a].u(), 1u)); break;
        case op::dec_u: r[in.a].set_uint(integer_result(arith::sub, r[in.a].u(), 1u)); break;
        case op::inc_f: r[in.a].set_float(real_result(arith::add, r[in.a].f(), 1.0f)); break;
        case op::dec_f: r[in.a].set_float(real_result(arith::sub, r[in.a].f(), 1.0f)); break;
        case op::inc_d: r[in.a].set_double(r[in.a].d() + 1.0); break;
        case op::dec_d: r[in.a].set_double(r[in.a].d() - 1.0); break;
        case op::lt_i: r[in.a].set_bool(r[in.b].i() < r[in.c].i()); break;
        case op::le_i: r[in.a].set_bool(r[in.b].i() <= r[in.c].i()); break;
        case op::gt_i: r[in.a].set_bool(r[in.b].i() > r[in.c].i()); break;
        case op::ge_i: r[in.a].set_bool(r[in.b].i() >= r[in.c].i()); break;
        case op::eq_i: r[in.a].set_bool(r[in.b].i() == r[in.c].i()); break;
        case op::ne_i: r[in.a].set_bool(r[in.b].i() != r[in.c].i()); break;
        case op::lt_u: r[in.a].set_bool(r[in.b].u() < r[in.c].u()); break;
        case op::le_u: r[in.a].set_bool(r[in.b].u() <= r[in.c].u()); break;
        case op::gt_u: r[in.a].set_bool(r[in.b].u() > r[in.c].u()); break;
        case op::ge_u: r[in.a].set_bool(r[in.b].u() >= r[in.c].u()); break;
        case op::eq_u: r[in.a].set_bool(r[in.b].u() == r[in.c].u()); break;
        case op::ne_u: r[in.a].set_bool(r[in.b].u() != r[in.c].u()); break;
        case op::lt_f: r[in.a].set_bool(r[in.b].f() < r[in.c].f()); break;
        case op::le_f: r[in.a].set_bool(r[in.b].f() <= r[in.c].f()); break;
        case op::gt_f: r[in.a].set_bool(r[in.b].f() > r[in.c].f()); break;
        case op::ge_f: r[in.a].set_bool(r[in.b].f() >= r[in.c].f()); break;
        case op::eq_f: r[in.a].set_bool(r[in.b].f() == r[in.c].f()); break;
        case op::ne_f: r[in.a].set_bool(r[in.b].f() != r[in.c].f()); break;
        case op::lt_d: r[in.a].set_bool(r[in.b].d() < r[in.c].d()); break;
        case op::le_d: r[in.a].set_bool(r[in.b].d() <= r[in.c].d()); break;
        case op::gt_d: r[in.a].set_bool(r[in.b].d() > r[in.c].d()); break;
        case op::ge_d: r[in.a].set_bool(r[in.b].d() >= r[in.c].d()); break;
        case op::eq_d: r[in.a].set_bool(r[in.b].d() == r[in.c].d()); break;
        case op::ne_d: r[in.a].set_bool(r[in.b].d() != r[in.c].d()); break;
        case op::eq_b: r[in.a].set_bool(r[in.b].b() == r[in.c].b()); break;
        case op::ne_b: r[in.a].set_bool(r[in.b].b() != r[in.c].b()); break;
        case op::and_b: r[in.a].set_bool(r[in.b].b() && r[in.c].b()); break;
        case op::or_b: r[in.a].set_bool(r[in.b].b() || r[in.c].b()); break;
        case op::lt_t: r[in.a].set_bool(r[in.b].chars() < r[in.c].chars()); break;
        case op::le_t: r[in.a].set_bool(r[in.b].chars() <= r[in.c].chars()); break;
        case op::gt_t: r[in.a].set_bool(r[in.b].chars() > r[in.c].chars()); break;
        case op::ge_t: r[in.a].set_bool(r[in.b].chars() >= r[in.c].chars()); break;
        case op::eq_t: r[in.a].set_bool(r[in.b].chars() == r[in.c].chars()); break;
        case op::ne_t: r[in.a].set_bool(r[in.b].chars() != r[in.c].chars()); break;
        case op::int_of_d: r[in.a].set_int(static_cast<std::int32_t>(real_bits(r[in.b].d()))); break;
        case op::int_of_b: r[in.a].set_int(r[in.b].b() ? 1 : 0); break;
        case op::double_of_i: r[in.a].set_double(static_cast<double>(r[in.b].i())); break;
        case op::double_of_b: r[in.a].set_double(r[in.b].b() ? 1.0 : 0.0); break;
        case op::bool_of_i: r[in.a].set_bool(r[in.b].i() != 0); break;
        case op::bool_of_d: r[in.a].set_bool(r[in.b].d() != 0); break;
        case op::text_of_i: {
            std::wstring s;
            number_text::append_wide(s, r[in.b].i());
            r[in.a] = slot::of_text(std::move(s));
            break;
        }
        case op::text_of_d: {
            std::wstring s;
            number_text::append_wide(s, r[in.b].d());
            r[in.a] = slot::of_text(std::move(s));
            break;
        }
        case op::text_of_b: r[in.a] = slot::of_text(r[in.b].b() ? L"1" : L"0"); break;
        case op::cast: r[in.a] = converted(r[in.b], static_cast<kind>(in.c)); break;
        case op::at: {
            const vector_elements& v = items(r[in.b]);
            const std::uint32_t i = r[in.c].u();  // an int index as its 32 bits: a negative one is past any size
            if (i >= v.size()) [[unlikely]] {
                fr->pc = pc;
                if (values(f, in, r)) return true;  // the vector refuses it as its method does
                resume();
                break;
            }
            r[in.a] = slot::of_value(v[i]);
            break;
        }
        case op::size: {
            // n: 0 a vector, 1 a list, 2 a hash
            const factor& c = *r[in.b].object();
            const std::size_t n = in.n == 0   ? static_cast<const vector_&>(c).elements().size()
                                  : in.n == 1 ? static_cast<const list_&>(c).elements().size()
                                              : static_cast<const hash_&>(c).entries().size();
            r[in.a].set_uint(static_cast<std::uint32_t>(n));
            break;
        }
        case op::text_size: r[in.a].set_uint(static_cast<std::uint32_t>(r[in.b].chars().size())); break;
        case op::text_at: {
            const std::wstring& t = r[in.b].chars();
            const std::uint32_t i = r[in.c].u();  // as the string's method reads an int index: its 32 bits
            if (i >= t.size()) [[unlikely]] {
                fr->pc = pc;
                if (values(f, in, r)) return true;  // the string refuses it as its method does
                resume();
                break;
            }
            r[in.a] = slot::of_text(std::wstring(1, t[i]));
            break;
        }
        case op::get_m: {
            const value* m = member_at(r[in.b], fr->body->members[static_cast<std::size_t>(in.c)]);
            if (!m) [[unlikely]] {
                fr->pc = pc;
                member_missing(f, in, r);
            }
            read_member(r[in.a], *m, static_cast<kind>(in.n));
            break;
        }
        case op::set_m: {
            value* m = member_at(r[in.b], fr->body->members[static_cast<std::size_t>(in.c)]);
            if (!m) [[unlikely]] {
                fr->pc = pc;
                member_missing(f, in, r);
            }
            write_member(*m, r[in.a], static_cast<kind>(in.n));
            break;
        }
        case op::member_v: {
            // An instance's own member, found by name; a base part's and every refusal on the value path.
            const member_site& m = fr->body->members[static_cast<std::size_t>(in.c)];
            if (r[in.b].what() == kind::object)
                if (scope* own = r[in.b].object()->own_members())
                    if (value* found = own->variables.find(m.name)) {
                        r[in.a] = slot::of_value(*found);
                        break;
                    }
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        }
        case op::truth_v: {
            bool t;
            if (plain_truth(r[in.b], t)) {
                r[in.a].set_bool(t);
                break;
            }
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        }
        case op::make:
        case op::assign_v:
        case op::arith_v:
        case op::relate_v:
            if (number_path<std::int32_t>(in, r) || number_path<double>(in, r)) break;
            [[fallthrough]];
        case op::clone:
        case op::method:
        case op::method_v:
        case op::no_method:
        case op::unary_v:
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        case op::append_t:
            if (!within_string_limit(r[in.a].chars().size() + r[in.b].chars().size())) [[unlikely]] {
                fr->pc = pc;
                join_refused(f, r[in.a], r[in.b], in.c != 0);
            }
            r[in.a].chars() += r[in.b].chars();
            break;
        case op::take: r[in.a] = std::move(r[in.b]); break;
        case op::global_append: {
            auto& g = static_cast<string_<wchar_t>&>(*const_cast<value&>(program_.globals[static_cast<std::size_t>(in.b)]));
            if (!within_string_limit(g.text().size() + r[in.a].chars().size())) [[unlikely]] {
                fr->pc = pc;
                join_refused(f, slot::of_text(g.text()), r[in.a], true);
            }
            g.append(r[in.a].chars());
            break;
        }
        case op::append_i: {
            // The number's text goes straight onto the string; past the limit it is taken off again and
            // the string class refuses the join as it would have.
            std::wstring& s = r[in.a].chars();
            const std::size_t before = s.size();
            number_text::append_wide(s, r[in.b].i());
            if (!within_string_limit(s.size())) [[unlikely]] {
                const slot number = slot::of_text(s.substr(before));
                s.resize(before);
                fr->pc = pc;
                join_refused(f, r[in.a], number, in.c != 0);
            }
            break;
        }
        case op::jump: pc = static_cast<std::uint32_t>(in.a); break;
        case op::jump_unless:
            if (!r[in.a].b()) pc = static_cast<std::uint32_t>(in.b);
            break;
        case op::unless_lt_i:
            if (!(r[in.b].i() < r[in.c].i())) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_le_i:
            if (!(r[in.b].i() <= r[in.c].i())) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_gt_i:
            if (!(r[in.b].i() > r[in.c].i())) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_ge_i:
            if (!(r[in.b].i() >= r[in.c].i())) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_eq_i:
            if (r[in.b].i() != r[in.c].i()) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_ne_i:
            if (r[in.b].i() == r[in.c].i()) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::add_ik: r[in.a].set_int(integer_result(arith::add, r[in.b].i(), in.c)); break;
        case op::sub_ik: r[in.a].set_int(integer_result(arith::sub, r[in.b].i(), in.c)); break;
        case op::mul_ik: r[in.a].set_int(integer_result(arith::mul, r[in.b].i(), in.c)); break;
        case op::div_ik: r[in.a].set_int(r[in.b].i() / in.c); break;
        case op::mod_ik: r[in.a].set_int(r[in.b].i() % in.c); break;
        case op::lt_ik: r[in.a].set_bool(r[in.b].i() < in.c); break;
        case op::le_ik: r[in.a].set_bool(r[in.b].i() <= in.c); break;
        case op::gt_ik: r[in.a].set_bool(r[in.b].i() > in.c); break;
        case op::ge_ik: r[in.a].set_bool(r[in.b].i() >= in.c); break;
        case op::eq_ik: r[in.a].set_bool(r[in.b].i() == in.c); break;
        case op::ne_ik: r[in.a].set_bool(r[in.b].i() != in.c); break;
        case op::unless_lt_ik:
            if (!(r[in.b].i() < in.c)) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_le_ik:
            if (!(r[in.b].i() <= in.c)) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_gt_ik:
            if (!(r[in.b].i() > in.c)) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_ge_ik:
            if (!(r[in.b].i() >= in.c)) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_eq_ik:
            if (r[in.b].i() != in.c) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::unless_ne_ik:
            if (r[in.b].i() == in.c) pc = static_cast<std::uint32_t>(in.a);
            break;
        case op::step:
            // Only a process body holds step instructions, and only while it is the fiber's one frame.
            fr->pc = pc;
            if (finishes(code, pc, r)) {
                f.frames_.clear();
                return false;
            }
            // Alone, the next pass would step this fiber again at once: the scheduler's round trip is
            // skipped. A process this step started makes it no longer alone; a sleep leaves the next
            // step to the scheduler's napping passes.
            if (passes != 0 && all_.live.size() == 1 && watch_.quiet_step()) {
                --passes;
                break;
            }
            return true;
        case op::call:
            enter(program_.units[static_cast<std::size_t>(in.b)], fr->base + static_cast<std::uint32_t>(in.c), in.a,
                  fr->inlines + (in.n >> 1u));
            break;
        case op::call_v: {
            // The definition the arguments' classes choose (a search that fails before any call is made),
            // then the call as `call` makes it.
            fr->pc = pc;
            const dispatch_site& d = fr->body->dispatches[static_cast<std::size_t>(in.b)];
            const dispatch_site::candidate& chosen = choose(f, d, r + in.c);
            enter(program_.units[chosen.unit], fr->base + static_cast<std::uint32_t>(in.c) + (d.in_method && !chosen.method ? 1 : 0),
                  in.a, fr->inlines + (in.n >> 1u));
            break;
        }
        case op::native:
            // Natives do their own work (output, files, a host's code) and may fail or throw: out of the loop.
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        case op::method_any:
            if (in.n != 0 && r[in.c].what() == kind::object) {
                // An instance of a class whose script method the compiler found runs its unit, as a.f() does.
                const method_site& m = fr->body->methods[static_cast<std::size_t>(in.b)];
                const type_id_t id = r[in.c].object()->type_id();
                const unit* callee = nullptr;
                for (const auto& [cls, index] : m.units)
                    if (cls == id) callee = &program_.units[index];
                if (callee) {
                    enter(*callee, fr->base + static_cast<std::uint32_t>(m.base - 1), in.a, fr->inlines);
                    break;
                }
            }
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        case op::hash_at:
        case op::hash_has: {
            // A number or string key is looked up here; any other key, and a missing one for at, takes
            // the hash's own method, which refuses what it does not take.
            const slot& key = r[in.c];
            if (key.what() == kind::text || key.what() == kind::int_) {
                value* found = static_cast<hash_&>(*r[in.b].object()).find(boxed(key));
                if (in.code == op::hash_has) {
                    r[in.a].set_bool(found != nullptr);
                    break;
                }
                if (found) {
                    value element = *found;
                    r[in.a] = slot::of_value(std::move(element));
                    break;
                }
            }
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        }
        case op::ret_v:
            fr->pc = pc;
            if (const std::optional<bool> thrown = give_back(f, in, r)) {
                if (*thrown) return true;
                resume();
                break;
            }
            [[fallthrough]];
        case op::ret:
        case op::ret_nil: {
            slot result = in.code != op::ret_nil ? std::move(r[in.a]) : slot();
            const std::int32_t to = fr->result;
            f.frames_.pop_back();
            fr = &f.frames_.back();
            code = fr->body->code.data();
            r = f.stack_.data() + fr->base;
            pc = fr->pc;
            r[to] = std::move(result);
            break;
        }
        case op::end:
            f.frames_.clear();
            return false;
        case op::start:
            fr->pc = pc;
            if (start(f, in, r)) return true;
            resume();
            break;
        case op::throw_:
            fr->pc = pc;
            if (raise(f, r[in.a], nullptr)) return true;
            resume();
            break;
        case op::loop:
            pc = static_cast<std::uint32_t>(in.c);
            [[fallthrough]];
        case op::tick:
            if (watch_.tick_due()) [[unlikely]] {
                fr->pc = pc;
                ticked(f, {static_cast<std::uint32_t>(in.a), static_cast<std::uint32_t>(in.b)});
            }
            if (cycles_.due()) [[unlikely]] cycles_.collect();
            break;
        case op::ref_of: r[in.a] = slot::of_place(fr->base + static_cast<std::uint32_t>(in.b)); break;
        case op::ref_get: {
            // A place in the stack holds the scalar itself, or a value object (an element) it stands for.
            const slot* p = &r[in.b];
            if (p->what() == kind::place) p = &f.stack_[p->index()];
            if (p->what() == kind::object) read_member(r[in.a], p->object(), static_cast<kind>(in.n));
            else r[in.a] = *p;
            break;
        }
        case op::ref_set: {
            slot* p = &r[in.b];
            if (p->what() == kind::place) p = &f.stack_[p->index()];
            if (p->what() == kind::object) write_member(p->object(), r[in.a], static_cast<kind>(in.n));
            else *p = r[in.a];
            break;
        }
        case op::global_ref: r[in.a] = slot::of_value(program_.globals[static_cast<std::size_t>(in.b)]); break;
        case op::check_call: {
            const check_site& c = fr->body->checks[static_cast<std::size_t>(in.a)];
            for (std::size_t k = 0; k < c.classes.size(); ++k)
                if (c.classes[k] && type_of(r[c.registers[k]]) != c.classes[k]) [[unlikely]] {
                    fr->pc = pc;
                    call_refused(f, c, r);
                }
            break;
        }
        case op::check_ref:
            if (type_of(r[in.a]) != static_cast<type_id_t>(in.b)) [[unlikely]] {
                fr->pc = pc;
                reference_refused(f, in, r);
            }
            break;
        case op::inline_check:
            if (fr->inlines + static_cast<std::uint32_t>(in.a) >= table::inline_nesting::limit) [[unlikely]] {
                fr->pc = pc;
                expansion_refused(f, in);
            }
            break;
        case op::no_inline:
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        // ref, typeid and timer values
        case op::box: r[in.a] = slot::of_value(boxed(r[in.b])); break;
        case op::get_r: r[in.a] = slot::of_value(static_cast<const ref&>(*r[in.b].object()).target()); break;
        case op::step_v:
            if (signed_<int>* n = exact_int(r[in.b].object())) {
                n->set(integer_result(in.n ? arith::sub : arith::add, n->get(), 1));
                if (in.a != in.b) r[in.a] = r[in.b];
                break;
            }
            fr->pc = pc;
            if (values(f, in, r)) return true;
            resume();
            break;
        case op::fail:
            fr->pc = pc;
            failure(f, in, r);
        // instances made by instructions
        case op::new_i: {
            const instance_recipe& made = fr->body->recipes[static_cast<std::size_t>(in.b)];
            if (may_build(f, made)) [[likely]] {
                r[in.a] = slot::of_value(built(*fr->body, made, r + in.c));
                break;
            }
            fr->pc = pc;
            if (values(f, instr(op::make, in.a, static_cast<std::int32_t>(made.cls->id), in.c, in.n), r)) return true;
            resume();
            break;
        }
        case op::take_i:
            if (r[in.b].object().use_count() == 1 && plain_copy(f, r[in.b].object())) {
                r[in.a] = std::move(r[in.b]);
                break;
            }
            fr->pc = pc;
            if (values(f, instr(op::make, in.a, in.c, in.b, 1), r)) return true;
            resume();
            break;
        default:
            // The compiler emits only the operations above: without a range check, the dispatch is one
            // indexed jump.
            __builtin_unreachable();
        }
    }
}
#pragma GCC diagnostic pop

// ---- instances made by instructions ----------------------------------------------------------------

bool machine::may_build(const fiber& f, const instance_recipe& recipe) const noexcept
{
    // The frames the fiber's calls nest (the process body's is none), as values lends them to the tree.
    const context& c = *program_.space->ctx;
    if (c.call_depth + (f.frames_.size() - 1) + recipe.depth > c.call_limit) return false;
    if (!watch_.ticks_fit(recipe.ticks)) return false;
    watch_.add_ticks(recipe.ticks);
    return true;
}

bool machine::plain_copy(const fiber& f, const value& v) const
{
    // Asked at the call depth the copy would be made at (see values).
    const lent_depth lent(*program_.space->ctx, f.frames_.size() - 1);
    return v->stands_for_copy();
}

value machine::built(const unit& u, const instance_recipe& recipe, const slot* given) const
{
    value made = make<instance>(recipe.cls);
    object& part = static_cast<instance&>(*made).part();
    table::variable& members = part.global.variables;
    for (const instance_recipe::step& s : recipe.steps) {
        switch (s.how) {
        case instance_recipe::step::base:
            part.take_base(built(u, u.recipes[static_cast<std::size_t>(s.from)], given));
            break;
        case instance_recipe::step::made:
            if (s.from >= 0) {
                members.declare_new(s.name, built(u, u.recipes[static_cast<std::size_t>(s.from)], given));
            } else {
                value m = program_.space->create_instance(s.type);
                m->call_constructor();
                members.declare_new(s.name, std::move(m));
            }
            break;
        case instance_recipe::step::argument: members.declare_new(s.name, boxed(given[s.from])); break;
        case instance_recipe::step::literal:
            members.declare_new(s.name, boxed(u.constants[static_cast<std::size_t>(s.from)]));
            break;
        }
    }
    return made;
}

bool machine::values(fiber& f, const instr& in, slot* r) const
{
    const lent_depth lent(*program_.space->ctx, f.frames_.size() - 1);
    // Script code the classes run for us (a constructor's body) throws as it would inside the try.
    const lent_handler handling(program_.space->root()->handlers_running, program_.catches && guarded(f));
    // What a refusal reports: the operator told by its operand types, or the method not taken.
    const char* op_name = nullptr;
    value left, right;
    args given;
    value stacked[3];  // the arguments of a built-in method with few
    sig_throw caught;
    sig_return returned;
    try {
        switch (in.code) {
        case op::make: {
            const auto type = static_cast<type_id_t>(in.b);
            for (std::int32_t k = 0; k < in.n; ++k) given.push_back(boxed(r[in.c + k]));
            r[in.a] = unboxed(program_.space->_generate(type, given));
            return false;
        }
        case op::clone: r[in.a] = slot::of_value(r[in.b].object()->clone()); return false;
        case op::at:
            // Only an index past the end comes here: the vector's method refuses it.
            given.push_back(boxed(r[in.c]));
            left = r[in.b].object();
            (void)left->builtin_method(method_name::at, given);
            throw fault("vm: an element index past the end that the vector took");
        case op::text_at:
            given.push_back(boxed(r[in.c]));
            left = boxed(r[in.b]);
            (void)left->builtin_method(method_name::at, given);
            throw fault("vm: a string index past the end that the string took");
        case op::method: {
            const method_site& m = f.frames_.back().body->methods[static_cast<std::size_t>(in.b)];
            // The staged arguments are this call's own copies: a string's characters move into its value,
            // and a few wait on the stack rather than in a vector of their own.
            arg_span passed;
            if (m.count <= std::size(stacked)) {
                for (std::uint32_t k = 0; k < m.count; ++k) stacked[k] = moved_out(r[m.base + static_cast<std::int32_t>(k)]);
                passed = arg_span(stacked, m.count);
            } else {
                for (std::uint32_t k = 0; k < m.count; ++k) given.push_back(moved_out(r[m.base + static_cast<std::int32_t>(k)]));
                passed = given;
            }
            // A vector by its handle; a string's text as the string value its methods run on.
            left = boxed(r[in.c]);
            value out = left->builtin_method(m.name, passed);
            if (!out) throw fault("vm: a built-in method the value's table did not take");
            r[in.a] = in.n ? unboxed(std::move(out)) : slot::of_value(std::move(out));
            return false;
        }
        case op::member_v: {
            // A base part's member, or the value's refusal ("undefined member", a scalar's "has no member").
            const member_site& m = f.frames_.back().body->members[static_cast<std::size_t>(in.c)];
            left = boxed(r[in.b]);
            try {
                r[in.a] = slot::of_value(left->member_of(m.name));
            } catch (exception& e) {
                script_trace& t = e.script();
                if (t.message.empty()) t.message = type_word(*left) + " has no member '" + narrow(*m.name) + "'";
                throw;
            }
            return false;
        }
        case op::method_v: {
            const method_site& m = f.frames_.back().body->methods[static_cast<std::size_t>(in.b)];
            for (std::uint32_t k = 0; k < m.count; ++k) given.push_back(boxed(r[m.base + static_cast<std::int32_t>(k)]));
            left = boxed(r[in.c]);
            r[in.a] = unboxed(left->method(method_call<wchar_t>{.v = given, .name = *m.text, .interned = m.text, .ctx = program_.space->ctx}));
            if (m.writes_back)
                for (std::uint32_t k = 0; k < m.count; ++k) r[m.base + static_cast<std::int32_t>(k)] = unboxed(given[k]);
            if (in.n && r[in.a].what() != static_cast<kind>(in.n))
                throw fault("vm: a number's method gave another kind than the compiler took");
            return false;
        }
        case op::hash_at:
        case op::hash_has: {
            given.push_back(boxed(r[in.c]));
            left = r[in.b].object();
            value out = left->builtin_method(in.code == op::hash_at ? method_name::at : method_name::exist, given);
            if (!out) throw fault("vm: a hash that did not take at or exist");
            if (in.code == op::hash_at) r[in.a] = slot::of_value(std::move(out));
            else r[in.a] = unboxed(std::move(out));
            return false;
        }
        case op::method_any: {
            const method_site& m = f.frames_.back().body->methods[static_cast<std::size_t>(in.b)];
            for (std::uint32_t k = 0; k < m.count; ++k) given.push_back(boxed(r[m.base + static_cast<std::int32_t>(k)]));
            left = boxed(r[in.c]);
            value out;
            if (m.name != method_name::none && m.name != method_name::unresolved && m.count <= 3)
                out = left->builtin_method(m.name, given);
            if (!out) out = left->method(method_call<wchar_t>{.v = given, .name = *m.text, .interned = m.text, .ctx = program_.space->ctx});
            if (!out) throw fault("vm: a method slot that gave nothing and raised nothing");
            // The value itself (an element's own handle, which an assignment changes in place).
            r[in.a] = slot::of_value(std::move(out));
            return false;
        }
        case op::no_method: {
            // The instance's search finds nothing and refuses, as the tree interpreter's call reports it.
            const method_site& m = f.frames_.back().body->methods[static_cast<std::size_t>(in.b)];
            for (std::uint32_t k = 0; k < m.count; ++k) given.push_back(boxed(r[m.base + static_cast<std::int32_t>(k)]));
            left = boxed(r[in.c]);
            (void)left->method(method_call<wchar_t>{.v = given, .name = *m.text, .interned = m.text, .ctx = program_.space->ctx});
            throw fault("vm: an instance took a method call that no class of it defines");
        }
        case op::assign_v: {
            // The target is an element's own value, or a variable's boxed for its class to change.
            slot& target = r[in.a];
            const bool element = target.what() == kind::object;
            right = boxed(r[in.b]);
            left = boxed(target);
            if (in.n == 0) {
                op_name = "operator =";
                left->operator=(right);
            } else {
                const auto a = static_cast<arith>(in.n - 1);
                op_name = operator_text(a);
                if (!left->operate_in_place(a, right)) left->operator=(arithmetic(*left, a, right));
            }
            if (!element) target = unboxed(left);
            return false;
        }
        case op::arith_v: {
            const auto a = static_cast<arith>(in.n);
            op_name = operator_text(a);
            left = boxed(r[in.b]);
            right = boxed(r[in.c]);
            // The compiler types the result by the left operand: a number or string in place, and what a
            // value object (an element) gives stays the new value object it is (a joined string is not
            // copied out of it).
            if (r[in.b].what() == kind::object) r[in.a] = slot::of_value(arithmetic(*left, a, right));
            else r[in.a] = unboxed(arithmetic(*left, a, right));
            return false;
        }
        case op::relate_v: {
            const auto rel = static_cast<relation>(in.n);
            op_name = operator_text(rel);
            left = boxed(r[in.b]);
            right = boxed(r[in.c]);
            bool yes = false;
            if (!left->test_relation(rel, right, yes)) yes = truth(relate(*left, rel, right));
            r[in.a].set_bool(yes);
            return false;
        }
        case op::native: {
            const native_call& n = program_.natives[static_cast<std::size_t>(in.b)];
            for (std::uint32_t k = 0; k < n.count; ++k) given.push_back(boxed(r[in.c + static_cast<std::int32_t>(k)]));
            value out = program_.space->call_native(n.name, given);
            if (n.writes_back)
                for (std::uint32_t k = 0; k < n.count; ++k) r[in.c + static_cast<std::int32_t>(k)] = unboxed(given[k]);
            if (n.gives == kind::nil) r[in.a] = slot();
            else if (!out) throw fault("vm: a native that gave no value");
            else if (n.gives == kind::object) r[in.a] = slot::of_value(std::move(out));
            else if (out->type_id() == tid::string_) r[in.a] = slot::of_text(static_cast<const string_<wchar_t>&>(*out).text());
            else throw fault("vm: a native that gave no string where the compiler took one");
            return false;
        }
        case op::truth_v: r[in.a].set_bool(truth(boxed(r[in.b]))); return false;
        case op::no_inline: {
            // The instance's namespace looks for the definition and finds none.
            const method_site& m = f.frames_.back().body->methods[static_cast<std::size_t>(in.a)];
            for (std::uint32_t k = 0; k < m.count; ++k) given.push_back(boxed(r[m.base + static_cast<std::int32_t>(k)]));
            (void)static_cast<instance&>(*r[in.b].object()).part().expand_inline(m.text, given);
            throw fault("vm: an instance's namespace that took an inline expansion");
        }
        case op::step_v:
            left = r[in.b].object();
            op_name = in.n ? "operator --" : "operator ++";
            if (in.n) left->operator--();
            else left->operator++();
            if (in.a != in.b) r[in.a] = r[in.b];
            return false;
        case op::unary_v:
            // The value classes' ! gives a bool, their - a value of their own class.
            left = boxed(r[in.b]);
            op_name = in.n ? "operator -" : "operator !";
            if (in.n) r[in.a] = unboxed(left->operator-());
            else r[in.a].set_bool(truth(left->operator!()));
            return false;
        default: break;
        }
        throw fault("vm: an instruction the value path does not run");
    } catch (exception& e) {
        script_trace& t = e.script();
        if (op_name && left && t.message.empty()) {
            t.message = refusal_sentence(op_name, *left, right.get());
        } else if ((in.code == op::method || in.code == op::method_v || in.code == op::no_method || in.code == op::at ||
                    in.code == op::text_at || in.code == op::method_any || in.code == op::hash_at || in.code == op::hash_has) &&
                   t.message.empty() && t.frames.empty() && !e.out_of_depth()) {
            if (given.empty())
                for (const value& v : stacked)
                    if (v) given.push_back(v);
            const std::string name = in.code == op::at || in.code == op::text_at || in.code == op::hash_at || in.code == op::hash_has
                                         ? std::string(method_text(in.code == op::hash_has ? method_name::exist : method_name::at))
                                                       : narrow(*f.frames_.back().body->methods[static_cast<std::size_t>(in.b)].text);
            t.message = type_word(*left) + " has no method " + program_.space->call_signature(name, given);
        }
        failed(f, std::move(e));
    } catch (sig_throw& thrown) {
        caught = std::move(thrown);
    } catch (sig_return& r) {
        returned = std::move(r);
    } catch (const sig_break&) {
        throw fault("vm: a break out of the interpreter's class code, which the compiler took for none");
    } catch (const sig_continue&) {
        throw fault("vm: a continue out of the interpreter's class code, which the compiler took for none");
    }
    if (returned.v) return take_return(f, std::move(returned.v));
    return raise(f, slot::of_value(std::move(caught.v)), std::move(caught.trace));
}

// ---- inline expansions ---------------------------------------------------------------------------------

void machine::expansion_refused(fiber& f, const instr& in) const
{
    // The interpreter's own expansion refuses it, its count of open expansions lent the fiber's.
    context& c = *program_.space->ctx;
    const unsigned before = c.inline_depth;
    c.inline_depth = f.frames_.back().inlines + static_cast<std::uint32_t>(in.a);
    try {
        (void)program_.space->expand_inline(f.frames_.back().body->methods[static_cast<std::size_t>(in.b)].text, args{});
    } catch (exception& e) {
        c.inline_depth = before;
        failed(f, std::move(e));
    }
    c.inline_depth = before;
    throw fault("vm: an expansion past the limit that the interpreter took");
}

// ---- a return out of a constructor body ------------------------------------------------------------------

bool machine::take_return(fiber& f, value v) const
{
    if (f.frames_.size() == 1) {
        // No call takes it: the process ends with the report the tree's process gives, with no place.
        exception e = stray_return_report(v);
        f.frames_.clear();
        throw e;
    }
    // The value becomes the call's result as its own return's does, converted to the declared type after
    // the body: a failure there leaves through the call, placed at the call site.
    const frame& callee = f.frames_.back();
    const type_id_t type = callee.body->returns;
    value result;
    sig_throw caught;
    try {
        if (v.use_count() == 1 && tid::plain_copy(type) && v->type_id() == type) result = std::move(v);
        else if (tid::flat(type) && v->type_id() == type) result = v->clone();
        else result = program_.space->_generate(type, v);
    } catch (exception& e) {
        exception left = table::function::left_call(e);
        const frame& caller = f.frames_[f.frames_.size() - 2];
        if ((caller.body->code[caller.pc - 1].n & 1) != 0 && !left.out_of_depth())
            left = static_cast<const instance&>(*f.stack_[callee.base].object()).left_method(left);
        f.frames_.pop_back();
        failed(f, std::move(left));
    } catch (sig_throw& thrown) {
        caught = std::move(thrown);
    }
    const std::int32_t to = callee.result;
    f.frames_.pop_back();
    if (caught.v) return raise(f, slot::of_value(std::move(caught.v)), std::move(caught.trace));
    f.stack_[f.frames_.back().base + static_cast<std::uint32_t>(to)] = unboxed(std::move(result));
    return false;
}

void machine::member_missing(fiber& f, const instr& in, slot* r) const
{
    // The instance's own search refuses it, as the tree's member access reports it.
    const member_site& m = f.frames_.back().body->members[static_cast<std::size_t>(in.c)];
    const value v = r[in.b].object();
    try {
        (void)v->member_of(m.name);
    } catch (exception& e) {
        script_trace& t = e.script();
        if (t.message.empty()) t.message = type_word(*v) + " has no member '" + narrow(*m.name) + "'";
        failed(f, std::move(e));
    }
    throw fault("vm: a member that the instance holds but not where the compiler placed it");
}

void machine::call_refused(fiber& f, const check_site& c, slot* r) const
{
    // No definition takes the arguments' classes: the interpreter's own search reports it.
    args given;
    for (const std::int32_t reg : c.registers) given.push_back(boxed(r[reg]));
    try {
        if (c.receiver >= 0) (void)r[c.receiver].object()->method(
            method_call<wchar_t>{.v = given, .name = *c.name, .interned = c.name, .ctx = program_.space->ctx});
        else (void)program_.space->call_function(c.name, given);
    } catch (exception& e) {
        failed(f, std::move(e));
    }
    throw fault("vm: a call the interpreter took with arguments of classes its only definition does not take");
}

void machine::reference_refused(fiber& f, const instr& in, slot* r) const
{
    try {
        e_ref_constructor::refuse_class(*program_.space, static_cast<type_id_t>(in.b), type_of(r[in.a]),
                                        f.frames_.back().body->checks[static_cast<std::size_t>(in.c)].name);
    } catch (exception& e) {
        failed(f, std::move(e));
    }
}

bool machine::divisor_refused(fiber& f, arith what, const slot& divisor) const
{
    // The value classes make the range_error, so that it names the same place in them as the tree
    // interpreter's does.
    sig_throw caught;
    try {
        if (divisor.what() == kind::uint_) refuse_divisor(what, divisor.u());
        else refuse_divisor(what, divisor.i());
    } catch (sig_throw& thrown) {
        caught = std::move(thrown);
    }
    if (!caught.v) throw fault("vm: a divisor the integer rules refuse that the value classes took");
    return raise(f, slot::of_value(std::move(caught.v)), std::move(caught.trace));
}

void machine::depth_exceeded(fiber& f) const
{
    failed(f, table::call_depth::report(table::function::call_name, call_limit_));
}

void machine::join_refused(fiber& f, const slot& text, const slot& joined, bool in_place) const
{
    // The string class refuses the join itself, so that the report names its operator and place as the
    // tree interpreter's does. Nothing is joined: the length is checked first.
    const value left = boxed(text), right = boxed(joined);
    try {
        if (in_place) left->operate_in_place(arith::add, right);
        else (void)left->operator+(right);
    } catch (exception& e) {
        failed(f, std::move(e));
    }
    throw fault("vm: a join past the string limit that the string class let through");
}

// The report the tree interpreter gives for an interpreter error in a call: the error, then the "catch
// exception" of every call it leaves; placed, and closed by the process frame.
void machine::failed(fiber& f, exception e) const
{
    for (std::size_t k = f.frames_.size(); k-- > 1;) {
        e = table::function::left_call(e);
        // A method called on an instance (`a.f()`, not a plain call inside a method) leaves through the
        // instance, which chains the error behind its description; a runaway recursion passes unchanged.
        const frame& caller = f.frames_[k - 1];
        if ((caller.body->code[caller.pc - 1].n & 1) != 0 && !e.out_of_depth()) {
            const value self = f.stack_[f.frames_[k].base].object();
            e = static_cast<const instance&>(*self).left_method(e);
        }
    }
    place(f, e.script());
    end(f, std::move(e));
}

bool machine::guarded(const fiber& f) const noexcept
{
    for (const frame& fr : f.frames_)
        for (const handler& h : fr.body->handlers)
            if (h.covers(fr.pc - 1)) return true;
    return false;
}

bool machine::raise(fiber& f, slot thrown, trace_ptr trace) const
{
    const type_id_t type = type_of(thrown);
    for (std::size_t k = f.frames_.size(); k-- > 0;) {
        const frame& fr = f.frames_[k];
        const std::uint32_t at = fr.pc - 1;
        for (const handler& h : fr.body->handlers) {
            if (!h.covers(at)) continue;
            // The clause for the value's exact type, else the one without a parameter, as the tree's
            // catch table chooses.
            const catch_clause* chosen = nullptr;
            for (const catch_clause& c : h.clauses)
                if (c.typed && c.type == type) chosen = &c;
            if (!chosen)
                for (const catch_clause& c : h.clauses)
                    if (!c.typed) chosen = &c;
            if (!chosen) continue;
            f.frames_.resize(k + 1);
            frame& into = f.frames_.back();
            if (chosen->typed) {
                slot& param = f.stack_[into.base + static_cast<std::uint32_t>(chosen->reg)];
                if (chosen->copy) param = slot::of_value(thrown.object()->clone());
                else if (thrown.what() == kind::object) param = unboxed(thrown.object());
                else param = std::move(thrown);
            }
            into.pc = chosen->target;
            return k == 0 && into.body->process;
        }
    }
    uncaught(f, thrown, std::move(trace));
}

// A script exception nothing catches ends the process, with the account the tree interpreter gives it.
void machine::uncaught(fiber& f, const slot& thrown, trace_ptr trace) const
{
    if (trace) {
        place(f, *trace);
    } else {
        // The tree interpreter starts the account of a throw as it leaves a call with no try running
        // around it: the place of the throw, then only the frames from there outward. Frames left while
        // a try that did not take it was still running outside them are not in it.
        trace = std::make_shared<script_trace>();
        const frame& inner = f.frames_.back();
        trace->mark(inner.body->statement_at(inner.pc - 1));
        std::size_t from = f.frames_.size() - 1;
        for (std::size_t k = 0; k < from; ++k) {
            const frame& fr = f.frames_[k];
            if (std::any_of(fr.body->handlers.begin(), fr.body->handlers.end(),
                            [&](const handler& h) { return h.covers(fr.pc - 1); })) {
                from = k;
                break;
            }
        }
        place(f, *trace, from, false);
    }
    end(f, uncaught_throw(thrown.what() == kind::nil ? make<nil>() : boxed(thrown), std::move(trace)));
}

void machine::end(fiber& f, exception e) const
{
    all_.leave(f, e.script());
    f.frames_.clear();
    throw e;
}

// The error's place in the innermost frame, then each function frame left with the call site in its
// caller, as the tree interpreter marks them on the way out. Each frame's pc is past the instruction it
// stands at.
void machine::place(const fiber& f, script_trace& trace, std::size_t from, bool inner) const
{
    // Each inline expansion around the frame's instruction, innermost first.
    auto expansions = [&](const frame& fr) {
        for (const expansion_site& x : fr.body->expansions)
            if (fr.pc - 1 >= x.from && fr.pc - 1 < x.to) trace.leave("inline " + x.name, x.site);
    };
    const frame& innermost = f.frames_.back();
    trace.mark(innermost.body->at(innermost.pc - 1));
    if (inner) expansions(innermost);
    for (std::size_t k = from; k > 0; --k) {
        const frame& left = f.frames_[k];
        trace.leave((left.body->method ? "method " : "function ") + left.body->name);
        const frame& caller = f.frames_[k - 1];
        trace.mark(caller.body->at(caller.pc - 1));
        expansions(caller);
    }
}

// ---- containers ----------------------------------------------------------------------------------------

std::optional<bool> machine::give_back(fiber& f, const instr& in, slot* r) const
{
    // As the tree interpreter's call returns it: the body's variables go first, then a result of the
    // declared class that nothing else holds is the caller's value itself, any other is converted (a
    // copy, which may fail on deep nesting, or the class's refusal, a bad_cast).
    slot result = std::move(r[in.a]);
    for (std::uint32_t k = 0; k < f.frames_.back().body->registers; ++k) r[k] = slot();
    const auto want = static_cast<type_id_t>(in.b);
    // The call is still open while the tree converts: an instance's copy counts its constructor calls
    // from its depth.
    const lent_depth lent(*program_.space->ctx, f.frames_.size() - 1);
    if (result.what() == kind::object && result.object().use_count() == 1 && result.object()->type_id() == want &&
        (tid::plain_copy(want) || result.object()->stands_for_copy())) {
        r[in.a] = std::move(result);
        return std::nullopt;
    }
    sig_throw caught;
    try {
        // The callee's tries have ended (a return is a hole in them): only its callers' may take a throw.
        const lent_handler handling(program_.space->root()->handlers_running, program_.catches && guarded(f));
        r[in.a] = slot::of_value(program_.space->_generate(want, boxed(result)));
        return std::nullopt;
    } catch (exception& e) {
        // Made after the body has left: the error leaves the call from its site, as the tree reports it.
        f.frames_.pop_back();
        failed(f, table::function::left_call(e));
    } catch (sig_throw& thrown) {
        caught = std::move(thrown);
    }
    // A throw goes out of the call expression, its frame gone.
    f.frames_.pop_back();
    return raise(f, slot::of_value(std::move(caught.v)), std::move(caught.trace));
}

// ---- processes -----------------------------------------------------------------------------------------

bool machine::start(fiber& f, const instr& in, slot* r) const
{
    const start_site& s = f.frames_.back().body->starts[static_cast<std::size_t>(in.a)];
    std::vector<slot> arguments(r + in.c, r + in.c + s.count);
    // A vector or an instance is copied by its class as the tree interpreter's start copies it: a copy
    // constructor's error is the start's failure, its throw the starting statement's.
    sig_throw caught;
    try {
        const lent_depth lent(*program_.space->ctx, f.frames_.size() - 1);
        const lent_handler handling(program_.space->root()->handlers_running, program_.catches && guarded(f));
        wrap_failure([] { return nspace::start_failure(); }, [&] {
            for (std::size_t k = 0; k < arguments.size(); ++k)
                if (arguments[k].what() == kind::object && !s.by_reference[k])
                    arguments[k] = slot::of_value(arguments[k].object()->clone());
            return 0;
        });
    } catch (exception& e) {
        failed(f, std::move(e));
    } catch (sig_throw& thrown) {
        caught = std::move(thrown);
    }
    if (caught.v) return raise(f, slot::of_value(std::move(caught.v)), std::move(caught.trace));
    const origin from{s.at, f.serial_, f.body_, f.from_.at, f.from_.starter, f.from_.starter_body};
    fiber& born = all_.live.emplace_back(program_, s.body, ++all_.started, from, std::move(arguments));
    // The script's process value stands for a process with no tree frame, which the fiber's end stops.
    if (s.keeps) r[in.b] = slot::of_value(make<process_<process>>(born.shown(s.pid, *program_.space)));
    return false;
}

void machine::ticked(fiber& f, script_pos at) const
{
    try {
        watch_.at_tick_mark(at);
    } catch (exception& e) {
        failed(f, std::move(e));
    }
    // A step that loops or calls for long would hold its garbage cycles to its end: the collector is asked
    // here too (a call or loop test, where every value is held whole), at most every few thousand ticks
    // rather than at each as the tree interpreter asks, so that the dispatch loop pays nothing for it.
    program_.space->ctx->cycles.poll();
}

// ---- run-time errors ----------------------------------------------------------------------------------

void machine::failure(fiber& f, const instr& in, slot* r) const
{
    const failure_site& s = f.frames_.back().body->failures[static_cast<std::size_t>(in.a)];
    args given;
    for (std::uint32_t k = 0; k < s.count; ++k) given.push_back(boxed(r[s.base + static_cast<std::int32_t>(k)]));
    constexpr const char* run_name = "vorla::process<wchar_t>::run";
    try {
        switch (s.what) {
        case failure_site::no_variable: (void)nlookup<wchar_t>::find_variable(nullptr, s.name); break;
        case failure_site::no_function: (void)program_.space->call_function(s.name, given); break;
        case failure_site::no_process:
            wrap_failure([] { return nspace::start_failure(); },
                         [&] { return program_.space->process_definition(s.pid, given); });
            break;
        case failure_site::duplicate: {
            // The name is bound already where the declaration runs: a table holding it refuses it again.
            table::variable names;
            names.declare(s.name, make<nil>());
            names.declare(s.name, given.front());
            break;
        }
        case failure_site::stray_break:
        case failure_site::stray_continue: {
            const bool brk = s.what == failure_site::stray_break;
            exception e = VORLA_EXCEPTION(run_name, brk ? "catch unexpected break" : "catch unexpected continue");
            e.explain(std::string(brk ? "a break" : "a continue") + " outside every loop reached the end of the process");
            throw e;
        }
        case failure_site::stray_return: {
            // The tree interpreter reports it after the body's step, without a place or the process frame.
            exception e = VORLA_EXCEPTION(run_name, "catch unexpected return ") << given.front()->describe();
            f.frames_.clear();
            throw e;
        }
        }
    } catch (exception& e) {
        if (s.what == failure_site::stray_return) throw;
        failed(f, std::move(e));
    }
    throw fault("vm: an error the compiler foresaw that the interpreter did not raise");
}

const dispatch_site::candidate& machine::choose(fiber& f, const dispatch_site& d, slot* from_reg) const
{
    slot* given = from_reg + (d.in_method ? 1 : 0);
    for (const dispatch_site::candidate& c : d.candidates) {
        bool fits = true;
        for (std::uint32_t k = 0; k < d.count && fits; ++k) fits = !c.classes[k] || type_of(given[k]) == c.classes[k];
        if (!fits) continue;
        for (std::uint32_t k = 0; k < d.count; ++k) {
            if (c.prepare[k] == 1 && given[k].what() == kind::object) given[k] = unboxed(given[k].object());
            else if (c.prepare[k] == 2) given[k] = slot::of_value(given[k].object()->clone());
        }
        return c;
    }
    // Nothing takes these classes: the search the tree's call makes reports it, from the method's own
    // namespace in a method (one line for each namespace it passed).
    args list;
    for (std::uint32_t k = 0; k < d.count; ++k) list.push_back(boxed(given[k]));
    try {
        nspace* from = program_.space;
        if (d.in_method) {
            object* part = &static_cast<instance&>(*from_reg[0].object()).part();
            for (std::uint32_t k = 0; k < d.depth && part->base; ++k) part = &static_cast<instance&>(*part->base).part();
            from = part;
        }
        (void)from->call_function(d.name, list);
    } catch (exception& e) {
        failed(f, std::move(e));
    }
    throw fault("vm: a call the interpreter took with arguments no candidate of the compiler takes");
}

fiber::~fiber()
{
    if (shown_) shown_->stopped = true;
}

const std::shared_ptr<process>& fiber::shown(type_id_t pid, nspace& root)
{
    if (!shown_) shown_ = std::make_shared<process>(pid, nullptr, &root, &root.global, serial_);
    return shown_;
}

void fiber::stop() noexcept
{
    stopped_ = true;
    if (shown_) shown_->stopped = true;
}

const std::string& fiber::name() const noexcept { return body_->name; }

script_pos fiber::standing() const noexcept
{
    if (frames_.empty()) return {};
    // Between steps only the body's frame is there. A branch's or loop's jumps after a step are taken
    // as its next step takes them (a test's result waits in its register), so the statement found is
    // the one that step runs.
    const unit& u = *frames_.front().body;
    std::uint32_t pc = frames_.front().pc;
    for (std::size_t hops = 0; hops <= u.code.size() && pc < u.code.size(); ++hops) {
        const instr& in = u.code[pc];
        if (in.code == op::jump) pc = static_cast<std::uint32_t>(in.a);
        else if (in.code == op::loop) pc = static_cast<std::uint32_t>(in.c) - 1;  // the loop's tick, where its test begins
        else if (in.code == op::jump_unless) pc = stack_[static_cast<std::size_t>(in.a)].b() ? pc + 1 : static_cast<std::uint32_t>(in.b);
        else if (in.code == op::box) ++pc;  // a catch parameter boxed as its clause begins: the clause's first statement is next
        else break;
    }
    const auto after = std::upper_bound(u.statements.begin(), u.statements.end(), pc,
                                        [](std::uint32_t at, const auto& entry) { return at < entry.first; });
    if (after == u.statements.begin() || std::prev(after)->first != pc) return u.at(pc);
    return std::prev(after)->second;
}

void processes::leave(const fiber& f, script_trace& trace) const
{
    auto frame_of = [&](const unit* body, std::uint32_t number, script_pos at) {
        trace.leave_process("process " + body->name + "#" + std::to_string(number), at);
    };
    auto running = [&](std::uint32_t number) -> const fiber* {
        for (const fiber& p : live)
            if (p.serial_ == number) return &p;
        return nullptr;
    };
    frame_of(f.body_, f.serial_, f.from_.at);
    std::uint32_t number = f.from_.starter, up = f.from_.grand;
    const unit* body = f.from_.starter_body;
    const unit* up_body = f.from_.grand_body;
    script_pos at = f.from_.starter_at;
    // Serials fall along a chain of starts, so the walk ends. A process two levels up that has finished
    // is named without its start, and the walk stops there.
    while (number) {
        frame_of(body, number, at);
        if (const fiber* p = running(number)) {
            up = p->from_.starter;
            up_body = p->from_.starter_body;
        }
        if (!up) break;
        number = up;
        body = up_body;
        up = 0;
        at = {};
        if (const fiber* p = running(number)) {
            at = p->from_.at;
            up = p->from_.starter;
            up_body = p->from_.starter_body;
        }
    }
}

namespace {
script_pos found_at(const std::vector<std::pair<std::uint32_t, script_pos>>& table, std::size_t offset) noexcept
{
    script_pos found{};
    for (const auto& [start, pos] : table) {
        if (start > offset) break;
        found = pos;
    }
    return found;
}
} // namespace

script_pos unit::at(std::size_t offset) const noexcept { return found_at(positions, offset); }

script_pos unit::statement_at(std::size_t offset) const noexcept { return found_at(statements, offset); }

} // namespace vorla::vm
