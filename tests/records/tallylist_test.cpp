// The tally window driven as the game drives it, and its file on disk.
#include "colors.h"
#include "lzrw1.h"
#include "messageboxes.h"
#include "tallyfile.h"
#include "tallylistform.h"
#include "taglabel.h"

#include <QDate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "filesizelimit.h"

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class TallyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = tallyfile::pathFor(dir.path().toStdString(), "pegsquare");
        setErrorBoxHandler([this](const QString &m) { errors << m; });
        setConfirmationHandler([this](const QString &caption, const QString &question) {
            asked << caption + QStringLiteral("|") + question;
            return answer;
        });
    }
    void TearDown() override
    {
        tally.reset();
        setErrorBoxHandler({});
        setConfirmationHandler({});
    }

    Ttallylist &open()
    {
        tally = std::make_unique<Ttallylist>(file);
        return *tally;
    }
    void closeProgram() { tally.reset(); }

    TagLabel *label(const QString &name) const
    {
        auto *l = tally->findChild<TagLabel *>(name);
        EXPECT_NE(l, nullptr) << name.toStdString();
        return l;
    }
    QString caption(const QString &name) const { return label(name)->text(); }
    QString rank(const char *prefix, int r) const { return caption(QString::fromLatin1(prefix) + QString::number(r)); }
    QStringList scores() const
    {
        QStringList out;
        for (int r = 1; r <= 10; ++r)
            out << rank("label_high", r);
        return out;
    }
    QString statistics() const
    {
        return caption("mylabel_1") + "/" + caption("mylabel_2") + "/" + caption("mylabel_3");
    }
    void enterGames(std::initializer_list<int> totals)
    {
        for (int t : totals)
            tally->checkscore(t, QStringLiteral("P%1").arg(t));
    }
    // white-bold, maroon-bold or maroon-regular for the four labels of a rank
    std::string style(int r) const
    {
        std::string s;
        for (const char *prefix : {"label_high", "label_date", "label_name", "label_num"}) {
            TagLabel *l = label(QString::fromLatin1(prefix) + QString::number(r));
            const std::string one = std::string(l->textColor() == pegcolors::white() ? "white" : "maroon") +
                                    (l->isBold() ? "-bold" : "-regular");
            if (s.empty())
                s = one;
            else if (s != one)
                return "mixed";
        }
        return s;
    }

    QTemporaryDir dir;
    std::filesystem::path file;
    std::unique_ptr<Ttallylist> tally;
    QStringList errors;
    QStringList asked;
    bool answer = true;
};

TEST_F(TallyTest, NewPlayerSeesAnEmptyTallyAndGetsAFileAtTheEnd)
{
    open();
    EXPECT_EQ(tally->windowTitle(), QStringLiteral("Pegsquare - Tally List"));
    EXPECT_EQ(tally->size(), QSize(342, 425));
    EXPECT_FALSE(tally->isVisible());
    EXPECT_EQ(statistics(), QStringLiteral("0/0/0"));
    for (int r = 1; r <= 10; ++r) {
        EXPECT_EQ(rank("label_num", r), QStringLiteral("%1.").arg(r));
        EXPECT_EQ(rank("label_high", r), QString());
        EXPECT_EQ(rank("label_name", r), QString());
        EXPECT_EQ(label(QStringLiteral("label_high%1").arg(r))->tag(), -1000);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "temp.txt"));
    closeProgram();
    // The container of the empty grid, byte for byte.
    EXPECT_EQ(readFile(file), readFile(std::string(PEG_TEST_DATA) + "/tallygrid.wrzl"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(TallyTest, ClearPercentageFollowsBothCounts)
{
    open();
    struct Step {
        int column;
        const char *shown;
    };
    const Step steps[] = {{1, "1/0/0"}, {2, "1/1/100"}, {1, "2/1/50"}, {1, "3/1/33"}, {2, "3/2/66"}};
    for (const Step &step : steps) {
        tally->addtomineincrease(step.column);
        EXPECT_EQ(statistics(), QString::fromLatin1(step.shown));
    }
    EXPECT_EQ(tally->grid().cell(3, 0), "66");
}

TEST_F(TallyTest, CountsStopAtTheLargestNumberAndThePercentageStaysInRange)
{
    struct Row {
        const char *name;
        const char *rounds;
        const char *cleared;
        int column;  // the statistic counted up
        const char *shown;
    };
    const Row rows[] = {
        {"rounds at the largest stay there", "2147483647", "1000", 1, "2147483647/1000/0"},
        {"both at the largest", "2147483647", "2147483647", 2, "2147483647/2147483647/100"},
        {"one below the largest reaches it", "2147483646", "2147483646", 1, "2147483647/2147483646/99"},
        {"negative rounds from an edited file", "-7", "3", 2, "-7/4/0"},
        {"more cleared than played", "2", "9", 2, "2/10/100"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TallyGrid grid;
        grid.setEmptyContents();
        grid.setCell(1, 0, row.rounds);
        grid.setCell(2, 0, row.cleared);
        tallyfile::save(file, grid);
        open();
        tally->addtomineincrease(row.column);
        EXPECT_EQ(statistics(), QString::fromLatin1(row.shown));
        closeProgram();
    }
}

TEST_F(TallyTest, StatisticThatIsNotANumberCountsFromZero)
{
    writeFile(file, "");  // replaced below by a real container
    TallyGrid grid;
    grid.setEmptyContents();
    grid.setCell(1, 0, "lots");
    tallyfile::save(file, grid);
    open();
    EXPECT_EQ(caption("mylabel_1"), QStringLiteral("lots"));
    tally->addtomineincrease(1);
    EXPECT_EQ(statistics(), QStringLiteral("1/0/0"));
}

TEST_F(TallyTest, CheckscoreRanksGames)
{
    struct Row {
        const char *name;
        std::vector<int> before;
        int total;
        bool entered;
        int place;  // 0 when not entered
        QStringList after;
    };
    const Row rows[] = {
        {"first game", {}, 40, true, 1, {"40", "", "", "", "", "", "", "", "", ""}},
        {"fewer than ten, lowest", {90, 70}, 10, true, 3, {"90", "70", "10", "", "", "", "", "", "", ""}},
        {"tie goes above", {100, 90, 80, 70}, 80, true, 3, {"100", "90", "80", "80", "70", "", "", "", "", ""}},
        {"ten games, lower total", {100, 95, 90, 85, 80, 75, 70, 65, 60, 55}, 54, false, 0,
         {"100", "95", "90", "85", "80", "75", "70", "65", "60", "55"}},
        {"new best drops rank ten", {100, 95, 90, 85, 80, 75, 70, 65, 60, 55}, 200, true, 1,
         {"200", "100", "95", "90", "85", "80", "75", "70", "65", "60"}},
        {"negative totals still rank", {}, 0, true, 1, {"0", "", "", "", "", "", "", "", "", ""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(file);
        open();
        for (int t : row.before)
            tally->checkscore(t, QStringLiteral("P%1").arg(t));
        EXPECT_EQ(tally->checkscore(row.total, QStringLiteral("New")), row.entered);
        EXPECT_EQ(scores(), row.after);
        for (int r = 1; r <= 10; ++r) {
            EXPECT_EQ(QString::fromStdString(tally->grid().cell(1, r)),
                      row.after[r - 1].isEmpty() ? QStringLiteral("-1000") : row.after[r - 1])
                << r;
            if (r == row.place) {
                EXPECT_EQ(style(r), "white-bold") << r;
                EXPECT_EQ(rank("label_name", r), QStringLiteral("New"));
                EXPECT_EQ(rank("label_date", r), QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
                EXPECT_EQ(tally->grid().cell(2, r), "New");
            } else {
                EXPECT_EQ(style(r), "maroon-bold") << r;
            }
        }
        closeProgram();
    }
}

TEST_F(TallyTest, StylesStayWithPositionsAfterAReset)
{
    open();
    enterGames({50, 60, 70});
    tally->button_resetClick();
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(style(r), "maroon-regular") << r;
    enterGames({40});  // rank 1
    enterGames({80});  // rank 1 again; 40 moves to rank 2
    EXPECT_EQ(scores().mid(0, 3), (QStringList{"80", "40", ""}));
    EXPECT_EQ(style(1), "white-bold");
    // Styles stay with positions: rank 2 was never an entry's place since
    // the reset, so it stays regular although the 40 moved there.
    EXPECT_EQ(style(2), "maroon-regular");
    for (int r = 3; r <= 10; ++r)
        EXPECT_EQ(style(r), "maroon-regular") << r;
}

TEST_F(TallyTest, StylesAfterResetWhenEntriesLandOnDifferentRanks)
{
    open();
    tally->button_resetClick();
    enterGames({80});  // rank 1
    enterGames({40});  // rank 2
    EXPECT_EQ(style(1), "maroon-bold");
    EXPECT_EQ(style(2), "white-bold");
    for (int r = 3; r <= 10; ++r)
        EXPECT_EQ(style(r), "maroon-regular") << r;
}

TEST_F(TallyTest, ResetAsksFirst)
{
    open();
    tally->addtomineincrease(1);
    tally->addtomineincrease(2);
    enterGames({70, 60});
    answer = false;
    tally->button_resetClick();
    EXPECT_EQ(asked, QStringList{"Confirm|Are you sure you want to reset the Tally?"});
    EXPECT_EQ(statistics(), QStringLiteral("1/1/100"));
    EXPECT_EQ(scores().mid(0, 2), (QStringList{"70", "60"}));

    answer = true;
    tally->button_resetClick();
    EXPECT_EQ(statistics(), QStringLiteral("0/0/0"));
    EXPECT_EQ(scores(), QStringList(10, QString()));
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(tally->grid().cell(c, 0), "0") << c;
    for (int r = 1; r <= 11; ++r) {
        EXPECT_EQ(tally->grid().cell(0, r), "") << r;
        EXPECT_EQ(tally->grid().cell(1, r), "-1000") << r;
        EXPECT_EQ(tally->grid().cell(2, r), "") << r;
    }
    // The confirmed reset reaches the disk, like every other change.
    tally->waitForSaves();
    TallyGrid back;
    tallyfile::load(file, back);
    EXPECT_EQ(back.toText(), tally->grid().toText());
}

TEST_F(TallyTest, GamesSurviveARestart)
{
    open();
    for (int i = 0; i < 4; ++i)
        tally->addtomineincrease(1);
    tally->addtomineincrease(2);
    tally->checkscore(120, QStringLiteral("Ann"));
    tally->checkscore(45, QString());
    tally->checkscore(77, QStringLiteral("Bo"));
    closeProgram();

    open();
    EXPECT_EQ(statistics(), QStringLiteral("4/1/25"));
    EXPECT_EQ(scores().mid(0, 4), (QStringList{"120", "77", "45", ""}));
    EXPECT_EQ(rank("label_name", 1), QStringLiteral("Ann"));
    EXPECT_EQ(rank("label_name", 3), QString());
    EXPECT_EQ(label("label_high2")->tag(), 77);
    EXPECT_EQ(label("label_high4")->tag(), -1000);
    // A fresh start shows every rank in the designed maroon.
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(style(r), "maroon-bold") << r;
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(TallyTest, DamagedFilesAreReportedKeptAsideAndReplaced)
{
    TallyGrid grid;
    grid.setEmptyContents();
    grid.setCell(1, 1, "150");
    tallyfile::save(file, grid);
    const std::string good = readFile(file);
    ASSERT_GT(good.size(), 11u);

    std::string badHeader = good;
    badHeader[0] = 'X';
    std::string alteredSize = good;
    alteredSize[4] = static_cast<char>(alteredSize[4] + 1);
    // A sound container whose text is larger than any tally, as a few
    // hundred kilobytes of them could restore gigabytes.
    Tlzrw1 packer;
    packer.CompressMode = TCompressMode::Fast;
    const std::vector<std::uint8_t> blanks(64 * 1024 + 1, ' ');
    const std::vector<std::uint8_t> packed = packer.CompressBytes(blanks);
    const std::string oversized(packed.begin(), packed.end());
    struct Row {
        const char *name;
        std::string bytes;
        QString detail;
        const char *kept;  // never over an older damaged file
    };
    const QString path = QString::fromStdString(file.string());
    const Row rows[] = {
        {"bad header", badHeader, path + " : Lzrw1 decompression : this file has no valid header !",
         "pegsquaretally.tld.damaged"},
        {"truncated", good.substr(0, good.size() - 3), "Lzrw1 : Error reading from input file : " + path,
         "pegsquaretally.tld.damaged.2"},
        {"altered size", alteredSize,
         "Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !",
         "pegsquaretally.tld.damaged.3"},
        {"text larger than a tally", oversized,
         "The tally file " + path + " is damaged: it claims to hold 65537 bytes, far more than any tally.",
         "pegsquaretally.tld.damaged.4"},
    };
    std::vector<std::string> keptBytes;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        errors.clear();
        writeFile(file, row.bytes);
        // The message is shown once the file is already aside.
        bool asideWhenShown = false;
        setErrorBoxHandler([&](const QString &m) {
            errors << m;
            asideWhenShown = std::filesystem::exists(file.parent_path() / row.kept) && !std::filesystem::exists(file);
        });
        open();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(asideWhenShown);
        EXPECT_EQ(errors[0], QStringLiteral("Your tally could not be read, so a new tally was started.\n"
                                            "The damaged file was kept as \"%1\" in %2.\n\nDetail: %3")
                                 .arg(QString::fromLatin1(row.kept), dir.path(), row.detail));
        // The window carries on with an empty tally …
        EXPECT_EQ(scores(), QStringList(10, QString()));
        // … and the damaged bytes are kept for recovery, the older ones too.
        keptBytes.push_back(row.bytes);
        EXPECT_EQ(readFile(file.parent_path() / row.kept), row.bytes);
        EXPECT_EQ(readFile(file.parent_path() / rows[0].kept), keptBytes.front());
        EXPECT_FALSE(std::filesystem::exists(file));
        closeProgram();
        // The next normal end writes a good file again.
        TallyGrid back;
        tallyfile::load(file, back);
        TallyGrid empty;
        empty.setEmptyContents();
        EXPECT_EQ(back.toText(), empty.toText());
    }
}

TEST_F(TallyTest, FailedSaveLeavesTheOldFileIntact)
{
    open();
    tally->checkscore(99, QStringLiteral("Old"));
    closeProgram();
    const std::string before = readFile(file);
    ASSERT_FALSE(before.empty());

    open();
    {
        // A full disk, also for a privileged user: every save of the run
        // fails, so the file stays as the last run left it.
        FileSizeLimit limit(64);
        for (int i = 0; i < 200; ++i)
            tally->checkscore(1000 + i, QStringLiteral("A fairly long player name %1").arg(i));
        closeProgram();
    }

    EXPECT_EQ(readFile(file), before);
    for (const auto &entry : std::filesystem::directory_iterator(dir.path().toStdString()))
        EXPECT_EQ(entry.path().filename(), file.filename()) << "left behind: " << entry.path();
}

TEST_F(TallyTest, TallyTooLargeToLoadIsNeverSaved)
{
    open();
    tally->checkscore(99, QStringLiteral("Old"));
    closeProgram();
    const std::string before = readFile(file);

    // Only a name from a hand-made settings file can be this long; storing
    // it would give a file the next start refuses.
    open();
    tally->checkscore(500, QString(70000, QLatin1Char('N')));
    EXPECT_THROW(tallyfile::save(file, tally->grid()), std::length_error);
    closeProgram();
    EXPECT_EQ(readFile(file), before);
}

TEST_F(TallyTest, ReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "folder permissions do not bind a privileged user; the size-limit test covers this";
    open();
    tally->checkscore(99, QStringLiteral("Old"));
    closeProgram();
    const std::string before = readFile(file);
    std::filesystem::permissions(dir.path().toStdString(), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_exec);
    open();
    tally->checkscore(500, QStringLiteral("New"));
    closeProgram();
    std::filesystem::permissions(dir.path().toStdString(), std::filesystem::perms::owner_all);
    EXPECT_EQ(readFile(file), before);
}

TEST_F(TallyTest, DoneHidesTheWindow)
{
    open();
    tally->show();
    ASSERT_NE(tally->findChild<QWidget *>(QStringLiteral("button_done")), nullptr);
    tally->button_doneClick();
    EXPECT_FALSE(tally->isVisible());
    tally->addtomineincrease(1);  // the counts keep changing while hidden
    EXPECT_EQ(caption("mylabel_1"), QStringLiteral("1"));
}

} // namespace
