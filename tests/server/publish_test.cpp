#include "tempfolder.h"
#include "toolrun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <set>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// `text` as one word for /bin/sh, line breaks and all.
std::string quoted(const std::string &text)
{
    std::string word = "'";
    for (const char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::set<std::string> namesIn(const fs::path &folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

// Every run starts from an older release already published: a run that
// fails must leave that release exactly as it was, with no temporary file
// beside it, and a run that succeeds must leave the new release, signed so
// that minisign accepts it with the comment the game insists on.
TEST(serverPublish, PublishesASignedReleaseWholeOrNotAtAll)
{
    TempFolder work;
    ASSERT_FALSE(work.path().empty());
    const fs::path pub = work.path() / "minisign.pub";
    const fs::path key = work.path() / "minisign.key";
    const ToolResult made = runTool("minisign", "-G -W -p " + quoted(pub) + " -s " + quoted(key));
    ASSERT_EQ(made.status, 0) << "minisign is needed (scripts/deps.sh installs it): " << made.err;
    const fs::path badKey = work.path() / "bad.key";
    writeFile(badKey, "not a key\n");

    struct Row {
        const char *name;
        std::string version;
        fs::path key;
        int status;
    };
    const Row rows[] = {
        {"release", "1.0.2", key, 0},
        {"line break after the version", "1.0.2\n", key, 2},
        {"letter in the version", "v1", key, 2},
        {"empty number in the version", "1..2", key, 2},
        {"empty version", "", key, 2},
        {"key minisign cannot use", "1.0.2", badKey, 1},
    };
    const std::string sample = readFile(PEGSQUARE_SAMPLE_INSTALLER);
    ASSERT_FALSE(sample.empty());
    const std::set<std::string> published = {"pegsetup.exe", "pegsetup.exe.minisig", "pegsquareversion.txt"};
    for (const Row &row : rows) {
        const fs::path content = work.path() / "content";
        const fs::path folder = content / "pegsquare";
        fs::remove_all(content);
        writeFile(folder / "pegsetup.exe", "old installer");
        writeFile(folder / "pegsetup.exe.minisig", "old signature");
        writeFile(folder / "pegsquareversion.txt", "1.0.1");

        const ToolResult run = runTool(PEGSQUARE_PUBLISH_SCRIPT, quoted(row.version) + " "
                                           + quoted(PEGSQUARE_SAMPLE_INSTALLER) + " " + quoted(row.key) + " "
                                           + quoted(content));
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        EXPECT_EQ(namesIn(folder), published) << row.name;
        if (row.status != 0) {
            EXPECT_FALSE(run.err.empty()) << row.name;
            EXPECT_EQ(readFile(folder / "pegsetup.exe"), "old installer") << row.name;
            EXPECT_EQ(readFile(folder / "pegsetup.exe.minisig"), "old signature") << row.name;
            EXPECT_EQ(readFile(folder / "pegsquareversion.txt"), "1.0.1") << row.name;
            continue;
        }
        EXPECT_TRUE(readFile(folder / "pegsetup.exe") == sample) << row.name;
        EXPECT_EQ(readFile(folder / "pegsquareversion.txt"), row.version) << row.name;
        // The server may run as another user than the one who publishes.
        for (const std::string &name : published) {
            struct stat info {};
            ASSERT_EQ(::stat((folder / name).c_str(), &info), 0) << row.name << ": " << name;
            EXPECT_TRUE(info.st_mode & S_IROTH) << row.name << ": " << name;
        }
        const ToolResult check = runTool("minisign", "-V -Q -p " + quoted(pub) + " -m "
                                                         + quoted(folder / "pegsetup.exe") + " -x "
                                                         + quoted(folder / "pegsetup.exe.minisig"));
        EXPECT_EQ(check.status, 0) << row.name << ": " << check.err;
        EXPECT_EQ(check.out, "pegsquare " + row.version + " pegsetup.exe\n") << row.name;
    }
}

namespace {

// The sample installer puts nothing in place, so it must tell the player
// so, and how to get the game back, in both of the places an update leaves.
TEST(serverSampleInstaller, SaysItInstalledNothingAndHowToGetTheGameBack)
{
    const struct {
        const char *name;
        bool backupThere;
        const char *wayBack;
    } rows[] = {
        {"after an update", true, "rename it back to"},
        {"with no backup", false, "Reinstall Pegsquare"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder work;
        ASSERT_FALSE(work.path().empty());
        const fs::path installer = work.path() / "pegsetup.exe";
        fs::copy_file(PEGSQUARE_SAMPLE_INSTALLER, installer);
        if (row.backupThere)
            writeFile(work.path() / "pegsquare.BAK", "the old program");
        const ToolResult ran = runTool("DISPLAY= WAYLAND_DISPLAY= sh " + quoted(installer), "/SP- /silent /noicons");
        EXPECT_EQ(ran.status, 0) << ran.err;
        EXPECT_NE(ran.err.find("did not put a new Pegsquare program in place"), std::string::npos) << ran.err;
        EXPECT_NE(ran.err.find(row.wayBack), std::string::npos) << ran.err;
        if (row.backupThere) {
            EXPECT_NE(ran.err.find((work.path() / "pegsquare.BAK").string()), std::string::npos) << ran.err;
        }
        EXPECT_EQ(readFile(work.path() / "pegsetup-ran.txt"), "/SP- /silent /noicons\n");
    }
}

} // namespace
