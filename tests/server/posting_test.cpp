// A finished game's score posted from the game-over panel to the real
// vendor server, and the online list that opens afterwards.
#include "highscoreform.h"
#include "httpget.h"
#include "loopback.h"
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

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
        // The row just posted is marked.
        EXPECT_TRUE(program->highscore().displayhtml().toHtml().contains(QLatin1String(online::kOwnEntryColor),
                                                                           Qt::CaseInsensitive));
        EXPECT_TRUE(messages.isEmpty());
    }
}

// A posting that cannot succeed: a fetch that failed ends the wait at once
// with the reason; only an answer that never comes waits out the countdown.
// Either way SEND SCORE comes back for the same score, and a failure that
// arrives after the wait was given up is not told twice. Once a new game
// has started there is no SEND SCORE, and the message does not offer it.
TEST_F(PostingTest, AFailedPostingSaysWhyAndOffersSendScoreAgain)
{
    enum class Where { Stopped, Unreachable, Answering, Silent };
    const struct {
        const char *name;
        Where where;
        std::string answer;  // Answering: sent once the test opens the gate
        bool answerLate;     // the gate opens only after the forty ticks
        QString said;        // in the one message; empty: no message
        bool listOpens;
        bool newGameFirst = false;  // Start Game pressed as the posting goes out
    } rows[] = {
        {"refused at once: the server stopped", Where::Stopped, {}, false,
         "The vendor's server refused the connection.", false},
        {"unreachable", Where::Unreachable, {}, false, "The vendor's server could not be reached.", false},
        {"error status", Where::Answering, "HTTP/1.0 503 Service Unavailable\r\n\r\nBusy", false,
         "The vendor's server answered with error 503.", false},
        {"no answer for forty seconds", Where::Silent, {}, false,
         "The vendor's server has not answered in 40 seconds", false},
        {"a late error after the wait ran out", Where::Answering, "HTTP/1.0 503 Service Unavailable\r\n\r\nBusy",
         true, "The vendor's server has not answered in 40 seconds", false},
        {"a late answer after the wait ran out", Where::Answering,
         "HTTP/1.0 200 OK\r\n\r\n<html><body>Late 61</body></html>", true,
         "The vendor's server has not answered in 40 seconds", true},
        {"refused after a new game started", Where::Stopped, {}, false,
         "The vendor's server refused the connection. Your score has not been posted.", false, true},
        {"no answer after a new game started", Where::Silent, {}, false,
         "The vendor's server has not answered in 40 seconds", false, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        messages.clear();
        // The answer waits behind a gate the test opens; it is opened before
        // the server goes, whose thread may be waiting at it.
        std::mutex mutex;
        std::condition_variable opened;
        bool open = !row.answerLate;
        std::vector<std::string> postings;  // their request lines
        const auto openGate = [&] {
            const std::lock_guard lock(mutex);
            open = true;
            opened.notify_all();
        };
        QString host;
        std::unique_ptr<loopback::Server> loop;
        std::unique_ptr<loopback::DeadPort> dead;
        if (row.where == Where::Answering || row.where == Where::Silent) {
            loop = std::make_unique<loopback::Server>(
                [&, answer = row.answer](const std::string &request) {
                    std::unique_lock lock(mutex);
                    // The window's update check asks this server too.
                    if (request.find("/cgi-bin/") != std::string::npos)
                        postings.push_back(request.substr(0, request.find("\r\n")));
                    opened.wait(lock, [&] { return open; });
                    return answer;
                },
                row.where == Where::Silent ? loopback::Server::After::Hold : loopback::Server::After::Close);
            if (row.where == Where::Silent)
                openGate();
        } else if (row.where == Where::Unreachable) {
            dead = std::make_unique<loopback::DeadPort>(loopback::DeadPort::Kind::Unanswered);
            host = QString::fromStdString(dead->host());
        } else {
            // A port that was free a moment ago: nothing answers there.
            host = startServer();
            ASSERT_FALSE(host.isEmpty());
            ASSERT_EQ(server->stop(), 0);
        }
        if (loop)
            host = QString::fromStdString(loop->host());
        const struct GateOpener {
            std::function<void()> open;
            ~GateOpener() { open(); }
        } gateOpener{openGate};
        Tmain &w = gameOver(host, "Robin", 40);
        program->highscore().sendit().setConnectTimeout(300);
        THTTPGet &sendit = program->highscore().sendit();
        TagLabel *wait = w.findChild<TagLabel *>(QStringLiteral("label_wait"));

        clickSend();
        EXPECT_TRUE(control("panel_wait")->isVisible());
        EXPECT_TRUE(w.postingUnderWay());
        if (row.newGameFirst)
            w.button_startClick();
        if (row.where == Where::Silent || row.answerLate) {
            // Nothing comes: the dots cycle, and the fortieth tick gives up.
            QStringList captions;
            for (int tick = 1; tick <= Tmain::kPostingTicks; ++tick) {
                EXPECT_TRUE(messages.isEmpty()) << "tick " << tick;
                w.Timer1Timer();
                captions << wait->text();
            }
            for (int tick = 1; tick <= 7; ++tick)
                EXPECT_EQ(captions[tick - 1], QStringLiteral("Posting Score, Please Wait") + QString((tick - 1) % 5 + 1, '.'));
            if (row.answerLate)
                openGate();
        }
        if (row.where != Where::Silent) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !sendit.isBusy(); }, kWaitMs));
        }

        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Posting Failed.\n\n"))) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains(row.said)) << messages[0].toStdString();
        EXPECT_EQ(messages[0].contains(QStringLiteral("SEND SCORE")), !row.newGameFirst) << messages[0].toStdString();
        EXPECT_FALSE(timer1().isActive());
        EXPECT_FALSE(w.postingUnderWay());
        if (row.newGameFirst) {
            EXPECT_FALSE(control("panel_over")->isVisible());
            continue;
        }
        if (row.listOpens) {
            EXPECT_FALSE(control("panel_over")->isVisible());
            EXPECT_TRUE(program->highscore().isVisible());
            continue;
        }
        // The panel no longer waits: SEND SCORE is offered again, and the
        // next posting starts from the starting caption.
        EXPECT_FALSE(program->highscore().isVisible());
        EXPECT_TRUE(control("panel_over")->isVisible());
        EXPECT_FALSE(control("panel_wait")->isVisible());
        EXPECT_TRUE(control("button_sendscore")->isVisible());
        EXPECT_EQ(wait->text(), QStringLiteral("Posting Scores, Please Wait.."));
        clickSend();
        EXPECT_TRUE(control("panel_wait")->isVisible());
        EXPECT_TRUE(timer1().isActive());
        if (row.where == Where::Answering) {
            // The same score goes out again.
            ASSERT_TRUE(QTest::qWaitFor([&] { return messages.size() == 2 && !sendit.isBusy(); }, kWaitMs));
            const std::lock_guard lock(mutex);
            ASSERT_EQ(postings.size(), 2u);
            EXPECT_EQ(postings[1], postings[0]);
            EXPECT_NE(postings[0].find("score=40 "), std::string::npos) << postings[0];
        }
    }
}

TEST_F(PostingTest, AnErrorStatusFailsAtOnce)
{
    const QString host = startServer();
    ASSERT_FALSE(host.isEmpty());
    // The server refuses a score larger than any a game can reach.
    gameOver(host, "Robin", 9999999);
    clickSend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, kWaitMs));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Posting Failed.\n\nThe vendor's server answered with error 4")))
        << messages[0].toStdString();
    EXPECT_FALSE(timer1().isActive());
    EXPECT_TRUE(control("panel_over")->isVisible());
    EXPECT_FALSE(control("panel_wait")->isVisible());
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
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Posting Failed."))) << messages[0].toStdString();
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
