#include "privateprofile.h"

#include "filesizelimit.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::getPrivateProfileString;
using platform::writePrivateProfileString;

namespace {

const std::string kDefault = "<default>";

std::string testName(const char *text)
{
    std::string name;
    for (const char c : std::string(text))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

void writeBytes(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

std::optional<std::string> readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Where two texts first differ, for failure messages that point at the byte.
std::string firstDifference(const std::string &actual, const std::string &expected)
{
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    std::ostringstream out;
    out << "first difference at byte " << i << " (actual size " << actual.size()
        << ", expected size " << expected.size() << ")";
    return out.str();
}

std::set<std::string> entriesOf(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// ---- reading ----------------------------------------------------------------

struct ReadRow {
    const char *name;
    std::string file;
    std::string section;
    std::string key;
    std::string expected;
};

void PrintTo(const ReadRow &row, std::ostream *out) { *out << row.name; }

const ReadRow kReadRows[] = {
    {"plain key", "[pegsquare]\r\nTop=5\r\n", "pegsquare", "Top", "5"},
    {"names ignore case", "[PegSquare]\r\ntOP=5\r\n", "pegsquare", "Top", "5"},
    {"requested names ignore case", "[pegsquare]\r\ntop=5\r\n", "PEGSQUARE", "TOP", "5"},
    {"blanks around names and value", " [ pegsquare ] \r\n \tTop \t= \t5 7 \t\r\n", "pegsquare",
     "Top", "5 7"},
    {"requested names are trimmed", "[s]\r\nk=v\r\n", " s\t", " k ", "v"},
    {"LF line ends", "[s]\nk=v\n", "s", "k", "v"},
    {"CR-only line ends", "[s]\rk=v\r", "s", "k", "v"},
    {"no final line break", "[s]\r\nk=v", "s", "k", "v"},
    {"missing key", "[s]\r\nj=1\r\n", "s", "k", kDefault},
    {"missing section", "[t]\r\nk=1\r\n", "s", "k", kDefault},
    {"key of another section", "[t]\r\nk=1\r\n[s]\r\nj=2\r\n", "s", "k", kDefault},
    {"key before any section", "k=1\r\n[s]\r\nj=2\r\n", "s", "k", kDefault},
    {"first duplicate key wins", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "1"},
    {"duplicate section searched", "[s]\r\na=1\r\n[t]\r\nk=0\r\n[s]\r\nk=2\r\n", "s", "k", "2"},
    {"first duplicate section wins", "[s]\r\nk=1\r\n[s]\r\nk=2\r\n", "s", "k", "1"},
    {"empty value is a value", "[s]\r\nk=\r\n", "s", "k", ""},
    {"blank value is empty", "[s]\r\nk=  \t\r\n", "s", "k", ""},
    {"longer key is not a match", "[s]\r\nTopmost=9\r\n", "s", "Top", kDefault},
    {"key after a longer one", "[s]\r\nTopmost=9\r\nTop=3\r\n", "s", "Top", "3"},
    {"line without equals skipped", "[s]\r\nk\r\nk=4\r\n", "s", "k", "4"},
    {"comment is not a key", "[s]\r\n;k=1\r\n", "s", "k", kDefault},
    {"key after a comment", "[s]\r\n ; k=1\r\nk=2\r\n", "s", "k", "2"},
    {"value is plain text", "[s]\r\nk=\"a=b\", c ; d\r\n", "s", "k", "\"a=b\", c ; d"},
    {"text after header ignored", "[s] ; note\r\nk=v\r\n", "s", "k", "v"},
    {"unclosed bracket opens nothing", "[s]\r\n[t\r\nk=v\r\n", "s", "k", "v"},
    {"byte order mark skipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v"},
    {"empty file", "", "s", "k", kDefault},
    {"value longer than 2047 kept whole", "[s]\r\nName=" + std::string(5000, 'n') + "\r\n", "s",
     "Name", std::string(5000, 'n')},
};

class ProfileReadTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ProfileReadTest, FindsValueOrDefault)
{
    const ReadRow &row = GetParam();
    const TempFolder folder;
    const fs::path ini = folder.path() / "pegsquare.ini";
    writeBytes(ini, row.file);
    EXPECT_EQ(getPrivateProfileString(row.section, row.key, kDefault, ini), row.expected);
    EXPECT_EQ(readBytes(ini), row.file) << "reading changed the file";
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileReadTest, ::testing::ValuesIn(kReadRows),
                         [](const auto &row) { return testName(row.param.name); });

TEST(ProfileRead, UnreadablePlacesGiveDefault)
{
    const TempFolder folder;
    const fs::path regular = folder.path() / "regular";
    writeBytes(regular, "[s]\r\nk=1\r\n");
    const fs::path directory = folder.path() / "folder.ini";
    fs::create_directory(directory);
    const fs::path fifo = folder.path() / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = folder.path() / "huge.ini";
    writeBytes(huge, "[s]\r\nk=1\r\n" + std::string(platform::IniFile::kMaxFileBytes, ';'));

    const struct {
        const char *name;
        fs::path path;
    } rows[] = {
        {"missing file", folder.path() / "none.ini"},
        {"missing folder", folder.path() / "none" / "pegsquare.ini"},
        {"path under a regular file", regular / "pegsquare.ini"},
        {"a directory", directory},
        {"a FIFO nobody writes to", fifo},
        {"a file over the size limit", huge},
    };
    for (const auto &row : rows)
        EXPECT_EQ(getPrivateProfileString("s", "k", kDefault, row.path), kDefault) << row.name;
}

// ---- writing ----------------------------------------------------------------

struct WriteRow {
    const char *name;
    std::optional<std::string> before; // nullopt: no file yet
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteRow &row, std::ostream *out) { *out << row.name; }

const WriteRow kWriteRows[] = {
    {"new file", std::nullopt, "pegsquare", "Top", "3", "[pegsquare]\r\nTop=3\r\n"},
    {"empty file", "", "pegsquare", "Top", "3", "[pegsquare]\r\nTop=3\r\n"},
    {"replace keeps every other byte",
     "; mine\r\n[a]\nx=1\n[pegsquare]\r\nTop=5\r\nLeft=6\n\n[b]\ny=2", "pegsquare", "Top", "7",
     "; mine\r\n[a]\nx=1\n[pegsquare]\r\nTop=7\r\nLeft=6\n\n[b]\ny=2"},
    {"replace keeps key spelling and blanks", "[S]\r\n  tOp =  5  \r\n", "s", "Top", "7",
     "[S]\r\n  tOp =  7\r\n"},
    {"replace empty value", "[s]\r\nk=\r\n", "s", "k", "v", "[s]\r\nk=v\r\n"},
    {"replace with empty value", "[s]\r\nk=old\r\n", "s", "k", "", "[s]\r\nk=\r\n"},
    {"replace last line without break", "[s]\r\nk=1", "s", "k", "2", "[s]\r\nk=2\r\n"},
    {"replace first duplicate key", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "9",
     "[s]\r\nk=9\r\nk=2\r\n"},
    {"replace in later duplicate section", "[s]\r\na=1\r\n[s]\r\nk=2\r\n", "s", "k", "9",
     "[s]\r\na=1\r\n[s]\r\nk=9\r\n"},
    {"replace LF line ends with CR LF", "[s]\nk=1\nj=2\n", "s", "k", "9", "[s]\nk=9\r\nj=2\n"},
    {"replace in CR-only file", "[s]\rk=1\ra=2\r", "s", "k", "9", "[s]\rk=9\r\na=2\r"},
    {"append at end of section", "[s]\r\na=1\r\n[t]\r\nb=2\r\n", "s", "k", "v",
     "[s]\r\na=1\r\nk=v\r\n[t]\r\nb=2\r\n"},
    {"append before trailing blank and comment", "[s]\r\na=1\r\n\r\n; about t\r\n[t]\r\n", "s",
     "k", "v", "[s]\r\na=1\r\nk=v\r\n\r\n; about t\r\n[t]\r\n"},
    {"append to empty section", "[s]\r\n[t]\r\n", "s", "k", "v", "[s]\r\nk=v\r\n[t]\r\n"},
    {"append to first duplicate section", "[s]\r\na=1\r\n[s]\r\nb=2\r\n", "s", "k", "v",
     "[s]\r\na=1\r\nk=v\r\n[s]\r\nb=2\r\n"},
    {"append after last line without break", "[s]\r\na=1", "s", "k", "v",
     "[s]\r\na=1\r\nk=v\r\n"},
    {"append keeps LF lines as they are", "[s]\na=1\n", "s", "k", "v", "[s]\na=1\nk=v\r\n"},
    {"longer key left alone", "[s]\r\nTopmost=9\r\n", "s", "Top", "3",
     "[s]\r\nTopmost=9\r\nTop=3\r\n"},
    {"key before any section left alone", "k=1\r\n[s]\r\n", "s", "k", "v",
     "k=1\r\n[s]\r\nk=v\r\n"},
    {"commented key left alone", "[s]\r\n;k=1\r\n", "s", "k", "v", "[s]\r\nk=v\r\n;k=1\r\n"},
    {"header with blanks and other case", "[ PEGSQUARE ]\r\n", "pegsquare", "Top", "3",
     "[ PEGSQUARE ]\r\nTop=3\r\n"},
    {"new section at end", "[a]\r\nx=1\r\n", "s", "k", "v", "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
    {"new section after last line without break", "[a]\r\nx=1", "s", "k", "v",
     "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
    {"byte order mark kept", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", "2",
     "\xEF\xBB\xBF[s]\r\nk=2\r\n"},
    {"value written as plain text", std::nullopt, "s", "k", "a, b;\"c\"=d",
     "[s]\r\nk=a, b;\"c\"=d\r\n"},
    {"line breaks in value become blanks", std::nullopt, "s", "k", "x\r\ny\nz",
     "[s]\r\nk=x  y z\r\n"},
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ProfileWriteTest, ChangesOnlyTheEntry)
{
    const WriteRow &row = GetParam();
    const TempFolder folder;
    const fs::path ini = folder.path() / "pegsquare.ini";
    if (row.before)
        writeBytes(ini, *row.before);

    writePrivateProfileString(row.section, row.key, row.value, ini);

    const std::optional<std::string> after = readBytes(ini);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(*after, row.after) << firstDifference(*after, row.after);
    EXPECT_EQ(entriesOf(folder.path()), std::set<std::string>{"pegsquare.ini"});
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileWriteTest, ::testing::ValuesIn(kWriteRows),
                         [](const auto &row) { return testName(row.param.name); });

TEST(ProfileWrite, SevenKeysInOrderAndReadBack)
{
    const TempFolder folder;
    const fs::path ini = folder.path() / "pegsquare.ini";
    const std::string longName(3000, 'N');
    const std::pair<const char *, std::string> keys[] = {
        {"Top", "3"}, {"Left", "3"}, {"Width", "706"}, {"Height", "571"},
        {"Name", longName}, {"Sounds", "yes"}, {"Update", "true"},
    };
    for (const auto &[key, value] : keys)
        writePrivateProfileString("pegsquare", key, value, ini);
    // Writing the same keys again must change values in place, not add lines.
    writePrivateProfileString("pegsquare", "top", "10", ini);
    writePrivateProfileString("pegsquare", "Name", "Guest", ini);

    const std::string expected = "[pegsquare]\r\nTop=10\r\nLeft=3\r\nWidth=706\r\nHeight=571\r\n"
                                 "Name=Guest\r\nSounds=yes\r\nUpdate=true\r\n";
    const std::string after = readBytes(ini).value_or("");
    EXPECT_EQ(after, expected) << firstDifference(after, expected);

    writePrivateProfileString("pegsquare", "Name", longName, ini);
    EXPECT_EQ(getPrivateProfileString("pegsquare", "Name", kDefault, ini), longName);
}

// Many sets and one save give the bytes the same writes one by one give;
// nothing reaches the disk before the save.
TEST(ProfileWrite, IniFileSavesEverySetAtOnce)
{
    const TempFolder folder;
    const std::string before = "; mine\r\n[pegsquare]\nTop=5\n[other]\r\nk=v";
    const fs::path oneByOne = folder.path() / "one.ini";
    const fs::path atOnce = folder.path() / "all.ini";
    writeBytes(oneByOne, before);
    writeBytes(atOnce, before);
    const std::pair<const char *, const char *> keys[] = {
        {"Top", "3"}, {"Left", "4"}, {"Width", "706"}, {"Height", "571"},
        {"Name", "Ann"}, {"Sounds", "yes"}, {"Update", "true"}, {"other", "new section"},
    };

    platform::IniFile file(atOnce);
    for (const auto &[key, value] : keys) {
        const std::string section = std::string(key) == "other" ? "extra" : "pegsquare";
        writePrivateProfileString(section, key, value, oneByOne);
        file.set(section, key, value);
        EXPECT_EQ(file.get(section, key, kDefault), value) << key;
    }
    EXPECT_EQ(readBytes(atOnce), before);
    file.save();

    const std::string expected = readBytes(oneByOne).value_or("");
    const std::string after = readBytes(atOnce).value_or("");
    EXPECT_EQ(after, expected) << firstDifference(after, expected);
    EXPECT_EQ(entriesOf(folder.path()), (std::set<std::string>{"one.ini", "all.ini"}));
}

TEST(ProfileWrite, NamesTheFormatCannotHoldAreRejected)
{
    const TempFolder folder;
    const fs::path ini = folder.path() / "pegsquare.ini";
    const std::string before = "[s]\r\nk=1\r\n";
    writeBytes(ini, before);
    const std::pair<std::string, std::string> rows[] = {
        {"a]b", "k"}, {"a\nb", "k"}, {"s", ""}, {"s", "  "}, {"s", "a=b"},
        {"s", ";k"},  {"s", "[k"},   {"s", "a\rb"},
    };
    for (const auto &[section, key] : rows) {
        EXPECT_THROW(writePrivateProfileString(section, key, "v", ini), std::invalid_argument)
            << "section \"" << section << "\" key \"" << key << "\"";
    }
    EXPECT_EQ(readBytes(ini), before);
}

TEST(ProfileWrite, KeepsModeAndSymbolicLink)
{
    const TempFolder folder;
    const fs::path real = folder.path() / "real.ini";
    const fs::path link = folder.path() / "pegsquare.ini";
    writeBytes(real, "[s]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real.filename(), link);

    writePrivateProfileString("s", "k", "2", link);

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(real), "[s]\r\nk=2\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entriesOf(folder.path()), (std::set<std::string>{"real.ini", "pegsquare.ini"}));
}

// ---- failed saves -----------------------------------------------------------

enum class Failure {
    TargetIsDirectory,
    UnderRegularFile,
    MissingFolder,
    FifoAtPath,
    WriteCutShort,
    ReadOnlyFolder,
    ReadOnlyFile,
    UnreadableFile,
    TooLargeToRead,
};

struct FailRow {
    const char *name;
    Failure failure;
    bool permissionBased; // root ignores permissions; such rows cannot fail for it
};

void PrintTo(const FailRow &row, std::ostream *out) { *out << row.name; }

const FailRow kFailRows[] = {
    {"target is a directory", Failure::TargetIsDirectory, false},
    {"path under a regular file", Failure::UnderRegularFile, false},
    {"missing folder", Failure::MissingFolder, false},
    {"FIFO at the path", Failure::FifoAtPath, false},
    {"write cut short", Failure::WriteCutShort, false},
    {"read-only folder", Failure::ReadOnlyFolder, true},
    {"read-only file", Failure::ReadOnlyFile, true},
    {"unreadable file", Failure::UnreadableFile, true},
    {"file too large to read", Failure::TooLargeToRead, false},
};

class ProfileFailedSaveTest : public ::testing::TestWithParam<FailRow> {};

TEST_P(ProfileFailedSaveTest, ReportsPathAndLeavesFilesAlone)
{
    const FailRow &row = GetParam();
    if (row.permissionBased && ::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";

    const TempFolder folder;
    const fs::path work = folder.path() / "app";
    fs::create_directory(work);
    // A bystander file whose bytes must survive every failed save, and the
    // settings file itself for the rows where it exists.
    const std::string before = "; keep\r\n[pegsquare]\r\nTop=5\r\n";
    writeBytes(work / "other.ini", before);
    fs::path ini = work / "pegsquare.ini";
    // Replacing a file that was not read whole would lose the rest of it.
    const std::string settingsBefore = row.failure == Failure::TooLargeToRead
                                           ? before + std::string(platform::IniFile::kMaxFileBytes, ';')
                                           : before;

    switch (row.failure) {
    case Failure::TargetIsDirectory:
        fs::create_directory(ini);
        break;
    case Failure::UnderRegularFile:
        ini = work / "other.ini" / "pegsquare.ini";
        break;
    case Failure::MissingFolder:
        ini = work / "missing" / "pegsquare.ini";
        break;
    case Failure::FifoAtPath:
        ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
        break;
    case Failure::WriteCutShort:
    case Failure::ReadOnlyFile:
    case Failure::UnreadableFile:
    case Failure::TooLargeToRead:
        writeBytes(ini, settingsBefore);
        break;
    case Failure::ReadOnlyFolder:
        writeBytes(ini, before);
        fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec);
        break;
    }
    if (row.failure == Failure::ReadOnlyFile)
        fs::permissions(ini, fs::perms::owner_read);
    if (row.failure == Failure::UnreadableFile)
        fs::permissions(ini, fs::perms::none);
    const std::set<std::string> entriesBefore = entriesOf(work);

    // Long enough that the write hits the size cap part way through.
    const std::string value(4096, 'v');
    try {
        std::optional<FileSizeLimit> limit;
        if (row.failure == Failure::WriteCutShort)
            limit.emplace(before.size() + 100);
        writePrivateProfileString("pegsquare", "Top", value, ini);
        ADD_FAILURE() << "no error raised";
    } catch (const platform::IniWriteError &error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + ini.string());
    }

    fs::permissions(work, fs::perms::owner_all);
    if (fs::is_regular_file(work / "pegsquare.ini")) {
        fs::permissions(work / "pegsquare.ini", fs::perms::owner_read | fs::perms::owner_write);
        const std::string after = readBytes(work / "pegsquare.ini").value_or("");
        EXPECT_TRUE(after == settingsBefore) << firstDifference(after, settingsBefore);
    }
    EXPECT_EQ(readBytes(work / "other.ini"), before);
    EXPECT_EQ(entriesOf(work), entriesBefore) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileFailedSaveTest, ::testing::ValuesIn(kFailRows),
                         [](const auto &row) { return testName(row.param.name); });

} // namespace
