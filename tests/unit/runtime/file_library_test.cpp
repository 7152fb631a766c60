// The file library: whole-file reading and include-path resolution with pattern names, in a scratch directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "exception.hpp"
#include "lib/basic_filesystem.hpp"
#include "lib/file.hpp"

namespace {
namespace fs = std::filesystem;
namespace bfs = lib::basic_filesystem;

class file_library : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto pattern = fs::temp_directory_path() / "vorla-file-library-XXXXXX";
        std::string buf = pattern.string();
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        root_ = buf;
        dir_ = vorla::widen(buf);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    void write(const std::string& rel, const std::string& bytes)
    {
        fs::create_directories((root_ / rel).parent_path());
        std::ofstream(root_ / rel, std::ios::binary) << bytes;
    }
    void mkdir(const std::string& rel) { fs::create_directories(root_ / rel); }
    std::wstring path(const std::string& rel) const { return dir_ + L"/" + vorla::widen(rel); }

    static std::vector<std::wstring> sorted(std::vector<std::wstring> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }

    fs::path root_;
    std::wstring dir_;
};

TEST_F(file_library, open_reads_utf8_and_skips_byte_order_mark)
{
    write("bom.vl", "\xEF\xBB\xBFx\xE3\x81\x82y");
    std::wstring text = L"old";
    lib::file::open(path("bom.vl"), text);
    EXPECT_EQ(text, L"x\x3042y");
}

TEST_F(file_library, open_keeps_a_byte_order_mark_that_is_not_at_the_start)
{
    write("mid.vl", "a\xEF\xBB\xBF");
    std::wstring text;
    lib::file::open(path("mid.vl"), text);
    EXPECT_EQ(text, L"a\xFEFF");
}

TEST_F(file_library, open_decodes_invalid_bytes_as_replacement_and_reads_on)
{
    // A stray continuation byte, a truncated sequence, an overlong '/', an encoded surrogate, and a NUL.
    write("bad.vl", std::string("a\x80" "b\xE3\x81" "c\xC0\xAF" "d\xED\xA0\x80" "e\0f", 15));
    std::wstring text;
    lib::file::open(path("bad.vl"), text);
    const std::wstring r = L"\xFFFD";
    EXPECT_EQ(text, L"a" + r + L"b" + r + r + L"c" + r + r + L"d" + r + r + r + L"e" + std::wstring(1, L'\0') + L"f");
}

TEST_F(file_library, open_of_empty_file_gives_empty_text)
{
    write("empty.vl", "");
    std::wstring text = L"previous";
    lib::file::open(path("empty.vl"), text);
    EXPECT_EQ(text, L"");
}

TEST_F(file_library, open_of_missing_file_or_directory_is_invalid_argument)
{
    std::wstring text;
    try {
        lib::file::open(path("missing.vl"), text);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "lib/file/open");
    }
    EXPECT_THROW(lib::file::open(dir_, text), std::invalid_argument);
}

// What the include may read: a regular file of at most 64 MiB. A device or a FIFO never ends (or
// blocks the open), so it is refused before it is opened, with the reason in the text.
TEST_F(file_library, open_reads_only_regular_files_up_to_the_size_limit)
{
    auto refusal = [](const std::wstring& path) {
        std::wstring text;
        try {
            lib::file::open(path, text);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(refusal(L"/dev/zero"), "lib/file/open: not a regular file");
    const std::string fifo = (root_ / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refusal(vorla::widen(fifo)), "lib/file/open: not a regular file");
    // A sparse file one byte over the limit is refused from its size alone, without reading it.
    write("over.vl", "");
    fs::resize_file(root_ / "over.vl", lib::file::size_limit + 1);
    EXPECT_EQ(refusal(path("over.vl")), "lib/file/open: larger than 64 MiB");
}

TEST_F(file_library, single_names_and_joining)
{
    EXPECT_TRUE(bfs::is_single_name(L"a.vl"));
    EXPECT_TRUE(bfs::is_single_name(L"sub/"));
    EXPECT_FALSE(bfs::is_single_name(L""));
    EXPECT_FALSE(bfs::is_single_name(L"a/b"));
    EXPECT_FALSE(bfs::is_single_name(L"/a"));
    EXPECT_FALSE(bfs::is_single_name(L"/"));
    EXPECT_EQ(bfs::join(L"x.vl", L"/d"), L"/d/x.vl");
    EXPECT_EQ(bfs::join(L"x.vl", L"/"), L"/x.vl");
    EXPECT_EQ(bfs::join(L"/abs/x.vl", L"/d"), L"/abs/x.vl");
}

TEST_F(file_library, literal_name_with_pattern_characters_is_taken_first)
{
    write("a+.vl", "literal");
    write("aa.vl", "pattern match");
    std::vector<std::wstring> out;
    bfs::simple_ls(dir_, L"a+.vl", out);
    EXPECT_EQ(out, std::vector<std::wstring>{path("a+.vl")});

    mkdir("c++");
    mkdir("cc");
    std::wstring d = dir_;
    EXPECT_TRUE(bfs::simple_cd(d, L"c++"));
    EXPECT_EQ(d, path("c++"));
}

TEST_F(file_library, pattern_names_match_whole_file_names)
{
    write("one.vl", "");
    write("two.vl", "");
    write("one.vlx", "");
    std::vector<std::wstring> out;
    bfs::simple_ls(dir_, L".*\\.vl", out);
    EXPECT_EQ(sorted(out), (std::vector<std::wstring>{path("one.vl"), path("two.vl")}));

    out.clear();
    bfs::simple_ls(dir_, L"ONE.vl", out);  // case-sensitive
    EXPECT_TRUE(out.empty());

    out.clear();
    bfs::simple_ls(dir_, L"o(ne", out);  // not a pattern and not a file: nothing
    EXPECT_TRUE(out.empty());
}

TEST_F(file_library, simple_cd_by_unique_pattern_and_refused_when_ambiguous)
{
    mkdir("alpha");
    mkdir("beta");
    mkdir("bravo");
    std::wstring d = dir_;
    EXPECT_TRUE(bfs::simple_cd(d, L"al.*"));
    EXPECT_EQ(d, path("alpha"));

    d = dir_;
    EXPECT_FALSE(bfs::simple_cd(d, L"b.*"));
    EXPECT_EQ(d, dir_);
    EXPECT_FALSE(bfs::simple_cd(d, L"nothing"));
    EXPECT_FALSE(bfs::simple_cd(d, L"alpha/beta"));  // not a single name
    EXPECT_EQ(d, dir_);
}

TEST_F(file_library, simple_cd_below_a_file_is_refused_without_moving)
{
    write("plain.vl", "");
    // Below a file there is no entry to move into: the listing fails and the answer is no.
    std::wstring d = path("plain.vl");
    EXPECT_FALSE(bfs::simple_cd(d, L"x.*"));
    EXPECT_EQ(d, path("plain.vl"));
}

TEST_F(file_library, simple_ls_of_a_directory_lists_its_entries)
{
    write("lib/x.vl", "");
    mkdir("lib/sub");
    std::vector<std::wstring> out;
    bfs::simple_ls(dir_, L"lib", out);
    EXPECT_EQ(sorted(out), (std::vector<std::wstring>{path("lib/sub"), path("lib/x.vl")}));
    EXPECT_THROW(bfs::simple_ls(dir_, L"lib/x.vl", out), std::invalid_argument);
}

TEST_F(file_library, list_path_resolves_exact_and_pattern_directories)
{
    write("inc/util/helper.vl", "");
    write("inc/util/other.vl", "");
    std::vector<std::wstring> out;
    bfs::list_path(path("inc/util/helper.vl"), out);
    EXPECT_EQ(out, std::vector<std::wstring>{path("inc/util/helper.vl")});

    out.clear();
    bfs::list_path(path("i.c/u.*/h.*"), out);
    EXPECT_EQ(out, std::vector<std::wstring>{path("inc/util/helper.vl")});

    out.clear();
    bfs::list_path(path("inc/util/.*\\.vl"), out);
    EXPECT_EQ(out.size(), 2u);
}

TEST_F(file_library, list_path_follows_each_directory_an_intermediate_pattern_matches)
{
    write("v1/x.vl", "");
    write("v2/x.vl", "");
    write("v3/y.vl", "");
    std::vector<std::wstring> out;
    bfs::list_path(path("v./x.vl"), out);
    EXPECT_EQ(sorted(out), (std::vector<std::wstring>{path("v1/x.vl"), path("v2/x.vl")}));
}

TEST_F(file_library, a_file_reached_through_dot_names_reads_as_when_named_directly)
{
    write("top/x.vl", "");
    mkdir("top/sub");
    std::vector<std::wstring> direct, dotted;
    bfs::list_path(path("top/x.vl"), direct);
    bfs::list_path(path("top/sub/../x.vl"), dotted);
    bfs::list_path(path("top/./x.vl"), dotted);
    ASSERT_EQ(direct.size(), 1u);
    ASSERT_EQ(dotted.size(), 2u);
    // canonical() also resolves a symbolic link in the scratch directory's own path, so compare files.
    EXPECT_TRUE(fs::equivalent(vorla::narrow(dotted[0]), vorla::narrow(direct[0])));
    EXPECT_EQ(dotted[0], dotted[1]);
    EXPECT_EQ(dotted[0].find(L"/."), std::wstring::npos);
}

TEST_F(file_library, missing_intermediate_directory_gives_nothing)
{
    write("inc/helper.vl", "");
    std::vector<std::wstring> out;
    bfs::list_path(path("nowhere/helper.vl"), out);
    EXPECT_TRUE(out.empty());
    bfs::list_path(path("inc/nowhere/deeper/helper.vl"), out);
    EXPECT_TRUE(out.empty());
    bfs::list_path(path("inc/missing.vl"), out);
    EXPECT_TRUE(out.empty());
}

TEST_F(file_library, relative_candidate_is_resolved_from_the_current_directory)
{
    write("rel/here.vl", "");
    const auto saved = fs::current_path();
    fs::current_path(root_);
    std::vector<std::wstring> out;
    bfs::list_path(L"rel/here.vl", out);
    fs::current_path(saved);
    // The current directory may be reached through a symbolic link (a temporary directory often is).
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(fs::equivalent(fs::path(vorla::narrow(out[0])), root_ / "rel/here.vl"));
}

} // namespace
