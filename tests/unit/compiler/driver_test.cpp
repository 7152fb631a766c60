// Unit tests of the compilation driver on real files: lookup, includes, the include guard and failure chains.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "../support.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;
namespace fs = std::filesystem;

class driver : public ::testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("vorla_compiler_test_" + std::to_string(::getpid()));
    std::wstring dir = root.wstring();
    nspace space{test_context()};
    semantic<wchar_t> compiler{space};
    std::wstring out;

    driver()
    {
        fs::remove_all(root);
        fs::create_directories(root / "lib");
        compiler.include_directories.push_back(dir);
        space.natives->define(L"write", [this](args& v) -> value {
            for (const value& x : v) out += static_cast<std::wstring>(*x);
            return make<nil>();
        });
    }
    ~driver() override { fs::remove_all(root); }

    void file(const std::string& name, const std::string& utf8)
    {
        std::ofstream f(root / name, std::ios::binary);
        f << utf8;
    }

    std::wstring run()
    {
        space.start_process(L"main", args{});
        while (!space.live->empty()) space.schedule();
        return out;
    }

    std::string failure(const std::wstring& path)
    {
        EXPECT_TRUE(locale_installed);
        try {
            compiler.compile(path);
        } catch (const std::exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "no failure compiling " << narrow(path);
        return {};
    }
};

TEST_F(driver, IncludesAreFoundBesideTheIncludingFileFirstAndCompiledOnce)
{
    file("main.vl", "#include \"lib/a.vl\"\n#include <lib/a.vl>\n#include \"main.vl\"\n"
                    "process main() { using::write(a(), b()); }\n");
    file("lib/a.vl", "#include \"b.vl\"\nstring a() { return \"a\"; }\n");
    file("lib/b.vl", "string b() { return \"lib-b\"; }\n");
    file("b.vl", "string b() { return \"top-b\"; }\n");  // must not be taken: lib/b.vl is beside lib/a.vl
    compiler.compile(L"main.vl");
    EXPECT_EQ(run(), L"alib-b");
    ASSERT_EQ(compiler.compiled_files.size(), 3u);
    EXPECT_EQ(compiler.compiled_files[0], dir + L"/main.vl");
    EXPECT_EQ(compiler.compiled_files[1], dir + L"/lib/a.vl");
    EXPECT_EQ(compiler.compiled_files[2], dir + L"/lib/b.vl");

    // A second compile request of the same file is silently satisfied.
    compiler.compile(dir + L"/main.vl");
    EXPECT_EQ(compiler.compiled_files.size(), 3u);
}

TEST_F(driver, CompletePathsAndBackslashes)
{
    file("lib/c.vl", "process main() { using::write(\"c\"); }\n");
    file("main.vl", "#include \"lib\\c.vl\"\n");
    // A leading '/' makes the path complete: the include directory is not prefixed.
    compiler.include_directories = {L"/nonexistent-vorla-dir"};
    compiler.compile(dir + L"/main.vl");
    EXPECT_EQ(run(), L"c");
}

TEST_F(driver, MissingFile)
{
    EXPECT_HAS(failure(L"nothing.vl"), "vorla::semantic<wchar_t>::compile_file: include failure, path=nothing.vl");
}

TEST_F(driver, MissingIncludeChainsEveryLayer)
{
    file("main.vl", "int x;\n#include \"missing.vl\"\n");
    const std::string e = failure(L"main.vl");
    const auto compile_failure = e.find("compile_this: compile failure, dir=" + narrow(dir) + ", path=main.vl");
    const auto semantic_failure = e.find("compile_str: semantic failure");
    const auto include = e.find("eval_include_def: catch exception");
    const auto missing = e.find("compile_file: include failure, path=missing.vl");
    EXPECT_NE(missing, std::string::npos) << e;
    EXPECT_LT(compile_failure, semantic_failure) << e;
    EXPECT_LT(semantic_failure, include) << e;
    EXPECT_LT(include, missing) << e;
    // What came before the failure stays defined, and the failed file stays recorded.
    EXPECT_NO_THROW(nlookup<wchar_t>::find_variable(&space.global, intern(L"x")));
    EXPECT_EQ(compiler.compiled_files.size(), 1u);
}

TEST_F(driver, ErrorInAnIncludedFileNamesBothFiles)
{
    file("main.vl", "#include \"lib/bad.vl\"\n");
    file("lib/bad.vl", "int x =1e5;\n");
    const std::string e = failure(L"main.vl");
    EXPECT_HAS(e, "compile failure, dir=" + narrow(dir) + ", path=main.vl");
    EXPECT_HAS(e, "compile failure, dir=" + narrow(dir) + ", path=lib/bad.vl");
    EXPECT_HAS(e, "parsing failure,  match=1 full=0 length=0 stop=int x =1e5;");
}

TEST_F(driver, AmbiguousPattern)
{
    file("r1.vl", "");
    file("r2.vl", "");
    file("main.vl", "#include \"r[12].vl\"\n");
    EXPECT_HAS(failure(L"main.vl"), "ambiguous path string, dir=" + narrow(dir) + ", path=r[12].vl");
}

TEST_F(driver, EmptyAndWhitespaceFilesAreValid)
{
    file("empty.vl", "");
    file("blank.vl", " \n\t\n");
    EXPECT_NO_THROW(compiler.compile(L"empty.vl"));
    EXPECT_NO_THROW(compiler.compile(L"blank.vl"));
}

} // namespace
