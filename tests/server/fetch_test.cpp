// The game's fetch component against the real vendor server: what the
// program asks for over the wire and what it gets back.
#include "httpget.h"
#include "serverprocess.h"
#include "tempfolder.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Fetched {
    bool done = false;
    bool ok = false;
    QByteArray body;
};

// Fetches `url` the way the game's windows do and waits for the completion.
Fetched fetch(const QString &url)
{
    THTTPGet get;
    Fetched result;
    get.OnDoneString = [&](THTTPGet *, const QByteArray &body) {
        result = {true, true, body};
    };
    get.OnError = [&](THTTPGet *) { result = {true, false, {}}; };
    get.URL = url;
    get.Start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.done; }, 20000)) << "no completion for " << url.toStdString();
    return result;
}

TEST(serverFetch, TheGamesFetchComponentGetsWhatTheServerServes)
{
    TempFolder folder;
    ServerProcess server(folder.path(), {"--port", "0", "--db", (folder.path() / "scores.db").string(), "--content",
                                         (folder.path() / "content").string()});
    const int port = server.waitListening();
    ASSERT_GT(port, 0) << server.log();
    const QString host = QStringLiteral("http://127.0.0.1:%1").arg(port);

    // A posting as the game composes it: the name unescaped, blank included.
    const Fetched posted = fetch(host + "/cgi-bin/pegsquare.cgi?name=Robin Hood&date=12/9/26&score=85");
    ASSERT_TRUE(posted.ok);

    const struct {
        const char *name;
        QString path;
        QByteArray expected; // a part of the body
        bool whole;          // the body is exactly `expected`
    } rows[] = {
        {"list page", "/counter/pegsquare.shtml", "<td align=\"left\"><font face=\"Arial\">Robin Hood</font></td>",
         false},
        {"version text", "/pegsquare/pegsquareversion.txt", PEGSQUARE_VERSION, true},
        {"an unknown page still has a body", "/nothing/here", "nothing", false},
    };
    for (const auto &row : rows) {
        const Fetched got = fetch(host + row.path);
        EXPECT_TRUE(got.ok) << row.name;
        if (row.whole) {
            EXPECT_EQ(got.body, row.expected) << row.name;
        } else {
            EXPECT_TRUE(got.body.contains(row.expected)) << row.name << ": " << got.body.left(400).toStdString();
        }
    }
    EXPECT_EQ(server.stop(), 0);
}

} // namespace
