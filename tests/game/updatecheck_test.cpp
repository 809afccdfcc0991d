// The version check of the whole program: the about window's version text
// against what a scripted vendor server answers, at the first showing and
// from the Help menu; and the updater's download and signature check
// against scripted servers, where nothing unsigned may ever run.
#include "httpget.h"
#include "atomicfile.h"
#include "loopback.h"
#include "mainform.h"
#include "messageboxes.h"
#include "minisigner.h"
#include "program.h"
#include "updatecheck.h"
#include "soundplayer.h"
#include "taglabel.h"
#include "updater.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
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
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        setMessageBoxHandler([this](const QString &message) { messages << message; });
    }
    void TearDown() override { setMessageBoxHandler({}); }

    Tmain &start(const std::string &host)
    {
        program = std::make_unique<Program>(sound, folder.path(), QString::fromStdString(host));
        return program->mainWindow();
    }
    // Waits until the check started by the showing has completed.
    bool checkDone()
    {
        return QTest::qWaitFor([&] { return !program->updateCheck().checkupdate().isBusy(); }, kWaitMs);
    }
    bool offered()
    {
        return !program->mainWindow().findChild<QWidget *>(QStringLiteral("panel_update"))->isHidden();
    }

    platform::SilentSoundPlayer sound;
    QTemporaryDir folder;
    std::unique_ptr<Program> program;
    QStringList messages;
};

TEST_F(UpdateCheckTest, TheFirstShowingComparesTheServersTextWithTheAboutWindowsVersion)
{
    const struct {
        const char *name;
        std::optional<std::string> answer;  // none: nothing listens
        const char *offer;                  // the version offered, or none
    } rows[] = {
        {"the same version", answer("HTTP/1.0 200 OK", "1.0.1"), nullptr},
        {"the same version with a line break", answer("HTTP/1.0 200 OK", "1.0.1\r\n"), nullptr},
        {"the same version written longer", answer("HTTP/1.0 200 OK", "1.0.1.0"), nullptr},
        {"an older version", answer("HTTP/1.0 200 OK", "1.0.0"), nullptr},
        {"an older version with larger numbers", answer("HTTP/1.0 200 OK", "0.99.99"), nullptr},
        {"a newer version", answer("HTTP/1.0 200 OK", "1.0.2"), "1.0.2"},
        {"a newer version with a line break", answer("HTTP/1.0 200 OK", "1.0.2\n"), "1.0.2"},
        {"a newer version by a number, not a digit", answer("HTTP/1.0 200 OK", "1.0.10"), "1.0.10"},
        {"a number too long for any integer", answer("HTTP/1.0 200 OK", "1.99999999999999999999999"),
         "1.99999999999999999999999"},
        {"a version with a letter", answer("HTTP/1.0 200 OK", "1.0.2b"), nullptr},
        {"two line breaks", answer("HTTP/1.0 200 OK", "1.0.2\n\n"), nullptr},
        {"a version inside a page", answer("HTTP/1.0 200 OK", "<html>1.0.2</html>"), nullptr},
        {"an HTML error page with status 200", answer("HTTP/1.0 200 OK", "<html>Not Found</html>"), nullptr},
        {"an error page with status 404", answer("HTTP/1.0 404 Not Found", "<html>Not Found</html>"), nullptr},
        {"an error page with status 500", answer("HTTP/1.0 500 Server Error", "1.0.2"), nullptr},
        {"an empty body", answer("HTTP/1.0 200 OK", ""), nullptr},
        {"an unreachable server", std::nullopt, nullptr},
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
        // The check at start says nothing, and its offer waits until the
        // name panel shown at start has been answered.
        EXPECT_EQ(messages, QStringList());
        EXPECT_FALSE(offered());
        w.button_namedoneClick();
        EXPECT_EQ(offered(), row.offer != nullptr);
        if (row.offer) {
            EXPECT_EQ(program->updateCheck().updater().offeredVersion(), QString::fromLatin1(row.offer));
            EXPECT_EQ(w.findChild<TagLabel *>(QStringLiteral("label_updateversion"))->text(),
                      QStringLiteral("Version %1 (you have 1.0.1)").arg(QString::fromLatin1(row.offer)));
        }
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
    EXPECT_FALSE(program->updateCheck().checkupdate().isBusy());
    // The option is saved: a new start reads it unticked.
    program.reset();
    Tmain &again = start(server.host());
    again.show();
    EXPECT_FALSE(program->updateCheck().checkupdate().isBusy());
    EXPECT_EQ(server.connections(), 0);
    EXPECT_FALSE(offered());

    again.button_namedoneClick();
    again.findChild<QAction *>(QStringLiteral("CheckforUpdateNow1"))->trigger();
    ASSERT_TRUE(checkDone());
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(offered());

    // Cancel hides the offer; a later check may show it again.
    again.button_updatecancelClick();
    EXPECT_FALSE(offered());
}

TEST_F(UpdateCheckTest, TheMenuCommandAlwaysAnswers)
{
    const struct {
        const char *name;
        std::optional<std::string> answer;  // none: nothing listens
        const char *message;                // the start of what the player is told; none: the offer shows
    } rows[] = {
        {"the same version", answer("HTTP/1.0 200 OK", "1.0.1\n"), "Pegsquare 1.0.1 is up to date."},
        {"an older version", answer("HTTP/1.0 200 OK", "1.0.0"), "Pegsquare 1.0.1 is up to date."},
        {"a newer version", answer("HTTP/1.0 200 OK", "1.0.2"), nullptr},
        {"an unreachable server", std::nullopt, "Pegsquare could not reach the vendor's server"},
        {"an error status", answer("HTTP/1.0 404 Not Found", "1.0.2"),
         "The vendor's server did not give its latest version (it answered with error 404)"},
        {"a page that is no version", answer("HTTP/1.0 200 OK", "<html>portal</html>"),
         "The vendor's server answered with something that is not a version number"},
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
        w.findChild<QAction *>(QStringLiteral("updatecheck"))->setChecked(false);
        w.show();
        w.button_namedoneClick();
        w.findChild<QAction *>(QStringLiteral("CheckforUpdateNow1"))->trigger();
        ASSERT_TRUE(checkDone());
        EXPECT_EQ(offered(), row.message == nullptr);
        if (row.message) {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages.front().startsWith(QString::fromLatin1(row.message))) << messages.front().toStdString();
        } else {
            EXPECT_EQ(messages, QStringList());
        }
        messages.clear();
        program.reset();
    }
}

TEST_F(UpdateCheckTest, AnOfferWaitsForTheNamePanelAndGivesTheKeysBack)
{
    loopback::Server server(answer("HTTP/1.0 200 OK", "1.0.2"));
    Tmain &w = start(server.host());
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(checkDone());
    // The name panel keeps the keys while the offer waits.
    EXPECT_FALSE(offered());
    QWidget *nameBox = w.findChild<QWidget *>(QStringLiteral("edit_aname"));
    EXPECT_TRUE(nameBox->hasFocus());
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_TRUE(offered());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(offered());
    // The arrows reach the board again.
    QTest::keyClick(&w, Qt::Key_Right);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("card_11"));
}

TEST_F(UpdateCheckTest, TheOfferIsDrawnInFrontOfTheBoard)
{
    loopback::Server server(answer("HTTP/1.0 200 OK", "1.0.2"));
    Tmain &w = start(server.host());
    w.show();
    ASSERT_TRUE(checkDone());
    w.button_namedoneClick();
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

// Every file the update left in the program's folder besides the program.
QStringList leftBehind(const QTemporaryDir &folder)
{
    QStringList names;
    for (const auto &entry : std::filesystem::directory_iterator(folder.path().toStdString()))
        if (const std::string name = entry.path().filename().string(); name.find("pegsetup") != std::string::npos)
            names << QString::fromStdString(name);
    return names;
}

TEST_F(UpdateCheckTest, AFailedDownloadIsDeletedNeverRunAndTheOfferStands)
{
    const std::string chunk(64 * 1024, 'x');
    const struct {
        const char *name;
        std::string answer;
        loopback::Server::After after = loopback::Server::After::Close;
        std::string tail;
        int tailIntervalMs = 0;
    } rows[] = {
        {"closed before the announced length", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n#!/bin/sh\n", {}, {}, 0},
        {"not found", answer("HTTP/1.0 404 Not Found", "no installer"), {}, {}, 0},
        {"empty", answer("HTTP/1.0 200 OK", ""), {}, {}, 0},
        {"a redirect with a body",
         "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 10\r\n\r\n#!/bin/sh\n", {}, {}, 0},
        {"a portal's page with status 203", answer("HTTP/1.0 203 Non-Authoritative", "#!/bin/sh\n"), {}, {}, 0},
        {"announced over the bound", "HTTP/1.0 200 OK\r\nContent-Length: 300000000\r\n\r\n#!/bin/sh\n", {}, {}, 0},
        {"an endless body past the bound", "HTTP/1.0 200 OK\r\n\r\n", loopback::Server::After::Stream, chunk, 0},
        {"a trickle past the deadline", "HTTP/1.0 200 OK\r\n\r\n", loopback::Server::After::Stream, "x", 20},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string head = row.answer;
        loopback::Server server([head](const std::string &) { return head; }, row.after, row.tail,
                                row.tailIntervalMs);
        Tmain &w = start(server.host());
        const QString programPath = folder.filePath(QStringLiteral("pegsquare"));
        QFile file(programPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        TUpdater &updater = program->updateCheck().updater();
        updater.programPath = programPath;
        updater.setOfferedVersion(QStringLiteral("1.0.2"));
        updater.maxInstallerBytes = 1024 * 1024;
        updater.installerDeadlineMs = 500;
        bool ran = false;
        updater.Launch = [&](const QString &, const QStringList &) { return ran = true; };
        bool ended = false;
        updater.Exit = [&](int) { ended = true; };
        w.button_updateyesClick();
        EXPECT_EQ(w.findChild<TagLabel *>(QStringLiteral("label_update"))->text(), QStringLiteral("Download Aborted"));
        EXPECT_FALSE(ran);
        EXPECT_FALSE(ended);
        EXPECT_EQ(messages, QStringList());
        messages.clear();
        EXPECT_EQ(leftBehind(folder), QStringList());
        EXPECT_TRUE(QFile::exists(programPath));
        EXPECT_FALSE(QFile::exists(updater.backupPath()));
        EXPECT_FALSE(w.findChild<QWidget *>(QStringLiteral("button_updateyes"))->isHidden());
        EXPECT_FALSE(w.findChild<QWidget *>(QStringLiteral("button_updatecancel"))->isHidden());
        EXPECT_TRUE(server.request().starts_with("GET /pegsquare/pegsetup.exe HTTP/1.0\r\n")) << server.request();
        program.reset();
    }
}

// The updater against a vendor host that serves an installer and a
// signature: only an installer signed by our key for the version offered
// runs; everything else ends with nothing run, nothing left and the
// program under its own name.
class SignedUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        setMessageBoxHandler([this](const QString &message) { messages << message; });
        programPath = folder.filePath(QStringLiteral("pegsquare"));
    }
    void TearDown() override { setMessageBoxHandler({}); }

    struct Outcome {
        bool ran = false;
        QString ranPath;
        QStringList messages;
    };

    // Serves `installerAnswer` and `signature` (none: 404) and runs the
    // update of `version` with `key` as the built-in key.
    Outcome update(const std::string &installerAnswer, const std::optional<std::string> &signature,
                   const std::string &key, const QString &version = QStringLiteral("1.0.2"))
    {
        loopback::Server server([&](const std::string &request) {
            if (request.starts_with("GET /pegsquare/pegsetup.exe.minisig "))
                return signature ? answer("HTTP/1.0 200 OK", *signature) : answer("HTTP/1.0 404 Not Found", "none");
            if (request.starts_with("GET /pegsquare/pegsetup.exe "))
                return installerAnswer;
            return answer("HTTP/1.0 404 Not Found", "none");
        });
        std::ofstream(programPath.toStdString()) << "the running program";
        TUpdater updater(QString::fromStdString(server.host()));
        updater.programPath = programPath;
        updater.publicKey = QString::fromStdString(key);
        updater.setOfferedVersion(version);
        Outcome outcome;
        updater.Launch = [&](const QString &path, const QStringList &) {
            outcome.ran = true;
            outcome.ranPath = path;
            return true;
        };
        updater.Exit = [](int) {};
        messages.clear();
        updater.update();
        outcome.messages = messages;
        return outcome;
    }
    QString refusal() const
    {
        return QStringLiteral("The update could not be verified. Please download PEGSQUARE manually from http://");
    }

    QTemporaryDir folder;
    QString programPath;
    QStringList messages;
};

std::string flipped(std::string bytes, std::size_t at)
{
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

TEST_F(SignedUpdateTest, OnlyAnInstallerSignedByOurKeyForTheOfferedVersionRuns)
{
    using Form = testsign::Signer::Form;
    const testsign::Signer ours;
    const testsign::Signer theirs;
    const std::string installer = "#!/bin/sh\necho installing 1.0.2\n";
    const std::string comment = "pegsquare 1.0.2 pegsetup.exe";
    const std::string good = ours.sign(installer, comment);
    const std::string served = answer("HTTP/1.0 200 OK", installer);
    // The signature's second line, decoded, with one byte of the Ed25519
    // signature changed.
    auto withSignatureByteFlipped = [&] {
        const std::size_t start = good.find('\n') + 1;
        const std::size_t end = good.find('\n', start);
        std::string line = good.substr(start, end - start);
        unsigned char bytes[74];
        size_t length = 0;
        sodium_base642bin(bytes, sizeof bytes, line.data(), line.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL);
        bytes[40] ^= 0x01;
        return good.substr(0, start) + testsign::base64(bytes, sizeof bytes) + good.substr(end);
    };
    std::string edited = good;
    edited.replace(edited.find("1.0.2"), 5, "1.0.3");
    const struct {
        const char *name;
        std::string installerAnswer;
        std::optional<std::string> signature;
        bool runs;
    } rows[] = {
        {"valid, prehashed", served, good, true},
        {"valid, legacy", served, ours.sign(installer, comment, Form::Legacy), true},
        {"another vendor's key", served, theirs.sign(installer, comment), false},
        {"a byte flipped in the installer", answer("HTTP/1.0 200 OK", flipped(installer, 5)), good, false},
        {"a byte flipped in the signature", served, withSignatureByteFlipped(), false},
        {"a trusted comment for another version", served, ours.sign(installer, "pegsquare 1.0.3 pegsetup.exe"), false},
        {"a trusted comment for another file", served, ours.sign(installer, "pegsquare 1.0.2 pegsquare.exe"), false},
        {"an older version's signature replayed", served, ours.sign(installer, "pegsquare 1.0.0 pegsetup.exe"), false},
        {"a trusted comment edited after signing", served, edited, false},
        {"a signature cut short", served, good.substr(0, good.size() / 2), false},
        {"a signature that is not base64", served, "untrusted comment: x\n!!!!\ntrusted comment: " + comment + "\n!!\n",
         false},
        {"a signature over 4 KiB", served, "untrusted comment: " + std::string(5000, 'x') + good.substr(good.find('\n')),
         false},
        {"no signature published", served, std::nullopt, false},
        {"an installer longer than announced",
         "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(installer.size() - 3) + "\r\n\r\n" + installer, good,
         false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = update(row.installerAnswer, row.signature, ours.publicKeyLine());
        EXPECT_EQ(outcome.ran, row.runs);
        if (row.runs) {
            EXPECT_TRUE(outcome.messages.isEmpty()) << outcome.messages.join('|').toStdString();
            struct stat info {};
            ASSERT_EQ(::lstat(outcome.ranPath.toLocal8Bit().constData(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_mode & 0777, 0700u);
            EXPECT_FALSE(QFile::exists(programPath));
            QFile::remove(outcome.ranPath);
            QFile::rename(programPath.chopped(0) + QStringLiteral(".BAK"), programPath);
        } else {
            ASSERT_EQ(outcome.messages.size(), 1);
            EXPECT_TRUE(outcome.messages[0].startsWith(refusal())) << outcome.messages[0].toStdString();
            EXPECT_EQ(leftBehind(folder), QStringList());
            EXPECT_TRUE(QFile::exists(programPath));
            EXPECT_FALSE(QFile::exists(programPath + QStringLiteral(".BAK")));
        }
    }
}

TEST_F(SignedUpdateTest, LinksPlantedInTheFolderAreNeitherWrittenThroughNorRun)
{
    const testsign::Signer ours;
    const std::string installer = "#!/bin/sh\necho installing 1.0.2\n";
    const QString victim = folder.filePath(QStringLiteral("victim"));
    std::ofstream(victim.toStdString()) << "keep me";
    const std::filesystem::path installerPath = folder.filePath(QStringLiteral("pegsetup.exe")).toStdString();
    std::filesystem::create_symlink(victim.toStdString(), installerPath);
    std::filesystem::create_symlink(victim.toStdString(), platform::TempFile::nextName(installerPath));
    const Outcome outcome = update(answer("HTTP/1.0 200 OK", installer),
                                   ours.sign(installer, "pegsquare 1.0.2 pegsetup.exe"), ours.publicKeyLine());
    ASSERT_TRUE(outcome.ran);
    std::ifstream in(victim.toStdString());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(installerPath));
    std::ifstream ran(installerPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ran), {}), installer);
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
