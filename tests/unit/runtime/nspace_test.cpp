// The namespace: sharing between parent and child, type creation, and the failure chains of its calls.
#include <gtest/gtest.h>

#include <string>

#include "../support.hpp"
#include "nspace.hpp"

using namespace vorla;
using namespace vorla::test;

namespace {

#define NS "nspace.cpp vorla::nspace<wchar_t,class vorla::process<wchar_t> >::"

class namespace_ : public ::testing::Test {
protected:
    nspace root{test_context()};
    symbol f = intern(L"f");
};

TEST_F(namespace_, a_child_shares_classes_natives_processes_and_type_ids_but_not_routines)
{
    nspace child(&root);
    nspace grandchild(&child);
    EXPECT_EQ(root.parent, nullptr);
    EXPECT_EQ(root.global.parent, nullptr);
    EXPECT_EQ(child.parent, &root);
    EXPECT_EQ(child.global.parent, &root.global);
    EXPECT_EQ(grandchild.global.parent, &child.global);
    EXPECT_EQ(child.classes, root.classes);
    EXPECT_EQ(child.natives, root.natives);
    EXPECT_EQ(child.live, root.live);
    EXPECT_EQ(child.types, root.types);
    EXPECT_NE(child.functions, root.functions);
    EXPECT_NE(child.inlines, root.inlines);
    EXPECT_NE(child.processes, root.processes);
    EXPECT_EQ(grandchild.root(), &root);
    EXPECT_EQ(root.root(), &root);
}

TEST_F(namespace_, type_names_and_class_ids_are_looked_up_with_their_own_messages)
{
    EXPECT_EQ(root.find_typeid(L"int"), tid::signed_);
    EXPECT_EQ(root.find_typeid(L"range_error"), tid::range_error);
    EXPECT_EQ(failure_chain([&] { root.find_typeid(L"widget"); }),
              lines{NS "find_typeid: undefined typeid string, sid=widget"});
    EXPECT_EQ(failure_chain([&] { root.get_object(999); }),
              lines{NS "get_object: reffer to undefined typeid, typeid=999"});
    // A class gets its id from the type-id manager, which also refuses a second class of one name.
    auto widget = root.define_object(L"widget");
    EXPECT_EQ(root.get_object(root.find_typeid(L"widget")), widget);
    const auto again = failure_chain([&] { root.define_object(L"widget"); });
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(ends_with(again[0], "vorla::idm<wchar_t>::generate: typeid already exists, sid=widget")) << again[0];
}

TEST_F(namespace_, create_instance_makes_each_available_built_in_type)
{
    for (type_id_t id : {tid::boolean, tid::signed_, tid::unsigned_, tid::float_, tid::double_, tid::string_, tid::nil,
                         tid::ref, tid::typeid_, tid::bad_cast, tid::range_error}) {
        value v = root.create_instance(id);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type_id(), id);
    }
    EXPECT_NE(root.create_instance(tid::signed_), root.create_instance(tid::signed_));
}

TEST_F(namespace_, unknown_ids_fail_as_instance_creation)
{
    EXPECT_EQ(root.create_instance(tid::vector_)->describe(), "vector[]");
    EXPECT_EQ(failure_chain([&] { root.create_instance(999); }),
              (lines{NS "create_instance: instance creation failure, typeid=999",
                     NS "get_object: reffer to undefined typeid, typeid=999"}));
}

TEST_F(namespace_, generate_constructs_from_nothing_one_value_or_several)
{
    EXPECT_EQ(root._generate(tid::signed_)->describe(), "int(0)");
    EXPECT_EQ(root._generate(tid::unsigned_, int_(7))->describe(), "unsigned(7)");
    EXPECT_EQ(root._generate(tid::string_, args{})->describe(), "string()");
    EXPECT_EQ(root._generate(tid::double_, args{int_(2)})->type_id(), tid::double_);
    value source = int_(3);
    value copy = root._generate(tid::signed_, source);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->describe(), "int(3)");
}

TEST_F(namespace_, generate_failures_carry_their_chains)
{
    EXPECT_EQ(failure_chain([&] { root._generate(999); }),
              (lines{NS "_generate: instance generation failure, typeid=999",
                     NS "create_instance: instance creation failure, typeid=999",
                     NS "get_object: reffer to undefined typeid, typeid=999"}));
    // The one-value form names the type by its registered name.
    EXPECT_EQ(failure_chain([&] { root._generate(tid::nil, int_(1)); }),
              (lines{NS "_generate: instance generation failure, typeid=nil", "factor/nil.hpp vorla::nil::call_constructor: int(1)"}));
    // The vector form over the other two: two generation lines.
    EXPECT_EQ(failure_chain([&] { root._generate(tid::nil, args{int_(1)}); }),
              (lines{NS "_generate: instance generation failure, typeid=nil", NS "_generate: instance generation failure, typeid=nil",
                     "factor/nil.hpp vorla::nil::call_constructor: int(1)"}));
    // An id without a registered name is named by its number.
    EXPECT_EQ(failure_chain([&] { root._generate(999, args{}); }),
              (lines{NS "_generate: instance generation failure, typeid=999", NS "_generate: instance generation failure, typeid=999",
                     NS "create_instance: instance creation failure, typeid=999",
                     NS "get_object: reffer to undefined typeid, typeid=999"}));
    auto several = failure_chain([&] { root._generate(tid::signed_, args{int_(1), int_(2)}); });
    ASSERT_EQ(several.size(), 2u);
    EXPECT_EQ(several[0], NS "_generate: instance generation failure, typeid=int");
    EXPECT_NE(several[1].find("call_constructor: v[0]=int(1), v[1]=int(2)"), std::string::npos);
}

TEST_F(namespace_, an_unmatched_call_reports_resolution_failure_with_the_call_text)
{
    root.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    EXPECT_EQ(failure_chain([&] { root.call_function(f, {uint_(1)}); }),
              lines{NS "call_function: function id resolution failure, id=f, v[0]=unsigned(1)"});
    EXPECT_EQ(failure_chain([&] { root.call_function(f, {}); }),
              lines{NS "call_function: function id resolution failure, id=f, v=0"});
    // From a class-like child, one more line per namespace the search started from.
    nspace child(&root);
    nspace grandchild(&child);
    EXPECT_EQ(failure_chain([&] { grandchild.call_function(f, {str(L"x")}); }),
              (lines(3, NS "call_function: function id resolution failure, id=f, v[0]=string(x)")));
}

TEST_F(namespace_, the_innermost_namespace_with_the_signature_runs_it)
{
    nspace child(&root);
    root.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    symbol only_child = intern(L"only_child");
    child.functions->define({}, tid::signed_, only_child, block({return_stmt(int_expr(3))}));
    EXPECT_EQ(child.call_function(f, {int_(0)})->describe(), "int(1)");  // a global seen from inside
    child.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(2))}));
    EXPECT_EQ(child.call_function(f, {int_(0)})->describe(), "int(2)");
    EXPECT_EQ(root.call_function(f, {int_(0)})->describe(), "int(1)");
    EXPECT_THROW(root.call_function(only_child, {}), vorla::exception);  // not visible from outside
}

TEST_F(namespace_, the_found_function_runs_in_its_own_namespace)
{
    nspace child(&root);
    child.global.variables.declare(intern(L"m"), int_(5));
    child.functions->define({}, tid::signed_, f, block({return_stmt(var(L"m"))}));
    nspace grandchild(&child);
    EXPECT_EQ(grandchild.call_function(f, {})->describe(), "int(5)");
}

TEST_F(namespace_, an_error_in_a_found_body_is_reported_not_replaced)
{
    // The outer f would succeed; the inner one fails half-way and its own report must come out unchanged.
    root.functions->define({}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    nspace child(&root);
    child.functions->define({}, tid::signed_, f, block({return_stmt(var(L"missing"))}));
    auto expected = lines{"table/function.cpp vorla::table::function::call: catch exception",
                          "nlookup.cpp vorla::nlookup<wchar_t>::find_variable: reffer to undefined id, id=missing"};
    EXPECT_EQ(failure_chain([&] { child.call_function(f, {}); }), expected);
    symbol g = intern(L"g");
    root.functions->define({}, tid::signed_, g, block({return_stmt(var(L"missing"))}));
    EXPECT_EQ(failure_chain([&] { root.call_function(g, {}); }), expected);
}

TEST_F(namespace_, natives_are_called_by_name_and_their_failures_wrapped)
{
    root.natives->define(L"twice", [](args& v) -> value { return make<signed_<int>>(2 * static_cast<int>(*v.at(0))); });
    root.natives->define(L"picky", [](args&) -> value { throw VORLA_EXCEPTION("picky", "invalid argument count"); });
    nspace child(&root);
    args four{int_(4)};
    EXPECT_EQ(child.call_native(L"twice", four)->describe(), "int(8)");
    args none;
    EXPECT_EQ(failure_chain([&] { root.call_native(L"nope", none); }),
              (lines{NS "call_native: catch exception, id=nope, v=0", "Unable to find key in unordered_map."}));
    args one{str(L"a")};
    auto picky = failure_chain([&] { root.call_native(L"picky", one); });
    ASSERT_EQ(picky.size(), 2u);
    EXPECT_EQ(picky[0], NS "call_native: catch exception, id=picky, v[0]=string(a)");
    EXPECT_NE(picky[1].find("picky: invalid argument count"), std::string::npos);
}

TEST_F(namespace_, inline_expansion_makes_an_unrun_frame_under_the_global_scope)
{
    symbol g = intern(L"g");
    root.inlines->define({param(tid::signed_, L"a")}, g, block({return_stmt(var(L"a"))}));
    scope_ptr frame = root.expand_inline(g, {int_(6)});
    // Under the global scope (through the parameters' scope when the body is a block).
    scope* s = frame.get();
    while (s && s != &root.global) s = s->parent;
    EXPECT_EQ(s, &root.global);
    EXPECT_FALSE(frame->finished());
    EXPECT_EQ(nlookup<wchar_t>::find_variable(frame.get(), intern(L"a"))->describe(), "int(6)");
    EXPECT_EQ(failure_chain([&] { root.expand_inline(g, {uint_(6)}); }),
              (lines{NS "expand_inline: inline expansion failure, id=g, v[0]=unsigned(6)", "Unable to find key in unordered_map."}));
    // Inline functions are not sought in outer namespaces.
    nspace child(&root);
    EXPECT_THROW(child.expand_inline(g, {int_(6)}), vorla::exception);
}

} // namespace
