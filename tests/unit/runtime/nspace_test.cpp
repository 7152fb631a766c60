// The namespace: sharing between parent and child, type creation, and the failure chains of its calls.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "expression/nodes.hpp"
#include "expression/statements.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"
#include "nspace.hpp"

using namespace vorla;

namespace {

#define NS "nspace.cpp vorla::nspace<wchar_t,class vorla::process<wchar_t> >::"

value int_(int n) { return std::make_shared<signed_<int>>(n); }
value uint_(unsigned n) { return std::make_shared<unsigned_<unsigned int>>(n); }
value str(const wchar_t* s) { return std::make_shared<string_<wchar_t>>(s); }
expr k(int n) { return std::make_shared<e_constant<signed_<int>, int>>(n); }
expr var(const wchar_t* name) { return std::make_shared<e_variable>(intern(name)); }
control_ptr block(control_list l) { return std::make_shared<c_compound>(std::move(l)); }
control_ptr ret(expr e) { return std::make_shared<c_return>(std::move(e)); }
table::parameter param(type_id_t type, const wchar_t* name) { return table::parameter{false, type, intern(name)}; }

std::vector<std::string> chain(const std::string& text)
{
    static const std::regex line_number("^([^(]*)\\([0-9,]+\\) ");
    std::vector<std::string> out;
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
std::vector<std::string> failure(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return chain(e.what());
    }
    ADD_FAILURE() << "no exception";
    return {};
}

using lines = std::vector<std::string>;

class namespace_ : public ::testing::Test {
protected:
    static void SetUpTestSuite() { install_locale(); }
    nspace root;
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
    EXPECT_EQ(failure([&] { root.find_typeid(L"widget"); }),
              lines{NS "find_typeid: undefined typeid string, sid=widget"});
    EXPECT_EQ(failure([&] { root.get_object(999); }), lines{NS "get_object: reffer to undefined typeid, typeid=999"});
    EXPECT_EQ(failure([&] { root.define_object(L"widget"); }),
              lines{NS "define_object: classes are not supported yet, id=widget"});
    EXPECT_FALSE(root.types->contains(L"widget"));
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
    EXPECT_EQ(failure([&] { root.create_instance(999); }),
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
    EXPECT_EQ(failure([&] { root._generate(999); }),
              (lines{NS "_generate: instance generation failure, typeid=999",
                     NS "create_instance: instance creation failure, typeid=999",
                     NS "get_object: reffer to undefined typeid, typeid=999"}));
    // The one-value form names the type by its registered name.
    EXPECT_EQ(failure([&] { root._generate(tid::nil, int_(1)); }),
              (lines{NS "_generate: instance generation failure, typeid=nil", "factor/nil.hpp vorla::nil::call_constructor: int(1)"}));
    // The vector form over the other two: two generation lines.
    EXPECT_EQ(failure([&] { root._generate(tid::nil, args{int_(1)}); }),
              (lines{NS "_generate: instance generation failure, typeid=nil", NS "_generate: instance generation failure, typeid=nil",
                     "factor/nil.hpp vorla::nil::call_constructor: int(1)"}));
    // An id without a registered name is named by its number.
    EXPECT_EQ(failure([&] { root._generate(999, args{}); }),
              (lines{NS "_generate: instance generation failure, typeid=999", NS "_generate: instance generation failure, typeid=999",
                     NS "create_instance: instance creation failure, typeid=999",
                     NS "get_object: reffer to undefined typeid, typeid=999"}));
    auto several = failure([&] { root._generate(tid::signed_, args{int_(1), int_(2)}); });
    ASSERT_EQ(several.size(), 2u);
    EXPECT_EQ(several[0], NS "_generate: instance generation failure, typeid=int");
    EXPECT_NE(several[1].find("call_constructor: v[0]=int(1), v[1]=int(2)"), std::string::npos);
}

TEST_F(namespace_, an_unmatched_call_reports_resolution_failure_with_the_call_text)
{
    root.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({ret(k(1))}));
    EXPECT_EQ(failure([&] { root.call_function(f, {uint_(1)}); }),
              lines{NS "call_function: function id resolution failure, id=f, v[0]=unsigned(1)"});
    EXPECT_EQ(failure([&] { root.call_function(f, {}); }), lines{NS "call_function: function id resolution failure, id=f, v=0"});
    // From a class-like child, one more line per namespace the search started from.
    nspace child(&root);
    nspace grandchild(&child);
    EXPECT_EQ(failure([&] { grandchild.call_function(f, {str(L"x")}); }),
              (lines(3, NS "call_function: function id resolution failure, id=f, v[0]=string(x)")));
}

TEST_F(namespace_, the_innermost_namespace_with_the_signature_runs_it)
{
    nspace child(&root);
    root.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({ret(k(1))}));
    symbol only_child = intern(L"only_child");
    child.functions->define({}, tid::signed_, only_child, block({ret(k(3))}));
    EXPECT_EQ(child.call_function(f, {int_(0)})->describe(), "int(1)");  // a global seen from inside
    child.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({ret(k(2))}));
    EXPECT_EQ(child.call_function(f, {int_(0)})->describe(), "int(2)");
    EXPECT_EQ(root.call_function(f, {int_(0)})->describe(), "int(1)");
    EXPECT_THROW(root.call_function(only_child, {}), vorla::exception);  // not visible from outside
}

TEST_F(namespace_, the_found_function_runs_in_its_own_namespace)
{
    nspace child(&root);
    child.global.variables.declare(intern(L"m"), int_(5));
    child.functions->define({}, tid::signed_, f, block({ret(var(L"m"))}));
    nspace grandchild(&child);
    EXPECT_EQ(grandchild.call_function(f, {})->describe(), "int(5)");
}

TEST_F(namespace_, an_error_in_a_found_body_is_reported_not_replaced)
{
    // The outer f would succeed; the inner one fails half-way and its own report must come out unchanged.
    root.functions->define({}, tid::signed_, f, block({ret(k(1))}));
    nspace child(&root);
    child.functions->define({}, tid::signed_, f, block({ret(var(L"missing"))}));
    auto expected = lines{"table/function.cpp vorla::table::function::call: catch exception",
                          "nlookup.cpp vorla::nlookup<wchar_t>::find_variable: reffer to undefined id, id=missing"};
    EXPECT_EQ(failure([&] { child.call_function(f, {}); }), expected);
    symbol g = intern(L"g");
    root.functions->define({}, tid::signed_, g, block({ret(var(L"missing"))}));
    EXPECT_EQ(failure([&] { root.call_function(g, {}); }), expected);
}

TEST_F(namespace_, natives_are_called_by_name_and_their_failures_wrapped)
{
    root.natives->define(L"twice", [](args& v) -> value { return std::make_shared<signed_<int>>(2 * static_cast<int>(*v.at(0))); });
    root.natives->define(L"picky", [](args&) -> value { throw VORLA_EXCEPTION("picky", "invalid argument count"); });
    nspace child(&root);
    args four{int_(4)};
    EXPECT_EQ(child.call_native(L"twice", four)->describe(), "int(8)");
    args none;
    EXPECT_EQ(failure([&] { root.call_native(L"nope", none); }),
              (lines{NS "call_native: catch exception, id=nope, v=0", "Unable to find key in unordered_map."}));
    args one{str(L"a")};
    auto picky = failure([&] { root.call_native(L"picky", one); });
    ASSERT_EQ(picky.size(), 2u);
    EXPECT_EQ(picky[0], NS "call_native: catch exception, id=picky, v[0]=string(a)");
    EXPECT_NE(picky[1].find("picky: invalid argument count"), std::string::npos);
}

TEST_F(namespace_, inline_expansion_makes_an_unrun_frame_under_the_global_scope)
{
    symbol g = intern(L"g");
    root.inlines->define({param(tid::signed_, L"a")}, g, block({ret(var(L"a"))}));
    scope_ptr frame = root.expand_inline(g, {int_(6)});
    EXPECT_EQ(frame->parent, &root.global);
    EXPECT_FALSE(frame->finished());
    EXPECT_EQ((*frame->variables.find(intern(L"a")))->describe(), "int(6)");
    EXPECT_EQ(failure([&] { root.expand_inline(g, {uint_(6)}); }),
              (lines{NS "expand_inline: inline expansion failure, id=g, v[0]=unsigned(6)", "Unable to find key in unordered_map."}));
    // Inline functions are not sought in outer namespaces.
    nspace child(&root);
    EXPECT_THROW(child.expand_inline(g, {int_(6)}), vorla::exception);
}

} // namespace
