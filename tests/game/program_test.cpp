// The program as a whole: its six windows and how it ends.
#include "gamefixture.h"

#include "aboutform.h"
#include "helpform.h"
#include "highscoreform.h"
#include "lbbackground.h"
#include "multiplayerform.h"
#include "tallyfile.h"
#include "tallylistform.h"
#include "messageboxes.h"
#include "program.h"
#include "quitsignals.h"
#include "runprogram.h"
#include "secondarywindow.h"
#include "shellopen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QTemporaryDir folder;
    RecordingSound sound;
};

TEST_F(ProgramTest, SecondaryWindowsExistHiddenWithTheirCaptionsAndTheMainTile)
{
    Program program(sound, folder.path());
    struct Row {
        SecondaryWindow *window;
        const char *name;
        const char *caption;
        QSize client;
    };
    const Row rows[] = {
        {&program.about(), "Tabout", "Pegsquare - About", {304, 193}},
        {&program.help(), "Thelp", "Pegsquare - Help File", {523, 431}},
        {&program.highscore(), "Thighscore", "Pegsquare - High Scores", {603, 561}},
        {&program.tallylist(), "Ttallylist", "Pegsquare - Tally List", {342, 425}},
        {&program.multiplayer(), "Tmultiplayer", "Pegsquare Solo - Multiplayer", {569, 431}},
    };
    const QImage tile = program.mainWindow().background().image().toImage();
    ASSERT_FALSE(tile.isNull());
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(row.window->isWindow());
        EXPECT_FALSE(row.window->isVisible());
        EXPECT_EQ(row.window->objectName(), QString::fromLatin1(row.name));
        EXPECT_EQ(row.window->windowTitle(), QString::fromLatin1(row.caption));
        EXPECT_EQ(row.window->size(), row.client);
        EXPECT_TRUE(row.window->background().isEnabled());
        EXPECT_EQ(row.window->background().image().toImage(), tile);
    }
    EXPECT_EQ(program.mainWindow().windowTitle(), QStringLiteral("Pegsquare"));
}

TEST_F(ProgramTest, GamesReachTheTallyWindow)
{
    Program program(sound, folder.path());
    Tmain &w = program.mainWindow();
    w.random().setSeed(152);  // a first round of 54: game over at once
    w.button_startClick();
    for (int row = 1; row <= 4; ++row)
        for (int column = 1; column <= 4; ++column)
            w.card_11Click(w.findChild<ImageControl *>(QStringLiteral("card_%1%2").arg(row).arg(column)));
    for (int tick = 0; tick < 6; ++tick)
        w.Timer2Timer();
    EXPECT_EQ(program.tallylist().findChild<TagLabel *>(QStringLiteral("mylabel_1"))->text(), QStringLiteral("1"));
    EXPECT_EQ(program.tallylist().findChild<TagLabel *>(QStringLiteral("label_high1"))->text(), QStringLiteral("54"));
    EXPECT_EQ(program.tallylist().findChild<TagLabel *>(QStringLiteral("label_name1"))->text(), QStringLiteral("Guest"));
}

TEST_F(ProgramTest, TheMakerStripAndTheAboutLinkOpenTheVendorsAddress)
{
    std::vector<QUrl> opened;
    const platform::UrlOpener previous = platform::setUrlOpenerForTesting([&](const QUrl &url) {
        opened.push_back(url);
        return true;
    });
    Program program(sound, folder.path(), QStringLiteral("games.example.net:8081"));
    program.mainWindow().show();
    QTest::mouseClick(program.mainWindow().findChild<QWidget *>(QStringLiteral("image_logo")), Qt::LeftButton);
    program.about().show();
    QTest::mouseClick(program.about().findChild<QWidget *>(QStringLiteral("Label7")), Qt::LeftButton);
    platform::setUrlOpenerForTesting(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://games.example.net:8081"));
    EXPECT_EQ(opened[1], opened[0]);
}

TEST_F(ProgramTest, ClosingTheMainWindowEndsTheProgramWithOthersOpen)
{
    auto program = std::make_unique<Program>(sound, folder.path());
    program->mainWindow().show();
    program->tallylist().show();
    program->help().show();
    QTimer::singleShot(0, &program->mainWindow(), [&] { program->mainWindow().close(); });
    // A guard in case closing did not end the event loop.
    bool guardFired = false;
    QTimer::singleShot(5000, qApp, [&] {
        guardFired = true;
        QApplication::quit();
    });
    QApplication::exec();
    EXPECT_FALSE(guardFired);
    // Settings are saved on the way out, the tally when the windows go.
    EXPECT_TRUE(QFile::exists(folder.path() + QStringLiteral("/pegsquare.ini")));
    program.reset();
    EXPECT_TRUE(QFile::exists(folder.path() + QStringLiteral("/pegsquaretally.tld")));
}

TEST_F(ProgramTest, SavingForTheDesktopWritesBothFilesAndKeepsRunning)
{
    Program program(sound, folder.path());
    program.mainWindow().show();
    program.mainWindow().button_startClick();  // counts a round in the tally
    program.mainWindow().findChild<QLineEdit *>(QStringLiteral("edit_name"))->setText(QStringLiteral("Dora"));
    ASSERT_TRUE(program.saveAll(Program::Report::Quietly));
    EXPECT_TRUE(program.mainWindow().isVisible());
    QFile ini(folder.path() + QStringLiteral("/pegsquare.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("Name=Dora\r\n"));
    TallyGrid grid;
    tallyfile::load(tallyfile::pathFor(folder.path().toStdString(), "pegsquare"), grid);
    EXPECT_EQ(grid.cell(1, 0), "1");
}

// After the display is lost the program saves from inside exit(), where
// its windows cannot be used: what it writes is the plain copy taken
// while they still could be, not what the widgets hold then.
TEST_F(ProgramTest, TheExitSaveWritesTheCopyAndReadsNoWindow)
{
    Program program(sound, folder.path());
    program.mainWindow().show();
    auto *name = program.mainWindow().findChild<QLineEdit *>(QStringLiteral("edit_name"));
    name->setText(QStringLiteral("Dora"));
    program.mainWindow().button_startClick();  // counts a round in the tally
    const Program::SaveCopy copy = program.saveCopy();
    name->setText(QStringLiteral("Later"));
    program.mainWindow().button_startClick();
    ASSERT_TRUE(program.saveFromCopy(copy));
    QFile ini(folder.path() + QStringLiteral("/pegsquare.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("Name=Dora\r\n"));
    TallyGrid grid;
    tallyfile::load(tallyfile::pathFor(folder.path().toStdString(), "pegsquare"), grid);
    EXPECT_EQ(grid.cell(1, 0), copy.tally.cell(1, 0));
    EXPECT_NE(grid.cell(1, 0), program.tallylist().grid().cell(1, 0));
}

// A quit request never waits for a person: a box that is up is closed,
// later ones are not shown, what can be saved is saved, and what the
// player did not see is on standard error and shown at the next start.
TEST_F(ProgramTest, AQuitRequestEndsTheProgramWithoutWaitingForAnyone)
{
    enum class Trigger { BoxShown, WindowShown, WindowClosedBoxShown };
    struct Row {
        const char *name;
        bool damagedTally;
        bool unwritableSettings;
        Trigger trigger;
        const char *unseen;  // in the note and on standard error
        bool tallySaved;
    };
    const Row rows[] = {
        {"during the damaged-tally message at start", true, false, Trigger::BoxShown, "no valid header", true},
        {"with settings that cannot be written", false, true, Trigger::WindowShown, "Unable to write to", true},
        {"during the box saying the settings were not written", false, true, Trigger::WindowClosedBoxShown,
         "Unable to write to", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::filesystem::path root = dir.path().toStdString();
        const std::filesystem::path tally = root / "pegsquaretally.tld";
        if (row.damagedTally)
            std::ofstream(tally, std::ios::binary) << "not a tally at all";
        // A folder where the settings file should be cannot be replaced.
        if (row.unwritableSettings)
            std::filesystem::create_directory(root / "pegsquare.ini");

        platform::QuitSignals signals;
        ASSERT_TRUE(signals.isActive());
        bool raised = false;
        bool closed = false;
        bool guardFired = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QWidget *main = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QStringLiteral("Tmain") && w->isVisible())
                    main = w;
            if (raised)
                return;
            const bool boxUp = qobject_cast<QMessageBox *>(box) != nullptr;
            if (row.trigger == Trigger::WindowClosedBoxShown && main && !closed) {
                closed = true;
                QTimer::singleShot(0, main, [main] { main->close(); });
                return;
            }
            const bool ready = row.trigger == Trigger::WindowShown ? main != nullptr && !boxUp : boxUp;
            if (ready) {
                raised = true;
                ::raise(SIGTERM);
            }
        });
        poll.start(10);
        // Only when the program waits for a person: answer for them.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            guardFired = true;
            setQuitting(true);
        });
        guard.start(10000);

        QElapsedTimer clock;
        clock.start();
        ::testing::internal::CaptureStderr();
        runProgram(sound, dir.path(), QString(), signals);
        const std::string errorOutput = ::testing::internal::GetCapturedStderr();
        poll.stop();
        guard.stop();
        EXPECT_TRUE(raised);
        EXPECT_FALSE(guardFired);
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_NE(errorOutput.find(row.unseen), std::string::npos) << errorOutput;
        EXPECT_EQ(std::filesystem::exists(tally), row.tallySaved);
        EXPECT_EQ(std::filesystem::exists(root / "pegsquaretally.tld.damaged"), row.damagedTally);

        // The next start shows what was not seen, once.
        setQuitting(false);
        QStringList shown;
        setErrorBoxHandler([&shown](const QString &m) { shown << m; });
        {
            Program next(sound, dir.path());
        }
        {
            Program again(sound, dir.path());
        }
        setErrorBoxHandler({});
        ASSERT_EQ(shown.size(), 1) << shown.join(QStringLiteral(" | ")).toStdString();
        EXPECT_TRUE(shown[0].contains(QString::fromLatin1(row.unseen))) << shown[0].toStdString();
        EXPECT_FALSE(std::filesystem::exists(root / "pegsquare.note"));
    }
}

} // namespace
