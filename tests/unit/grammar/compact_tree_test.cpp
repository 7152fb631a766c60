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

// A child count past 16 bits is kept aside under the node's first child: the block's children all
// show, on either side of the bound, and a node rewound and placed again over the same first child
// shows its new count, not the one it had before the rewind.
TEST(compact_tree, child_counts_past_sixteen_bits)
{
    for (std::size_t n : {65534u, 65535u, 70000u}) {
        std::wstring text = L"process main() {";
        for (std::size_t i = 0; i < n; ++i) text += L" x = 1;";
        text += L" }";
        const sem::ptree tree = program_tree(text);
        const sem::pnode block = *vorla::test::find(tree, sem::rule::block);
        ASSERT_EQ(block.children.size(), n) << n;
        EXPECT_EQ(block.children.back().offset, 16 + 7 * (n - 1) + 1) << n;
        EXPECT_EQ(block.children.back().id, sem::rule::statement) << n;
    }
    sem::tree_builder b;
    const sem::tree_builder::point start = b.here();
    for (std::uint32_t i = 0; i < 70000; ++i) b.leaf(sem::rule::semicolon, L";", i);
    b.close(sem::rule::block, start, 0);
    b.rewind(start);
    for (std::uint32_t i = 0; i < 66000; ++i) b.leaf(sem::rule::comma, L",", i);
    b.close(sem::rule::block, start, 0);
    const sem::ptree tree = b.finish();
    ASSERT_EQ(tree.children.size(), 66000u);
    EXPECT_EQ(tree.children.back().text, L",");
    EXPECT_EQ(tree.children.back().offset, 65999u);
}

}  // namespace
