// The self-update of the whole program against the real vendor server:
// the offer, the download, the sample installer published and signed by
// the vendor's script and started with its silent parameters, and what is
// left behind when the download fails or the installer is not signed.
#include "mainform.h"
#include "messageboxes.h"
#include "program.h"
#include "updatecheck.h"
#include "serverprocess.h"
#include "soundplayer.h"
#include "taglabel.h"
#include "tempfolder.h"
#include "toolrun.h"
#include "httpget.h"
#include "launch.h"
#include "updater.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

// Given by the target: PEGSQUARE_SAMPLE_INSTALLER (server/sample/pegsetup.sh),
// PEGSQUARE_PUBLISH_SCRIPT (server/sample/publish.sh), and
// PEGSQUARE_BUILD_SECRET_KEY: the secret key of the pair this build made
// for itself, or empty when the build was given the vendor's key.

namespace {

constexpr int kWaitMs = 20000;

std::string readAll(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

enum class Release { Signed, SignedByAnotherKey, Unsigned, VersionOnly };

// A key pair made with minisign in `folder`; the public key's base64 line.
std::string makeKeyPair(const std::filesystem::path &folder, const std::string &name)
{
    const std::filesystem::path pub = folder / (name + ".pub");
    std::filesystem::remove(pub);
    std::filesystem::remove(folder / (name + ".key"));
    const ToolResult made =
        runTool("minisign", "-G -W -p '" + pub.string() + "' -s '" + (folder / (name + ".key")).string() + "'");
    EXPECT_EQ(made.status, 0) << made.err;
    const std::string text = readAll(pub);
    const std::size_t end = text.find_last_not_of('\n');
    return text.substr(text.rfind('\n', end) + 1, end - text.rfind('\n', end));
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programFolder.isValid());
        setMessageBoxHandler([this](const QString &message) { messages << message; });
        setErrorBoxHandler([this](const QString &message) { messages << message; });
        qputenv("PEGSETUP_RECORD", QByteArray::fromStdString(record().string()));
    }
    void TearDown() override
    {
        setMessageBoxHandler({});
        setErrorBoxHandler({});
        qunsetenv("PEGSETUP_RECORD");
    }

    std::filesystem::path folder() const { return programFolder.path().toStdString(); }
    std::filesystem::path record() const { return serverFolder.path() / "ran.txt"; }
    std::filesystem::path content() const { return serverFolder.path() / "content"; }

    // Publishes "1.0.2" and, as asked, the sample installer signed or not;
    // starts the server and the program, whose first showing offers the
    // update. The program trusts the build's own key, or, when the build
    // was given the vendor's, a key made here.
    void startOffered(Release release)
    {
        std::string secretKey = PEGSQUARE_BUILD_SECRET_KEY;
        if (secretKey.empty()) {
            trustedKey = makeKeyPair(serverFolder.path(), "trusted");
            secretKey = (serverFolder.path() / "trusted.key").string();
        }
        if (release == Release::SignedByAnotherKey) {
            makeKeyPair(serverFolder.path(), "other");
            secretKey = (serverFolder.path() / "other.key").string();
        }
        if (release == Release::Signed || release == Release::SignedByAnotherKey) {
            const ToolResult published = runTool(PEGSQUARE_PUBLISH_SCRIPT, "1.0.2 '" PEGSQUARE_SAMPLE_INSTALLER "' '"
                                                     + secretKey + "' '" + content().string() + "'");
            ASSERT_EQ(published.status, 0) << published.err;
        } else {
            writeFile(content() / "pegsquare" / "pegsquareversion.txt", "1.0.2");
        }
        if (release == Release::Unsigned)
            writeFile(content() / "pegsquare" / "pegsetup.exe", readAll(PEGSQUARE_SAMPLE_INSTALLER));
        server = std::make_unique<ServerProcess>(
            serverFolder.path(), std::vector<std::string>{"--port", "0", "--db", (serverFolder.path() / "s.db").string(),
                                                          "--content", content().string()});
        const int port = server->waitListening();
        ASSERT_GT(port, 0);
        host = QStringLiteral("127.0.0.1:%1").arg(port);
        writeFile(folder() / "pegsquare", "the running program");
        program = std::make_unique<Program>(sound, programFolder.path(), host);
        Tmain &w = program->mainWindow();
        program->updateCheck().updater().programPath = QString::fromStdString((folder() / "pegsquare").string());
        program->updateCheck().updater().Exit = [this](int status) { exitStatus = status; };
        if (!trustedKey.empty())
            program->updateCheck().updater().publicKey = QString::fromStdString(trustedKey);
        w.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !program->updateCheck().checkupdate().isBusy(); }, kWaitMs));
        // The offer waits for the name panel shown at start.
        w.button_namedoneClick();
        ASSERT_TRUE(control("panel_update")->isVisible());
    }
    QWidget *control(const char *name)
    {
        return program->mainWindow().findChild<QWidget *>(QString::fromLatin1(name));
    }
    QString statusLine() { return program->mainWindow().findChild<TagLabel *>(QStringLiteral("label_update"))->text(); }
    void clickYes() { QTest::mouseClick(control("button_updateyes"), Qt::LeftButton); }
    // Keeps a picture of the window for a person to look at.
    void screenshot(const char *name)
    {
        if (const QByteArray dir = qgetenv("PEG_SCREENSHOT_DIR"); !dir.isEmpty())
            program->mainWindow().grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
    }

    platform::SilentSoundPlayer sound;
    QTemporaryDir programFolder;
    TempFolder serverFolder;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<Program> program;
    QString host;
    std::string trustedKey;
    QStringList messages;
    std::optional<int> exitStatus;
};

TEST_F(UpdateTest, TheInstallerRunsSilentlyAndTheProgramEndsWithoutSaving)
{
    writeFile(folder() / "pegsquare.BAK", "an old backup");
    startOffered(Release::Signed);
    QStringList seenAtLaunch;
    TUpdater &updater = program->updateCheck().updater();
    updater.Launch = [&](const QString &path, const QStringList &arguments) {
        seenAtLaunch << statusLine() << path;
        screenshot("update-installing.png");
        return platform::launchDetached(path, arguments);
    };
    clickYes();
    ASSERT_EQ(exitStatus, 0);
    EXPECT_EQ(seenAtLaunch, (QStringList{QStringLiteral("Installing"), updater.installerPath()}));
    EXPECT_EQ(updater.installerPath(), QString::fromStdString((folder() / "pegsetup.exe").string()));
    EXPECT_FALSE(control("button_updateyes")->isVisible());
    EXPECT_FALSE(control("button_updatecancel")->isVisible());
    // The old backup gave way to the running program's file.
    EXPECT_EQ(readAll(folder() / "pegsquare.BAK"), "the running program");
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsquare"));
    EXPECT_EQ(readAll(folder() / "pegsetup.exe"), readAll(PEGSQUARE_SAMPLE_INSTALLER));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(record()); }, kWaitMs));
    EXPECT_EQ(readAll(record()), "/SP- /silent /noicons\n");
    // Nothing was saved on the way out.
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsquare.ini"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(UpdateTest, TheReceivedSizeIsShownBeforeInstalling)
{
    startOffered(Release::Signed);
    QStringList statuses;
    TUpdater &updater = program->updateCheck().updater();
    const auto show = updater.OnStatus;
    updater.OnStatus = [&](const QString &text) {
        statuses << text;
        show(text);
    };
    updater.Launch = [](const QString &, const QStringList &) { return true; };
    clickYes();
    const auto size = std::filesystem::file_size(PEGSQUARE_SAMPLE_INSTALLER);
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Received %1 bytes").arg(size), QStringLiteral("Installing")}));
    EXPECT_EQ(exitStatus, 0);
}

TEST_F(UpdateTest, AMissingInstallerAbortsAndTheProgramKeepsItsName)
{
    startOffered(Release::VersionOnly);
    bool launched = false;
    program->updateCheck().updater().Launch = [&](const QString &, const QStringList &) { return launched = true; };
    clickYes();
    EXPECT_EQ(statusLine(), QStringLiteral("Download Aborted"));
    EXPECT_FALSE(launched);
    EXPECT_FALSE(exitStatus);
    EXPECT_EQ(readAll(folder() / "pegsquare"), "the running program");
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsquare.BAK"));
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsetup.exe"));
    EXPECT_TRUE(messages.isEmpty());
    // Still running: the offer stands again, with its buttons, and the game
    // goes on.
    EXPECT_TRUE(control("panel_update")->isVisible());
    EXPECT_TRUE(control("button_updateyes")->isVisible());
    EXPECT_TRUE(control("button_updatecancel")->isVisible());
    program->mainWindow().button_startClick();
    EXPECT_TRUE(program->mainWindow().gameInProgress());
}

TEST_F(UpdateTest, AnInstallerThatCannotStartGivesTheMessageAndTheNameBack)
{
    startOffered(Release::Signed);
    program->updateCheck().updater().Launch = [](const QString &, const QStringList &) { return false; };
    clickYes();
    EXPECT_EQ(messages, QStringList{QStringLiteral("There was an error in the update process. Please download "
                                                   "PEGSQUARE manually from http://")
                                    + host + QLatin1Char('.')});
    EXPECT_FALSE(exitStatus);
    EXPECT_EQ(statusLine(), QStringLiteral("Installing"));
    EXPECT_EQ(readAll(folder() / "pegsquare"), "the running program");
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsquare.BAK"));
    // No executable is left behind for anyone to start later.
    EXPECT_FALSE(std::filesystem::exists(folder() / "pegsetup.exe"));
}

TEST_F(UpdateTest, AnInstallerWithoutOurSignatureIsNeverRun)
{
    const struct {
        const char *name;
        Release release;
        const char *screenshot;
    } rows[] = {
        {"unsigned", Release::Unsigned, "update-unsigned.png"},
        {"signed with another key", Release::SignedByAnotherKey, "update-other-key.png"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        startOffered(row.release);
        bool launched = false;
        program->updateCheck().updater().Launch = [&](const QString &, const QStringList &) { return launched = true; };
        // The message box is modal in the real program: the picture is
        // taken while it would be showing.
        setMessageBoxHandler([&](const QString &message) {
            messages << message;
            screenshot(row.screenshot);
        });
        clickYes();
        EXPECT_FALSE(launched);
        EXPECT_FALSE(exitStatus);
        EXPECT_EQ(messages, QStringList{QStringLiteral("The update could not be verified. Please download "
                                                       "PEGSQUARE manually from http://")
                                        + host + QLatin1Char('.')});
        EXPECT_EQ(readAll(folder() / "pegsquare"), "the running program");
        EXPECT_FALSE(std::filesystem::exists(folder() / "pegsquare.BAK"));
        EXPECT_FALSE(std::filesystem::exists(folder() / "pegsetup.exe"));
        EXPECT_EQ(statusLine(), QStringLiteral("Update not verified"));
        EXPECT_TRUE(control("button_updateyes")->isVisible());
        program.reset();
        server.reset();
        messages.clear();
        std::filesystem::remove_all(content());
    }
}

} // namespace
