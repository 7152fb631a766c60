// docs/library.md against the method tables: every built-in method has a row there, and every row a method.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../support.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/process_.hpp"
#include "factor/real.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/timer.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;

// "name/argc", sorted, so two lists compare as multisets and a difference prints readably.
using signature_set = std::vector<std::string>;

signature_set as_set(const method_signatures& methods)
{
    signature_set out;
    for (const method_signature& m : methods) out.push_back(m.name + "/" + std::to_string(m.argc));
    std::sort(out.begin(), out.end());
    return out;
}

// The types a script can call methods on, by the name the reference uses for them. The types left out
// (bool, nil, typeid, bad_cast, range_error) have no method table: every method call on them is refused.
std::map<std::string, signature_set> interpreter_tables()
{
    return {
        {"string", as_set(string_<wchar_t>::methods())},
        {"int", as_set(signed_<int>::methods())},
        {"unsigned int", as_set(unsigned_<unsigned int>::methods())},
        {"float", as_set(real<float>::methods())},
        {"double", as_set(real<double>::methods())},
        {"vector", as_set(vector_::methods())},
        {"list", as_set(list_::methods())},
        {"hash", as_set(hash_::methods())},
        {"timer", as_set(timer::methods())},
        {"ref", as_set(ref::methods())},
        {"process", as_set(process_<process>::methods())},
    };
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The cells of a markdown table row; "\|" inside a cell is a bar, not a border.
std::vector<std::string> cells(const std::string& row)
{
    std::vector<std::string> out;
    std::string cell;
    for (std::size_t i = 1; i < row.size(); ++i) {
        if (row[i] == '\\' && i + 1 < row.size() && row[i + 1] == '|') {
            cell += '|';
            ++i;
        } else if (row[i] == '|') {
            out.push_back(trim(cell));
            cell.clear();
        } else {
            cell += row[i];
        }
    }
    return out;
}

// Every `code` span of a text.
std::vector<std::string> code_spans(const std::string& text)
{
    std::vector<std::string> out;
    for (std::size_t b = text.find('`'); b != std::string::npos; b = text.find('`', b + 1)) {
        const std::size_t e = text.find('`', b + 1);
        if (e == std::string::npos) break;
        out.push_back(text.substr(b + 1, e - b - 1));
        b = e;
    }
    return out;
}

// The method tables of docs/library.md: below a "## " heading naming types in `code`, the rows whose first
// cell is a method in `code`. The second cell lists the arguments, separated by commas, or "—" for none.
std::map<std::string, signature_set> documented_tables(std::istream& in, std::vector<std::string>& problems)
{
    std::map<std::string, signature_set> out;
    std::vector<std::string> current;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.rfind("## ", 0) == 0) {
            current = code_spans(line);
            for (const std::string& type : current) out[type];
            continue;
        }
        if (line.rfind("| `", 0) != 0 || current.empty()) continue;
        const std::vector<std::string> row = cells(line);
        const std::vector<std::string> name = code_spans(row[0]);
        if (row.size() < 5 || name.size() != 1) {
            problems.push_back("line " + std::to_string(number) + ": not a method row: " + line);
            continue;
        }
        std::size_t argc = 0;
        if (row[1] != "—") argc = static_cast<std::size_t>(std::count(row[1].begin(), row[1].end(), ',')) + 1;
        for (const std::string& type : current) out[type].push_back(name[0] + "/" + std::to_string(argc));
    }
    for (auto& [type, set] : out) std::sort(set.begin(), set.end());
    return out;
}

std::string joined(const signature_set& s)
{
    std::string out;
    for (const std::string& m : s) out += (out.empty() ? "" : " ") + m;
    return out;
}

TEST(library_doc, every_method_of_every_table_is_documented_and_nothing_else)
{
    std::ifstream in(VORLA_SOURCE_DIR "/docs/library.md");
    ASSERT_TRUE(in) << "cannot read docs/library.md";
    std::vector<std::string> problems;
    const auto documented = documented_tables(in, problems);
    for (const std::string& p : problems) ADD_FAILURE() << p;

    const auto tables = interpreter_tables();
    for (const auto& [type, methods] : tables) {
        const auto doc = documented.find(type);
        if (doc == documented.end()) {
            ADD_FAILURE() << "docs/library.md has no section for `" << type << "`";
            continue;
        }
        EXPECT_EQ(joined(doc->second), joined(methods)) << "methods of `" << type << "` (name/argument count)";
    }
    for (const auto& [type, methods] : documented)
        if (!tables.count(type) && !methods.empty())
            ADD_FAILURE() << "docs/library.md lists methods for `" << type << "`, which has no method table";
}

// The parser above on a small sample, so a reading fault cannot pass the real check by accident.
TEST(library_doc, reads_sections_rows_and_argument_counts)
{
    std::istringstream in("# title\n"
                          "| `ignored` | — | x | — | x |\n"
                          "## `float` and `double`\n"
                          "| Method | Arguments | Result | Errors | Example |\n"
                          "|---|---|---|---|---|\n"
                          "| `sqrt` | — | root | `range_error` | `x.sqrt()` |\n"
                          "| `atan2` | `y`, `x` | angle | — | `a \\|\\| b` |\n"
                          "## `bool`\n"
                          "No methods.\n");
    std::vector<std::string> problems;
    const auto doc = documented_tables(in, problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(joined(doc.at("float")), "atan2/2 sqrt/0");
    EXPECT_EQ(joined(doc.at("double")), "atan2/2 sqrt/0");
    EXPECT_TRUE(doc.at("bool").empty());
}

}  // namespace
