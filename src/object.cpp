// Script classes at run time: the class object's definitions, construction of instances, methods,
// conversions, and the instance value itself.
#include "object.hpp"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "expression/signal.hpp"
#include "factor/instance.hpp"
#include "factor/list_.hpp"
#include "factor/vector_.hpp"
#include "stack_guard.hpp"

namespace vorla {

namespace {

#define VORLA_OBJECT "vorla::object<wchar_t,class vorla::process<wchar_t> >::"
#define VORLA_INSTANCE "vorla::instance<wchar_t,class vorla::object<wchar_t,class vorla::process<wchar_t> > >::"
constexpr const char* fn_define_member = VORLA_OBJECT "define_member";
constexpr const char* fn_define_constructor = VORLA_OBJECT "define_constructor";
constexpr const char* fn_default_constructor = VORLA_OBJECT "call_default_constructor";
constexpr const char* fn_base_constructor = VORLA_OBJECT "call_base_constructor";
constexpr const char* fn_ref_member = VORLA_OBJECT "call_ref_member_constructor";
constexpr const char* fn_method = VORLA_OBJECT "method";
constexpr const char* fn_call_cast = VORLA_OBJECT "call_cast";
constexpr const char* fn_call_constructor = VORLA_INSTANCE "call_constructor";
constexpr const char* fn_member = VORLA_INSTANCE "member";
constexpr const char* fn_instance_method = VORLA_INSTANCE "method";
#undef VORLA_OBJECT

// A runaway recursion (exception::out_of_depth) passes the class layers without a line of their own:
// through constructors, methods or conversions it then reads as a run of identical lines that the
// driver shortens, and a conversion does not turn it into a catchable bad_cast (the script could
// otherwise loop on).

// The wrapping of the class layers: the cause is chained behind make(), except a call-depth failure.
template <class Make, class Body>
decltype(auto) class_layer(Make&& make, Body&& body)
{
    return wrap_failure(std::forward<Make>(make), std::forward<Body>(body),
                        [](const std::exception& caught) { return out_of_depth(caught); });
}

// A signal left over from a constructor or conversion body crosses the expression that called it, in its
// C++ form; a throw no handler can catch takes its account along.
[[noreturn]] void leave_body(flow f, script_signal& s, nspace& space)
{
    s.crossing_call(space.root()->handlers_running);
    raise_signal(f, s);
}

object& part_of(const value& v) { return static_cast<instance&>(*v).part(); }

// The root owns the class table and the process list. Class objects live in that table and instances
// in variables that processes hold, so an owning handle back to either would make a cycle that is
// never released; classes and instances only borrow them from the root, which outlives them.
template <class T>
std::shared_ptr<T> borrowed(const std::shared_ptr<T>& owned)
{
    return std::shared_ptr<T>(std::shared_ptr<T>(), owned.get());
}

} // namespace

// ---- the class object ----------------------------------------------------------------------------

object::object(nspace* parent, const std::wstring& class_name, type_id_t id)
    : nspace(parent),
      name(nspace::name),
      id(id),
      constructors(std::make_shared<table::constructor>()),
      members(std::make_shared<member_table>())
{
    nspace::name = class_name;
    classes = borrowed(classes);
    live = borrowed(live);
}

object::object(std::shared_ptr<const object> from, instance_part_t)
    : nspace(*from, borrowing_t{}),
      cls(std::move(from)),
      name(cls->name),
      id(cls->id),
      base_id(cls->base_id),
      constructors(borrowed(cls->constructors)),
      cast_bool(borrowed(cls->cast_bool)),
      cast_int(borrowed(cls->cast_int)),
      cast_unsigned(borrowed(cls->cast_unsigned)),
      cast_float(borrowed(cls->cast_float)),
      cast_double(borrowed(cls->cast_double)),
      cast_string(borrowed(cls->cast_string)),
      members(borrowed(cls->members)),
      refers_(cls->refers_)
{
    // Methods (and anything else the class defined) are the class's own tables, not copies.
}

bool object::define_member(type_id_t type, symbol member_name, bool reference)
{
    if (find_member_type(member_name))
        throw VORLA_EXCEPTION(fn_define_member, "fail to define member, ")
            << type_name(type) << (reference ? "& " : " ") << *member_name;
    members->emplace_back(member_name, member_type{type, reference});
    refers_ = refers_ || reference;
    return true;
}

const object::member_type* object::find_member_type(symbol member_name) const noexcept
{
    for (const auto& m : *members)
        if (m.first == member_name) return &m.second;
    return nullptr;
}

void object::define_constructor(const table::parameter_list& params, const std::wstring& constructor_name,
                                control_ptr body)
{
    if (constructor_name != name)
        throw VORLA_EXCEPTION(fn_define_constructor, "try to define invalid constructor, id=")
            << constructor_name << " " << table::parameter_text(params);
    // A copy constructor taking its argument by value would need a copy to make its argument.
    if (params.size() == 1 && params.front().type == id && !params.front().reference)
        throw VORLA_EXCEPTION(fn_define_constructor, "invalid parameter of copy constructor, class=") << name;
    constructors->define(params, std::move(body));
}

// ---- construction of an instance's part ------------------------------------------------------------

void object::run_constructor(const table::routine& r, const args& v)
{
    // The frame sits on the instance's variables: initializers declare members there, and the body
    // sees parameters, then members, then globals.
    // A signal left over from the body crosses the expression that called the constructor.
    own_runtime rt{&global, this};
    watch->tick();  // a call like any other for the budgets
    framed([&] { return "constructor " + call_signature(narrow(name), v); },
           [&] {
               const flow f = table::run_frame(r, v, rt);
               if (f != flow::done) leave_body(f, *rt.out, *this);
           });
}

void object::call_default_constructor()
{
    if (base_id) {
        base = create_instance(base_id);
        base->call_constructor();
        link_base();
    }
    for (const auto& [member_name, m] : *members) {
        if (m.reference)
            throw VORLA_EXCEPTION(fn_default_constructor, "uninitialized refference, ")
                << type_name(m.type) << "& " << *member_name;
        value v = create_instance(m.type);
        v->call_constructor();
        global.variables.declare(member_name, std::move(v));
    }
}

void object::copy_construct(const object& from)
{
    if (base_id && from.base) {
        value b = create_instance(base_id);
        b->call_constructor(from.base);
        base = std::move(b);
        link_base();
    }
    auto& source = const_cast<object&>(from).global.variables;
    for (const auto& [member_name, m] : *members) {
        value* v = source.find(member_name);
        if (!v) continue;  // a constructor that never made the member: nothing to copy
        if (m.reference) {
            global.variables.declare(member_name, *v);
        } else {
            value copy = create_instance(m.type);
            copy->call_constructor(*v);
            global.variables.declare(member_name, std::move(copy));
        }
    }
}

void object::call_base_constructor(const args& v)
{
    if (!base_id) throw VORLA_EXCEPTION(fn_base_constructor, "class has no base class, class=") << name;
    base = create_instance(base_id);
    construct(*base, v);
    link_base();
}

void object::take_base(value made)
{
    base = std::move(made);
    link_base();
}

void object::call_ref_member_constructor(const value& v, type_id_t type, symbol member_name)
{
    if (v->type_id() != type)
        throw VORLA_EXCEPTION(fn_ref_member, "fail to initialize refference member, ")
            << type_name(type) << "& " << *member_name;
    global.variables.declare(member_name, v);
}

void object::link_base()
{
    object& b = part_of(base);
    global.parent = &b.global;
    parent = &b;
}

// ---- methods and conversions -------------------------------------------------------------------------

object* object::base_part() const noexcept
{
    // The namespace that is no class is the root, where global functions live.
    return parent && parent->parent ? static_cast<object*>(parent) : nullptr;
}

value object::method(symbol method_name, const args& v, script_signal* out, call_site* site)
{
    // A site's remembered definition stands while every part it passed on the way shares the same
    // class tables with the same stamps, and the arguments have its exact types.
    if (site && site->routine) {
        unsigned i = 0;
        for (object* o = this; o && o->functions.get() == site->path[i].functions &&
                               o->functions->stamp() == site->path[i].stamp;
             o = o->base_part(), ++i) {
            if (i < site->depth) continue;
            if (!table::matches(site->routine->params, v)) break;
            return run_method(*o, method_name, *site->routine, v, out);
        }
    }
    if (site) return search_method(method_name, v, out, *site);
    call_site once;
    return search_method(method_name, v, out, once);
}

value object::search_method(symbol method_name, const args& v, script_signal* out, call_site& site)
{
    site.routine = nullptr;
    // Outward through the base instances only: global functions are never methods.
    unsigned levels = 0;
    for (object* o = this; o; o = o->base_part(), ++levels) {
        if (levels < call_site::max_depth) site.path[levels] = {o->functions.get(), o->functions->stamp()};
        if (const table::routine* r = o->functions->find(method_name, v)) {
            site.routine = levels < call_site::max_depth ? r : nullptr;
            site.depth = levels;
            return run_method(*o, method_name, *r, v, out);
        }
    }
    throw VORLA_EXCEPTION(fn_method, "undefined method, ")
              .explain("class " + narrow(name) + " has no method " + call_signature(narrow(*method_name), v))
        << call_text(narrow(*method_name), v);
}

value object::run_method(object& o, symbol method_name, const table::routine& r, const args& v, script_signal* out)
{
    auto what = [&] { return "method " + call_signature(narrow(o.name) + "::" + narrow(*method_name), v); };
    if (out) {
        // The signal slot of the statement calling it: a throw out of the body travels as its flow.
        runtime rt{&o.global, &o, *out};
        value result = framed(what, [&] { return table::function::invoke(r, v, rt); });
        if (!result && out->kind == flow::thr && out->trace) out->trace->leave(what());
        return result;
    }
    own_runtime rt{&o.global, &o};
    return framed(what, [&] {
        value result = table::function::invoke(r, v, rt);
        if (!result) raise_signal(rt.out->kind, *rt.out);
        return result;
    });
}

value object::call_cast(type_id_t target, const control_ptr& body)
{
    if (!body) throw VORLA_EXCEPTION(fn_call_cast, "undefined casting, typeid=") << target;
    table::call_depth depth(*ctx, fn_call_cast);
    own_runtime rt{&global, this};
    return framed([&] { return "operator " + type_name(target) + "() of " + narrow(name); }, [&]() -> value {
        flow f;
        {
            scope frame(&global);
            runtime inner{&frame, this, *rt.out};
            f = table::run_call_body(*body, inner);
        }
        if (f == flow::ret) return _generate(target, rt.out->take());
        if (f == flow::done)
            throw VORLA_EXCEPTION(fn_call_cast, "no return statement").explain("the conversion ended without a return");
        leave_body(f, *rt.out, *this);
    });
}

// ---- the instance value ------------------------------------------------------------------------------

void instance::call_constructor(const args& v)
{
    table::call_depth depth(*part_.ctx, fn_call_constructor);
    class_layer([&] { return VORLA_EXCEPTION(fn_call_constructor, arglist_text(v)); }, [&] {
        const table::routine* r = part_.constructors->find(v);
        if (!r) throw VORLA_EXCEPTION(fn_call_constructor, "undefined");
        part_.run_constructor(*r, v);
    });
}

void instance::call_constructor(const value& v)
{
    table::call_depth depth(*part_.ctx, fn_call_constructor);
    class_layer([&] { return VORLA_EXCEPTION(fn_call_constructor, v->describe()); }, [&] {
        const args one{v};
        if (const table::routine* r = part_.constructors->find(one)) {
            part_.run_constructor(*r, one);
        } else if (v->type_id() == part_.id) {
            part_.copy_construct(part_of(v));
        } else {
            throw VORLA_EXCEPTION(fn_call_constructor, "undefined");
        }
    });
}

void instance::call_constructor()
{
    table::call_depth depth(*part_.ctx, fn_call_constructor);
    class_layer([] { return VORLA_EXCEPTION(fn_call_constructor, ""); }, [&] {
        const args none;
        if (const table::routine* r = part_.constructors->find(none)) part_.run_constructor(*r, none);
        else part_.call_default_constructor();
    });
}

void instance::refuse_binary(const char* op, const value& r) const { refuse(op, describe() + ", " + r->describe()); }

value instance::operator+(const value& r) const { refuse_binary("operator +", r); }
value instance::operator-(const value& r) const { refuse_binary("operator -", r); }
value instance::operator*(const value& r) const { refuse_binary("operator *", r); }
value instance::operator/(const value& r) const { refuse_binary("operator /", r); }
value instance::operator%(const value& r) const { refuse_binary("operator %", r); }
value instance::operator&&(const value& r) const { refuse_binary("operator &&", r); }
value instance::operator||(const value& r) const { refuse_binary("operator ||", r); }
value instance::operator==(const value& r) const { refuse_binary("operator ==", r); }
value instance::operator!=(const value& r) const { refuse_binary("operator !=", r); }
value instance::operator>=(const value& r) const { refuse_binary("operator >=", r); }
value instance::operator<=(const value& r) const { refuse_binary("operator <=", r); }
value instance::operator>(const value& r) const { refuse_binary("operator >", r); }
value instance::operator<(const value& r) const { refuse_binary("operator <", r); }
value instance::operator-() const { refuse("operator -", describe()); }
void instance::operator++() { refuse("operator ++", describe()); }
void instance::operator--() { refuse("operator --", describe()); }
value instance::operator!() const { refuse("operator !", describe()); }
std::wostream& instance::write_ostream(std::wostream&) const { refuse("write_ostream", describe()); }
std::ostream& instance::write_ostream(std::ostream&) const { refuse("write_ostream", describe()); }
std::wistream& instance::read_istream(std::wistream&) { refuse("read_istream", describe()); }
std::istream& instance::read_istream(std::istream&) { refuse("read_istream", describe()); }

void instance::operator=(const value& r)
{
    if (r->type_id() != part_.id) refuse("operator =", describe() + ", " + r->describe());
    if (r.get() == this) return;
    object& from = part_of(r);
    if (part_.base && from.base) *part_.base = from.base;
    // Every member gets a new value object: whoever still holds an old member value keeps it as it was.
    for (const auto& [member_name, m] : *part_.members) {
        value* v = from.global.variables.find(member_name);
        if (!v) continue;
        part_.global.variables.rebind(member_name, m.reference ? *v : (*v)->clone());
    }
}

value instance::convert(type_id_t target, const control_ptr& body, const char* op) const
{
    // Whatever goes wrong, the script sees one catchable bad_cast from this conversion; what went wrong
    // stays in its account for the report, should nothing catch it.
    trace_ptr cause;
    try {
        const handler_scope handling(const_cast<object&>(part_).root()->handlers_running);
        return const_cast<object&>(part_).call_cast(target, body);
    } catch (const exception& e) {
        if (e.out_of_depth()) throw;
        if (e.trace()) cause = std::make_shared<script_trace>(*e.trace());
    } catch (const std::exception& e) {
        if (out_of_depth(e)) throw;
    } catch (sig_throw& s) {
        cause = std::move(s.trace);
    } catch (const sig_return&) {
    } catch (const sig_break&) {
    } catch (const sig_continue&) {
    }
    if (!body) {
        cause = std::make_shared<script_trace>();
        cause->message = "class " + narrow(part_.name) + " has no conversion to " + conversion_target(op);
    } else if (cause && !cause->message.empty()) {
        cause->message = "conversion of " + narrow(part_.name) + " to " + type_word(target) + " failed: " + cause->message;
    }
    throw_bad_cast(__FILE__, std::string(VORLA_INSTANCE) + op, __LINE__, std::move(cause));
}

instance::operator bool() const { return static_cast<bool>(*convert(tid::boolean, part_.cast_bool, opname::to_bool)); }
instance::operator unsigned int() const
{
    return static_cast<unsigned int>(*convert(tid::unsigned_, part_.cast_unsigned, opname::to_unsigned));
}
instance::operator int() const { return static_cast<int>(*convert(tid::signed_, part_.cast_int, opname::to_int)); }
instance::operator float() const
{
    return static_cast<float>(*convert(tid::float_, part_.cast_float, opname::to_float));
}
instance::operator double() const
{
    return static_cast<double>(*convert(tid::double_, part_.cast_double, opname::to_double));
}
instance::operator std::wstring() const
{
    return static_cast<std::wstring>(*convert(tid::string_, part_.cast_string, opname::to_wstring));
}
instance::operator std::string() const { undefined(opname::to_string); }

value instance::member(const std::wstring& name) const { return member_of(part_.ctx->intern(name)); }
value instance::member_of(symbol name) const
{
    return class_layer([&] { return VORLA_EXCEPTION(fn_member, describe()); }, [&] {
        return nlookup<wchar_t>::find_member(const_cast<scope*>(&part_.global), name);
    });
}
value instance::member(const std::string&) const { undefined("member"); }

value instance::method(const method_call<wchar_t>& c)
{
    return class_layer([&] { return VORLA_EXCEPTION(fn_instance_method, describe()); },
                       [&] { return part_.method(c.interned ? c.interned : part_.ctx->intern(c.name), c.v, c.out, c.site); });
}
value instance::method(const method_call<char>&) { undefined("method"); }

exception instance::left_method(const std::exception& caught) const
{
    return exception(VORLA_EXCEPTION(fn_instance_method, describe())) << caught;
}

value instance::clone() const
{
    // A copy constructor of the class when it has one, else member-wise copy construction.
    value copy = make<instance>(part_.cls);
    copy->call_constructor(value(const_cast<instance*>(this)));  // the count lives in the object
    return copy;
}

namespace {

// Whether the copy of the instance (its copy construction, `room` constructor calls deep at most before
// the call depth limit) would be a plain copy of content that nobody could tell from the instance itself:
// no copy constructor of its classes runs, each part's members stand in the order the copy makes them
// (the member table's), and each member value, held by the part alone, is a scalar, a string, an empty
// vector or list, or an instance of which the same holds.
bool copy_is_plain(const instance& i, unsigned room)
{
    if (room == 0 || stack_exhausted()) return false;
    const object& part = i.part();
    if (part.has_reference_member()) return false;
    for (const table::routine& r : part.constructors->all())
        if (r.params.size() == 1 && r.params.front().type == part.id) return false;
    if (part.base && (part.base.use_count() != 1 || !copy_is_plain(static_cast<const instance&>(*part.base), room - 1)))
        return false;
    const auto& entries = part.global.variables.entries();
    if (entries.size() != part.members->size()) return false;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const value& m = entries[k].second;
        if (entries[k].first != (*part.members)[k].first || m.use_count() != 1) return false;
        const type_id_t t = m->type_id();
        if (tid::flat(t)) continue;
        if (t == tid::vector_) {
            if (!static_cast<const vector_&>(*m).elements().empty()) return false;
        } else if (t == tid::list_) {
            if (!static_cast<const list_&>(*m).elements().empty()) return false;
        } else if (const auto* inner = dynamic_cast<const instance*>(m.get())) {
            if (!copy_is_plain(*inner, room - 1)) return false;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

bool instance::stands_for_copy() const
{
    const context& c = *part_.ctx;
    return copy_is_plain(*this, c.call_depth < c.call_limit ? c.call_limit - c.call_depth : 0);
}

void instance::give_up_children(release_list& out)
{
    part_.global.variables.give_up_values(out);
    if (part_.base) out.push_back(std::move(part_.base));
}

void instance::visit_children(child_visitor& visit) const
{
    for (const auto& m : part_.global.variables.entries())
        if (m.second) visit(*m.second);
    if (part_.base) visit(*part_.base);
}

void instance::hash_at(std::uint32_t& seed, unsigned depth) const
{
    const nesting level(*this, "hash", depth);
    for (const auto& m : part_.global.variables.entries()) m.second->hash_at(seed, depth + 1);
}

bool instance::equal_at(const value& other, unsigned depth) const
{
    if (other->type_id() != part_.id) return false;
    const nesting level(*this, "equal", depth);
    const auto& mine = part_.global.variables.entries();
    const auto& theirs = part_of(other).global.variables.entries();
    if (mine.size() != theirs.size()) return false;
    for (std::size_t i = 0; i < mine.size(); ++i)
        if (!mine[i].second->equal_at(theirs[i].second, depth + 1)) return false;
    return true;
}

std::string instance::describe_at(unsigned depth) const
{
    // A member can lead back to this instance through a reference; the walk must end in a diagnostic.
    const nesting level(*this, "describe", depth);
    std::string out = narrow(part_.name) + "[";
    bool first = true;
    for (const auto& [member_name, v] : part_.global.variables.entries()) {
        if (!first) out += ", ";
        first = false;
        out += narrow(*member_name);
        out += '=';
        out += v->describe_at(depth + 1);
    }
    out += ']';
    if (part_.base) out += ":[" + part_.base->describe_at(depth + 1) + "]";
    return out;
}

} // namespace vorla
