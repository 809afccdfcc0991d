// The high-score window's requests and the links it lets out of the page.
#include "highscoreform.h"
#include "htmlview.h"
#include "httpget.h"
#include "loopback.h"
#include "ownentry.h"
#include "pagelink.h"
#include "shellopen.h"

#include <QTest>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(highscoreWindow, LayoutFramesTheViewBesideItsPicture)
{
    Thighscore window(QStringLiteral("scores.example"));
    const struct {
        const char *name;
        QRect geometry;
    } rows[] = {
        {"Image1", {6, 9, 97, 322}},
        {"panel_main", {112, 8, 481, 507}},
        {"displayhtml", {1, 1, 479, 505}},
        {"button_done", {467, 518, 126, 40}},
    };
    for (const auto &row : rows) {
        const QWidget *control = window.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr) << row.name;
        EXPECT_EQ(control->geometry(), row.geometry) << row.name;
    }
    EXPECT_EQ(window.displayhtml().parentWidget()->objectName(), QStringLiteral("panel_main"));
}

// The view never stays an empty page: a list that cannot be fetched says
// so, why and how to try again; a list already shown stays, and the line
// below it says it was not refreshed.
TEST(highscoreWindow, AListThatCannotBeFetchedSaysWhyAndHowToTryAgain)
{
    const std::string list = "HTTP/1.0 200 OK\r\n\r\n<html><body>Robin 85</body></html>";
    enum class Where { Refusing, Unreachable, Answering, StoppedAfterAList };
    const struct {
        const char *name;
        Where where;
        std::string answer;
        QString view;    // in the view afterwards
        QString status;  // in the line below it; empty: none
    } rows[] = {
        {"refused", Where::Refusing, {}, "The vendor's server refused the connection.", "could not be fetched"},
        {"unreachable", Where::Unreachable, {}, "The vendor's server could not be reached.", "could not be fetched"},
        {"error status", Where::Answering, "HTTP/1.0 503 Service Unavailable\r\n\r\nBusy, try later",
         "Busy, try later", "The vendor's server answered with error 503."},
        {"refused after a list", Where::StoppedAfterAList, list, "Robin 85",
         "The list was not refreshed. The vendor's server refused the connection."},
        {"a list", Where::Answering, list, "Robin 85", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<loopback::Server> server;
        std::unique_ptr<loopback::DeadPort> dead;
        if (row.where == Where::Refusing || row.where == Where::Unreachable)
            dead = std::make_unique<loopback::DeadPort>(row.where == Where::Refusing
                                                            ? loopback::DeadPort::Kind::Refusing
                                                            : loopback::DeadPort::Kind::Unanswered);
        else
            server = std::make_unique<loopback::Server>(row.answer);
        Thighscore window(QString::fromStdString(dead ? dead->host() : server->host()));
        window.getit().setConnectTimeout(300);
        const auto fetched = [&] {
            window.loadit();
            // Words while it is fetched, the first time too.
            EXPECT_FALSE(window.displayhtml().toPlainText().isEmpty());
            EXPECT_FALSE(window.statusText().isEmpty());
            return QTest::qWaitFor([&] { return !window.getit().isBusy() && !window.displayhtml().isLoading(); }, 5000);
        };
        ASSERT_TRUE(fetched());
        if (row.where == Where::StoppedAfterAList) {
            // The port is free again: nothing listens there now.
            server.reset();
            ASSERT_TRUE(fetched());
        }
        const QString view = window.displayhtml().toPlainText();
        EXPECT_TRUE(view.contains(row.view)) << view.toStdString();
        if (dead) {
            EXPECT_TRUE(view.contains(QStringLiteral("open High Scores again"))) << view.toStdString();
        }
        if (row.status.isEmpty()) {
            EXPECT_TRUE(window.statusText().isEmpty()) << window.statusText().toStdString();
        } else {
            EXPECT_TRUE(window.statusText().contains(row.status)) << window.statusText().toStdString();
        }
    }
}

TEST(highscoreWindow, TheRowJustPostedIsMarked)
{
    const QString head = QStringLiteral("<table><tr bgcolor=\"#800000\"><th>Name</th><th>Score</th></tr>\n");
    const auto row = [](const char *cells) { return QStringLiteral("<tr bgcolor=\"#E6DCAB\">%1</tr>\n").arg(cells); };
    const QString marked = QStringLiteral("<tr bgcolor=\"#FFE680\" >");
    const struct {
        const char *name;
        QString page;
        online::OwnEntry entry;
        QString expected;  // empty: the page unchanged
    } rows[] = {
        {"the vendor's rows", head + row("<td>Ann</td><td><b>90</b></td>") + row("<td>Robin</td><td><b>85</b></td>"),
         {"Robin", "85"},
         head + row("<td>Ann</td><td><b>90</b></td>") + marked
             + "<td><b>Robin</b></td><td><b><b>85</b></b></td></tr>\n"},
        {"same name, another score", head + row("<td>Robin</td><td>84</td>"), {"Robin", "85"}, {}},
        {"same score, another name", head + row("<td>Robina</td><td>85</td>"), {"Robin", "85"}, {}},
        {"a name written with entities", row("<td>x&amp;y</td><td>7</td>"), {"x&y", "7"},
         marked + "<td><b>x&amp;y</b></td><td><b>7</b></td></tr>\n"},
        {"upper-case tags, a bare colour", "<TR BGCOLOR=#DCCF96><TD>Zo\u00eb</TD><TD>12</TD></TR>",
         {QStringLiteral("Zo\u00eb"), "12"}, QStringLiteral("<TR bgcolor=\"#FFE680\" ><TD><b>Zo\u00eb</b></TD><TD><b>12</b></TD></TR>")},
        {"only the first of two equal rows", row("<td>Kim</td><td>5</td>") + row("<td>Kim</td><td>5</td>"),
         {"Kim", "5"}, marked + "<td><b>Kim</b></td><td><b>5</b></td></tr>\n" + row("<td>Kim</td><td>5</td>")},
        {"a heading cell among data cells", row("<th>Kim</th><td>5</td>"), {"Kim", "5"},
         marked + "<th><b>Kim</b></th><td><b>5</b></td></tr>\n"},
        {"nothing posted", row("<td>Kim</td><td>5</td>"), {}, {}},
        {"a row without its end", "<tr><td>Kim<td>5", {"Kim", "5"}, {}},
    };
    for (const auto &r : rows) {
        const QString expected = r.expected.isEmpty() ? r.page : r.expected;
        EXPECT_EQ(online::markOwnEntry(r.page, r.entry).toStdString(), expected.toStdString()) << r.name;
    }
}

TEST(highscoreWindow, PostingValuesArePercentEncoded)
{
    const struct {
        const char *name;
        QString player;
        QString query;
    } rows[] = {
        {"plain", "Robin", "name=Robin&date=12%2F9%2F26&score=85"},
        {"a blank", "Two Words", "name=Two%20Words&date=12%2F9%2F26&score=85"},
        {"a forged key", "x&score=99", "name=x%26score%3D99&date=12%2F9%2F26&score=85"},
        {"URL characters", "#%+?", "name=%23%25%2B%3F&date=12%2F9%2F26&score=85"},
        {"letters of other languages", QStringLiteral("Zoë"), "name=Zo%C3%AB&date=12%2F9%2F26&score=85"},
    };
    for (const auto &row : rows) {
        Thighscore window(QStringLiteral("scores.example:8080"));
        window.sendscore(row.player, QStringLiteral("12/9/26"), QStringLiteral("85"));
        EXPECT_EQ(window.sendit().URL, "http://scores.example:8080/cgi-bin/pegsquare.cgi?" + row.query) << row.name;
        window.sendit().Cancel();
    }
    Thighscore window(QStringLiteral("scores.example"));
    window.loadit();
    EXPECT_EQ(window.getit().URL, QStringLiteral("http://scores.example/counter/pegsquare.shtml"));
    EXPECT_TRUE(window.getit().PostQuery.isEmpty());
}

TEST(highscoreWindow, OnlyWebAndMailLinksLeaveThePage)
{
    const QUrl page(QStringLiteral("http://scores.example:8080/counter/pegsquare.shtml"));
    const struct {
        const char *name;
        QString src;
        std::optional<QString> opened;
    } rows[] = {
        {"http", "http://other.example/a?b=1&c=2", "http://other.example/a?b=1&c=2"},
        {"https", "HTTPS://secure.example/", "HTTPS://secure.example/"},
        {"mailto", "mailto:vendor@scores.example", "mailto:vendor@scores.example"},
        {"absolute path", "/games/lobby_games/cribbage", "http://scores.example:8080/games/lobby_games/cribbage"},
        {"relative path", "old.shtml", "http://scores.example:8080/counter/old.shtml"},
        {"same scheme, other host", "//other.example/x", "http://other.example/x"},
        {"in-page anchor", "#top", std::nullopt},
        {"empty", "", std::nullopt},
        {"file", "file:///etc/passwd", std::nullopt},
        {"javascript", "javascript:alert(1)", std::nullopt},
        {"data", "data:text/html,<b>x</b>", std::nullopt},
        {"drive letter", "C:\\Windows\\notepad.exe", std::nullopt},
        {"http without a host", "http:/etc/passwd", std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(externalPageLink(row.src, page), row.opened) << row.name;

    // A click in the view goes through the same rule to the desktop.
    std::vector<QUrl> opened;
    const platform::UrlOpener previous = platform::setUrlOpenerForTesting([&](const QUrl &url) {
        opened.push_back(url);
        return true;
    });
    Thighscore window(QStringLiteral("scores.example:8080"));
    bool handled = false;
    window.displayhtmlHotSpotClick(&window.displayhtml(), QStringLiteral("/games/lobby_games/cribbage"), handled);
    window.displayhtmlHotSpotClick(&window.displayhtml(), QStringLiteral("file:///etc/passwd"), handled);
    platform::setUrlOpenerForTesting(previous);
    EXPECT_FALSE(handled);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://scores.example:8080/games/lobby_games/cribbage"));
}

} // namespace
