// Class definitions compiled from text: class objects, members, constructor initializer lists,
// conversion operators, member functions, and the compiler's refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "expression/nodes.hpp"
#include "expression/statements.hpp"
#include "object.hpp"
#include "compiled_program.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

class class_compile : public compiled_program {
protected:
    std::shared_ptr<object> cls(const wchar_t* name) { return space.get_object(space.find_typeid(name)); }

    // The initializer expressions of the constructor that takes these arguments.
    const expr_list& initializers(const wchar_t* name, const args& v)
    {
        const table::routine* r = cls(name)->constructors->find(v);
        EXPECT_TRUE(r);
        return static_cast<const c_constructor&>(*r->body).initializers;
    }
};

TEST_F(class_compile, an_empty_class_and_a_class_with_a_base)
{
    compile(L"class A;\nclass B : A { };");
    EXPECT_EQ(cls(L"A")->base_id, 0u);
    EXPECT_TRUE(cls(L"A")->members->empty());
    EXPECT_EQ(cls(L"B")->base_id, cls(L"A")->id);
    EXPECT_EQ(cls(L"B")->parent, &space);
}

TEST_F(class_compile, a_missing_base_fails_in_the_type_lookup)
{
    const std::string e = failure(L"class D : Missing { };");
    EXPECT_HAS(e, "vorla::detail::semantic::s_class<wchar_t>::eval_class_def: catch exception");
    EXPECT_HAS(e, "find_typeid: undefined typeid string, sid=Missing");
}

TEST_F(class_compile, members_are_declared_before_any_constructor_with_their_reference_flags)
{
    compile(L"class P { P(int &a) : r(a) { } int x, &r; string s; };");
    const auto& m = *cls(L"P")->members;
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(*m[0].first, L"x");
    EXPECT_FALSE(m[0].second.reference);
    EXPECT_EQ(*m[1].first, L"r");
    EXPECT_TRUE(m[1].second.reference);
    EXPECT_EQ(m[1].second.type, tid::signed_);
    EXPECT_EQ(m[2].second.type, tid::string_);
}

TEST_F(class_compile, initializers_run_unmentioned_members_then_the_default_base_then_the_list)
{
    compile(L"class B { }; class A : B { int x, y, z; A(int v) : z(v), x(1) { } };");
    const expr_list& init = initializers(L"A", args{int_(1)});
    ASSERT_EQ(init.size(), 4u);
    const auto* first = dynamic_cast<const e_declare_member*>(init[0].get());
    ASSERT_TRUE(first);
    EXPECT_EQ(*first->name, L"y");
    EXPECT_TRUE(first->arguments.empty());
    EXPECT_TRUE(dynamic_cast<const e_base*>(init[1].get()));
    const auto* third = dynamic_cast<const e_declare_member*>(init[2].get());
    ASSERT_TRUE(third);
    EXPECT_EQ(*third->name, L"z");
    EXPECT_EQ(third->arguments.size(), 1u);
    EXPECT_EQ(*dynamic_cast<const e_declare_member&>(*init[3]).name, L"x");
}

TEST_F(class_compile, a_written_base_initializer_takes_the_place_of_the_default_one)
{
    compile(L"class B { B(int a, int b) { } }; class A : B { int &r; A(int &v) : r(v), B(1, 2) { } };");
    const expr_list& init = initializers(L"A", args{int_(1)});
    ASSERT_EQ(init.size(), 2u);
    EXPECT_TRUE(dynamic_cast<const e_ref_member*>(init[0].get()));
    const auto* base = dynamic_cast<const e_base*>(init[1].get());
    ASSERT_TRUE(base);
    EXPECT_EQ(base->arguments.size(), 2u);
}

TEST_F(class_compile, constructor_list_and_reference_refusals)
{
    EXPECT_HAS(failure(L"class A { int x; A() : x(1), x(2) { } };"),
               "s_class<wchar_t>::eval_constructor_list: invalid constructor list, id=x");
    EXPECT_HAS(failure(L"class B { int x; B() : y(1) { } };"), "s_class<wchar_t>::eval_class_constructor: undefined id, id=y");
    EXPECT_HAS(failure(L"class C { int &r; C() { } };"),
               "s_class<wchar_t>::eval_class_constructor: uninitialized refference, int& r");
    EXPECT_HAS(failure(L"class D { string &r; D(string &a) : r(a, a) { } };"),
               "eval_class_constructor: invalid argument count of refference constructor, string& r");
    EXPECT_HAS(failure(L"class E { int x; F() { } };"), "define_constructor: try to define invalid constructor, id=F arguments()");
    EXPECT_HAS(failure(L"class G { int x, x; };"), "define_member: fail to define member, int x");
}

TEST_F(class_compile, the_base_is_initialized_under_its_class_name)
{
    compile(L"class B { }; class A : B { int n; A() : B(), n(2) { } };");
    const expr_list& init = initializers(L"A", args{});
    ASSERT_EQ(init.size(), 2u);
    EXPECT_TRUE(dynamic_cast<const e_base*>(init[0].get()));
}

TEST_F(class_compile, conversion_operators_for_other_types_are_dropped_and_a_later_one_replaces)
{
    compile(L"class A { operator nil() { return 1; } operator ref() { return 1; } operator int() { return 1; }\n"
            L"operator int() { return 2; } operator unsigned int() { return 3u; } };");
    auto a = cls(L"A");
    EXPECT_FALSE(a->cast_bool);
    EXPECT_FALSE(a->cast_float);
    EXPECT_FALSE(a->cast_double);
    EXPECT_FALSE(a->cast_string);
    EXPECT_TRUE(a->cast_int);
    EXPECT_TRUE(a->cast_unsigned);
}

TEST_F(class_compile, a_later_conversion_operator_replaces_the_earlier_one_at_run_time)
{
    EXPECT_EQ(run(L"class A { operator int() { return 1; } operator int() { return 2; } };\n"
                  L"process main() { A a; using::write(\"\" + int(a)); }"),
              L"2");
}

TEST_F(class_compile, member_functions_go_into_the_class_and_not_the_namespace)
{
    compile(L"class A { int f(int v) { return v; } };");
    const symbol f = intern(L"f");
    EXPECT_TRUE(cls(L"A")->functions->find(f, args{int_(1)}));
    EXPECT_FALSE(space.functions->find(f, args{int_(1)}));
    EXPECT_HAS(failure(L"process main() { f(1); }"), "function id resolution failure, id=f");
}

TEST_F(class_compile, a_class_may_name_itself_in_its_body)
{
    EXPECT_EQ(run(L"class Node { int v; Node(int x) : v(x) { } Node next(int d) { Node n(v + d); return n; } };\n"
                  L"process main() { Node a(1); Node b = a.next(2); using::write(\"\" + b.v); }"),
              L"3");
}

TEST_F(class_compile, a_second_class_of_one_name_is_refused)
{
    const std::string e = failure(L"class A; class A;");
    EXPECT_HAS(e, "eval_class_def: catch exception");
}

} // namespace
