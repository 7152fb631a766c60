// Routine tables: duplicate definitions, parameter text, exact-type overloading and the function call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context.hpp"
#include "../support.hpp"
#include "nspace.hpp"
#include "stack_guard.hpp"
#include "table/constructor.hpp"
#include "table/except.hpp"
#include "table/function.hpp"
#include "table/inline_.hpp"
#include "table/native.hpp"
#include "table/process.hpp"

using namespace vorla;
using namespace vorla::test;

namespace {

class tables : public ::testing::Test {
protected:
    nspace ns{test_context()};
    symbol f = intern(L"f");
};

TEST_F(tables, parameter_text_lists_type_ids_and_names)
{
    EXPECT_EQ(table::parameter_text({}), "arguments()");
    EXPECT_EQ(table::parameter_text({param(tid::signed_, L"a"), param(tid::string_, L"s\u00e9", true)}),
              "arguments(type(102) a, type(105) s\xc3\xa9)");
}

TEST_F(tables, duplicate_definitions_are_refused_with_their_messages)
{
    table::function fn(test_context().definitions);
    fn.define({param(tid::signed_, L"a")}, tid::string_, f, block({}));
    // Parameter names and the return type do not make a new signature.
    EXPECT_EQ(failure_chain([&] { fn.define({param(tid::signed_, L"b")}, tid::unsigned_, f, block({})); }),
              std::vector<std::string>{"table/function.cpp vorla::table::function::define: overwrite function, "
                                       "typeid=106 id=f arguments(type(102) b)"});

    table::inline_ in;
    in.define({}, f, block({}));
    EXPECT_EQ(failure_chain([&] { in.define({}, f, block({})); }),
              std::vector<std::string>{"table/inline_.cpp vorla::table::inline_::define: overwrite inline function, id=f arguments()"});

    table::process pr;
    pr.define({param(tid::string_, L"x")}, 7, block({}));
    EXPECT_EQ(failure_chain([&] { pr.define({param(tid::string_, L"y")}, 7, block({})); }),
              std::vector<std::string>{"table/process.cpp vorla::table::process::define: overwrite inline function, id=7 "
                                       "arguments(type(105) y)"});
    pr.define({param(tid::string_, L"x")}, 8, block({}));  // another pid is another key

    table::except ex;
    ex.define({param(tid::bad_cast, L"e")}, block({}));
    ex.define({}, block({}));
    EXPECT_EQ(failure_chain([&] { ex.define({}, block({})); }),
              std::vector<std::string>{"table/except.cpp vorla::table::except::define: overwrite catch statement"});

    table::constructor co;
    co.define({param(tid::signed_, L"x")}, block({}));
    EXPECT_EQ(failure_chain([&] { co.define({param(tid::signed_, L"x")}, block({})); }),
              std::vector<std::string>{"table/constructor.cpp vorla::table::constructor::define: overwrite constructor, "
                                       "arguments(type(102) x)"});

    table::native na;
    na.define(L"write", [](args&) -> value { return make<nil>(); });
    EXPECT_EQ(failure_chain([&] { na.define(L"write", [](args&) -> value { return nullptr; }); }),
              std::vector<std::string>{"table/native.cpp vorla::table::native<wchar_t>::define: overwrite native function, id=write"});
    EXPECT_EQ(failure_text([&] { na.at(L"read"); }), "Unable to find key in unordered_map.");
}

TEST_F(tables, a_refused_definition_leaves_the_first_in_place)
{
    control_ptr first = block({}), second = block({});
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, first);
    EXPECT_THROW(ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, second), vorla::exception);
    const table::routine* r = ns.functions->find(f, {int_(1)});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->body, first);
}

TEST_F(tables, functions_and_inlines_with_one_signature_live_apart)
{
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({}));
    ns.inlines->define({param(tid::signed_, L"a")}, f, block({}));
    EXPECT_NE(ns.functions->find(f, {int_(1)}), nullptr);
    EXPECT_NE(ns.inlines->find(f, {int_(1)}), nullptr);
}

TEST_F(tables, overloads_are_chosen_by_exact_type_ids)
{
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    ns.functions->define({param(tid::unsigned_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(2))}));
    EXPECT_EQ(ns.call_function(f, {int_(0)})->describe(), "int(1)");
    EXPECT_EQ(ns.call_function(f, {uint_(0)})->describe(), "int(2)");
    // No conversion: a float reaches neither.
    EXPECT_EQ(ns.functions->find(f, {make<real<float>>(1.5f)}), nullptr);
    EXPECT_EQ(ns.functions->find(f, {int_(0), int_(0)}), nullptr);
    EXPECT_EQ(failure_text([&] { own_runtime rt{&ns.global, &ns}; ns.functions->call({}, f, rt); }),
              "Unable to find key in unordered_map.");
}

// One call site remembers what it found; each of these changes must make it search again.
TEST_F(tables, a_call_site_follows_argument_types_and_later_definitions)
{
    nspace inner(&ns);
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    ns.functions->define({param(tid::unsigned_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(2))}));
    call_site site;
    auto call = [&](nspace& from, value a) {
        script_signal out;
        const args v{std::move(a)};
        return from.call_function(f, std::span<const value>(v), out, site)->describe();
    };
    EXPECT_EQ(call(inner, int_(0)), "int(1)");
    EXPECT_EQ(call(inner, uint_(0)), "int(2)");  // other argument types
    EXPECT_EQ(call(inner, int_(0)), "int(1)");
    // A definition made since, nearer the caller, takes the call over.
    inner.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(3))}));
    EXPECT_EQ(call(inner, int_(0)), "int(3)");
    // The same site reached from another namespace chain.
    EXPECT_EQ(call(ns, int_(0)), "int(1)");
    EXPECT_EQ(call(inner, int_(0)), "int(3)");
    // A failed search leaves nothing behind that a later call could run.
    EXPECT_THROW(call(inner, make<real<float>>(1.5f)), vorla::exception);
    EXPECT_EQ(call(ns, uint_(0)), "int(2)");
}

// A site that found its definition in the caller's own namespace: overloads added to that same table
// afterwards (enough to move its definitions in memory) make the next call search again, and it still
// runs the definition of its argument types.
TEST_F(tables, a_call_site_in_the_defining_namespace_searches_again_after_new_overloads)
{
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, f, block({return_stmt(int_expr(1))}));
    call_site site;
    auto call = [&](value a) {
        script_signal out;
        const args v{std::move(a)};
        return ns.call_function(f, std::span<const value>(v), out, site)->describe();
    };
    EXPECT_EQ(call(int_(0)), "int(1)");
    EXPECT_EQ(call(int_(0)), "int(1)");  // the remembered definition
    const type_id_t others[] = {tid::unsigned_, tid::float_, tid::double_, tid::string_, tid::boolean, tid::vector_};
    int n = 2;
    for (type_id_t t : others)
        ns.functions->define({param(t, L"a")}, tid::signed_, f, block({return_stmt(int_expr(n++))}));
    EXPECT_EQ(call(int_(0)), "int(1)");
    EXPECT_EQ(call(uint_(0)), "int(2)");
    EXPECT_EQ(call(int_(0)), "int(1)");
}

TEST_F(tables, a_by_value_parameter_is_a_copy_and_a_reference_parameter_the_callers_value)
{
    symbol by_value = intern(L"by_value"), by_ref = intern(L"by_ref");
    control_ptr body = block({stmt(std::make_shared<e_assign>(var(L"a"), int_expr(9)))});
    ns.functions->define({param(tid::signed_, L"a")}, tid::signed_, by_value, body);
    ns.functions->define({param(tid::signed_, L"a", true)}, tid::signed_, by_ref, body);
    value x = int_(1);
    ns.call_function(by_value, {x});
    EXPECT_EQ(x->describe(), "int(1)");
    ns.call_function(by_ref, {x});
    EXPECT_EQ(x->describe(), "int(9)");
}

TEST_F(tables, the_frame_binds_parameters_in_order_and_runs_nothing_yet)
{
    table::routine r{block({}), {param(tid::signed_, L"a"), param(tid::signed_, L"b", true)}, 0};
    value a = int_(1), b = int_(2);
    scope_ptr frame = table::make_frame(r, args{a, b}, &ns.global);
    EXPECT_EQ(frame->parent, &ns.global);
    EXPECT_FALSE(frame->finished());
    ASSERT_EQ(frame->variables.size(), 2u);
    EXPECT_NE(*frame->variables.find(intern(L"a")), a);  // a clone
    EXPECT_EQ(*frame->variables.find(intern(L"b")), b);  // the argument's own handle
    table::routine twice{block({}), {param(tid::signed_, L"a"), param(tid::signed_, L"a")}, 0};
    EXPECT_NE(failure_text([&] { table::make_frame(twice, args{a, b}, &ns.global); }).find("variable already exists, id=a"),
              std::string::npos);
}

TEST_F(tables, falling_off_the_end_returns_nil_whatever_the_return_type)
{
    ns.functions->define({}, tid::signed_, f, block({stmt(int_expr(3))}));
    EXPECT_EQ(ns.call_function(f, {})->type_id(), tid::nil);
}

TEST_F(tables, the_returned_value_is_converted_to_the_return_type)
{
    ns.functions->define({}, tid::unsigned_, f, block({return_stmt(int_expr(5))}));
    value r = ns.call_function(f, {});
    EXPECT_EQ(r->describe(), "unsigned(5)");
}

TEST_F(tables, a_returned_value_that_will_not_convert_is_a_catch_exception_chain)
{
    ns.functions->define({}, tid::nil, f, block({return_stmt(int_expr(5))}));
    auto lines = failure_chain([&] { ns.call_function(f, {}); });
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "table/function.cpp vorla::table::function::call: catch exception");
    EXPECT_EQ(lines[1], "nspace.cpp vorla::nspace<wchar_t,class vorla::process<wchar_t> >::_generate: "
                        "instance generation failure, typeid=nil");
    EXPECT_EQ(lines[2], "factor/nil.hpp vorla::nil::call_constructor: int(5)");
}

TEST_F(tables, an_error_in_the_body_is_chained_under_catch_exception)
{
    ns.functions->define({}, tid::signed_, f, block({return_stmt(var(L"missing"))}));
    auto lines = failure_chain([&] { ns.call_function(f, {}); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "table/function.cpp vorla::table::function::call: catch exception");
    EXPECT_EQ(lines[1], "nlookup.cpp vorla::nlookup<wchar_t>::find_variable: reffer to undefined id, id=missing");
}

TEST_F(tables, the_callee_sees_globals_but_not_the_callers_locals)
{
    ns.global.variables.declare(intern(L"g"), int_(4));
    ns.functions->define({}, tid::signed_, f, block({return_stmt(var(L"g"))}));
    EXPECT_EQ(ns.call_function(f, {})->describe(), "int(4)");

    symbol h = intern(L"h");
    ns.functions->define({}, tid::signed_, h, block({return_stmt(var(L"local"))}));
    scope caller(&ns.global);
    caller.variables.declare(intern(L"local"), int_(1));
    own_runtime rt{&caller, &ns};
    EXPECT_THROW(std::make_shared<e_function>(h, expr_list{})->evaluate(rt), vorla::exception);
}

TEST_F(tables, throw_break_and_continue_leave_a_call_made_outside_a_statement_as_cpp_signals)
{
    ns.functions->define({}, tid::signed_, f, block({std::make_shared<c_throw>(int_expr(7))}));
    try {
        ns.call_function(f, {});
        ADD_FAILURE() << "no throw";
    } catch (const sig_throw& t) {
        EXPECT_EQ(t.v->describe(), "int(7)");
    }

    symbol b = intern(L"b"), c = intern(L"c");
    ns.functions->define({}, tid::signed_, b, block({std::make_shared<c_break>()}));
    ns.functions->define({}, tid::signed_, c, block({std::make_shared<c_continue>()}));
    EXPECT_THROW(ns.call_function(b, {}), sig_break);
    EXPECT_THROW(ns.call_function(c, {}), sig_continue);
}

TEST_F(tables, each_call_runs_the_body_afresh)
{
    // A body with state (a block) must not carry that state from one call to the next.
    ns.functions->define({param(tid::signed_, L"n")}, tid::signed_, f,
                         block({stmt(std::make_shared<e_add_assign>(var(L"n"), int_expr(1))), return_stmt(var(L"n"))}));
    EXPECT_EQ(ns.call_function(f, {int_(1)})->describe(), "int(2)");
    EXPECT_EQ(ns.call_function(f, {int_(10)})->describe(), "int(11)");
}

TEST_F(tables, recursion_works_and_unbounded_recursion_ends_in_the_depth_diagnostic)
{
    // fact(n) { if (n > 1) return n * fact(n - 1); return 1; } with the if as an if/else pair.
    symbol fact = intern(L"fact");
    expr recurse = std::make_shared<e_mul>(
        var(L"n"), std::make_shared<e_function>(fact, expr_list{std::make_shared<e_sub>(var(L"n"), int_expr(1))}));
    ns.functions->define({param(tid::signed_, L"n")}, tid::signed_, fact,
                         block({std::make_shared<c_if_else>(std::make_shared<e_gt>(var(L"n"), int_expr(1)),
                                                            return_stmt(recurse), return_stmt(int_expr(1)))}));
    EXPECT_EQ(ns.call_function(fact, {int_(10)})->describe(), "int(3,628,800)");

    // f(n) { return f(n); }
    ns.functions->define({param(tid::signed_, L"n")}, tid::signed_, f,
                         block({return_stmt(std::make_shared<e_function>(f, expr_list{var(L"n")}))}));
    // On the interpreter's own stack size the counted limit is what stops it.
    std::vector<std::string> lines;
    run_on_stack(script_stack_bytes, [&] { lines = failure_chain([&] { ns.call_function(f, {int_(1)}); }); });
    ASSERT_EQ(lines.size(), context::default_call_limit + 1);
    EXPECT_EQ(lines.front(), "table/function.cpp vorla::table::function::call: catch exception");
    EXPECT_EQ(lines.back(), "table/routine.cpp vorla::table::function::call: call depth exceeded, depth=" +
                                detail::format_number(context::default_call_limit));
    EXPECT_EQ(test_context().call_depth, 0u);
    // The interpreter is still usable afterwards.
    EXPECT_EQ(ns.call_function(fact, {int_(3)})->describe(), "int(6)");
}

TEST_F(tables, deeper_bodies_per_call_are_stopped_by_the_stack_check_or_the_limit)
{
    // Each level wraps the call in a loop and a branch: more stack per call than the plain case.
    expr call = std::make_shared<e_function>(f, expr_list{var(L"n")});
    control_ptr inner = block(
        {std::make_shared<c_if>(std::make_shared<e_gt>(var(L"n"), int_expr(0)), block({block({return_stmt(call)})}))});
    ns.functions->define({param(tid::signed_, L"n")}, tid::signed_, f,
                         block({std::make_shared<c_while>(std::make_shared<e_gt>(var(L"n"), int_expr(0)), inner)}));
    auto lines = failure_chain([&] { ns.call_function(f, {int_(1)}); });
    EXPECT_NE(lines.back().find("call depth exceeded, depth="), std::string::npos);
    EXPECT_EQ(test_context().call_depth, 0u);
}

// Each interpreter numbers its own definitions: one defining in turn with another takes none of its numbers.
TEST_F(tables, definition_stamps_count_in_the_namespaces_own_context)
{
    context one, two;
    nspace first(one), second(two);
    nspace inner(&first);
    const symbol g = one.intern(L"g");
    first.functions->define({}, tid::signed_, g, block({}));
    second.functions->define({}, tid::signed_, two.intern(L"g"), block({}));
    inner.functions->define({}, tid::signed_, g, block({}));
    EXPECT_EQ(first.functions->stamp(), 1u);
    EXPECT_EQ(second.functions->stamp(), 1u);
    EXPECT_EQ(inner.functions->stamp(), 2u);
    EXPECT_EQ(one.definitions, 2u);
    EXPECT_EQ(two.definitions, 1u);
}

// Calls count in the context the namespace belongs to, against that context's limit; a namespace below
// it counts in the same one.
TEST_F(tables, calls_count_in_the_namespaces_own_context)
{
    context mine;
    mine.call_limit = 5;
    ns.ctx = &mine;
    ns.functions->define({param(tid::signed_, L"n")}, tid::signed_, f,
                         block({return_stmt(std::make_shared<e_function>(f, expr_list{var(L"n")}))}));
    auto lines = failure_chain([&] { ns.call_function(f, {int_(1)}); });
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_NE(lines.back().find("call depth exceeded, depth=5"), std::string::npos) << lines.back();
    EXPECT_EQ(mine.call_depth, 0u);
    nspace inside(&ns);
    EXPECT_EQ(inside.ctx, &mine);
}

} // namespace
