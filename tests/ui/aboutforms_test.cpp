// The link opener and the two windows that open links: the about window
// and the multiplayer advert. No browser starts: every address goes to a
// recorder installed in place of the desktop's opener.
#include "aboutform.h"
#include "addresswindow.h"
#include "gameresources.h"
#include "imagecontrol.h"
#include "lbbackground.h"
#include "multiplayerform.h"
#include "selbutton.h"
#include "shellopen.h"
#include "tempfolder.h"
#include "url.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <QLabel>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

AddressWindow *shownAddressWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<AddressWindow *>(w); window && window->isVisible())
            return window;
    return nullptr;
}

void closeAddressWindow()
{
    if (AddressWindow *window = shownAddressWindow())
        window->close();
}

// Records each address handed to the desktop and answers with `result`.
class OpenerRecorder {
public:
    explicit OpenerRecorder(bool result = true)
    {
        m_previous = platform::setUrlOpenerForTesting([this, result](const QUrl &url) {
            opened.push_back(url);
            return result;
        });
    }
    ~OpenerRecorder() { platform::setUrlOpenerForTesting(std::move(m_previous)); }
    OpenerRecorder(const OpenerRecorder &) = delete;
    OpenerRecorder &operator=(const OpenerRecorder &) = delete;

    // The addresses as text, in the order they were opened.
    std::vector<QString> texts() const
    {
        std::vector<QString> out;
        for (const QUrl &url : opened)
            out.push_back(url.toString());
        return out;
    }

    std::vector<QUrl> opened;

private:
    platform::UrlOpener m_previous;
};

TEST(TURL, StartsAsAnEmptyHttpAddress)
{
    TURL url;
    EXPECT_EQ(url.URL(), QString());
    EXPECT_EQ(url.URLType(), TURL::utHttp);
}

TEST(TURL, ExecutePutsTheSchemePrefixBeforeTheAddress)
{
    struct Row {
        TURL::TURLType type;
        const char *url;
        const char *opened;
    };
    const Row rows[] = {
        {TURL::utFile, "/tmp/readme.txt", "file:///tmp/readme.txt"},
        {TURL::utFtp, "ftp.example.com/pub", "ftp://ftp.example.com/pub"},
        {TURL::utGopher, "gopher.example.com/1", "gopher://gopher.example.com/1"},
        {TURL::utHttp, "127.0.0.1:8080", "http://127.0.0.1:8080"},
        {TURL::utHttps, "www.example.com/games", "https://www.example.com/games"},
        {TURL::utMailto, "someone@example.com", "mailto:someone@example.com"},
        {TURL::utNews, "comp.games.cards", "news:comp.games.cards"},
        {TURL::utTelnet, "bbs.example.com", "telnet:bbs.example.com"},
        {TURL::utWais, "wais.example.com/db", "wais:wais.example.com/db"},
        {TURL::utnone, "https://x.example/a?b=1", "https://x.example/a?b=1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.url);
        OpenerRecorder recorder;
        TURL url;
        url.setURLType(row.type);
        url.setURL(QString::fromLatin1(row.url));
        EXPECT_TRUE(url.Execute());
        EXPECT_EQ(recorder.texts(), std::vector<QString>{QString::fromLatin1(row.opened)});
    }
}

TEST(TURL, EmptyAddressOpensNothing)
{
    for (const TURL::TURLType type : {TURL::utHttp, TURL::utMailto, TURL::utnone}) {
        OpenerRecorder recorder;
        TURL url;
        url.setURLType(type);
        EXPECT_FALSE(url.Execute());
        EXPECT_TRUE(recorder.opened.empty());
    }
}

TEST(TURL, ExecuteReportsWhetherTheDesktopOpenedIt)
{
    for (const bool opened : {true, false}) {
        OpenerRecorder recorder(opened);
        TURL url;
        url.setURL(QStringLiteral("example.com"));
        EXPECT_EQ(url.Execute(), opened);
        EXPECT_EQ(recorder.opened.size(), 1u);
        closeAddressWindow();
    }
}

// Stands in for the desktop's opener: records the address it was given
// (one argument, whatever it holds) and ends with `exitCode`, as xdg-open
// does when it finds no browser (3) or has handed the address on (0).
class FakeXdgOpen {
public:
    FakeXdgOpen()
        : m_savedPath(qgetenv("PATH"))
    {
        const std::filesystem::path script = m_folder.path() / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "printf '%s' \"$1\" > \"" << marker().string() << ".$$\"\n"
                                 "case \"$1\" in *fails*) exit 3;; esac\n"
                                 "exit 0\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        qputenv("PATH", QByteArray::fromStdString(m_folder.path().string()));
    }
    ~FakeXdgOpen() { qputenv("PATH", m_savedPath); }
    FakeXdgOpen(const FakeXdgOpen &) = delete;
    FakeXdgOpen &operator=(const FakeXdgOpen &) = delete;

    // The addresses the opener was started with so far.
    std::vector<QString> addresses() const
    {
        std::vector<QString> out;
        for (const auto &entry : std::filesystem::directory_iterator(m_folder.path())) {
            if (entry.path().filename().string().rfind("opened.", 0) != 0)
                continue;
            QFile file(QString::fromStdString(entry.path().string()));
            if (file.open(QIODevice::ReadOnly))
                out.push_back(QString::fromUtf8(file.readAll()));
        }
        return out;
    }

private:
    std::filesystem::path marker() const { return m_folder.path() / "opened"; }
    TempFolder m_folder;
    QByteArray m_savedPath;
};

// Without a browser, a link must still give the player its address.
TEST(TURL, WhenNoBrowserCanOpenTheLinkItsAddressIsShownToCopy)
{
    struct Row {
        const char *name;
        bool useDesktop;   // the real opener path with a stand-in xdg-open
        bool openerStarts; // otherwise: what the recorder answers
        const char *address;
        bool windowShown;
    };
    const Row rows[] = {
        {"the desktop opened it", false, true, "example.com/ok", false},
        {"nothing could start an opener", false, false, "example.com/none", true},
        {"xdg-open found no browser", true, true, "example.com/fails?a=1;$(id)", true},
    };
    closeAddressWindow();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<OpenerRecorder> recorder;
        std::unique_ptr<FakeXdgOpen> xdgOpen;
        if (row.useDesktop)
            xdgOpen = std::make_unique<FakeXdgOpen>();
        else
            recorder = std::make_unique<OpenerRecorder>(row.openerStarts);
        TURL url;
        url.setURL(QString::fromLatin1(row.address));
        const QString expected = QStringLiteral("http://") + QString::fromLatin1(row.address);
        EXPECT_EQ(url.Execute(), row.openerStarts);
        if (xdgOpen) {
            QTRY_VERIFY_WITH_TIMEOUT(!xdgOpen->addresses().empty(), 10000);
        }
        if (!row.windowShown) {
            EXPECT_EQ(shownAddressWindow(), nullptr);
            continue;
        }
        QTRY_VERIFY_WITH_TIMEOUT(shownAddressWindow() != nullptr, 10000);
        AddressWindow *window = shownAddressWindow();
        if (xdgOpen) {
            EXPECT_EQ(xdgOpen->addresses(), std::vector<QString>{expected});
        }
        auto *field = window->findChild<QLineEdit *>(QStringLiteral("edit_address"));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text(), expected);
        EXPECT_EQ(field->selectedText(), expected);
        EXPECT_TRUE(field->isReadOnly());
        QApplication::clipboard()->clear();
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("button_copy")), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(), expected);
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("button_ok")), Qt::LeftButton);
        QTRY_VERIFY(shownAddressWindow() == nullptr);
    }
}

// Longer than any fixed buffer a link could be squeezed through.
TEST(TURL, LongAddressIsPassedWhole)
{
    const QString address = QStringLiteral("example.com/") + QString(300, QLatin1Char('a'));
    OpenerRecorder recorder;
    TURL url;
    url.setURL(address);
    ASSERT_TRUE(url.Execute());
    EXPECT_EQ(recorder.texts(), std::vector<QString>{QStringLiteral("http://") + address});
}

TEST(ShellOpen, ReadsTheTargetAsWritten)
{
    struct Row {
        const char *name;
        const char *target;
        bool handedOn;
        const char *opened;
    };
    const Row rows[] = {
        // A bare host name stays a relative address; it never becomes a file.
        {"host without scheme", "example.com", true, "example.com"},
        {"absolute path", "/tmp/read me.txt", true, "file:///tmp/read me.txt"},
        {"scheme-relative", "//example.com/a", true, "//example.com/a"},
        {"query kept", "http://example.com/a?b=1&c=2#top", true, "http://example.com/a?b=1&c=2#top"},
        {"empty", "", false, ""},
        {"unreadable", "http://exa mple.com:port/", false, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        OpenerRecorder recorder;
        EXPECT_EQ(platform::shellOpen(QString::fromLatin1(row.target)), row.handedOn);
        if (row.handedOn)
            EXPECT_EQ(recorder.texts(), std::vector<QString>{QString::fromLatin1(row.opened)});
        else
            EXPECT_TRUE(recorder.opened.empty());
    }
}

// Not the default host, so an address built from anything but the
// constructor's argument shows.
const QString kHost = QStringLiteral("games.example.net:8081");
const QString kSite = QStringLiteral("http://games.example.net:8081");
const QString kLobby = QStringLiteral("http://games.example.net:8081/games/lobby_games/cribbage");

// What one child control must look like. An empty size means the label
// sizes itself to its caption; only its position is checked.
struct ControlRow {
    const char *name;
    QRect geometry;
    QString caption;
    const char *family;
    int pixels;
    bool bold;
    bool underline;
    QColor color;
    bool handCursor;
};

QString captionOf(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const TSelButton *>(control))
        return button->caption();
    return QString();
}

QColor textColorOf(const QWidget *control)
{
    if (const auto *button = qobject_cast<const TSelButton *>(control))
        return button->fontColor();
    return control->palette().color(QPalette::WindowText);
}

void expectLayout(const QWidget &window, const std::vector<ControlRow> &rows)
{
    for (const ControlRow &row : rows) {
        SCOPED_TRACE(row.name);
        const auto *control = window.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget(), &window);
        if (row.geometry.isEmpty())
            EXPECT_EQ(control->pos(), row.geometry.topLeft());
        else
            EXPECT_EQ(control->geometry(), row.geometry);
        EXPECT_EQ(control->cursor().shape(), row.handCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
        if (!row.family)
            continue;  // a picture
        EXPECT_EQ(captionOf(control), row.caption);
        EXPECT_EQ(control->font().family(), QString::fromLatin1(row.family));
        EXPECT_EQ(control->font().pixelSize(), row.pixels);
        EXPECT_EQ(control->font().bold(), row.bold);
        EXPECT_EQ(control->font().underline(), row.underline);
        EXPECT_EQ(textColorOf(control), row.color);
    }
}

const QColor kMaroon(128, 0, 0);
const QColor kBlack(0, 0, 0);
const QColor kSilver(192, 192, 192);
const char *const kSerif = "Liberation Serif";
const char *const kSans = "Liberation Sans";

// The two windows as the program makes them: showing the main window's
// tile, and shown when the test needs them on screen.
class AboutFormsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tileOwner = std::make_unique<QWidget>();
        tile = new TLbBackground(tileOwner.get());
        tile->setImage(QPixmap::fromImage(gameresources::tileImage()));
        tile->setEnabled(true);
        about = std::make_unique<Tabout>(kHost);
        about->copyBackground(*tile);
        advert = std::make_unique<Tmultiplayer>(kHost);
        advert->copyBackground(*tile);
    }

    static void showAndWait(QWidget &window)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    template<typename T = QWidget>
    static T *control(const QWidget &window, const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }

    std::unique_ptr<QWidget> tileOwner;
    TLbBackground *tile = nullptr;
    std::unique_ptr<Tabout> about;
    std::unique_ptr<Tmultiplayer> advert;
};

TEST_F(AboutFormsTest, AboutWindowLayout)
{
    EXPECT_EQ(about->windowTitle(), QStringLiteral("Pegsquare - About"));
    EXPECT_EQ(about->size(), QSize(304, 193));
    expectLayout(*about, {
        {"Image1", QRect(17, 3, 270, 80), {}, nullptr, 0, false, false, {}, false},
        {"Label7", QRect(8, 84, 289, 20), kSite, kSans, 16, true, true, kMaroon, true},
        {"Label1", QRect(48, 176, 0, 0), QStringLiteral("Version"), kSerif, 13, true, false, kMaroon, false},
        {"version", QRect(96, 176, 0, 0), QStringLiteral("1.0.1"), kSerif, 13, true, false, kBlack, false},
        {"Label9", QRect(123, 176, 0, 0), QStringLiteral(".2"), kSerif, 13, true, false, kBlack, false},
        {"button_done", QRect(202, 164, 95, 26), QStringLiteral("Done"), kSans, 13, true, false, kSilver, false},
    });
    EXPECT_TRUE(control<ImageControl>(*about, "Image1")->hasPicture());
    EXPECT_EQ(control<QLabel>(*about, "Label7")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

// "Version 1.0.1.2": the version must end before ".2" begins, and the
// version text is the one the build defines.
TEST_F(AboutFormsTest, VersionReadsAsOneNumber)
{
    const auto *version = control(*about, "version");
    const auto *revision = control(*about, "Label9");
    EXPECT_EQ(control<QLabel>(*about, "version")->text(), QStringLiteral(PEGSQUARE_VERSION));
    EXPECT_LE(version->geometry().right(), revision->x());
    EXPECT_LE(control(*about, "Label1")->geometry().right(), version->x());
}

TEST_F(AboutFormsTest, AdvertWindowLayout)
{
    EXPECT_EQ(advert->windowTitle(), QStringLiteral("Pegsquare Solo - Multiplayer"));
    EXPECT_EQ(advert->size(), QSize(569, 431));
    EXPECT_TRUE(advert->windowFlags().testFlag(Qt::Tool));
    const QString invitation = QStringLiteral("Enjoy Pegsquare? Try the multiplayer version at ") + kSite
                               + QLatin1Char('!');
    const QString lobbyCall = QStringLiteral("Click HERE to learn how to Play Cribbage against others in The Lobby!");
    expectLayout(*advert, {
        {"Label6", QRect(0, 16, 563, 23), invitation, kSerif, 16, true, false, kMaroon, true},
        {"Label1", QRect(32, 48, 489, 41), lobbyCall, kSerif, 19, true, false, kMaroon, true},
        {"Image1", QRect(80, 96, 389, 269), {}, nullptr, 0, false, false, {}, true},
        {"button_done", QRect(466, 401, 95, 26), QStringLiteral("Done"), kSans, 13, true, false, kSilver, false},
    });
    EXPECT_TRUE(control<ImageControl>(*advert, "Image1")->hasPicture());
    for (const char *name : {"Label6", "Label1"}) {
        SCOPED_TRACE(name);
        const auto *label = control<QLabel>(*advert, name);
        EXPECT_TRUE(label->wordWrap());
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }
}

// The invitation has room for one line only; a second would be cut off.
TEST_F(AboutFormsTest, InvitationFitsOnOneLine)
{
    const auto *invitation = control<QLabel>(*advert, "Label6");
    EXPECT_LE(invitation->fontMetrics().horizontalAdvance(invitation->text()), invitation->width());
}

TEST_F(AboutFormsTest, DoneButtonsHaveTheHelpWindowsLook)
{
    for (QWidget *window : {static_cast<QWidget *>(about.get()), static_cast<QWidget *>(advert.get())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        const auto *done = control<TSelButton>(*window, "button_done");
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(done->color(), kMaroon);
        EXPECT_EQ(done->colorOver(), kMaroon);
        EXPECT_EQ(done->colorDown(), kMaroon);
        EXPECT_EQ(done->colorBorder(), QColor(224, 228, 171));
        EXPECT_EQ(done->colorOverCaption(), QColor(224, 228, 171));
        EXPECT_EQ(done->borderWidth(), 1);
        EXPECT_EQ(done->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }
}

TEST_F(AboutFormsTest, ClicksOpenTheirAddress)
{
    struct Row {
        const char *window;
        const char *control;
        std::vector<QString> opened;
    };
    const std::vector<Row> rows = {
        {"about", "Label7", {kSite}},
        {"about", "Image1", {}},
        {"about", "Label1", {}},
        {"about", "version", {}},
        {"advert", "Label6", {kLobby}},
        {"advert", "Label1", {kLobby}},
        {"advert", "Image1", {kLobby}},
    };
    showAndWait(*about);
    showAndWait(*advert);
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.window) + " " + row.control);
        const QWidget &window = std::string(row.window) == "about" ? static_cast<QWidget &>(*about) : *advert;
        QWidget *target = control(window, row.control);
        ASSERT_NE(target, nullptr);
        OpenerRecorder recorder;
        QTest::mouseClick(target, Qt::LeftButton);
        EXPECT_EQ(recorder.texts(), row.opened);
        EXPECT_TRUE(window.isVisible());
    }
}

// The main window's maker strip opens the vendor's address through the
// about window's opener: the same address as the link label.
TEST_F(AboutFormsTest, AboutOpenerIsTheLinkLabelsAddress)
{
    EXPECT_EQ(about->url1().objectName(), QStringLiteral("URL1"));
    EXPECT_EQ(advert->url1().objectName(), QStringLiteral("URL1"));
    OpenerRecorder recorder;
    EXPECT_TRUE(about->url1().Execute());
    EXPECT_EQ(recorder.texts(), std::vector<QString>{kSite});
}

// Hidden, not destroyed, and the same window when shown again.
TEST_F(AboutFormsTest, DoneHidesTheWindow)
{
    for (QWidget *window : {static_cast<QWidget *>(about.get()), static_cast<QWidget *>(advert.get())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        showAndWait(*window);
        QWidget *done = control(*window, "button_done");
        ASSERT_NE(done, nullptr);
        QTest::mouseClick(done, Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
        showAndWait(*window);
        EXPECT_TRUE(window->isVisible());
    }
}

} // namespace
