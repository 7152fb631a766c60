// The parse tree's compact storage as its readers see it: runs of single children, views that outlive
// the nodes they came from, and the bounds a record's run has.
#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <string>

#include "support.hpp"

namespace {

namespace sem = vorla::detail::semantic;
using vorla::test::program_tree;
using vorla::test::shape;

// Parentheses make a run of single children eleven rules per level; past a record's limit of 255 the
// run goes on in a record of its own, and the tree is still node for node the reference parser's.
TEST(compact_tree, runs_longer_than_a_record_holds)
{
    for (std::size_t n : {22u, 23u, 24u, 100u}) {
        const std::wstring text =
            L"int x = " + std::wstring(n, L'(') + L"y" + std::wstring(n, L')') + L" + (((2)));";
        EXPECT_EQ(sem::parse_difference(text), "") << n;
        const sem::ptree tree = program_tree(text);
        sem::pnode p = *vorla::test::find(tree, sem::rule::initializer);
        std::size_t levels = 0;
        while (!p.leaf && p.children.size() == 1) {
            p = p.children[0];
            ++levels;
        }
        EXPECT_EQ(p.id, sem::rule::additive_expr) << n;
        p = p.children[0];
        for (std::size_t i = 0; i < 11 * n + 4; ++i) p = p.children.at(0);
        EXPECT_EQ(shape(p), "identifier_word(identifier_word\"y\")") << n;
    }
}

TEST(compact_tree, views_outlive_the_nodes_they_came_from)
{
    sem::ptree copy;
    {
        const sem::ptree tree = program_tree(L"process main() { a = 1; b = 2; c = 3; }");
        copy = tree;  // copies share the storage, which lives while one of them does
    }
    const sem::pnode body = copy.children.at(0).children.at(2);
    ASSERT_EQ(body.id, sem::rule::block);
    // An iterator keeps its own account of the children: the node it came from is a temporary here.
    auto it = copy.children.at(0).children.at(2).children.begin();
    ++it;
    EXPECT_EQ(shape(*it), shape(body.children[1]));
    EXPECT_NE(shape(*it), shape(body.children[0]));
    EXPECT_EQ(std::distance(body.children.begin(), body.children.end()), 3);
    EXPECT_EQ((*body.children.rbegin()).offset, body.children[2].offset);
    EXPECT_THROW(body.children.at(3), std::out_of_range);
}

}  // namespace
