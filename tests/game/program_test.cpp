// The program as a whole: its six windows and how it ends.
#include "gamefixture.h"

#include "aboutform.h"
#include "helpform.h"
#include "highscoreform.h"
#include "lbbackground.h"
#include "multiplayerform.h"
#include "tallyfile.h"
#include "tallylistform.h"
#include "program.h"
#include "secondarywindow.h"
#include "shellopen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QUrl>

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

} // namespace
