// interpreter::check from a host: the findings carry their positions and know the host's natives.
#include <gtest/gtest.h>

#include "vorla/vorla.hpp"

namespace {

TEST(check, needs_the_trees_kept_when_compiling)
{
    vorla::interpreter plain;
    plain.compile_string("a.vl", std::string("process main() { }"));
    EXPECT_THROW(plain.check(), vorla::script_error);
}

TEST(check, knows_the_host_natives_and_places_each_finding)
{
    vorla::interpreter_options o;
    o.keep_for_check = true;
    vorla::interpreter host(o);
    host.define_native("frame", [](const std::vector<vorla::script_value>&) { return vorla::make_nil(); });
    host.compile_string("game.vl", std::string("process main() {\n    using::frame();\n    using::fram();\n    int n = 1;\n"
                                                "    using::write(n + \"\\n\");\n}\n"));
    const std::vector<vorla::check_finding> found = host.check();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].error);
    EXPECT_EQ(found[0].message, "no native named 'fram'");
    EXPECT_EQ(found[0].file, "game.vl");
    EXPECT_EQ(found[0].line, 3u);
    EXPECT_EQ(found[0].column, 12u);
    EXPECT_FALSE(found[1].error);
    EXPECT_EQ(found[1].line, 5u);
    EXPECT_EQ(found[1].report.rfind("game.vl:5:20: warning: the text is lost", 0), 0u) << found[1].report;
}

} // namespace
