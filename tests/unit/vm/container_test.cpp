// Lists, hashes, containers returned by functions and methods of values only the run knows, on the vm:
// the same output and the same failure reports as on the tree interpreter.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "vorla/vorla.hpp"
#include "engine_options.hpp"

namespace {

using vm_test::same_on_both;

// An element is the container's own value: an assignment through h.at(k) or l.front() changes it in the
// container; a parameter and a declaration from another container are copies.
TEST(vm_containers, list_and_hash_elements_change_in_place_and_copies_stay_apart)
{
    same_on_both("int count(hash h) { h.insert(\"z\", 0); return h.size(); }\n"
                 "process main() {\n    list l;\n    hash h;\n    l.push_back(1);\n    l.push_front(\"a\");\n"
                 "    l.back() += 4;\n    h.insert(\"k\", 1);\n    h.at(\"k\") = 2.5;\n    h.at(\"k\") *= 2;\n"
                 "    list c = l;\n    c.front() = 9;\n    int n = count(h);\n    vector keys = h.keys();\n    keys.push_back(1);\n"
                 "    using::write(using::debug(l) + using::debug(c) + using::debug(h) + \" \" + n + \" \" + keys.size() + "
                 "h.exist(\"k\") + h.exist(\"z\") + l.empty() + \" \" + (h.size() + l.size()) + \"\\n\");\n"
                 "    using::write(using::debug(l.pop_front()) + using::debug(l) + using::debug(h.values()) + \"\\n\");\n}\n");
    // A method no container has, or with another count of arguments, is its own refusal at run time.
    same_on_both("process main() {\n    hash h;\n    using::write(\"go\");\n    h.at(1, 2);\n}\n");
    same_on_both("process main() {\n    list l;\n    l.pop_back();\n}\n");
}

// A hash's at and exist look a number or string key up directly; any other key takes the hash's own
// method, and a missing key is its range_error, caught or reported as on the tree interpreter.
TEST(vm_containers, hash_lookups_by_any_key_and_missing_keys)
{
    same_on_both("process main() {\n    hash h;\n    vector k(2, 1);\n    h.insert(k, \"v\");\n    h.insert(3, 4);\n"
                 "    h.insert(\"s\", 5);\n    vector same(2, 1);\n    h.at(3) += h.at(\"s\");\n    string key = \"s\";\n"
                 "    using::write(\"\" + h.at(same) + h.exist(same) + h.exist(3u) + h.exist(3.0) + h.at(3) + h.exist(key + \"x\") + \"\\n\");\n"
                 "    try { h.at(\"none\"); } catch (range_error e) { using::write(\"missing\\n\"); }\n"
                 "    int n = h.at(4);\n}\n");
}

// The result of a local nothing else holds is the caller's value; one a global still holds is copied,
// as is one of another class (the declared class converts it, or refuses).
TEST(vm_containers, functions_return_containers_as_their_declared_class_makes_them)
{
    same_on_both("vector g;\n"
                 "vector fresh(int n) { vector v(n, 1); return v; }\n"
                 "vector global() { return g; }\n"
                 "list nested(vector v) { list l; l.push_back(v); return l; }\n"
                 "vector first(vector v) { return v.at(0); }\n"
                 "process main() {\n    g.push_back(5);\n    vector a = global();\n    a.push_back(6);\n"
                 "    vector w;\n    w.push_back(fresh(2));\n    vector b = first(w);\n"
                 "    using::write(using::debug(g) + using::debug(a) + using::debug(b) + using::debug(nested(fresh(1))) + "
                 "fresh(3).size() + \"\\n\");\n}\n");
    same_on_both("vector wrong() { list l; return l; }\nprocess main() {\n    using::write(\"go\");\n    vector v = wrong();\n}\n");
}

// v.at(0).f(): a built-in method of the element's class, else its method slot (a script method of an
// instance), with the tree interpreter's reports of what fails inside.
TEST(vm_containers, methods_of_elements_and_results_find_what_the_tree_finds)
{
    same_on_both("class P {\n    int x;\n    P() : x(3) { }\n    int twice(int k) { return x * k; }\n"
                 "    int fail() { throw \"no\"; return 0; }\n};\n"
                 "process main() {\n    vector v;\n    vector inner(2, 0);\n    v.push_back(inner);\n    v.push_back(P());\n"
                 "    v.push_back(\"text\");\n    v.at(0).at(1) = 7;\n    v.at(0).push_back(8);\n"
                 "    string s = \"abc\";\n"
                 "    using::write(using::debug(v.at(0)) + \" \" + v.at(1).twice(2) + \" \" + v.at(2).size() + \" \" + "
                 "s.substr(1, 2).size() + \" \" + v.at(2).substr(1, 2).at(0) + \"\\n\");\n"
                 "    try { v.at(1).fail(); } catch (string e) { using::write(\"caught \" + e + \"\\n\"); }\n"
                 "    v.at(0).nothing(1);\n}\n");
    // The error of a script method run for an element leaves through the instance and the vm's frames.
    same_on_both("class P {\n    int x;\n    int split(int k) { return x / k; }\n};\n"
                 "int f(vector v) { int k = v.at(0).split(0); return k; }\n"
                 "process main() {\n    vector v;\n    v.push_back(P());\n    using::write(\"\" + f(v));\n}\n");
    // An uncaught throw from such a method, through a function.
    same_on_both("class P {\n    int x;\n    int fail() { throw 5; return 0; }\n};\n"
                 "int f(vector v) { int k = v.at(0).fail(); return k; }\n"
                 "process main() {\n    vector v;\n    v.push_back(P());\n    using::write(\"\" + f(v));\n}\n");
}

// An element handed to the one method (of the class or a base) that may take it: its class is checked as
// the call runs, and another class is the instance's own refusal.
TEST(vm_containers, a_method_taking_an_element_checks_its_class_when_called)
{
    same_on_both("class B {\n    string seen;\n    nil add(string w) { seen += w; }\n};\n"
                 "class C : B {\n    int n;\n    nil count(int k, string w) { n += k; add(w); }\n};\n"
                 "process main() {\n    vector v;\n    v.push_back(\"ab\");\n    v.push_back(3);\n    C c;\n"
                 "    c.add(v.at(0) + \"c\");\n    c.count(v.at(1), v.at(0));\n"
                 "    using::write(c.seen+ \" \" + c.n+ \"\\n\");\n    c.add(v.at(1));\n}\n");
}

// Elements of several classes answer one call site each with its own method, compiled for each class
// (B's, whose frexp the vm runs, too), and a nil-giving one whose value is used
// (the tree's nil value).
TEST(vm_containers, an_element_call_site_runs_each_receivers_own_method)
{
    same_on_both("class A {\n    int n;\n    A() : n(1) { }\n    int get(int k) { return n + k; }\n    nil poke(int k) { n += k; }\n};\n"
                 "class B {\n    double d;\n    B() : d(8.0) { }\n    int get(int k) { int e = 0; d.frexp(e); return e + k; }\n"
                 "    nil poke(int k) { d += k; }\n};\n"
                 "class C : A {\n    string s;\n};\n"
                 "process main() {\n    vector v;\n    v.push_back(A());\n    v.push_back(B());\n    v.push_back(C());\n    int i = 0;\n"
                 "    while (i < 3) {\n        v.at(i).poke(i);\n        using::write(\"\" + v.at(i).get(10) + using::debug(v.at(i).poke(0)) + \" \");\n        ++i;\n    }\n"
                 "    using::write(using::debug(v) + \"\\n\");\n    v.at(0).get(\"x\");\n}\n");
}

// sort_by's keys are methods of the elements, which the container's method slot runs; one that throws
// ends the sort, and the throw is caught where the sort was called.
TEST(vm_containers, sort_by_runs_the_elements_key_methods)
{
    same_on_both("class K {\n    int k;\n    K(int n) : k(n) { }\n    int key() { if (k < 0) { throw k; } return k; }\n};\n"
                 "process main() {\n    list l;\n    l.push_back(K(3));\n    l.push_back(K(1));\n    l.push_back(K(2));\n"
                 "    l.sort_by(\"key\");\n    using::write(using::debug(l) + \"\\n\");\n    vector v;\n"
                 "    v.push_back(K(1));\n    v.push_back(K(0 - 4));\n"
                 "    try { v.sort_by(\"key\"); } catch (int e) { using::write(\"thrown \" + e + \"\\n\"); }\n"
                 "    v.sort_by(\"missing\");\n}\n");
}

} // namespace
