// Instances the vm makes itself (new_i): the same members, order, limits and reports as the tree's construction.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "vorla/vorla.hpp"
#include "engine_options.hpp"

namespace {

// Classes whose construction runs no script statement, nested three constructor calls deep at most.
const std::string classes = "class Inner { int n; string s; };\n"
                            "class Shape {\n    string name;\n    int sides;\n"
                            "    Shape(string n, int k) : name(n), sides(k) { }\n};\n"
                            "class Square : Shape {\n    double side;\n    Inner in;\n"
                            "    Square(double s) : side(s), Shape(\"square\", 4) { }\n};\n"
                            "class Plain { vector v; Inner in; };\n";

// Output, then the failure's text and report, of a run under these limits.
std::string outcome(const std::string& source, bool vm, unsigned depth, std::optional<std::uint64_t> steps = {})
{
    vorla::interpreter_options limits;
    limits.call_depth_limit = depth;
    limits.step_budget = steps;
    return vm_test::run_to_end(classes + source, vm, limits).text;
}

// At the call depth limit the construction fails where the tree's fails: at the call, or at whichever
// constructor call inside the construction passes the limit (each limit puts the last frame's
// construction at another depth of it).
TEST(vm_construction, the_call_depth_limit_is_met_inside_the_construction_as_on_the_tree)
{
    const std::string square = "int f(int n) {\n    Square q(1.5);\n    using::write(\"\" + n + q.name+ \" \");\n"
                               "    return f(n + 1);\n}\nprocess main() {\n    f(0);\n}\n";
    const std::string plain = "int f(int n) {\n    Plain p;\n    p.in.n= n;\n    return f(p.in.n+ 1);\n}\n"
                              "process main() {\n    Plain top;\n    f(0);\n}\n";
    for (unsigned depth = 1; depth <= 9; ++depth)
        for (const std::string* source : {&square, &plain}) {
            const std::string tree = outcome(*source, false, depth);
            EXPECT_NE(tree.find("call depth exceeded"), std::string::npos) << tree;
            EXPECT_EQ(outcome(*source, true, depth), tree) << "limit " << depth << "\n" << *source;
        }
}

// A constructor run counts as a call for the step budget: a construction that passes the budget inside a
// step fails as the tree's, and one that stays under it costs the same count (the loop's own tests then
// meet the budget at the same iteration).
TEST(vm_construction, constructors_count_against_the_step_budget_as_calls)
{
    const std::string loop = "int make(int n) {\n    int k = 0;\n    while (k < n) {\n        Square q(2.0);\n"
                             "        Plain p;\n        ++k;\n    }\n    return k;\n}\n"
                             "process main() {\n    using::write(\"\" + make(3) + \" \");\n    using::write(\"\" + make(20));\n}\n";
    for (std::uint64_t steps = 2; steps <= 60; steps += 3) {
        const std::string tree = outcome(loop, false, 10000, steps);
        EXPECT_EQ(outcome(loop, true, 10000, steps), tree) << "budget " << steps;
    }
    EXPECT_NE(outcome(loop, false, 10000, 20).find("in one step"), std::string::npos);
    EXPECT_EQ(outcome(loop, true, 10000), "3 20");
}

// An instance nothing else holds stands for its copy only where the copy could not fail: moved out of a
// list into a vector one call deep, an instance holding another needs two constructor calls more, which a
// limit of two refuses as the copy does (the same instance went into the list at the top as it was).
TEST(vm_construction, an_unheld_instance_is_still_copied_where_the_copy_meets_the_depth_limit)
{
    const std::string source = "class Outer { Inner in; };\nlist l;\nvector g;\n"
                               "nil move_one() { g.push_back(l.pop_front()); }\n"
                               "process main() {\n    l.push_back(Outer());\n    move_one();\n"
                               "    using::write(\"moved \" + g.size());\n}\n";
    for (bool vm : {false, true}) {
        const std::string refused = outcome(source, vm, 2);
        EXPECT_NE(refused.find("call depth exceeded"), std::string::npos) << refused;
        EXPECT_EQ(refused.find("moved"), std::string::npos) << refused;
        EXPECT_EQ(outcome(source, vm, 3), "moved 1");
    }
}

// An element returned from a function declared of its class is copied as the call's result is converted,
// at the call's own depth: two calls deep, the copy of an instance holding another meets a limit of four.
TEST(vm_construction, an_element_returned_as_an_instance_is_copied_at_the_depth_of_its_call)
{
    const std::string source = "class Outer { Inner in; };\nvector g;\n"
                               "Outer get(int n) {\n    if (n > 0) {\n        return get(n - 1);\n    }\n    return g.at(0);\n}\n"
                               "process main() {\n    g.push_back(Outer());\n    Outer o = get(1);\n    using::write(\"got\");\n}\n";
    for (unsigned depth = 2; depth <= 6; ++depth) {
        const std::string tree = outcome(source, false, depth);
        EXPECT_EQ(outcome(source, true, depth), tree) << "limit " << depth;
    }
    EXPECT_NE(outcome(source, true, 3).find("call depth exceeded"), std::string::npos);
    EXPECT_EQ(outcome(source, true, 6), "got");
}

} // namespace
