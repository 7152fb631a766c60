// docs/library.md against the built-in natives' table: every native has a row with its argument count.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "driver/native_kit.hpp"

namespace {

using vorla::driver::native_id;

// "name/argc" of every row of a table below the "## Natives" heading: `name`, then the arguments
// separated by commas, or "—" for none.
std::set<std::string> documented_natives(std::istream& in)
{
    std::set<std::string> out;
    std::string line;
    bool natives = false;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0) natives = line == "## Natives";
        if (!natives || line.rfind("| `", 0) != 0) continue;
        const auto name_end = line.find('`', 3);
        const auto args_begin = line.find('|', name_end) + 1;
        std::string args = line.substr(args_begin, line.find('|', args_begin) - args_begin);
        args.erase(0, args.find_first_not_of(' '));
        args.erase(args.find_last_not_of(' ') + 1);
        const auto count = args == "—" ? 0 : std::count(args.begin(), args.end(), ',') + 1;
        out.insert(line.substr(3, name_end - 3) + "/" + std::to_string(count));
    }
    return out;
}

TEST(native_doc, every_built_in_native_is_documented_with_its_argument_count_and_nothing_else)
{
    std::ifstream in(VORLA_SOURCE_DIR "/docs/library.md");
    ASSERT_TRUE(in) << "cannot read docs/library.md";
    std::set<std::string> table;
    for (auto id = static_cast<unsigned>(native_id::write); id <= static_cast<unsigned>(native_id::sleep); ++id) {
        const vorla::driver::native_info n = vorla::driver::info(static_cast<native_id>(id));
        EXPECT_EQ(n.min_args, n.max_args) << n.name << " takes a range of counts the doc cannot show";
        table.insert(std::string(n.name) + "/" + std::to_string(n.max_args));
    }
    EXPECT_EQ(documented_natives(in), table);
}

} // namespace
