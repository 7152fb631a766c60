// Processes: start, lookup of definitions, the scheduler pass, signals at process level, and the process value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support.hpp"
#include "factor/process_.hpp"
#include "nspace.hpp"
#include "process.hpp"

using namespace vorla;
using namespace vorla::test;

namespace {

#define NS "nspace.cpp vorla::nspace<wchar_t,class vorla::process<wchar_t> >::"
#define PV "factor/process_.hpp vorla::process_<class vorla::process<wchar_t> >::"

class processes : public ::testing::Test {
protected:
    processes()
    {
        root.natives->define(L"log", [this](args& v) -> value {
            log.push_back(narrow(static_cast<std::wstring>(*v.at(0))));
            return make<nil>();
        });
    }

    // using::log("text");
    static control_ptr say(const wchar_t* text)
    {
        return std::make_shared<c_single>(std::make_shared<e_native>(
            L"log", expr_list{std::make_shared<e_constant<string_<wchar_t>, std::wstring>>(text)}));
    }

    type_id_t define(const wchar_t* name, control_list body, table::parameter_list params = {}, nspace* in = nullptr)
    {
        type_id_t pid = root.types->contains(std::wstring(L"p?") + name) ? root.types->find(std::wstring(L"p?") + name)
                                                                           : root.types->generate_p(name);
        (in ? in : &root)->processes->define(params, pid, block(std::move(body)));
        return pid;
    }

    bool exited(const value& p) { return truth(p->method(method_call<wchar_t>{.v = args{}, .name = L"exit", .ctx = &test_context()})); }

    nspace root{test_context()};
    std::vector<std::string> log;
};

TEST_F(processes, two_processes_interleave_one_statement_per_pass_in_start_order)
{
    define(L"a", {say(L"a1"), say(L"a2")});
    define(L"b", {say(L"b1"), say(L"b2")});
    value a = root.start_process(L"a", {});
    value b = root.start_process(L"b", {});
    EXPECT_TRUE(log.empty());  // starting runs nothing
    root.schedule();
    EXPECT_EQ(log, (lines{"a1", "b1"}));
    EXPECT_EQ(root.live->size(), 2u);
    root.schedule();
    EXPECT_EQ(log, (lines{"a1", "b1", "a2", "b2"}));
    EXPECT_TRUE(root.live->empty());
    EXPECT_TRUE(exited(a));
    EXPECT_TRUE(exited(b));
}

TEST_F(processes, a_process_started_during_a_pass_is_stepped_in_that_pass)
{
    type_id_t b = define(L"b", {say(L"b1")});
    define(L"a", {std::make_shared<c_start_p>(b, intern(L"q"), expr_list{}), say(L"a2")});
    root.start_process(L"a", {});
    root.schedule();
    EXPECT_EQ(log, (lines{"b1"}));
    ASSERT_EQ(root.live->size(), 1u);
    EXPECT_EQ(root.live->front()->pid, root.types->find(L"p?a"));
    root.schedule();
    EXPECT_EQ(log, (lines{"b1", "a2"}));
    EXPECT_TRUE(root.live->empty());
}

TEST_F(processes, an_empty_process_is_erased_in_its_first_pass)
{
    define(L"e", {});
    value p = root.start_process(L"e", {});
    EXPECT_FALSE(exited(p));
    EXPECT_EQ(root.live->size(), 1u);
    root.schedule();
    EXPECT_TRUE(root.live->empty());
    EXPECT_TRUE(exited(p));  // the value outlives the list entry
}

TEST_F(processes, arguments_that_match_no_definition_fail_to_start)
{
    define(L"main", {});
    EXPECT_EQ(failure_chain([&] { root.start_process(L"main", {str(L"x")}); }),
              (lines{NS "start_process: fail to start process",
                     NS "process_definition: undefined process id, pid=p?main v[0]=string(x)"}));
    nspace child(&root);
    EXPECT_EQ(failure_chain([&] { child.start_process(root.types->find(L"p?main"), {str(L"x"), int_(1)}); }),
              (lines{NS "start_process: fail to start process",
                     NS "process_definition: catch exception, pid=p?main v[0]=string(x), v[1]=int(1)",
                     NS "process_definition: undefined process id, pid=p?main v[0]=string(x), v[1]=int(1)"}));
    EXPECT_TRUE(root.live->empty());
}

// A definition whose parameters share a name can bind no arguments: it counts as none, so the search
// goes on to the parent, and with no other definition the start fails as an unknown signature.
TEST_F(processes, a_definition_with_a_repeated_parameter_name_is_passed_over)
{
    const table::parameter_list twice{param(tid::signed_, L"a"), param(tid::signed_, L"a")};
    nspace child(&root);
    type_id_t pid = define(L"r", {say(L"root's")}, twice);
    define(L"r", {say(L"child's")}, twice, &child);
    EXPECT_EQ(failure_chain([&] { child.start_process(pid, {int_(1), int_(2)}); }),
              (lines{NS "start_process: fail to start process",
                     NS "process_definition: catch exception, pid=p?r v[0]=int(1), v[1]=int(2)",
                     NS "process_definition: undefined process id, pid=p?r v[0]=int(1), v[1]=int(2)"}));
    type_id_t ok = define(L"s", {say(L"root's")}, {param(tid::signed_, L"a"), param(tid::signed_, L"b")});
    define(L"s", {say(L"child's")}, twice, &child);
    child.start_process(ok, {int_(1), int_(2)});
    root.schedule();
    EXPECT_EQ(log, (lines{"root's"}));
}

TEST_F(processes, an_unknown_process_name_is_the_maps_own_error)
{
    try {
        root.start_process(L"nobody", {});
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Unable to find key in unordered_map.");
    }
}

TEST_F(processes, a_definition_in_the_parent_serves_a_child_and_runs_under_the_root)
{
    nspace child(&root);
    type_id_t pid = define(L"w", {say(L"w")}, {param(tid::signed_, L"n")});
    value p = child.start_process(pid, {int_(1)});
    auto& proc = static_cast<process_<process>&>(*p).target();
    // The frame hangs under the root's global scope, not the child's.
    scope* s = proc->frame.get();
    while (s && s != &root.global && s != &child.global) s = s->parent;
    EXPECT_EQ(s, &root.global);
    EXPECT_EQ(proc->root, &root);
    EXPECT_EQ(proc->context.space, &root);
    EXPECT_EQ(proc->context.current, &root.global);
    EXPECT_EQ(root.live->size(), 1u);  // one list for the whole program
}

TEST_F(processes, a_definition_whose_arguments_cannot_be_bound_counts_as_no_match)
{
    nspace child(&root);
    // Two parameters of one name: binding fails on the second, so the parent's definition is used.
    type_id_t pid = define(L"w", {say(L"child")}, {param(tid::signed_, L"a"), param(tid::signed_, L"a")}, &child);
    define(L"w", {say(L"root")}, {param(tid::signed_, L"a"), param(tid::signed_, L"b")});
    child.start_process(pid, {int_(1), int_(2)});
    root.schedule();
    EXPECT_EQ(log, (lines{"root"}));
}

TEST_F(processes, each_start_has_its_own_frame_and_parameters)
{
    type_id_t pid = define(L"w", {}, {param(tid::signed_, L"n")});
    value arg = int_(4);
    value p1 = root.start_process(pid, {arg});
    value p2 = root.start_process(pid, {arg});
    auto& f1 = static_cast<process_<process>&>(*p1).target()->frame;
    auto& f2 = static_cast<process_<process>&>(*p2).target()->frame;
    EXPECT_NE(f1, f2);
    value n1 = *f1->variables.find(intern(L"n"));
    EXPECT_NE(n1, arg);
    EXPECT_NE(n1, *f2->variables.find(intern(L"n")));
}

TEST_F(processes, return_throw_and_break_at_process_level_end_the_run)
{
    define(L"r", {std::make_shared<c_return>(int_expr(5))});
    root.start_process(L"r", {});
    EXPECT_EQ(failure_chain([&] { root.schedule(); }),
              lines{"process.cpp vorla::process<wchar_t>::run: catch unexpected return int(5)"});
    root.live->clear();

    define(L"t", {std::make_shared<c_throw>(int_expr(6))});
    root.start_process(L"t", {});
    EXPECT_EQ(failure_chain([&] { root.schedule(); }),
              lines{"process.cpp vorla::process<wchar_t>::run: catch unexpected throw int(6)"});
    root.live->clear();

    // Thrown from inside a function called in an expression: it arrives as a C++ signal.
    symbol thrower = intern(L"thrower");
    root.functions->define({}, tid::nil, thrower, block({std::make_shared<c_throw>(int_expr(7))}));
    define(L"u", {std::make_shared<c_single>(std::make_shared<e_function>(thrower, expr_list{}))});
    root.start_process(L"u", {});
    EXPECT_EQ(failure_chain([&] { root.schedule(); }),
              lines{"process.cpp vorla::process<wchar_t>::run: catch unexpected throw int(7)"});
    root.live->clear();

    define(L"b", {std::make_shared<c_break>()});
    root.start_process(L"b", {});
    EXPECT_EQ(failure_chain([&] { root.schedule(); }),
              lines{"process.cpp vorla::process<wchar_t>::run: catch unexpected break"});
}

TEST_F(processes, an_error_leaves_the_pass_at_once_and_keeps_the_list)
{
    define(L"bad", {std::make_shared<c_throw>(int_expr(1)), say(L"never")});
    define(L"good", {say(L"g1"), say(L"g2")});
    root.start_process(L"bad", {});
    root.start_process(L"good", {});
    EXPECT_THROW(root.schedule(), vorla::exception);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(root.live->size(), 2u);
    // The host learns which one failed.
    EXPECT_EQ(root.failed, root.live->front().get());
}

TEST_F(processes, run_passes_counts_each_pass_and_stops_at_the_count_or_when_none_is_left)
{
    define(L"a", {say(L"a1"), say(L"a2"), say(L"a3")});
    define(L"b", {say(L"b1")});
    root.start_process(L"a", {});
    root.start_process(L"b", {});
    root.run_passes(2);
    EXPECT_EQ(log, (lines{"a1", "b1", "a2"}));
    EXPECT_EQ(root.watch->pass(), 2u);
    EXPECT_EQ(root.watch->steps(), 3u);
    EXPECT_EQ(root.running, nullptr);  // no process is taking a step between calls
    root.run_passes(10);
    EXPECT_EQ(log, (lines{"a1", "b1", "a2", "a3"}));
    EXPECT_EQ(root.watch->pass(), 3u);  // no pass is counted once the list is empty
    EXPECT_TRUE(root.live->empty());
}

TEST_F(processes, run_passes_ends_at_an_error_with_the_failed_process_named_and_none_running)
{
    define(L"good", {say(L"g1"), say(L"g2"), say(L"g3")});
    define(L"bad", {say(L"b1"), std::make_shared<c_throw>(int_expr(1))});
    root.start_process(L"good", {});
    root.start_process(L"bad", {});
    EXPECT_THROW(root.run_passes(5), vorla::exception);
    EXPECT_EQ(log, (lines{"g1", "b1", "g2"}));
    EXPECT_EQ(root.watch->pass(), 2u);
    EXPECT_EQ(root.failed, root.live->back().get());
    EXPECT_EQ(root.running, nullptr);
}

TEST_F(processes, identity_numbers_count_starts_and_describe_names_the_definition)
{
    define(L"w", {});
    value p1 = root.start_process(L"w", {});
    value p2 = root.start_process(L"w", {});
    value p3 = root.start_process(L"w", {});
    EXPECT_EQ(p1->method(method_call<wchar_t>{args{}, L"id"})->describe(), "unsigned(1)");
    EXPECT_EQ(p2->method(method_call<char>{args{}, "id"})->describe(), "unsigned(2)");
    EXPECT_EQ(p3->describe(), "p?w(3)");
}

TEST_F(processes, a_process_value_and_its_clone_are_one_process)
{
    type_id_t pid = define(L"w", {say(L"x")});
    value p = root.start_process(L"w", {});
    value q = p->clone();
    value other = root.start_process(L"w", {});
    EXPECT_NE(p, q);
    EXPECT_TRUE(p->equal(q));
    EXPECT_EQ(p->method(method_call<wchar_t>{args{}, L"id"})->describe(), q->method(method_call<wchar_t>{args{}, L"id"})->describe());
    std::uint32_t hp = 0, hq = 0;
    p->hash(hp);
    q->hash(hq);
    EXPECT_EQ(hp, hq);
    EXPECT_EQ(p->type_id(), pid);
    EXPECT_FALSE(tid::is_builtin(pid));
    EXPECT_EQ(other->type_id(), p->type_id());
    EXPECT_FALSE(p->equal(other));
    EXPECT_FALSE(p->equal(int_(1)));
    EXPECT_FALSE(exited(q));
    root.schedule();
    EXPECT_TRUE(exited(q));
}

TEST_F(processes, a_process_value_refuses_everything_else)
{
    define(L"w", {});
    value p = root.start_process(L"w", {});
    value q = p->clone();
    EXPECT_EQ(failure_chain([&] { p->call_constructor(); }), lines{PV "call_constructor: "});
    EXPECT_EQ(failure_chain([&] { p->call_constructor(int_(1)); }), lines{PV "call_constructor: int(1)"});
    EXPECT_EQ(failure_chain([&] { *p = q; }), lines{PV "operator =: p?w(1)"});
    EXPECT_EQ(failure_chain([&] { (void)(*p + q); }), lines{PV "operator +: p?w(1)"});
    EXPECT_EQ(failure_chain([&] { (void)!*p; }), lines{PV "operator !: "});
    EXPECT_EQ(failure_chain([&] { p->member(std::wstring(L"abc")); }), lines{PV "member: abc"});
    EXPECT_EQ(failure_chain([&] {
                  p->method(method_call<wchar_t>{args{}, L"kill"});
              }),
              lines{PV "method: id=kill, v=0"});
    EXPECT_EQ(failure_chain([&] {
                  p->method(method_call<wchar_t>{args{int_(1)}, L"exit"});
              }),
              lines{PV "method: id=exit, v[0]=int(1)"});
    try {
        (void)static_cast<bool>(*p);
        ADD_FAILURE() << "no throw";
    } catch (const sig_throw& t) {
        EXPECT_EQ(t.v->type_id(), tid::bad_cast);
    }
}

} // namespace
