#include "content.h"
#include "pages.h"
#include "routes.h"
#include "sqlitescoretable.h"
#include "tablebackend.h"
#include "tempfolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace {

// The routes over a real score database and content folder in a temporary folder.
struct RouteBench {
    TempFolder folder;
    SqliteScoreTable table{(folder.path() / "scores.db").string()};
    Routes routes{table, PublishedContent(folder.path() / "content"), "http://test.example"};

    Reply get(const std::string &target, std::string_view method = "GET")
    {
        return routes.handle({method, target});
    }
    Reply post(const std::string &query) { return get("/cgi-bin/pegsquare.cgi?" + query); }
    std::string list() { return std::string(get("/counter/pegsquare.shtml").text()); }
    std::vector<StoredScore> all() { return table.bestScores(1000, 0); }
};

std::string repeat(std::string_view piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct Stored {
    std::string name;
    int score;
    std::string date;
};

struct PostingRow {
    const char *name;
    std::string query;
    std::optional<Stored> stored; // nullopt: refused with 400, nothing stored
    const char *says = nullptr;   // what a refusal must name, when it matters
};

void checkPostings(const std::vector<PostingRow> &rows)
{
    RouteBench bench;
    for (const PostingRow &row : rows) {
        const std::size_t before = bench.all().size();
        const Reply reply = bench.post(row.query);
        const auto scores = bench.all();
        EXPECT_FALSE(reply.body.empty()) << row.name;
        if (!row.stored) {
            EXPECT_EQ(reply.status, 400) << row.name;
            EXPECT_EQ(scores.size(), before) << row.name;
            if (row.says) {
                EXPECT_NE(reply.body.find(row.says), std::string::npos) << row.name << ": " << reply.body;
            }
            continue;
        }
        EXPECT_EQ(reply.status, 200) << row.name << ": " << reply.body;
        ASSERT_EQ(scores.size(), before + 1) << row.name;
        const StoredScore &newest = *std::max_element(scores.begin(), scores.end(), [](const auto &a, const auto &b) {
            return a.sequence < b.sequence;
        });
        EXPECT_EQ(newest.name, row.stored->name) << row.name;
        EXPECT_EQ(newest.score, row.stored->score) << row.name;
        EXPECT_EQ(newest.date, row.stored->date) << row.name;
    }
}

std::string posting(const std::string &name, const std::string &date = "12/8/26", const std::string &score = "50")
{
    return "name=" + name + "&date=" + date + "&score=" + score;
}

TEST(serverRoutes, PostingsAreCheckedBeforeAnythingIsStored)
{
    const std::string e = "%C3%A9"; // é, two bytes
    checkPostings({
        {"plain", posting("Al", "12/8/26", "120"), Stored{"Al", 120, "12/8/26"}},
        {"32 ASCII characters", posting(repeat("a", 32)), Stored{repeat("a", 32), 50, "12/8/26"}},
        {"33 ASCII characters", posting(repeat("a", 33)), std::nullopt},
        {"32 non-ASCII characters", posting(repeat(e, 32)), Stored{repeat("é", 32), 50, "12/8/26"}},
        {"33 non-ASCII characters", posting(repeat(e, 33)), std::nullopt},
        {"letters of other scripts", posting("%E6%97%A5%E6%9C%AC%D0%AF"), Stored{"日本Я", 50, "12/8/26"}},
        {"blanks around kept", posting("%20Al%20"), Stored{" Al ", 50, "12/8/26"}},
        {"plus stays plus", posting("a+b"), Stored{"a+b", 50, "12/8/26"}},
        {"empty name", posting(""), std::nullopt},
        {"only blanks", posting("%20%20%20"), std::nullopt},
        {"only an ideographic space", posting("%E3%80%80"), std::nullopt},
        {"tab", posting("a%09b"), std::nullopt},
        {"line break", posting("a%0Ab"), std::nullopt},
        {"NUL", posting("a%00b"), std::nullopt},
        {"DEL", posting("a%7F"), std::nullopt},
        {"C1 control", posting("a%C2%85"), std::nullopt},
        {"not UTF-8", posting("a%FF"), std::nullopt},
        {"overlong UTF-8", posting("a%C0%AF"), std::nullopt},
        {"UTF-16 surrogate", posting("a%ED%A0%80"), std::nullopt},
        {"cut UTF-8", posting("a%E6%97"), std::nullopt},
        {"percent without digits", posting("50%"), std::nullopt},
        {"percent with a non-hex digit", posting("%G1"), std::nullopt},
        {"score 0", posting("Al", "12/8/26", "0"), Stored{"Al", 0, "12/8/26"}},
        {"score 100000", posting("Al", "12/8/26", "100000"), Stored{"Al", 100000, "12/8/26"}},
        {"leading zeros", posting("Al", "12/8/26", "000120"), Stored{"Al", 120, "12/8/26"}},
        {"score 100001", posting("Al", "12/8/26", "100001"), std::nullopt},
        {"score -1", posting("Al", "12/8/26", "-1"), std::nullopt},
        {"score with a letter", posting("Al", "12/8/26", "12a"), std::nullopt},
        {"30-digit score", posting("Al", "12/8/26", repeat("9", 30)), std::nullopt},
        {"empty score", posting("Al", "12/8/26", ""), std::nullopt},
        {"score with a sign", posting("Al", "12/8/26", "+5"), std::nullopt},
        {"leap day in a leap year", posting("Al", "2/29/24"), Stored{"Al", 50, "2/29/24"}},
        {"leap day in 2000", posting("Al", "2/29/00"), Stored{"Al", 50, "2/29/00"}},
        {"leap day in a common year", posting("Al", "2/29/25"), std::nullopt},
        {"31st of a 30-day month", posting("Al", "4/31/26"), std::nullopt},
        {"month 13", posting("Al", "13/1/26"), std::nullopt},
        {"month 0", posting("Al", "0/1/26"), std::nullopt},
        {"day 0", posting("Al", "1/0/26"), std::nullopt},
        {"dots, month first", posting("Al", "1.5.07"), Stored{"Al", 50, "1.5.07"}},
        {"dashes and leading zeros", posting("Al", "01-05-07"), Stored{"Al", 50, "01-05-07"}},
        {"mismatched separators", posting("Al", "12/8.26"), std::nullopt},
        {"digit-less date", posting("Al", "//"), std::nullopt},
        {"doubled separator", posting("Al", "12//26"), std::nullopt},
        {"three-digit month", posting("Al", "012/8/26"), std::nullopt},
        {"one-digit year", posting("Al", "12/8/6"), std::nullopt},
        {"three-digit year", posting("Al", "12/8/026"), std::nullopt},
        {"four-digit year", posting("Al", "12/8/2026"), std::nullopt},
        {"control separator", posting("Al", "12%098%0926"), std::nullopt},
        {"empty date", posting("Al", ""), std::nullopt},
    });
}

TEST(serverRoutes, NamesAndDatesShowEveryCharacterTheyHold)
{
    // Invisible and direction-changing characters would let a name pass for
    // another on the list, look empty, or turn the rest of its row around.
    const auto refused = [](const char *name, std::string query, const char *says) {
        return PostingRow{name, std::move(query), std::nullopt, says};
    };
    const auto kept = [](const char *name, const std::string &escaped, const std::string &typed) {
        return PostingRow{name, posting(escaped), Stored{typed, 50, "12/8/26"}};
    };
    checkPostings({
        refused("zero-width space", posting("Rob%E2%80%8Bin"), "name holds U+200B"),
        refused("right-to-left mark", posting("Al%E2%80%8F"), "name holds U+200F"),
        refused("right-to-left override", posting("%E2%80%AE62/8/21"), "name holds U+202E"),
        refused("left-to-right embedding", posting("%E2%80%AAAl"), "name holds U+202A"),
        refused("paragraph separator", posting("a%E2%80%A9b"), "name holds U+2029"),
        refused("word joiner", posting("a%E2%81%A0b"), "name holds U+2060"),
        refused("first strong isolate", posting("a%E2%81%A8b"), "name holds U+2068"),
        refused("pop directional isolate", posting("a%E2%81%A9"), "name holds U+2069"),
        refused("byte order mark", posting("%EF%BB%BFAl"), "name holds U+FEFF"),
        refused("soft hyphen", posting("Ro%C2%ADbin"), "name holds U+00AD"),
        refused("combining grapheme joiner", posting("a%CD%8F"), "name holds U+034F"),
        refused("Arabic letter mark", posting("a%D8%9C"), "name holds U+061C"),
        refused("Hangul filler", posting("%E3%85%A4"), "name holds U+3164"),
        refused("halfwidth Hangul filler", posting("a%EF%BE%A0"), "name holds U+FFA0"),
        refused("Mongolian vowel separator", posting("a%E1%A0%8Eb"), "name holds U+180E"),
        refused("variation selector", posting("a%EF%B8%8F"), "name holds U+FE0F"),
        refused("variation selector of the last plane", posting("a%F3%A0%84%80"), "name holds U+E0100"),
        refused("tag letter", posting("a%F3%A0%81%81"), "name holds U+E0041"),
        // What a game in an Arabic locale sends: a right-to-left mark alone as the separator.
        {"direction mark as the date separator", posting("Al", "12%E2%80%8F8%E2%80%8F26"),
         Stored{"Al", 50, "12\u200F8\u200F26"}},
        refused("direction mark beside the separator", posting("Al", "12%E2%80%8F/8%E2%80%8F/26"),
                "date holds U+200F"),
        refused("override as the date separator", posting("Al", "12%E2%80%AE8%E2%80%AE26"), "date holds U+202E"),
        refused("override before the date", posting("Al", "%E2%80%AE12/8/26"), "date holds U+202E"),
        refused("zero-width space after the date", posting("Al", "12/8/26%E2%80%8B"), "date holds U+200B"),
        kept("accented letters", "Zo%C3%AB%20%C3%86r%C3%B8", "Zoë Ærø"),
        kept("combining accent", "Jose%CC%81", "Jose\u0301"),
        kept("no-break and narrow spaces between words", "a%C2%A0b%E2%80%AFc", "a\u00A0b\u202Fc"),
        kept("hair space, the last visible space", "a%E2%80%8Ab", "a\u200Ab"),
        kept("hyphen, just past the direction marks", "a%E2%80%90b", "a\u2010b"),
        kept("Arabic letters", "%D8%B9%D9%84%D9%8A", "علي"),
        kept("Hebrew letters", "%D7%A9%D7%A8%D7%94", "שרה"),
        kept("emoji", "Al%F0%9F%98%80", "Al\U0001F600"),
        refused("only Braille blanks", posting("%E2%A0%80%E2%A0%80"), "only blanks"),
    });
}

TEST(serverRoutes, QueriesKeepTheNameAsTyped)
{
    checkPostings({
        {"ampersand in the name", posting("Tom&Jerry"), Stored{"Tom&Jerry", 50, "12/8/26"}},
        {"score marker in the name", posting("a&score=9"), Stored{"a&score=9", 50, "12/8/26"}},
        {"date marker in the name", posting("x&date=1/1/26"), Stored{"x&date=1/1/26", 50, "12/8/26"}},
        {"escaped score marker", posting("%26score%3D"), Stored{"&score=", 50, "12/8/26"}},
        {"equals signs", posting("a=b=c"), Stored{"a=b=c", 50, "12/8/26"}},
        {"form in another order", "score=7&name=Bo&date=1/2/26", Stored{"Bo", 7, "1/2/26"}},
        {"form with an unknown key", "date=1/2/26&x=1&score=7&name=Bo", Stored{"Bo", 7, "1/2/26"}},
        {"form with a key twice", "score=7&name=Bo&date=1/2/26&name=Cy", std::nullopt},
        {"no score", "name=Bo&date=1/2/26", std::nullopt},
        {"no query", "", std::nullopt},
        {"more after the score", posting("Bo") + "&x=1", std::nullopt},
    });
}

TEST(serverRoutes, ListShowsMarkupInNamesAsText)
{
    RouteBench bench;
    ASSERT_EQ(bench.post(posting("%3Cb%3E%22x%22%26amp%3B")).status, 200);
    const std::string page = bench.list();
    EXPECT_NE(page.find("&lt;b&gt;&quot;x&quot;&amp;amp;"), std::string::npos);
    EXPECT_EQ(page.find("<b>\"x\""), std::string::npos);
}

TEST(serverRoutes, SqlInNamesIsStoredAsTyped)
{
    RouteBench bench;
    const std::string typed = "x'); DROP TABLE scores;--";
    ASSERT_EQ(bench.post(posting("x')%3B%20DROP%20TABLE%20scores%3B--")).status, 200);
    ASSERT_EQ(bench.post(posting("Bo")).status, 200);
    const auto scores = bench.all();
    ASSERT_EQ(scores.size(), 2u);
    EXPECT_EQ(scores[0].name, typed);
}

TEST(serverRoutes, TiesGoToTheEarlierPosting)
{
    RouteBench bench;
    for (const char *query : {"name=A&date=1/1/26&score=50", "name=B&date=1/1/26&score=70",
                              "name=C&date=1/1/26&score=50", "name=D&date=1/1/26&score=50"})
        ASSERT_EQ(bench.post(query).status, 200);
    const std::string page = bench.list();
    std::vector<std::size_t> at;
    for (const char *name : {">B<", ">A<", ">C<", ">D<"})
        at.push_back(page.find(name));
    EXPECT_NE(at[0], std::string::npos);
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << page;
}

TEST(serverRoutes, ListShowsTheBestHundredAndIsFreshAfterEachPosting)
{
    RouteBench bench;
    EXPECT_NE(bench.list().find("No scores yet"), std::string::npos);
    for (int score = 1; score <= 105; ++score) {
        ASSERT_EQ(bench.post(posting("p" + std::to_string(score), "1/1/26", std::to_string(score))).status, 200);
        // Read after every posting, so a page kept from before would show.
        const std::string page = bench.list();
        ASSERT_NE(page.find(">p" + std::to_string(score) + "<"), std::string::npos) << score;
    }
    EXPECT_EQ(bench.get("/counter/pegsquare.shtml").contentType, "text/html; charset=utf-8");
    const std::string page = bench.list();
    std::size_t rows = 0;
    for (std::size_t at = page.find("<td align=\"right\">"); at != std::string::npos;
         at = page.find("<td align=\"right\">", at + 1))
        ++rows;
    EXPECT_EQ(rows, 2u * kListedScores); // rank and score cells
    EXPECT_NE(page.find(">p6<"), std::string::npos);
    EXPECT_EQ(page.find(">p5<"), std::string::npos);
}

TEST(serverRoutes, PostingsPastTheLimitAreRefusedAndNotStored)
{
    // One posting a minute, two at once; the clock never moves.
    const auto now = std::chrono::steady_clock::now();
    PostingLimit limit({1, 2}, [now] { return now; });
    TempFolder folder;
    SqliteScoreTable table{(folder.path() / "scores.db").string()};
    Routes routes{table, PublishedContent(folder.path() / "content"), "http://test.example", &limit};
    struct Row {
        const char *name;
        std::string_view method;
        std::string target;
        std::string_view client;
        int status;
        bool stored = false;
    };
    const std::string post = "/cgi-bin/pegsquare.cgi?" + posting("Al");
    const Row rows[] = {
        {"first", "GET", post, "203.0.113.9", 200, true},
        {"second", "GET", post, "203.0.113.9", 200, true},
        {"third, past the burst", "GET", post, "203.0.113.9", 429},
        {"a HEAD posting stores nothing and is never limited", "HEAD", post, "203.0.113.9", 200},
        {"a refused posting is still checked first", "GET", "/cgi-bin/pegsquare.cgi?name=Al", "203.0.113.9", 400},
        {"the list for the same address", "GET", "/counter/pegsquare.shtml", "203.0.113.9", 200},
        {"another address", "GET", post, "203.0.113.10", 200, true},
    };
    for (const Row &row : rows) {
        const std::size_t before = table.bestScores(1000, 0).size();
        const Reply reply = routes.handle({row.method, row.target, row.client});
        EXPECT_EQ(reply.status, row.status) << row.name << ": " << reply.text();
        EXPECT_EQ(table.bestScores(1000, 0).size(), before + (row.stored ? 1 : 0)) << row.name;
        const auto retryAfter = std::find_if(reply.headers.begin(), reply.headers.end(),
                                             [](const auto &header) { return header.first == "Retry-After"; });
        if (row.status == 429) {
            ASSERT_NE(retryAfter, reply.headers.end()) << row.name;
            EXPECT_EQ(retryAfter->second, "60") << row.name;
            EXPECT_NE(reply.body.find("60 seconds"), std::string::npos) << row.name << ": " << reply.body;
            EXPECT_TRUE(reply.problem.empty()) << row.name;
        } else {
            EXPECT_EQ(retryAfter, reply.headers.end()) << row.name;
        }
    }
}

// The names on a list page, top first.
std::vector<std::string> listedNames(const std::string &page)
{
    std::vector<std::string> names;
    const std::string cell = "<td align=\"left\"><font face=\"";
    for (std::size_t at = page.find(cell); at != std::string::npos; at = page.find(cell, at + 1)) {
        const std::size_t start = page.find("\">", at + cell.size()) + 2;
        names.push_back(page.substr(start, page.find("</font>", start) - start));
    }
    return names;
}

// The table as the server before client addresses made it.
constexpr const char *kOldSchema = "PRAGMA journal_mode=WAL;"
                                   "CREATE TABLE scores ("
                                   " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                   " name TEXT NOT NULL CHECK (length(name) BETWEEN 1 AND 32),"
                                   " score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 100000),"
                                   " played TEXT NOT NULL,"
                                   " received_at TEXT NOT NULL);"
                                   "CREATE INDEX scores_by_rank ON scores (score DESC, id ASC);"
                                   "PRAGMA user_version=1;";

TEST_P(EachTable, OneAddressHoldsAtMostItsCapOfTheList)
{
    struct Posting {
        const char *client; // empty: not known, as for an in-process caller
        const char *name;
        int score;
    };
    struct Row {
        const char *name;
        int cap;
        std::vector<Posting> postings;
        std::vector<std::string> listed; // top first
        const char *oldRows = nullptr;   // rows of a database made before addresses were kept
    };
    const char *flooder = "198.51.100.7";
    const std::vector<Posting> flood = {{flooder, "F1", 100000}, {flooder, "F2", 100000}, {flooder, "F3", 100000},
                                        {flooder, "F4", 100000}, {flooder, "F5", 100000},
                                        {"203.0.113.5", "Genuine", 100000}, {"203.0.113.6", "Low", 500}};
    const Row rows[] = {
        {"one address posting the top score again and again", 3, flood, {"F1", "F2", "F3", "Genuine", "Low"}},
        {"no cap", 0, flood, {"F1", "F2", "F3", "F4", "F5", "Genuine", "Low"}},
        {"an address's best scores are the ones listed", 2,
         {{"a", "a10", 10}, {"a", "a40", 40}, {"b", "b20", 20}, {"a", "a30", 30}, {"a", "a5", 5}},
         {"a40", "a30", "b20"}},
        {"ties within an address go to the earlier posting", 2,
         {{"a", "first", 50}, {"a", "second", 50}, {"a", "third", 50}, {"b", "other", 50}},
         {"first", "second", "other"}},
        {"scores without an address each count on their own", 1,
         {{"", "N1", 70}, {"", "N2", 70}, {"", "N3", 60}, {"a", "a1", 65}, {"a", "a2", 80}},
         {"a2", "N1", "N2", "N3"}},
        {"rows of an older database each count on their own", 1,
         {{flooder, "F1", 100000}, {flooder, "F2", 100000}, {flooder, "F3", 95000}},
         {"Old1", "Old2", "F1", "Old3"},
         "INSERT INTO scores (name, score, played, received_at) VALUES"
         " ('Old1', 100000, '1/1/26', '2026-01-01T00:00:00.000001Z'),"
         " ('Old2', 100000, '1/1/26', '2026-01-01T00:00:00.000002Z'),"
         " ('Old3', 90000, '1/1/26', '2026-01-01T00:00:00.000003Z');"},
        {"an earlier server's place triggers give way", 2,
         {{"a", "a1", 10}, {"a", "a2", 20}, {"a", "a3", 30}, {"b", "b1", 5}},
         {"a3", "a2", "b1"},
         // A stand-in for the triggers that kept ranks: left in place, it
         // would take every row off the list at each posting.
         "ALTER TABLE scores ADD COLUMN client TEXT; ALTER TABLE scores ADD COLUMN place INTEGER DEFAULT 1;"
         "CREATE TRIGGER scores_place_added AFTER INSERT ON scores BEGIN UPDATE scores SET place = NULL; END;"},
    };
    for (const Row &row : rows) {
        if (row.oldRows && GetParam() != "sqlite")
            continue; // older servers kept their scores in SQLite only
        TableBackend backend(GetParam());
        std::vector<std::vector<std::string>> kept; // name and client of every row, in order of receipt
        if (row.oldRows) {
            backend.run(std::string(kOldSchema) + row.oldRows);
            kept = backend.run("SELECT name, 'NULL' FROM scores ORDER BY id");
        }
        {
            const std::unique_ptr<ScoreTable> table = backend.open();
            Routes routes{*table, PublishedContent(backend.folder().path() / "content"), "http://test.example", nullptr,
                          row.cap};
            for (const Posting &posting : row.postings) {
                const std::string target = "/cgi-bin/pegsquare.cgi?name=" + std::string(posting.name)
                                           + "&date=1/1/26&score=" + std::to_string(posting.score);
                ASSERT_EQ(routes.handle({"GET", target, posting.client}).status, 200) << row.name;
                kept.push_back({posting.name, *posting.client ? posting.client : "NULL"});
            }
            EXPECT_EQ(listedNames(std::string(routes.handle({"GET", "/counter/pegsquare.shtml"}).text())),
                      row.listed)
                << row.name;
        }
        // No row lost, and each posting stored with the address it came from.
        EXPECT_EQ(backend.run("SELECT name, coalesce(client, 'NULL') FROM scores ORDER BY id"), kept) << row.name;
    }
}

// Whoever changes the table (this server, an operator with sqlite3, an
// older server), the capped list is what its definition says: walk all
// scores best first, ties by earlier receipt, and skip a score once its
// client already has `cap` on the list.
// A table that other processes write too, and whose database can go away:
// it counts its changes as a shared database does, and how often the list
// was read.
class SharedTable : public ScoreTable {
public:
    explicit SharedTable(ScoreTable &inner) : m_inner(inner) {}
    void addScoreLater(NewScore score, ScoreStored done) override
    {
        m_inner.addScoreLater(std::move(score), [this, done = std::move(done)](StoredScore stored, std::exception_ptr error) {
            ++changes;
            done(std::move(stored), error);
        });
    }
    std::vector<StoredScore> bestScores(int count, int perClient) override
    {
        ++reads;
        check();
        return m_inner.bestScores(count, perClient);
    }
    void probe() override { check(); }
    std::optional<std::int64_t> sharedChanges() override
    {
        check();
        return changes.load();
    }

    std::atomic<std::int64_t> changes{0};
    std::atomic<int> reads{0};
    std::atomic<bool> down{false};

private:
    void check() const
    {
        if (down)
            throw StoreError("Could not reach the score database: connection refused", true);
    }
    ScoreTable &m_inner;
};

// No list older than a change any process made is served, a list nobody
// changed is not read again, and while the database does not answer the
// last list read is served (and the operator told) rather than none.
TEST(serverRoutes, TheListIsCurrentOrTheLastOneRead)
{
    RouteBench bench;
    SharedTable shared(bench.table);
    Routes routes{shared, PublishedContent(bench.folder.path() / "content"), "http://test.example"};
    struct Step {
        const char *name;
        std::function<void()> action;
        int status;
        std::vector<std::string> listed;
        bool read;          // the list was read from the table
        bool problem = false; // the operator is told of a problem
    };
    const Step steps[] = {
        {"first list", [] {}, 200, {}, true},
        {"posted here", [&] { routes.handle({"GET", "/cgi-bin/pegsquare.cgi?name=Here&date=1/1/26&score=50"}); }, 200,
         {"Here"}, true},
        {"nothing changed", [] {}, 200, {"Here"}, false},
        {"posted by another process",
         [&] {
             bench.table.addScore({"There", 70, "1/1/26"});
             ++shared.changes;
         },
         200, {"There", "Here"}, true},
        {"the database gone", [&] { shared.down = true; }, 200, {"There", "Here"}, false, true},
        {"and back", [&] { shared.down = false; }, 200, {"There", "Here"}, false},
    };
    for (const Step &step : steps) {
        step.action();
        const int readsBefore = shared.reads;
        const Reply reply = routes.handle({"GET", "/counter/pegsquare.shtml"});
        EXPECT_EQ(reply.status, step.status) << step.name;
        EXPECT_EQ(listedNames(std::string(reply.text())), step.listed) << step.name;
        EXPECT_EQ(shared.reads > readsBefore, step.read) << step.name;
        EXPECT_EQ(!reply.problem.empty(), step.problem) << step.name << ": " << reply.problem;
    }
    // A server that never read the list has nothing to fall back on.
    Routes fresh{shared, PublishedContent(bench.folder.path() / "content"), "http://test.example"};
    shared.down = true;
    const Reply reply = fresh.handle({"GET", "/counter/pegsquare.shtml"});
    EXPECT_EQ(reply.status, 503);
    EXPECT_NE(std::find(reply.headers.begin(), reply.headers.end(), std::pair<std::string, std::string>("Retry-After", "5")),
              reply.headers.end());
}

TEST_P(EachTable, TheCappedListFollowsEveryChangeToTheTable)
{
    TableBackend backend(GetParam());
    const std::unique_ptr<ScoreTable> table = backend.open();
    // 600 rows with many ties: half from one address (far more than the
    // places kept for it), a third without an address.
    const std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
        " INSERT INTO scores (name, score, played, received_at, client)"
        " SELECT 'p' || i, (i * 7919) % 61 * 1000, '1/1/26', '2026-01-01T00:00:00.000000Z',"
        "  CASE WHEN i % 12 < 6 THEN 'a' WHEN i % 12 < 10 THEN NULL WHEN i % 12 = 10 THEN '' ELSE 'b' END FROM n";
    const struct {
        const char *name;
        std::string sql;
    } stages[] = {
        {"rows added", fill},
        {"rows deleted", "DELETE FROM scores WHERE id % 7 = 0;"
                         "DELETE FROM scores WHERE id = (SELECT id FROM scores WHERE client = 'a'"
                         " ORDER BY score DESC, id LIMIT 1);"},
        {"scores raised and addresses changed",
         "UPDATE scores SET score = 100000 WHERE id IN (SELECT id FROM scores WHERE client = 'a'"
         " ORDER BY score, id LIMIT 3);"
         "UPDATE scores SET client = 'b' WHERE id IN (SELECT id FROM scores WHERE client = 'a'"
         " ORDER BY score DESC, id LIMIT 2 OFFSET 5);"
         "UPDATE scores SET client = 'c' WHERE client IS NULL AND id % 3 = 0;"
         "UPDATE scores SET client = NULL WHERE client = 'a' AND id % 4 = 0;"},
        {"every row of the flooding address deleted", "DELETE FROM scores WHERE client = 'a'"},
    };
    for (const auto &stage : stages) {
        backend.run(stage.sql);
        std::vector<std::vector<std::string>> all = backend.run("SELECT id, score, client FROM scores");
        std::sort(all.begin(), all.end(), [](const auto &x, const auto &y) {
            return std::pair(-std::stoi(x[1]), std::stoll(x[0])) < std::pair(-std::stoi(y[1]), std::stoll(y[0]));
        });
        for (const int count : {100, 400}) {
            for (const int cap : {0, 1, 5, SqliteScoreTable::kPlacesKept, SqliteScoreTable::kPlacesKept + 1}) {
                std::vector<std::int64_t> expected;
                std::map<std::string, int> held;
                for (const auto &score : all) {
                    const bool known = score[2] != "NULL" && !score[2].empty();
                    if (int(expected.size()) < count && (cap == 0 || !known || held[score[2]]++ < cap))
                        expected.push_back(std::stoll(score[0]));
                }
                std::vector<std::int64_t> listed;
                for (const StoredScore &score : table->bestScores(count, cap))
                    listed.push_back(score.sequence);
                EXPECT_EQ(listed, expected) << stage.name << ", best " << count << ", cap " << cap;
            }
        }
    }
}

TEST(serverRoutes, PublishedFilesAreServedAsTheyAre)
{
    struct Row {
        const char *name;
        const char *file; // under content/pegsquare/, or nullptr
        std::string bytes;
        const char *target;
        int status;
        std::string body; // expected body, checked when the status is 200
    };
    const std::string installer = installerBytes(300000);
    const std::string signature = "untrusted comment: signature from minisign secret key\n"
                                  "RUQAAAAAAAAAAAAA\n"
                                  "trusted comment: pegsquare 1.0.2 pegsetup.exe\n"
                                  "AAAAAAAAAAAAAAAA\n";
    const Row rows[] = {
        {"version when none is published", nullptr, "", "/pegsquare/pegsquareversion.txt", 200, PEGSQUARE_VERSION},
        {"published version", "pegsquareversion.txt", "1.0.2\r\n", "/pegsquare/pegsquareversion.txt", 200,
         "1.0.2\r\n"},
        {"oversized version", "pegsquareversion.txt", std::string(PublishedContent::kMaxVersionBytes + 1, '1'),
         "/pegsquare/pegsquareversion.txt", 500, ""},
        {"installer when none is published", nullptr, "", "/pegsquare/pegsetup.exe", 404, ""},
        {"installer a folder", "pegsetup.exe/x", "", "/pegsquare/pegsetup.exe", 404, ""},
        {"published installer", "pegsetup.exe", installer, "/pegsquare/pegsetup.exe", 200, installer},
        {"signature when none is published", nullptr, "", "/pegsquare/pegsetup.exe.minisig", 404, ""},
        {"published signature", "pegsetup.exe.minisig", signature, "/pegsquare/pegsetup.exe.minisig", 200,
         signature},
        {"signature at the bound", "pegsetup.exe.minisig", std::string(PublishedContent::kMaxSignatureBytes, 's'),
         "/pegsquare/pegsetup.exe.minisig", 200, std::string(PublishedContent::kMaxSignatureBytes, 's')},
        {"oversized signature", "pegsetup.exe.minisig", std::string(PublishedContent::kMaxSignatureBytes + 1, 's'),
         "/pegsquare/pegsetup.exe.minisig", 500, ""},
        {"signature a folder", "pegsetup.exe.minisig/x", "", "/pegsquare/pegsetup.exe.minisig", 404, ""},
    };
    for (const Row &row : rows) {
        RouteBench bench;
        if (row.file)
            writeFile(bench.folder.path() / "content" / "pegsquare" / row.file, row.bytes);
        const Reply reply = bench.get(row.target);
        EXPECT_EQ(reply.status, row.status) << row.name;
        if (row.status != 200) {
            EXPECT_FALSE(reply.body.empty()) << row.name;
            // The operator's log must say why a published file was refused.
            EXPECT_EQ(reply.problem.empty(), row.status < 500) << row.name;
            continue;
        }
        std::string body = reply.body;
        if (reply.file) {
            EXPECT_EQ(reply.contentType, "application/octet-stream") << row.name;
            body.assign(reply.file->size(), '\0');
            EXPECT_EQ(reply.file->readAt(0, body.data(), body.size()), static_cast<long>(body.size())) << row.name;
        } else {
            // A text kept by a cache would outlive the next release, and a
            // stale signature makes the game refuse the new installer.
            EXPECT_EQ(reply.contentType, "text/plain; charset=utf-8") << row.name;
            EXPECT_EQ(reply.headers, (decltype(reply.headers){{"Cache-Control", "no-cache"}})) << row.name;
        }
        EXPECT_EQ(body, row.body) << row.name;
    }
}

TEST(serverRoutes, OtherPathsAndMethodsAreRefused)
{
    struct Row {
        const char *name;
        const char *method;
        const char *target;
        int status;
        bool stored;
    };
    const Row rows[] = {
        {"unknown path", "GET", "/counter/other.shtml", 404, false},
        {"posting path with a suffix", "GET", "/cgi-bin/pegsquare.cgi/x?name=A&date=1/1/26&score=5", 404, false},
        {"POST", "POST", "/cgi-bin/pegsquare.cgi?name=A&date=1/1/26&score=5", 405, false},
        {"DELETE", "DELETE", "/", 405, false},
        {"HEAD of a posting stores nothing", "HEAD", "/cgi-bin/pegsquare.cgi?name=A&date=1/1/26&score=5", 200, false},
        {"GET of a posting stores it", "GET", "/cgi-bin/pegsquare.cgi?name=A&date=1/1/26&score=5", 200, true},
    };
    for (const Row &row : rows) {
        RouteBench bench;
        const Reply reply = bench.get(row.target, row.method);
        EXPECT_EQ(reply.status, row.status) << row.name;
        EXPECT_FALSE(reply.body.empty()) << row.name;
        EXPECT_EQ(bench.all().size(), row.stored ? 1u : 0u) << row.name;
        if (row.status == 405) {
            EXPECT_EQ(reply.headers, (decltype(reply.headers){{"Allow", "GET, HEAD"}})) << row.name;
        }
    }
}

TEST(serverRoutes, HealthSaysWhetherTheDatabaseAnswers)
{
    struct Row {
        const char *name;
        const char *otherProgramRuns; // SQL run on the database by another connection first, or nullptr
        int status;
        std::string body;
    };
    const Row rows[] = {
        {"new database without scores", nullptr, 200, "ok\n"},
        {"scores table dropped", "DROP TABLE scores", 503, "The score database is not answering.\n"},
    };
    for (const Row &row : rows) {
        RouteBench bench;
        if (row.otherProgramRuns) {
            sqlite3 *other = nullptr;
            ASSERT_EQ(sqlite3_open((bench.folder.path() / "scores.db").c_str(), &other), SQLITE_OK) << row.name;
            const int ran = sqlite3_exec(other, row.otherProgramRuns, nullptr, nullptr, nullptr);
            sqlite3_close(other);
            ASSERT_EQ(ran, SQLITE_OK) << row.name;
        }
        for (const char *method : {"GET", "HEAD"}) {
            const Reply reply = bench.get("/healthz", method);
            EXPECT_EQ(reply.status, row.status) << row.name << ", " << method;
            EXPECT_EQ(reply.body, row.body) << row.name << ", " << method;
            // The operator's log must say what failed.
            EXPECT_EQ(reply.problem.empty(), row.status == 200) << row.name << ", " << method;
            // A cached "ok" would hide an outage from the monitor asking.
            EXPECT_EQ(reply.headers, (decltype(reply.headers){{"Cache-Control", "no-cache"}})) << row.name;
        }
    }
}

TEST(serverPages, TheListSaysHowManyScoresInProperEnglish)
{
    const struct {
        std::size_t count;
        const char *sentence;
    } rows[] = {
        {1, "The best score sent in by Pegsquare players."},
        {2, "The best 2 scores sent in by Pegsquare players."},
        {100, "The best 100 scores sent in by Pegsquare players."},
    };
    for (const auto &row : rows) {
        const std::vector<StoredScore> scores(row.count, StoredScore{"Ann", 50, "1/1/26", "", 1});
        const std::string page = scoreListPage(scores, "http://scores.example");
        EXPECT_NE(page.find(row.sentence), std::string::npos) << row.count;
    }
}

// Every tag and entity in a page, checked against what the game's viewer
// knows; every link a whole address, since the game hands links to the
// browser with no page address to resolve them against.
TEST(serverPages, UseOnlyWhatTheGamesViewerShows)
{
    constexpr std::string_view kSite = "http://scores.example:8080";
    const std::string tags = " html title body head b i h1 h2 h3 h4 h5 h6 em strong u cite var tt code kbd samp ol ul"
                             " dir menu dl a address blockquote pre center table td th caption form textarea select"
                             " option font sub sup big small p map frameset noframes script div s strike tr nobr li"
                             " br hr dd dt img base button input basefont area frame bgsound meta wbr ";
    const std::set<std::string> entities = {"amp", "lt", "gt", "quot", "nbsp", "times"};
    const std::vector<StoredScore> scores = {{"<i>&\"", 100, "1/1/26", "", 1}, {"Bo", 90, "2/1/26", "", 2}};
    const struct {
        const char *name;
        std::string page;
    } rows[] = {
        {"home", homePage(false, kSite)},
        {"home with installer", homePage(true, kSite)},
        {"lobby", lobbyPage(kSite)},
        {"list", scoreListPage(scores, kSite)},
        {"empty list", scoreListPage({}, kSite)},
        {"received", scoreReceivedPage({"<i>&\"", 5, "1/1/26"}, kSite)},
    };
    for (const auto &row : rows) {
        const std::string &page = row.page;
        EXPECT_NE(page.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"),
                  std::string::npos)
            << row.name;
        EXPECT_NE(page.find("bgcolor=\"#D2C584\""), std::string::npos) << row.name;
        EXPECT_EQ(page.find("style"), std::string::npos) << row.name;
        EXPECT_EQ(page.find("class="), std::string::npos) << row.name;
        for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
            std::size_t end = page.find_first_of(" >", at);
            std::string tag = page.substr(at + 1, end - at - 1);
            if (!tag.empty() && tag[0] == '/')
                tag.erase(0, 1);
            EXPECT_NE(tags.find(" " + tag + " "), std::string::npos) << row.name << ": <" << tag << ">";
        }
        int links = 0;
        for (std::size_t at = page.find("href=\""); at != std::string::npos; at = page.find("href=\"", at + 1)) {
            ++links;
            EXPECT_EQ(page.substr(at + 6, kSite.size() + 1), std::string(kSite) + "/") << row.name;
        }
        EXPECT_GE(links, 1) << row.name;
        for (std::size_t at = page.find('&'); at != std::string::npos; at = page.find('&', at + 1)) {
            const std::size_t end = page.find(';', at);
            ASSERT_NE(end, std::string::npos) << row.name;
            EXPECT_TRUE(entities.count(page.substr(at + 1, end - at - 1))) << row.name << ": " << page.substr(at, 8);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EachTable, ::testing::ValuesIn(kTableKinds),
                         [](const ::testing::TestParamInfo<std::string> &kind) { return kind.param; });

} // namespace
