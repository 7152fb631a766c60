// The refusal rules shared by every value class, written once.
#include "factor.hpp"

#include <istream>
#include <ostream>

#include "stack_guard.hpp"

namespace vorla {

std::string arglist_text(arg_span v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ", ";
        out += "v[";
        out += detail::format_number(static_cast<unsigned long>(i));
        out += "]=";
        out += v[i]->describe();
    }
    return out;
}

std::string call_text(const std::string& name, arg_span v)
{
    std::string out = "id=" + name;
    if (v.empty()) return out + ", v=0";
    return out + ", " + arglist_text(v);
}

static std::string fn(const site& s, const char* op) { return std::string(s.cls) + "::" + op; }

std::string type_word(type_id_t id)
{
    switch (id) {
    case tid::boolean: return "bool";
    case tid::signed_: return "int";
    case tid::float_: return "float";
    case tid::double_: return "double";
    case tid::string_: return "string";
    case tid::unsigned_: return "unsigned int";
    case tid::vector_: return "vector";
    case tid::list_: return "list";
    case tid::timer: return "timer";
    case tid::hash_: return "hash";
    case tid::nil: return "nil";
    case tid::ref: return "ref";
    case tid::typeid_: return "typeid";
    case tid::bad_cast: return "bad_cast";
    case tid::range_error: return "range_error";
    default: return {};
    }
}

std::string type_word(const factor& v)
{
    std::string word = type_word(v.type_id());
    if (!word.empty()) return word;
    // An instance describes itself as "Name[members]".
    const std::string d = v.describe();
    return d.substr(0, d.find('['));
}

std::string refusal_sentence(const std::string& op, const factor& self, const factor* operand)
{
    const std::string l = type_word(self);
    if (!operand) {
        if (op == "operator -") return "cannot negate " + l;
        if (op == "operator ++") return "cannot increment " + l;
        if (op == "operator --") return "cannot decrement " + l;
        if (op == "operator !") return "cannot apply ! to " + l;
        if (op == "call_constructor") return "cannot make " + l + " from nothing";
        if (op == "read_istream") return "cannot read into " + l + ": only a bool, a number or a string is read from the input";
        return {};
    }
    const std::string r = type_word(*operand);
    if (op == "operator +") return "cannot add " + r + " to " + l;
    if (op == "operator -") return "cannot subtract " + r + " from " + l;
    if (op == "operator *") return "cannot multiply " + l + " by " + r;
    if (op == "operator /") return "cannot divide " + l + " by " + r;
    if (op == "operator %") return "cannot take " + l + " modulo " + r;
    if (op == "operator =") return "cannot assign " + r + " to " + l;
    if (op == "call_constructor") return "cannot make " + l + " from " + r;
    if (op == "operator ==" || op == "operator !=" || op == "operator <" || op == "operator >" ||
        op == "operator <=" || op == "operator >=")
        return "cannot compare " + l + " with " + r + " using " + op.substr(9);
    if (op.rfind("operator ", 0) == 0) return "cannot apply " + op.substr(9) + " to " + l + " and " + r;
    return {};
}

void factor::refuse(const char* op, const std::string& message) const
{
    const site& s = where();
    throw exception(message, s.file, fn(s, op), s.line);
}
void factor::refuse(const char* op, const value& operand) const
{
    const site& s = where();
    exception e(operand->describe(), s.file, fn(s, op), s.line);
    const std::string plain = refusal_sentence(op, *this, operand.get());
    if (!plain.empty()) e.explain(plain);
    throw e;
}
void factor::refuse(const char* op) const
{
    const site& s = where();
    exception e(std::string(), s.file, fn(s, op), s.line);
    const std::string plain = refusal_sentence(op, *this, nullptr);
    if (!plain.empty()) e.explain(plain);
    throw e;
}
void factor::refuse(const char* op, const std::string& message, std::string plain) const
{
    const site& s = where();
    exception e(message, s.file, fn(s, op), s.line);
    e.explain(std::move(plain));
    throw e;
}
std::string conversion_target(const char* op)
{
    const std::string o(op);
    if (o.find("basic_string") != std::string::npos) return "string";
    return o.rfind("operator ", 0) == 0 ? o.substr(9) : o;
}

void factor::refuse_cast(const char* op) const
{
    const site& s = where();
    auto cause = std::make_shared<script_trace>();
    cause->message = "cannot convert " + type_word(*this) + " to " + conversion_target(op);
    throw_bad_cast(s.file, fn(s, op), s.line, std::move(cause));
}
void factor::undefined(const char* op)
{
    throw exception("undefined", __FILE__, std::string("vorla::factor::") + op, __LINE__);
}

void throw_string_limit(std::size_t length, const char* file, const std::string& function, int line)
{
    exception e("string length limit exceeded, length=" + detail::format_number(length) +
                    " limit=" + detail::format_number(string_limit),
                file, function, line);
    e.explain("a string would be longer than " + detail::format_number(string_limit) + " characters");
    throw e;
}

void factor::take_from(std::size_t& budget, std::size_t n) const
{
    if (n <= budget) {
        budget -= n;
        return;
    }
    const std::size_t reached = copy_limit - budget + n;
    refuse("clone", "copy size limit exceeded, size=" + detail::format_number(reached) + " limit=" +
                        detail::format_number(copy_limit),
           "a copy would make more than " + detail::format_number(copy_limit) + " values");
}

void factor::check_length(std::size_t length, const char* op) const
{
    if (within_string_limit(length)) return;
    const site& s = where();
    throw_string_limit(length, s.file, fn(s, op), s.line);
}

factor::nesting::nesting(const factor& self, const char* op, unsigned depth)
{
    if (depth >= nesting_limit || stack_exhausted()) {
        // The plain message names the walk, so the account of a method that hashed or compared a key
        // too deep does not read as if the method were missing. It names no type: near the end of the
        // stack there is no room to work out a class's name.
        const std::string o(op);
        const char* walk = o == "clone" ? "copy" : o == "equal" ? "compare" : op;
        const site& s = self.where();
        exception e("nesting too deep", s.file, fn(s, op), s.line);
        e.explain(std::string("a value is nested too deep to ") + walk);
        throw e;
    }
}

void release_all(release_list& work) noexcept
{
    while (!work.empty()) {
        value v = std::move(work.back());
        work.pop_back();
        // Held elsewhere too: dropping this handle releases nothing more.
        if (v.use_count() == 1) v->give_up_children(work);
        // v goes here, holding nothing: its destructor has nothing left to release.
    }
}

void release_children(factor& self) noexcept
{
    release_list work;
    self.give_up_children(work);
    release_all(work);
}

void factor::call_constructor(const args& v) { refuse("call_constructor", arglist_text(v)); }
void factor::call_constructor(const value& v) { refuse("call_constructor", v); }
void factor::call_constructor() { refuse("call_constructor"); }
value factor::operator+(const value& r) const { refuse("operator +", r); }
value factor::operator-() const { refuse("operator -"); }
value factor::operator-(const value& r) const { refuse("operator -", r); }
value factor::operator*(const value& r) const { refuse("operator *", r); }
value factor::operator/(const value& r) const { refuse("operator /", r); }
value factor::operator%(const value& r) const { refuse("operator %", r); }
value factor::operator&&(const value& r) const { refuse("operator &&", r); }
value factor::operator||(const value& r) const { refuse("operator ||", r); }
value factor::operator==(const value& r) const { refuse("operator ==", r); }
value factor::operator!=(const value& r) const { refuse("operator !=", r); }
value factor::operator>=(const value& r) const { refuse("operator >=", r); }
value factor::operator<=(const value& r) const { refuse("operator <=", r); }
value factor::operator>(const value& r) const { refuse("operator >", r); }
value factor::operator<(const value& r) const { refuse("operator <", r); }
void factor::operator=(const value& r) { refuse("operator =", r); }
void factor::operator++() { refuse("operator ++"); }
void factor::operator--() { refuse("operator --"); }
value factor::operator!() const { refuse("operator !"); }
factor::operator bool() const { refuse_cast(opname::to_bool); }
factor::operator unsigned int() const { refuse_cast(opname::to_unsigned); }
factor::operator int() const { refuse_cast(opname::to_int); }
factor::operator float() const { refuse_cast(opname::to_float); }
factor::operator double() const { refuse_cast(opname::to_double); }
factor::operator std::string() const { refuse_cast(opname::to_string); }
factor::operator std::wstring() const { refuse_cast(opname::to_wstring); }
value factor::member(const std::wstring& name) const { refuse("member", narrow(name)); }
value factor::member(const std::string& name) const { refuse("member", name); }
value factor::method(const method_call<wchar_t>& c) { refuse("method", call_text(narrow(c.name), c.v)); }
value factor::method(const method_call<char>& c) { refuse("method", call_text(c.name, c.v)); }
std::wostream& factor::write_ostream(std::wostream&) const { refuse("write_ostream"); }
std::ostream& factor::write_ostream(std::ostream&) const { refuse("write_ostream"); }
std::wistream& factor::read_istream(std::wistream&) { refuse("read_istream"); }
std::istream& factor::read_istream(std::istream&) { refuse("read_istream"); }

} // namespace vorla
