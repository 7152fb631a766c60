// Grammar test helpers on top of the unit-wide ones: parsing shortcuts and a compact text form of trees.
#pragma once

#include <optional>
#include <string>

#include "../support.hpp"
#include "semantic/grammar.hpp"

namespace vorla::test {

namespace sem = vorla::detail::semantic;

// Strips and parses; true when the whole text was consumed.
bool parses(const std::wstring& source);

// The whole program's tree, asserting (by gtest failure) that it parsed completely.
sem::ptree program_tree(const std::wstring& source);

// First node labelled `id` in depth-first order, or none.
std::optional<sem::pnode> find(const sem::pnode& root, sem::rule id);

// Inner node: name(children...); leaf: name"text".
std::string shape(const sem::pnode& node);

// The labels of a node's children, space separated.
std::string child_labels(const sem::pnode& node);

}  // namespace vorla::test
