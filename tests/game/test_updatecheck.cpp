// The version check of the whole program: the about window's version text
// against what a scripted vendor server answers, at the first showing and
// from the Help menu.
#include "httpget.h"
#include "loopback.h"
#include "mainform.h"
#include "program.h"
#include "soundplayer.h"
#include "taglabel.h"
#include "updater.h"

#include <QAction>
#include <QTemporaryDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int kWaitMs = 10000;

std::string answer(const std::string &statusLine, const std::string &body)
{
    return statusLine + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    Tmain &start(const std::string &host)
    {
        program = std::make_unique<Program>(sound, folder.path(), QString::fromStdString(host));
        return program->mainWindow();
    }
    // Waits until the check started by the showing has completed.
    bool checkDone()
    {
        return QTest::qWaitFor([&] { return !program->mainWindow().checkupdate().isBusy(); }, kWaitMs);
    }
    bool offered()
    {
        return !program->mainWindow().findChild<QWidget *>(QStringLiteral("panel_update"))->isHidden();
    }

    platform::SilentSoundPlayer sound;
    QTemporaryDir folder;
    std::unique_ptr<Program> program;
};

TEST_F(UpdateCheckTest, TheFirstShowingComparesTheServersTextWithTheAboutWindowsVersion)
{
    const struct {
        const char *name;
        std::optional<std::string> answer;  // none: nothing listens
        bool offer;
    } rows[] = {
        {"the same version", answer("HTTP/1.0 200 OK", "1.0.1"), false},
        {"the same version with a line break", answer("HTTP/1.0 200 OK", "1.0.1\n"), true},
        {"an older version", answer("HTTP/1.0 200 OK", "1.0.0"), true},
        {"a newer version", answer("HTTP/1.0 200 OK", "1.0.2"), true},
        {"an HTML error page with status 200", answer("HTTP/1.0 200 OK", "<html>Not Found</html>"), true},
        {"an error page with status 404", answer("HTTP/1.0 404 Not Found", "<html>Not Found</html>"), false},
        {"an error page with status 500", answer("HTTP/1.0 500 Server Error", "1.0.2"), false},
        {"an empty body", answer("HTTP/1.0 200 OK", ""), false},
        {"an unreachable server", std::nullopt, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<loopback::Server> server;
        std::optional<loopback::DeadPort> dead;
        if (row.answer)
            server.emplace(*row.answer);
        else
            dead.emplace(loopback::DeadPort::Kind::Refusing);
        Tmain &w = start(server ? server->host() : dead->host());
        w.show();
        ASSERT_TRUE(checkDone());
        EXPECT_EQ(offered(), row.offer);
        if (server) {
            EXPECT_EQ(server->connections(), 1);
            EXPECT_TRUE(server->request().starts_with("GET /pegsquare/pegsquareversion.txt HTTP/1.0\r\n"))
                << server->request();
        }
        if (row.offer) {
            // The offer lies in front of the board's other panels.
            QWidget *offer = w.findChild<QWidget *>(QStringLiteral("panel_update"));
            EXPECT_EQ(offer->parentWidget()->children().last(), offer);
        }
        program.reset();
    }
}

TEST_F(UpdateCheckTest, WithTheOptionOffOnlyTheMenuCommandChecks)
{
    loopback::Server server(answer("HTTP/1.0 200 OK", "1.0.2"));
    Tmain &w = start(server.host());
    QAction *option = w.findChild<QAction *>(QStringLiteral("updatecheck"));
    option->trigger();
    ASSERT_FALSE(option->isChecked());
    w.show();
    EXPECT_FALSE(w.checkupdate().isBusy());
    // The option is saved: a new start reads it unticked.
    program.reset();
    Tmain &again = start(server.host());
    again.show();
    EXPECT_FALSE(again.checkupdate().isBusy());
    EXPECT_EQ(server.connections(), 0);
    EXPECT_FALSE(offered());

    again.findChild<QAction *>(QStringLiteral("CheckforUpdateNow1"))->trigger();
    ASSERT_TRUE(checkDone());
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(offered());

    // Cancel hides the offer; a later check may show it again.
    again.button_updatecancelClick();
    EXPECT_FALSE(offered());
}

TEST_F(UpdateCheckTest, TheOfferIsDrawnInFrontOfTheBoard)
{
    loopback::Server server(answer("HTTP/1.0 200 OK", "1.0.2"));
    Tmain &w = start(server.host());
    w.show();
    ASSERT_TRUE(checkDone());
    ASSERT_TRUE(offered());
    QWidget *offer = w.findChild<QWidget *>(QStringLiteral("panel_update"));
    // The maroon title shows where the panel lies, over whatever the board
    // holds there.
    const QRect title = QRect(offer->mapTo(&w, QPoint(0, 9)), QSize(offer->width(), 24));
    auto maroonIn = [&](const QImage &shot) {
        int count = 0;
        for (int y = title.top(); y <= title.bottom(); ++y)
            for (int x = title.left(); x <= title.right(); ++x)
                count += QColor(shot.pixel(x * shot.width() / w.width(), y * shot.height() / w.height()))
                      == QColor(128, 0, 0);
        return count;
    };
    const QImage shown = w.grab().toImage();
    if (const QByteArray dir = qgetenv("PEG_SCREENSHOT_DIR"); !dir.isEmpty())
        shown.save(QString::fromLocal8Bit(dir) + QStringLiteral("/update-offer.png"));
    w.button_updatecancelClick();
    const QImage hidden = w.grab().toImage();
    EXPECT_GT(maroonIn(shown), maroonIn(hidden) + 50);
}

TEST_F(UpdateCheckTest, AShortOrFailedDownloadIsDeletedAndNeverRun)
{
    const struct {
        const char *name;
        std::string answer;
    } rows[] = {
        {"closed before the announced length", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n#!/bin/sh\n"},
        {"not found", answer("HTTP/1.0 404 Not Found", "no installer")},
        {"empty", answer("HTTP/1.0 200 OK", "")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        loopback::Server server(row.answer);
        Tmain &w = start(server.host());
        const QString programPath = folder.filePath(QStringLiteral("pegsquare"));
        QFile file(programPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        TUpdater &updater = w.updater();
        updater.programPath = programPath;
        bool ran = false;
        updater.Launch = [&](const QString &, const QStringList &) { return ran = true; };
        bool ended = false;
        updater.Exit = [&](int) { ended = true; };
        w.button_updateyesClick();
        EXPECT_EQ(w.findChild<TagLabel *>(QStringLiteral("label_update"))->text(), QStringLiteral("Download Aborted"));
        EXPECT_FALSE(ran);
        EXPECT_FALSE(ended);
        EXPECT_FALSE(QFile::exists(updater.installerPath()));
        EXPECT_TRUE(QFile::exists(programPath));
        EXPECT_FALSE(QFile::exists(updater.backupPath()));
        EXPECT_TRUE(server.request().starts_with("GET /pegsquare/pegsetup.exe HTTP/1.0\r\n")) << server.request();
        program.reset();
    }
}

TEST(UpdaterPaths, BackupAndInstallerLieBesideTheProgram)
{
    const struct {
        const char *program;
        const char *backup;
        const char *installer;
    } rows[] = {
        {"/opt/peg/pegsquare", "/opt/peg/pegsquare.BAK", "/opt/peg/pegsetup.exe"},
        {"/opt/peg/pegsquare.exe", "/opt/peg/pegsquare.BAK", "/opt/peg/pegsetup.exe"},
        {"/opt/peg.d/pegsquare.bin.exe", "/opt/peg.d/pegsquare.bin.BAK", "/opt/peg.d/pegsetup.exe"},
    };
    for (const auto &row : rows) {
        TUpdater updater(QStringLiteral("vendor.example:8080"));
        updater.programPath = QString::fromLatin1(row.program);
        EXPECT_EQ(updater.backupPath(), QString::fromLatin1(row.backup));
        EXPECT_EQ(updater.installerPath(), QString::fromLatin1(row.installer));
        EXPECT_EQ(updater.installerUrl(), QStringLiteral("http://vendor.example:8080/pegsquare/pegsetup.exe"));
    }
}

} // namespace
