#include "migration.h"
#include "tablebackend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The table as the server before client addresses made it, without the
// checks the table has now, so it can hold a score PostgreSQL refuses.
constexpr const char *kOldTable = "CREATE TABLE scores (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL,"
                                  " score INTEGER NOT NULL, played TEXT NOT NULL, received_at TEXT NOT NULL);"
                                  "PRAGMA user_version=1;";

std::string bytesOf(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The list as players see it, without the ids, which differ between the two.
std::vector<std::string> listed(ScoreTable &table, int perClient)
{
    std::vector<std::string> lines;
    for (const StoredScore &score : table.bestScores(20, perClient))
        lines.push_back(score.name + " " + std::to_string(score.score) + " " + score.date + " " + score.receivedAt);
    return lines;
}

// The SQLite source is only read, and the copy goes into the PostgreSQL
// database of the test, so the run for SQLite alone has nothing to do.
TEST_P(EachTable, SqliteScoresAreCopiedOnceInOrderOrNotAtAll)
{
    if (GetParam() == "sqlite")
        GTEST_SKIP() << "scores are copied into PostgreSQL only";
    struct Row {
        const char *name;
        bool madeByServer;        // the source's table made by SqliteScoreTable, else by `sql` alone
        std::string sql;          // run on the source, as an operator's sqlite3 would
        const char *refused = {}; // a part of the error; none: copied
        std::string addedBetween = {}; // run on the source between the two copies
        std::string fileText = {};     // the source's bytes instead, when not empty
        std::string from = {};         // --migrate-from, when not sqlite:PATH
        std::string into = {};         // --db, when not the test's database
    };
    const std::string current =
        "INSERT INTO scores (name, score, played, received_at, client) VALUES"
        " ('Ann', 500, '1/1/26', '2026-01-01T00:00:00.000001Z', '192.0.2.1'),"
        " ('Bob', 700, '1/2/26', '2026-01-01T00:00:00.000002Z', NULL),"
        " ('gone', 1, '1/2/26', '2026-01-01T00:00:00.000003Z', NULL),"
        " ('Cy \"Q\" \\', 500, '1/3/26', '2026-01-01T00:00:00.000003Z', '192.0.2.1'),"
        " ('NULL', 700, '1/4/26', '2026-01-02T10:00:00.500000Z', ''),"
        " ('Dee, {x}', 500, '1/5/26', '2026-01-02T10:00:00.500000Z', '192.0.2.1'),"
        " ('Émile', 900, '1/6/26', '2026-01-03T23:59:59.999999Z', '2001:db8::1');"
        "DELETE FROM scores WHERE name = 'gone';";
    const Row rows[] = {
        {"ties, with and without a client, and one posted between the copies", true, current, nullptr,
         "INSERT INTO scores (name, score, played, received_at, client) VALUES"
         " ('Late', 900, '1/7/26', '2026-01-04T00:00:00.000000Z', '192.0.2.1')"},
        {"a file from before client addresses were kept", false,
         std::string(kOldTable)
             + "INSERT INTO scores (name, score, played, received_at) VALUES"
               " ('Old1', 300, '1/1/20', '2020-01-01T00:00:00.000001Z'),"
               " ('Old2', 300, '1/1/20', '2020-01-01T00:00:00.000001Z'),"
               " ('Old3', 400, '1/2/20', '2020-01-02T00:00:00.000000Z');"},
        {"a score refused past the first thousand copied", false,
         std::string(kOldTable)
             + "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500)"
               " INSERT INTO scores (name, score, played, received_at)"
               "  SELECT 'p' || i, i, '1/1/26', '2026-01-01T00:00:00.000000Z' FROM n;"
               "INSERT INTO scores (name, score, played, received_at)"
               " VALUES ('Cheat', 100001, '1/1/26', '2026-01-01T00:00:00.000000Z');",
         "check constraint"},
        {"a newer server's file", false, std::string(kOldTable) + "PRAGMA user_version=2;", "newer"},
        {"a SQLite file of something else", false, "CREATE TABLE notes (text TEXT);", "not a score database"},
        {"a file that is not SQLite", false, "", "not a score database", "", "name,score\nAnn,500\n"},
        {"no such file", false, "", "no file", "", "", "sqlite:/nonexistent/pegsquare-scores.db"},
        {"the path without sqlite:", true, current, "sqlite:PATH", "", "", "SOURCE"},
        {"copied into a SQLite file", true, current, "PostgreSQL", "", "", "", "SOURCE"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TableBackend target(GetParam());
        TableBackend source("sqlite");
        const std::filesystem::path path = source.folder().path() / "scores.db";
        if (row.madeByServer)
            source.open();
        if (!row.sql.empty())
            source.run(row.sql);
        if (!row.fileText.empty())
            writeFile(path, row.fileText);
        const std::string from = row.from.empty() ? "sqlite:" + path.string()
                                 : row.from == "SOURCE" ? path.string()
                                                        : row.from;
        const std::string into = row.into.empty() ? target.uri() : row.into == "SOURCE" ? path.string() : row.into;

        if (row.refused) {
            try {
                migrateScores(from, into);
                ADD_FAILURE() << "copied";
            } catch (const std::exception &error) {
                EXPECT_NE(std::string(error.what()).find(row.refused), std::string::npos) << error.what();
            }
            target.open();
            EXPECT_EQ(target.run("SELECT count(*) FROM scores"), (std::vector<std::vector<std::string>>{{"0"}}));
            continue;
        }

        const std::string before = bytesOf(path);
        const MigrationCount first = migrateScores(from, into);
        EXPECT_EQ(bytesOf(path), before) << "the source was written to";
        if (!row.addedBetween.empty())
            source.run(row.addedBetween);
        // Again, from a copy of the file elsewhere, as when it is taken to
        // the database's host: what was copied is known by the scores
        // themselves, not by where the file was.
        TempFolder elsewhere;
        std::filesystem::copy_file(path, elsewhere.path() / "moved.db");
        const MigrationCount second = migrateScores("sqlite:" + (elsewhere.path() / "moved.db").string(), into);

        const auto count = [](const std::vector<std::vector<std::string>> &answer) {
            return std::stoll(answer.at(0).at(0));
        };
        const long long all = count(source.run("SELECT count(*) FROM scores"));
        const long long added = row.addedBetween.empty() ? 0 : 1;
        EXPECT_EQ(first.copied, all - added);
        EXPECT_EQ(first.alreadyThere, 0);
        EXPECT_EQ(second.copied, added);
        EXPECT_EQ(second.alreadyThere, all - added);

        // Every score once, in the source's order, as it was; the list
        // the same as the old server's.
        const std::unique_ptr<ScoreTable> old = source.open(); // adds the client column to an old file
        EXPECT_EQ(target.run("SELECT name, score, played,"
                             " to_char(received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"'), client"
                             " FROM scores ORDER BY id"),
                  source.run("SELECT name, score, played, received_at, client FROM scores ORDER BY id"));
        const std::unique_ptr<ScoreTable> copied = target.open();
        for (const int perClient : {0, 1})
            EXPECT_EQ(listed(*copied, perClient), listed(*old, perClient)) << "at most " << perClient << " a client";
    }
}

} // namespace
