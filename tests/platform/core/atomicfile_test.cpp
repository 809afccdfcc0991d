#include "atomicfile.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include <sys/stat.h>

namespace fs = std::filesystem;
using platform::AtomicFile;
using platform::TempFile;

namespace {

void writeText(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::optional<std::string> readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> entries(const fs::path &dir)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

std::string testName(const char *text)
{
    std::string name;
    for (const char c : std::string(text))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// ---- AtomicFile: the target holds the former or the new contents, and
// nothing else is left in the folder ----

struct ReplaceRow {
    const char *name;
    std::function<void(const TempFolder &)> setup;
    std::optional<mode_t> mode;
    bool commit;
    bool opens;
    bool committed;
    std::optional<std::string> expectedTarget; // nothing: no file there
    std::set<std::string> expectedEntries;
    std::optional<mode_t> expectedMode;
};

void PrintTo(const ReplaceRow &row, std::ostream *out) { *out << row.name; }

const std::string kNew = "new contents";

void nothing(const TempFolder &) {}
void formerFile(const TempFolder &dir) { writeText(dir / "target", "former"); }

const ReplaceRow kReplaceRows[] = {
    {"commit creates a missing file", nothing, std::nullopt, true, true, true, kNew, {"target"}, std::nullopt},
    {"commit replaces a former file", formerFile, std::nullopt, true, true, true, kNew, {"target"}, std::nullopt},
    {"without commit a former file stays", formerFile, std::nullopt, false, true, false, "former", {"target"},
     std::nullopt},
    {"without commit no file appears", nothing, std::nullopt, false, true, false, std::nullopt, {}, std::nullopt},
    {"given mode is the new file's", formerFile, mode_t{0640}, true, true, true, kNew, {"target"}, mode_t{0640}},
    {"a link at the target is replaced, not followed",
     [](const TempFolder &dir) {
         writeText(dir / "other", "former");
         fs::create_symlink("other", dir / "target");
     },
     std::nullopt, true, true, true, kNew, {"target", "other"}, std::nullopt},
    {"a folder in the way stays and nothing is left beside it",
     [](const TempFolder &dir) {
         fs::create_directory(dir / "target");
         writeText(dir / "target" / "inside", "x");
     },
     std::nullopt, true, true, false, std::nullopt, {"target"}, std::nullopt},
    {"a missing folder cannot be written", [](const TempFolder &dir) { fs::remove(dir.path()); }, std::nullopt, true,
     false, false, std::nullopt, {}, std::nullopt},
};

class ReplaceTest : public ::testing::TestWithParam<ReplaceRow> {};

TEST_P(ReplaceTest, LeavesTheFormerOrTheNewContentsAndNothingElse)
{
    const ReplaceRow &row = GetParam();
    const TempFolder dir;
    row.setup(dir);
    {
        AtomicFile file(dir / "target", row.mode);
        ASSERT_EQ(file.isOpen(), row.opens);
        if (row.opens) {
            EXPECT_TRUE(file.write("new "));
            EXPECT_TRUE(file.write("contents"));
        }
        if (row.commit) {
            EXPECT_EQ(file.commit(), row.committed);
        }
    }
    if (!fs::exists(dir.path()))
        return;
    EXPECT_EQ(entries(dir.path()), row.expectedEntries);
    if (fs::is_directory(dir / "target")) {
        EXPECT_EQ(readText(dir / "target" / "inside"), "x");
    } else {
        EXPECT_EQ(readText(dir / "target"), row.expectedTarget);
    }
    if (row.committed) {
        EXPECT_FALSE(fs::is_symlink(dir / "target"));
    }
    if (fs::exists(dir / "other")) {
        EXPECT_EQ(readText(dir / "other"), "former");
    }
    if (row.expectedMode) {
        struct stat info {};
        ASSERT_EQ(::stat((dir / "target").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, *row.expectedMode);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReplaceTest, ::testing::ValuesIn(kReplaceRows),
                         [](const auto &row) { return testName(row.param.name); });

// ---- replaceableTarget: where a save goes through a temporary file ----

struct TargetRow {
    const char *name;
    // Prepares the folder; gives the path to save to and the expected target.
    std::function<std::pair<fs::path, std::optional<fs::path>>(const TempFolder &)> setup;
};

void PrintTo(const TargetRow &row, std::ostream *out) { *out << row.name; }

const TargetRow kTargetRows[] = {
    {"a missing file is itself",
     [](const TempFolder &dir) { return std::pair{dir / "new", std::optional{dir / "new"}}; }},
    {"a regular file is itself",
     [](const TempFolder &dir) {
         writeText(dir / "file", "x");
         return std::pair{dir / "file", std::optional{dir / "file"}};
     }},
    {"a link leads to its file",
     [](const TempFolder &dir) {
         writeText(dir / "file", "x");
         fs::create_symlink("file", dir / "link");
         return std::pair{dir / "link", std::optional{fs::canonical(dir / "file")}};
     }},
    {"a dangling link is itself",
     [](const TempFolder &dir) {
         fs::create_symlink("gone", dir / "link");
         return std::pair{dir / "link", std::optional{dir / "link"}};
     }},
    {"a pipe is written in place",
     [](const TempFolder &dir) {
         ::mkfifo((dir / "pipe").c_str(), 0600);
         return std::pair{dir / "pipe", std::optional<fs::path>{}};
     }},
    {"a device is written in place",
     [](const TempFolder &) { return std::pair{fs::path("/dev/null"), std::optional<fs::path>{}}; }},
    {"a folder is not replaced",
     [](const TempFolder &dir) { return std::pair{dir.path(), std::optional<fs::path>{}}; }},
};

class TargetTest : public ::testing::TestWithParam<TargetRow> {};

TEST_P(TargetTest, NamesTheFileASaveReplaces)
{
    const TempFolder dir;
    const auto [path, expected] = GetParam().setup(dir);
    EXPECT_EQ(platform::replaceableTarget(path), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, TargetTest, ::testing::ValuesIn(kTargetRows),
                         [](const auto &row) { return testName(row.param.name); });

// ---- TempFile naming ----

// A signal handler removes a temporary file by the names taken in advance;
// they must be the ones the next files really get.
TEST(TempFileNames, NextFreeNamesAreTheNamesTheNextFilesTake)
{
    const TempFolder dir;
    const fs::path target = dir / "target";
    writeText(TempFile::nextName(target), "left over by an earlier process");
    const std::set<std::string> before = entries(dir.path());
    const std::vector<fs::path> names = TempFile::nextFreeNames(target, 2);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(entries(dir.path()), before);
    const TempFile first(target);
    const TempFile second(target);
    EXPECT_EQ(first.path(), names[0]);
    EXPECT_EQ(second.path(), names[1]);
    EXPECT_EQ(names[0].parent_path(), dir.path());
}

} // namespace
