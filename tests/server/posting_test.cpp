// A finished game's score posted from the game-over panel to the real
// vendor server, and the online list that opens afterwards.
#include "highscoreform.h"
#include "htmlview.h"
#include "mainform.h"
#include "messageboxes.h"
#include "program.h"
#include "serverprocess.h"
#include "soundplayer.h"
#include "taglabel.h"
#include "tempfolder.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 20000;

// The program built for `host`, with a game just lost for `score` points
// and the game-over panel showing.
class PostingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setMessageBoxHandler([this](const QString &message) { messages << message; });
        ASSERT_TRUE(programFolder.isValid());
    }
    void TearDown() override { setMessageBoxHandler({}); }

    // Starts the real server; its host:port, or empty.
    QString startServer()
    {
        server = std::make_unique<ServerProcess>(
            serverFolder.path(), std::vector<std::string>{"--port", "0", "--db", (serverFolder.path() / "s.db").string(),
                                                          "--content", (serverFolder.path() / "content").string()});
        const int port = server->waitListening();
        return port > 0 ? QStringLiteral("127.0.0.1:%1").arg(port) : QString();
    }

    Tmain &gameOver(const QString &host, const QString &name, int score)
    {
        program = std::make_unique<Program>(sound, programFolder.path(), host);
        Tmain &w = program->mainWindow();
        auto *total = w.findChild<TagLabel *>(QStringLiteral("label_total"));
        total->setTag(score);
        total->setText(QString::number(score));
        w.findChild<QLineEdit *>(QStringLiteral("edit_name"))->setText(name);
        w.show();
        w.findChild<QWidget *>(QStringLiteral("panel_over"))->show();
        // The test ticks the wait itself.
        timer1().setInterval(3600 * 1000);
        return w;
    }
    QTimer &timer1() { return *program->mainWindow().findChild<QTimer *>(QStringLiteral("Timer1")); }
    QWidget *control(const char *name)
    {
        return program->mainWindow().findChild<QWidget *>(QString::fromLatin1(name));
    }
    void clickSend() { QTest::mouseClick(control("button_sendscore"), Qt::LeftButton); }
    QString shownList() { return program->highscore().displayhtml().toPlainText(); }

    platform::SilentSoundPlayer sound;
    QTemporaryDir programFolder;
    TempFolder serverFolder;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<Program> program;
    QStringList messages;
};

TEST_F(PostingTest, APostedScoreIsInTheListThatOpens)
{
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    const struct {
        const char *name;
        QString typed;
        int score;
        QString listed;
    } rows[] = {
        {"plain name", "Robin", 85, "Robin"},
        {"a name that tries to add a score", "x&score=99", 12, "x&score=99"},
        {"letters of other languages", QStringLiteral("Zoë Ærø"), 33, QStringLiteral("Zoë Ærø")},
        {"no name is Guest", "", 0, "Guest"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Tmain &w = gameOver(host, row.typed, row.score);
        clickSend();
        EXPECT_TRUE(control("panel_wait")->isVisible());
        EXPECT_TRUE(timer1().isActive());
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownList().contains(row.listed); }, kWaitMs)) << shownList().toStdString();
        EXPECT_TRUE(program->highscore().isVisible());
        EXPECT_FALSE(control("panel_over")->isVisible());
        EXPECT_FALSE(timer1().isActive());
        EXPECT_EQ(w.findChild<QLineEdit *>(QStringLiteral("edit_name"))->text(), row.listed);
        // The row of the list: name, then the score as posted.
        const QString list = shownList();
        const qsizetype at = list.indexOf(row.listed);
        EXPECT_TRUE(list.mid(at + row.listed.size(), 12).simplified().startsWith(QString::number(row.score)))
            << list.mid(at, 40).toStdString();
        EXPECT_FALSE(list.contains(QStringLiteral("\n99\n"))) << "a score of 99 was forged";
        EXPECT_TRUE(messages.isEmpty());
    }
}

TEST_F(PostingTest, WithoutAServerTheDotsRunForFortyTicksThenItFailsOnce)
{
    // A port that was free a moment ago: nothing answers there.
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    ASSERT_EQ(server->stop(), 0);
    Tmain &w = gameOver(host, "Robin", 40);
    clickSend();
    EXPECT_EQ(w.findChild<TagLabel *>(QStringLiteral("label_wait"))->text(), QStringLiteral("Posting Scores, Please Wait.."));
    QStringList captions;
    for (int tick = 1; tick <= Tmain::kPostingTicks + 3; ++tick) {
        w.Timer1Timer();
        captions << w.findChild<TagLabel *>(QStringLiteral("label_wait"))->text();
        EXPECT_EQ(messages.size(), tick >= Tmain::kPostingTicks ? 1 : 0) << "tick " << tick;
        EXPECT_EQ(timer1().isActive(), tick < Tmain::kPostingTicks) << "tick " << tick;
    }
    for (int tick = 1; tick <= 7; ++tick)
        EXPECT_EQ(captions[tick - 1], QStringLiteral("Posting Score, Please Wait") + QString((tick - 1) % 5 + 1, '.'));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Posting Failed.")});
    // The wait panel keeps covering the send button; the list never opened.
    EXPECT_TRUE(control("panel_wait")->isVisible());
    EXPECT_FALSE(program->highscore().isVisible());
}

TEST_F(PostingTest, AnErrorStatusFailsAtOnce)
{
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    // The server refuses a score larger than any a game can reach.
    gameOver(host, "Robin", 9999999);
    clickSend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, kWaitMs));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Posting Failed.")});
    EXPECT_FALSE(timer1().isActive());
    EXPECT_TRUE(control("panel_over")->isVisible());
    EXPECT_FALSE(program->highscore().isVisible());
}

TEST_F(PostingTest, AnAnswerAfterTheFailureStillOpensTheList)
{
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    Tmain &w = gameOver(host, "Late", 61);
    clickSend();
    // The answer can arrive only once the event loop runs again, so all
    // forty ticks come first.
    for (int tick = 0; tick < Tmain::kPostingTicks; ++tick)
        w.Timer1Timer();
    ASSERT_EQ(messages, QStringList{QStringLiteral("Posting Failed.")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownList().contains(QStringLiteral("Late")); }, kWaitMs));
    EXPECT_TRUE(program->highscore().isVisible());
    EXPECT_FALSE(control("panel_over")->isVisible());
}

TEST_F(PostingTest, TheHighScoresButtonAndTheMenuOpenTheList)
{
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    gameOver(host, "Robin", 40);
    QTest::mouseClick(control("button_highscores"), Qt::LeftButton);
    EXPECT_TRUE(program->highscore().isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownList().contains(QStringLiteral("No scores yet")); }, kWaitMs));
    program->highscore().hide();
    program->mainWindow().ViewHighScoreList1Click();
    EXPECT_TRUE(program->highscore().isVisible());
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace
