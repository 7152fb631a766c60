// The grammar's public face: parsing a stripped source text into a plain tree, and printing that tree.
#pragma once

#include <string>

#include "semantic/ptree.hpp"

namespace vorla::detail::semantic {

// The tree one node per line: two spaces per depth, the rule's name, and for a leaf a space and its
// text in double quotes (\n, \t, \" and \\ escaped). UTF-8, every line ending in '\n'.
std::string dump_tree(const pnode& tree);

// "parsing failure, match=M full=F length=N stop=TEXT" with the flags as 1/0 and line feeds in the
// rest shown as \n; no line end.
std::string failure_line(const parse_info& info);

// The whole pipeline as the tools see it: strip comments, then parse. A stripping failure yields a
// result with match and full false, length 0 and an empty rest.
parse_info strip_and_parse(const std::wstring& source);

// What vorla-parse prints for a source text: the tree when the whole text parses, else the failure line
// and a line end. Returns whether the whole text parsed.
bool parse_report(const std::wstring& source, std::string& out);

// The grammar's reference form: the same rules written for Spirit Classic (grammar.cpp), which
// parse_program must agree with on every text. For the tests and the parse fuzz target only: the
// interpreter never links it.
parse_info reference_parse_program(const std::wstring& stripped, const offset_map* map = nullptr);

// Where parse_program and the reference form disagree on a stripped text (match, stop, error place,
// hint, or the first differing node with its path); empty when they agree.
std::string parse_difference(const std::wstring& stripped, const offset_map* map = nullptr);

}  // namespace vorla::detail::semantic
