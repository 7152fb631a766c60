// Shared grammar test helpers.
#include "support.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "exception.hpp"

namespace vorla::test {

bool parses(const std::wstring& source) { return sem::strip_and_parse(source).full; }

sem::ptree program_tree(const std::wstring& source)
{
    sem::parse_info info = sem::strip_and_parse(source);
    EXPECT_TRUE(info.full) << sem::failure_line(info);
    return info.tree;
}

std::optional<sem::pnode> find(const sem::pnode& root, sem::rule id)
{
    std::vector<sem::pnode> todo{root};
    while (!todo.empty()) {
        const sem::pnode n = todo.back();
        todo.pop_back();
        if (n.id == id) return n;
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) todo.push_back(*it);
    }
    return std::nullopt;
}

std::string shape(const sem::pnode& node)
{
    std::string out = sem::rule_name(node.id);
    if (node.leaf) return out + "\"" + vorla::narrow(node.text_string()) + "\"";
    out += '(';
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (i) out += ' ';
        out += shape(node.children[i]);
    }
    return out + ')';
}

std::string child_labels(const sem::pnode& node)
{
    std::string out;
    for (const auto& c : node.children) {
        if (!out.empty()) out += ' ';
        out += sem::rule_name(c.id);
    }
    return out;
}

}  // namespace vorla::test
