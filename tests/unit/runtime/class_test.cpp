// Class objects and instances built by hand: definitions, the construction forms, members, methods,
// conversions, assignment, copies and the refusals of an instance.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "context.hpp"
#include "expression/nodes.hpp"
#include "expression/signal.hpp"
#include "expression/statements.hpp"
#include "factor/exception.hpp"
#include "factor/instance.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"
#include "object.hpp"

using namespace vorla;

namespace {

#define OBJ "object.cpp vorla::object<wchar_t,class vorla::process<wchar_t> >::"
#define INST "vorla::instance<wchar_t,class vorla::object<wchar_t,class vorla::process<wchar_t> > >::"

const bool locale_ready = (install_locale(), true);

using lines = std::vector<std::string>;

// The state of the one interpreter these classes are made for: names, call depths.
context& state()
{
    static context shared;
    return shared;
}
symbol intern(const std::wstring& name) { return state().intern(name); }

value int_(int n) { return make<signed_<int>>(n); }
value uint_(unsigned n) { return make<unsigned_<unsigned int>>(n); }
value str(const wchar_t* s) { return make<string_<wchar_t>>(s); }
expr k(int n) { return std::make_shared<e_constant<signed_<int>, int>>(n); }
expr var(const wchar_t* name) { return std::make_shared<e_variable>(intern(name)); }
control_ptr block(control_list l) { return std::make_shared<c_compound>(std::move(l)); }
control_ptr ret(expr e) { return std::make_shared<c_return>(std::move(e)); }
control_ptr stmt(expr e) { return std::make_shared<c_single>(std::move(e)); }
expr assign(expr l, expr r) { return std::make_shared<e_assign>(std::move(l), std::move(r)); }
expr declare_member(const wchar_t* name, type_id_t type, expr_list a = {})
{
    return std::make_shared<e_declare_member>(intern(name), type, std::move(a));
}
control_ptr ctor(expr_list inits, control_list body = {})
{
    return std::make_shared<c_constructor>(std::move(inits), block(std::move(body)));
}
table::parameter param(type_id_t type, const wchar_t* name, bool reference = false)
{
    return table::parameter{reference, type, intern(name)};
}

// The chain of a diagnostic, one entry per line, without line numbers.
lines chain(const std::string& text)
{
    static const std::regex line_number("^([^(]*)\\([0-9,]+\\) ");
    lines out;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\n>\t", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        out.push_back(std::regex_replace(line, line_number, "$1 ", std::regex_constants::format_first_only));
        if (end == std::string::npos) return out;
        start = end + 3;
    }
}

template <class F>
lines failure(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return chain(e.what());
    }
    ADD_FAILURE() << "no exception";
    return {};
}

// The value a script throw carries, or nothing.
template <class F>
value thrown(F f)
{
    try {
        f();
    } catch (const sig_throw& t) {
        return t.v;
    }
    return nullptr;
}

class classes : public ::testing::Test {
protected:
    nspace root{state()};

    classes() { EXPECT_TRUE(locale_ready); }

    std::shared_ptr<object> define(const wchar_t* name) { return root.define_object(name); }
    value make(const std::shared_ptr<object>& cls) { return root.create_instance(cls->id); }
    value built(const std::shared_ptr<object>& cls)
    {
        value v = make(cls);
        v->call_constructor();
        return v;
    }
    static object& part(const value& v) { return static_cast<instance&>(*v).part(); }
};

TEST_F(classes, a_class_object_is_a_named_child_of_its_namespace_in_the_class_table)
{
    auto a = define(L"A");
    EXPECT_EQ(a->name, L"A");
    EXPECT_EQ(a->parent, &root);
    EXPECT_EQ(a->base_id, 0u);
    EXPECT_EQ(root.get_object(a->id), a);
    EXPECT_EQ(root.find_typeid(L"A"), a->id);
    // The type-id manager refuses the second name before the class table is touched.
    EXPECT_ANY_THROW(define(L"A"));
    EXPECT_EQ(root.classes->size(), 1u);
}

TEST_F(classes, an_instance_shares_the_compiled_tables_and_owns_its_variables)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    value v = make(a);
    object& p = part(v);
    EXPECT_EQ(p.functions, a->functions);
    EXPECT_EQ(p.constructors, a->constructors);
    EXPECT_EQ(p.members, a->members);
    EXPECT_EQ(p.natives, root.natives);
    EXPECT_EQ(p.global.parent, &root.global);
    // Members exist only once constructed.
    EXPECT_TRUE(p.global.variables.empty());
    v->call_constructor();
    EXPECT_EQ(p.global.variables.size(), 1u);
    EXPECT_TRUE(a->global.variables.empty());
}

TEST_F(classes, define_member_refuses_a_second_member_of_one_name)
{
    auto a = define(L"A");
    EXPECT_TRUE(a->define_member(tid::signed_, intern(L"x"), false));
    EXPECT_EQ(failure([&] { a->define_member(tid::string_, intern(L"x"), false); }),
              lines{OBJ "define_member: fail to define member, string x"});
    EXPECT_EQ(failure([&] { a->define_member(tid::signed_, intern(L"x"), true); }),
              lines{OBJ "define_member: fail to define member, int& x"});
}

TEST_F(classes, define_constructor_refuses_another_name_and_a_copy_constructor_by_value)
{
    auto a = define(L"A");
    EXPECT_EQ(failure([&] { a->define_constructor({param(tid::signed_, L"v")}, L"B", ctor({})); }),
              lines{OBJ "define_constructor: try to define invalid constructor, id=B arguments(type(102) v)"});
    EXPECT_EQ(failure([&] { a->define_constructor({param(a->id, L"o")}, L"A", ctor({})); }),
              lines{OBJ "define_constructor: invalid parameter of copy constructor, class=A"});
    a->define_constructor({param(a->id, L"o", true)}, L"A", ctor({}));
    const lines twice = failure([&] { a->define_constructor({param(a->id, L"p", true)}, L"A", ctor({})); });
    ASSERT_EQ(twice.size(), 1u);
    EXPECT_NE(twice[0].find("overwrite constructor, arguments(type("), std::string::npos);
}

TEST_F(classes, default_construction_makes_the_base_then_every_member_in_declaration_order)
{
    auto base = define(L"Base");
    base->define_member(tid::string_, intern(L"tag"), false);
    auto d = define(L"D");
    d->base_id = base->id;
    d->define_member(tid::signed_, intern(L"b"), false);
    d->define_member(tid::double_, intern(L"a"), false);
    value v = built(d);
    EXPECT_EQ(v->describe(), "D[b=int(0), a=double(0)]:[Base[tag=string()]]");
    // Base members are found from the instance; globals are not members.
    root.global.variables.declare(intern(L"g"), int_(1));
    EXPECT_EQ(v->member(std::wstring(L"tag"))->describe(), "string()");
    EXPECT_EQ(failure([&] { v->member(std::wstring(L"g")); }),
              (lines{"object.cpp " INST "member: D[b=int(0), a=double(0)]:[Base[tag=string()]]",
                     "nlookup.cpp vorla::nlookup<wchar_t>::find_member: undefined member, g"}));
}

TEST_F(classes, a_reference_member_cannot_be_made_from_nothing)
{
    auto r = define(L"R");
    r->define_member(tid::signed_, intern(L"t"), true);
    EXPECT_EQ(failure([&] { built(r); }),
              (lines{"object.cpp " INST "call_constructor: ",
                     OBJ "call_default_constructor: uninitialized refference, int& t"}));
}

TEST_F(classes, a_script_constructor_makes_only_what_its_list_names)
{
    auto base = define(L"Base");
    auto a = define(L"A");
    a->base_id = base->id;
    a->define_member(tid::signed_, intern(L"x"), false);
    a->define_member(tid::signed_, intern(L"y"), false);
    // A(int v) : x(v) { }, built without the compiler's default group: y and the base are never made.
    a->define_constructor({param(tid::signed_, L"v")}, L"A", ctor({declare_member(L"x", tid::signed_, {var(L"v")})}));
    value v = make(a);
    v->call_constructor(int_(4));
    EXPECT_EQ(v->describe(), "A[x=int(4)]");
    EXPECT_EQ(failure([&] { v->member(std::wstring(L"y")); }).back(),
              "nlookup.cpp vorla::nlookup<wchar_t>::find_member: undefined member, y");
}

TEST_F(classes, constructors_are_chosen_by_exact_argument_types_and_report_their_arguments)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    a->define_constructor({param(tid::signed_, L"p"), param(tid::signed_, L"q")}, L"A",
                          ctor({declare_member(L"x", tid::signed_, {var(L"q")})}));
    value two = make(a);
    two->call_constructor(args{int_(1), int_(2)});
    EXPECT_EQ(two->describe(), "A[x=int(2)]");
    EXPECT_EQ(failure([&] { make(a)->call_constructor(args{int_(1), uint_(2)}); }),
              (lines{"object.cpp " INST "call_constructor: v[0]=int(1), v[1]=unsigned(2)",
                     "object.cpp " INST "call_constructor: undefined"}));
    EXPECT_EQ(failure([&] { make(a)->call_constructor(uint_(2)); }),
              (lines{"object.cpp " INST "call_constructor: unsigned(2)", "object.cpp " INST "call_constructor: undefined"}));
}

TEST_F(classes, the_base_initializer_passes_zero_one_or_several_arguments)
{
    auto base = define(L"Base");
    base->define_member(tid::signed_, intern(L"n"), false);
    base->define_constructor({param(tid::signed_, L"a"), param(tid::signed_, L"b")}, L"Base",
                             ctor({declare_member(L"n", tid::signed_, {var(L"b")})}));
    auto d = define(L"D");
    d->base_id = base->id;
    d->define_constructor({}, L"D", ctor({std::make_shared<e_base>(expr_list{k(1), k(2)})}));
    d->define_constructor({param(tid::signed_, L"v")}, L"D", ctor({std::make_shared<e_base>(expr_list{})}));
    value v = built(d);
    EXPECT_EQ(v->describe(), "D[]:[Base[n=int(2)]]");
    value w = make(d);
    w->call_constructor(int_(3));
    EXPECT_EQ(w->describe(), "D[]:[Base[n=int(0)]]");
    // The base's members are reached by plain name from the derived part.
    own_runtime rt{&part(w).global, &part(w)};
    EXPECT_EQ(var(L"n")->evaluate(rt)->describe(), "int(0)");
}

TEST_F(classes, a_reference_member_aliases_a_value_of_exactly_its_type)
{
    auto r = define(L"R");
    r->define_member(tid::signed_, intern(L"t"), true);
    r->define_constructor({param(tid::signed_, L"v", true)}, L"R",
                          ctor({std::make_shared<e_ref_member>(intern(L"t"), tid::signed_, var(L"v"))}));
    r->define_constructor({param(tid::unsigned_, L"u", true)}, L"R",
                          ctor({std::make_shared<e_ref_member>(intern(L"t"), tid::signed_, var(L"u"))}));
    value target = int_(5);
    value v = make(r);
    v->call_constructor(target);
    EXPECT_EQ(v->member(std::wstring(L"t")), target);
    EXPECT_EQ(failure([&] { make(r)->call_constructor(uint_(1)); }),
              (lines{"object.cpp " INST "call_constructor: unsigned(1)",
                     OBJ "call_ref_member_constructor: fail to initialize refference member, int& t"}));
}

TEST_F(classes, copy_construction_copies_plain_members_and_shares_reference_members)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    a->define_member(tid::signed_, intern(L"r"), true);
    a->define_constructor({param(tid::signed_, L"v", true)}, L"A",
                          ctor({declare_member(L"x", tid::signed_, {k(7)}),
                                std::make_shared<e_ref_member>(intern(L"r"), tid::signed_, var(L"v"))}));
    value shared = int_(1);
    value source = make(a);
    source->call_constructor(shared);
    value copy = source->clone();
    EXPECT_EQ(copy->describe(), "A[x=int(7), r=int(1)]");
    EXPECT_EQ(copy->member(std::wstring(L"r")), shared);
    EXPECT_NE(copy->member(std::wstring(L"x")), source->member(std::wstring(L"x")));
    EXPECT_TRUE(copy->equal(source));
}

TEST_F(classes, clone_and_single_value_construction_use_the_copy_constructor_when_there_is_one)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    a->define_constructor({param(a->id, L"o", true)}, L"A", ctor({declare_member(L"x", tid::signed_, {k(99)})}));
    value source = built(a);
    EXPECT_EQ(source->describe(), "A[x=int(0)]");
    EXPECT_EQ(source->clone()->describe(), "A[x=int(99)]");
    EXPECT_EQ(root._generate(a->id, source)->describe(), "A[x=int(99)]");
}

TEST_F(classes, assignment_gives_every_member_a_new_value_and_leaves_old_holders_alone)
{
    auto base = define(L"Base");
    base->define_member(tid::signed_, intern(L"b"), false);
    auto a = define(L"A");
    a->base_id = base->id;
    a->define_member(tid::signed_, intern(L"x"), false);
    value left = built(a);
    value right = built(a);
    *right->member(std::wstring(L"x")) = int_(3);
    *right->member(std::wstring(L"b")) = int_(4);
    value old = left->member(std::wstring(L"x"));
    *left = right;
    EXPECT_EQ(left->describe(), "A[x=int(3)]:[Base[b=int(4)]]");
    EXPECT_EQ(old->describe(), "int(0)");
    EXPECT_NE(left->member(std::wstring(L"x")), right->member(std::wstring(L"x")));
    auto other = define(L"Other");
    EXPECT_EQ(failure([&] { *left = built(other); }),
              lines{"factor/instance.hpp " INST "operator =: A[x=int(3)]:[Base[b=int(4)]], Other[]"});
}

TEST_F(classes, methods_are_found_in_the_class_then_its_bases_but_never_among_globals)
{
    auto base = define(L"Base");
    base->define_member(tid::signed_, intern(L"n"), false);
    base->functions->define({}, tid::signed_, intern(L"get"), block({ret(var(L"n"))}));
    auto d = define(L"D");
    d->base_id = base->id;
    d->functions->define({param(tid::signed_, L"v")}, tid::signed_, intern(L"set"),
                         block({stmt(assign(var(L"n"), var(L"v")))}));
    root.functions->define({}, tid::signed_, intern(L"global_only"), block({ret(k(1))}));
    value v = built(d);
    const std::wstring set = L"set", get = L"get", global_only = L"global_only";
    v->method(method_call<wchar_t>{.v = args{int_(8)}, .name = set, .ctx = &state()});
    EXPECT_EQ(v->method(method_call<wchar_t>{.v = args{}, .name = get, .ctx = &state()})->describe(), "int(8)");
    EXPECT_EQ(failure([&] { v->method(method_call<wchar_t>{.v = args{}, .name = global_only, .ctx = &state()}); }),
              (lines{"object.cpp " INST "method: D[]:[Base[n=int(8)]]",
                     OBJ "method: undefined method, id=global_only, v=0"}));
    // Another signature of a known name is no match either.
    EXPECT_EQ(failure([&] { v->method(method_call<wchar_t>{.v = args{str(L"s")}, .name = get, .ctx = &state()}); }).back(),
              OBJ "method: undefined method, id=get, v[0]=string(s)");
}

TEST_F(classes, an_error_in_a_method_body_is_reported_as_that_call_and_not_as_undefined)
{
    auto a = define(L"A");
    a->functions->define({}, tid::signed_, intern(L"bad"), block({ret(var(L"nowhere"))}));
    value v = built(a);
    const std::wstring bad = L"bad";
    EXPECT_EQ(failure([&] { v->method(method_call<wchar_t>{.v = args{}, .name = bad, .ctx = &state()}); }),
              (lines{"object.cpp " INST "method: A[]", "table/function.cpp vorla::table::function::call: catch exception",
                     "nlookup.cpp vorla::nlookup<wchar_t>::find_variable: reffer to undefined id, id=nowhere"}));
}

TEST_F(classes, conversions_run_their_body_and_make_the_result_into_the_target_type)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    a->cast_int = block({ret(var(L"x"))});
    a->cast_double = block({ret(k(2))});
    a->cast_string = block({stmt(k(1))});  // no return
    value v = built(a);
    *v->member(std::wstring(L"x")) = int_(6);
    EXPECT_EQ(static_cast<int>(*v), 6);
    EXPECT_EQ(static_cast<double>(*v), 2.0);
    for (auto convert : {+[](const value& x) { (void)static_cast<bool>(*x); },
                         +[](const value& x) { (void)static_cast<std::wstring>(*x); }}) {
        value e = thrown([&] { convert(v); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->type_id(), tid::bad_cast);
    }
    value e = thrown([&] { (void)static_cast<bool>(*v); });
    EXPECT_EQ(static_cast<exception_<bad_cast_>&>(*e).function(), INST "operator bool");
}

TEST_F(classes, a_throw_or_a_failure_inside_a_conversion_becomes_a_bad_cast)
{
    auto a = define(L"A");
    a->cast_int = block({std::make_shared<c_throw>(k(1))});
    a->cast_float = block({ret(var(L"missing"))});
    value v = built(a);
    EXPECT_EQ(thrown([&] { (void)static_cast<int>(*v); })->type_id(), tid::bad_cast);
    EXPECT_EQ(thrown([&] { (void)static_cast<float>(*v); })->type_id(), tid::bad_cast);
}

TEST_F(classes, operators_are_refused_with_the_descriptions_of_both_sides)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    value v = built(a);
    EXPECT_EQ(failure([&] { (void)(*v == int_(1)); }), lines{"factor/instance.hpp " INST "operator ==: A[x=int(0)], int(1)"});
    EXPECT_EQ(failure([&] { (void)(*v + v); }), lines{"factor/instance.hpp " INST "operator +: A[x=int(0)], A[x=int(0)]"});
    EXPECT_EQ(failure([&] { (void)-*v; }), lines{"factor/instance.hpp " INST "operator -: A[x=int(0)]"});
    EXPECT_EQ(failure([&] { ++*v; }), lines{"factor/instance.hpp " INST "operator ++: A[x=int(0)]"});
    std::wostringstream os;
    EXPECT_EQ(failure([&] { v->write_ostream(os); }), lines{"factor/instance.hpp " INST "write_ostream: A[x=int(0)]"});
    // The narrow forms keep the value interface's own failures.
    EXPECT_EQ(failure([&] { (void)static_cast<std::string>(*v); }),
              lines{"factor/factor.cpp vorla::factor::operator class std::basic_string<char,struct "
                    "std::char_traits<char>,class std::allocator<char> >: undefined"});
    EXPECT_EQ(failure([&] { v->member(std::string("x")); }), lines{"factor/factor.cpp vorla::factor::member: undefined"});
}

TEST_F(classes, equal_and_hash_follow_the_member_values)
{
    auto a = define(L"A");
    a->define_member(tid::signed_, intern(L"x"), false);
    a->define_member(tid::string_, intern(L"s"), false);
    auto b = define(L"B");
    b->define_member(tid::signed_, intern(L"x"), false);
    b->define_member(tid::string_, intern(L"s"), false);
    value one = built(a), two = built(a), other = built(b);
    EXPECT_TRUE(one->equal(two));
    EXPECT_FALSE(one->equal(other));
    std::uint32_t h1 = 0, h2 = 0;
    one->hash(h1);
    two->hash(h2);
    EXPECT_EQ(h1, h2);
    *two->member(std::wstring(L"x")) = int_(1);
    EXPECT_FALSE(one->equal(two));
}

TEST_F(classes, a_class_that_contains_itself_ends_in_the_call_depth_diagnostic)
{
    auto a = define(L"Nest");
    a->define_member(a->id, intern(L"inner"), false);
    const lines report = failure([&] { built(a); });
    ASSERT_FALSE(report.empty());
    EXPECT_NE(report.back().find("call_constructor: call depth exceeded, depth="), std::string::npos);
    EXPECT_EQ(state().call_depth, 0u);
}

} // namespace
