// The settings file: what a stored value gives, what a save writes, and
// the placement adjustment when the window closes.
#include "gamefixture.h"

#include "messageboxes.h"
#include "privateprofile.h"
#include "workarea.h"

#include <QFile>
#include <QScreen>

#include <optional>

#include "filesizelimit.h"

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class SettingsTest : public GameTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        setErrorBoxHandler([this](const QString &m) { errors << m; });
    }
    void TearDown() override { setErrorBoxHandler({}); }

    QString iniPath() const { return folder.path() + QStringLiteral("/pegsquare.ini"); }
    // Starts the program with `ini` as its settings file (none when null).
    void start(const QByteArray &ini)
    {
        if (!ini.isNull())
            writeAll(iniPath(), ini);
        window = std::make_unique<Tmain>(sound, folder.path());
        window->setTallyRecorder(&tally);
    }

    QStringList errors;
};

TEST_F(SettingsTest, StoredValuesAndWhatTheyGive)
{
    struct Row {
        const char *name;
        const char *ini;
        QRect placement;
        bool sounds;
        bool update;
        QString playerName;
    };
    const QRect defaults(3, 3, 706, 571);
    // Values no desktop can show come back within it, the title and menu
    // reachable, sized within the desktop and above the board's minimum.
    const QRect desk = platform::virtualDesktop();
    const int lastLeft = desk.right() + 1 - platform::kReachableArea.width();
    const int lastTop = desk.bottom() + 1 - platform::kReachableArea.height();
    const int widest = desk.width() + 2 * platform::kEdgeOverhang;
    const int tallest = desk.height() + 2 * platform::kEdgeOverhang;
    const Row rows[] = {
        {"hex width", "[pegsquare]\r\nWidth=0x300\r\n", {3, 3, 768, 571}, true, true, "Guest"},
        {"upper-case hex", "[pegsquare]\r\nHeight=0X2C0\r\n", {3, 3, 706, 704}, true, true, "Guest"},
        {"letters give the default", "[pegsquare]\r\nWidth=abc\r\n", defaults, true, true, "Guest"},
        {"empty gives the default", "[pegsquare]\r\nTop=\r\n", defaults, true, true, "Guest"},
        {"negative left", "[pegsquare]\r\nLeft=-5\r\n", {-5, 3, 706, 571}, true, true, "Guest"},
        {"placement off the screen", "[pegsquare]\r\nLeft=5000\r\nTop=4000\r\n", {lastLeft, lastTop, 706, 571}, true,
         true, "Guest"},
        {"far above and left", "[pegsquare]\r\nLeft=-90000\r\nTop=-3000\r\n",
         {desk.left() - platform::kEdgeOverhang, desk.top() - platform::kEdgeOverhang, 706, 571}, true, true, "Guest"},
        {"huge size", "[pegsquare]\r\nWidth=99999\r\nHeight=99999\r\n", {3, 3, widest, tallest}, true, true,
         "Guest"},
        {"largest numbers", "[pegsquare]\r\nTop=2147483647\r\nLeft=2147483647\r\nWidth=2147483647\r\nHeight=0x7fffffff\r\n",
         {lastLeft, lastTop, widest, tallest}, true, true, "Guest"},
        {"no size at all", "[pegsquare]\r\nWidth=-5\r\nHeight=0\r\n",
         {3, 3, Tmain::kMinClientWidth, Tmain::kMinClientHeight}, true, true, "Guest"},
        {"No is not no", "[pegsquare]\r\nSounds=No\r\n", defaults, true, true, "Guest"},
        {"no silences", "[pegsquare]\r\nSounds=no\r\n", defaults, false, true, "Guest"},
        {"FALSE is not false", "[pegsquare]\r\nUpdate=FALSE\r\n", defaults, true, true, "Guest"},
        {"false stops the check", "[pegsquare]\r\nUpdate=false\r\n", defaults, true, false, "Guest"},
        {"zero leaves options on", "[pegsquare]\r\nSounds=0\r\nUpdate=0\r\n", defaults, true, true, "Guest"},
        {"long name kept whole", "[pegsquare]\r\nName=Fourteen chars\r\n", defaults, true, true, "Fourteen chars"},
        {"empty name", "[pegsquare]\r\nName=\r\n", defaults, true, true, ""},
        {"longest name the server takes kept", "[pegsquare]\r\nName=Abcdefghijklmnopqrstuvwxyz\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\r\n",
         defaults, true, true, QStringLiteral("Abcdefghijklmnopqrstuvwxyz\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9")},
        {"one more is cut to the box", "[pegsquare]\r\nName=Abcdefghijklmnopqrstuvwxyz1234567\r\n", defaults, true,
         true, "Abcdefghij"},
        {"cut keeps a character whole", "[pegsquare]\r\nName=Abcdefghi\U0001F0A1xxxxxxxxxxxxxxxxxxxxxxxxxx\r\n",
         defaults, true, true, "Abcdefghi"},
        {"names match without case", "[PEGSQUARE]\r\nname=Zed\r\nWIDTH=720\r\n", {3, 3, 720, 571}, true, true, "Zed"},
        {"another section is not ours", "[other]\r\nName=Nope\r\n", defaults, true, true, "Guest"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        sound.played.clear();
        start(row.ini);
        EXPECT_EQ(window->rememberedPlacement(), row.placement);
        EXPECT_EQ(window->outerBounds(), row.placement);
        EXPECT_EQ(action(QStringLiteral("PlaySounds1"))->isChecked(), row.sounds);
        EXPECT_EQ(action(QStringLiteral("updatecheck"))->isChecked(), row.update);
        EXPECT_EQ(control<QLineEdit>(QStringLiteral("edit_name"))->text(), row.playerName);
        EXPECT_EQ(control<QLineEdit>(QStringLiteral("edit_aname"))->text(), row.playerName);
        // The start-up sound already honours the stored switch.
        EXPECT_EQ(sound.played, row.sounds ? std::vector<std::string>{"entered"} : std::vector<std::string>{});
        window.reset();
    }
}

TEST_F(SettingsTest, FirstRunUsesDefaultsAndCloseWritesAllSevenKeys)
{
    start(QByteArray());
    EXPECT_EQ(window->outerBounds(), QRect(3, 3, 706, 571));
    EXPECT_TRUE(control(QStringLiteral("panel_name"))->isVisibleTo(window.get()));
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_TRUE(window->FormClose());
    EXPECT_EQ(readAll(iniPath()), QByteArray("[pegsquare]\r\nTop=3\r\nLeft=3\r\nWidth=706\r\nHeight=571\r\n"
                                             "Name=Guest\r\nSounds=yes\r\nUpdate=true\r\n"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SettingsTest, SaveKeepsEverythingElseInTheFile)
{
    const QByteArray before = "; my notes\r\n[other]\r\nKey = keep me \r\n\r\n[pegsquare]\r\nTop=10\r\n"
                              "; about the name\r\nName=Ann\r\nExtra=1\r\n[last]\r\nx=y\r\n";
    start(before);
    window->PlaySounds1Click();
    EXPECT_EQ(readAll(iniPath()), QByteArray("; my notes\r\n[other]\r\nKey = keep me \r\n\r\n[pegsquare]\r\nTop=10\r\n"
                                             "; about the name\r\nName=Ann\r\nExtra=1\r\nLeft=3\r\nWidth=706\r\n"
                                             "Height=571\r\nSounds=no\r\nUpdate=true\r\n[last]\r\nx=y\r\n"));
}

TEST_F(SettingsTest, SwitchesAndNameSurviveARestart)
{
    start(QByteArray());
    window->show();
    action(QStringLiteral("updatecheck"))->trigger();  // saves at once
    EXPECT_TRUE(readAll(iniPath()).contains("Update=false"));
    control<QLineEdit>(QStringLiteral("edit_aname"))->setText(QStringLiteral("Robin"));
    window->button_namedoneClick();
    // Changing the name writes nothing until the next save.
    EXPECT_TRUE(readAll(iniPath()).contains("Name=Guest"));
    action(QStringLiteral("PlaySounds1"))->trigger();
    window->close();
    window.reset();

    sound.played.clear();
    start(QByteArray());
    EXPECT_FALSE(action(QStringLiteral("PlaySounds1"))->isChecked());
    EXPECT_FALSE(action(QStringLiteral("updatecheck"))->isChecked());
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("edit_name"))->text(), QStringLiteral("Robin"));
    EXPECT_TRUE(sound.played.empty());
}

TEST_F(SettingsTest, PlacementAtClose)
{
    const QRect work = platform::desktopWorkArea();
    struct Row {
        const char *name;
        QRect stored;   // in the file at start
        QRect moveTo;   // where the player puts the window (null: left alone)
        QRect saved;    // what the file holds afterwards
    };
    const QRect wide(10, 20, work.width() + 50, 540);
    const QRect tall(10, 20, 720, work.height() + 40);
    const QRect both(0, 0, work.width() + 1, work.height() + 1);
    const QRect desk = platform::virtualDesktop();
    const QRect hostile(3, 3, desk.width() + 2 * platform::kEdgeOverhang, desk.height() + 2 * platform::kEdgeOverhang);
    const Row rows[] = {
        {"not moved", {3, 3, 706, 571}, {}, {3, 3, 706, 571}},
        {"moved", {3, 3, 706, 571}, {40, 50, 706, 571}, {40, 50, 706, 571}},
        {"wider than the work area", {3, 3, 706, 571}, wide, wide.adjusted(0, 0, -3, 0)},
        {"taller than the work area", {3, 3, 706, 571}, tall, tall.adjusted(0, 0, 0, -3)},
        {"both", {3, 3, 706, 571}, both, both.adjusted(0, 0, -3, -3)},
        {"large but not moved since start", both, {}, both},
        {"a size no desktop holds is saved as it was shown", {3, 3, 99999, 99999}, {}, hostile},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(iniPath());
        start(QStringLiteral("[pegsquare]\r\nTop=%1\r\nLeft=%2\r\nWidth=%3\r\nHeight=%4\r\n")
                  .arg(row.stored.top())
                  .arg(row.stored.left())
                  .arg(row.stored.width())
                  .arg(row.stored.height())
                  .toLatin1());
        if (!row.moveTo.isNull())
            window->setOuterBounds(row.moveTo.left(), row.moveTo.top(), row.moveTo.width(), row.moveTo.height());
        ASSERT_TRUE(window->FormClose());
        const QByteArray ini = readAll(iniPath());
        EXPECT_TRUE(ini.contains(QStringLiteral("Top=%1\r\nLeft=%2\r\nWidth=%3\r\nHeight=%4\r\n")
                                     .arg(row.saved.top())
                                     .arg(row.saved.left())
                                     .arg(row.saved.width())
                                     .arg(row.saved.height())
                                     .toLatin1()))
            << ini.toStdString();
        window.reset();
    }
}

TEST_F(SettingsTest, ResetScreenLocationWritesNothing)
{
    start("[pegsquare]\r\nLeft=400\r\nTop=300\r\nWidth=800\r\n");
    const QByteArray before = readAll(iniPath());
    window->ResetScreenLocation1Click();
    EXPECT_EQ(window->outerBounds(), QRect(3, 3, 706, 571));
    EXPECT_EQ(readAll(iniPath()), before);
}

TEST_F(SettingsTest, UnwritableFileIsReportedAndTheOldOneKept)
{
    // A file too large to be settings is not read (the defaults apply) and
    // never replaced by a text that lacks what was not read.
    const QByteArray oversized = "[pegsquare]\r\nWidth=900\r\nSounds=no\r\n"
                                 + QByteArray(int(platform::IniFile::kMaxFileBytes), ';');
    struct Row {
        const char *name;
        QByteArray before;
        rlim_t fileSizeLimit; // 0: none
        QRect placement;
        bool sounds;
    };
    const Row rows[] = {
        {"full disk", "[pegsquare]\r\nName=Keep\r\nSounds=yes\r\n", 16, {3, 3, 706, 571}, true},
        {"file too large to read", oversized, 0, {3, 3, 706, 571}, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        errors.clear();
        start(row.before);
        EXPECT_EQ(window->outerBounds(), row.placement);
        EXPECT_EQ(action(QStringLiteral("PlaySounds1"))->isChecked(), row.sounds);
        bool saved = true;
        {
            std::optional<FileSizeLimit> limit;
            if (row.fileSizeLimit)
                limit.emplace(row.fileSizeLimit);
            window->PlaySounds1Click();
            saved = window->FormClose();
        }

        EXPECT_FALSE(saved);
        ASSERT_EQ(errors.size(), 2);
        EXPECT_EQ(errors[0], QStringLiteral("Unable to write to ") + iniPath());
        EXPECT_TRUE(readAll(iniPath()) == row.before) << "the settings file changed";
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pegsquare.ini"});
        window.reset();
    }
}

TEST_F(SettingsTest, ClosingAfterAFailedSaveStillEndsTheProgram)
{
    start(QByteArray());
    // A folder where the settings file should be cannot be replaced.
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("pegsquare.ini")));
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("Unable to write to ") + iniPath());
}

} // namespace
