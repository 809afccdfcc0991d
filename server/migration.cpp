#include "migration.h"

#include "options.h"
#include "pgpool.h"
#include "pgscoretable.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

constexpr std::string_view kSourcePrefix = "sqlite:";

// The newest SQLite table this server reads, as SqliteScoreTable writes it
// (its kSchemaVersion): a file from a newer server may hold scores in a way
// this one would copy wrongly, so it is refused.
constexpr int kSqliteSchemaVersion = 1;

// Rows sent to PostgreSQL in one statement: few round trips to a database
// across the network, while a statement's arrays stay small.
constexpr std::size_t kChunkRows = 1000;

// Held for the copy's transaction, so that two copies into one database at
// once take turns, and the second sees what the first copied.
constexpr const char *kMigrationLock = "SELECT pg_advisory_xact_lock(7370716175617266)";

// What was copied, one row per score of a SQLite database, so that a score
// is copied once however often the copy runs.
//
// A score is recognised by its id in the source together with its receipt
// time there, not by the file's path: the path is no name for a database
// (a relative path, a link, or the file taken to the database's host for
// the copy all name the same scores differently), while a row keeps its id
// and time wherever the file goes. The time tells apart the rows that
// share an id: those of another server's database, or of one restored from
// a backup and written on since. A score edited in the source after it was
// copied is not copied again. `source` and `score_id` only tell the
// operator where each copy came from and which row it became. Scores
// deleted from the PostgreSQL table stay recorded here, so they do not come
// back with the next run.
constexpr const char *kCopiedTable = "CREATE TABLE IF NOT EXISTS migrated_scores ("
                                     " source_id bigint NOT NULL,"
                                     " source_received_at text NOT NULL,"
                                     " source text NOT NULL,"
                                     " score_id bigint NOT NULL,"
                                     " PRIMARY KEY (source_id, source_received_at))";

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// One score as the source holds it; every value as text, as PostgreSQL
// reads its parameters.
struct SourceRow {
    std::int64_t id = 0;
    std::optional<std::string> name, score, played, receivedAt, client;
};

// The SQLite database copied from, opened read-only and read in one
// transaction, so the rows copied are those of one moment even while a
// server still writes to it.
class Source {
public:
    explicit Source(const std::string &path) : m_path(path)
    {
        std::error_code error;
        const auto status = std::filesystem::status(path, error);
        if (status.type() == std::filesystem::file_type::not_found)
            throw std::runtime_error("There is no file " + path + ".");
        if (error)
            throw std::runtime_error("Cannot read " + path + ": " + error.message() + ".");
        if (!std::filesystem::is_regular_file(status))
            throw std::runtime_error(path + " is not a file.");
        // An absolute path, so a name beginning "file:" is never taken for
        // a URI with options of its own.
        const std::string absolute = std::filesystem::absolute(path).string();
        sqlite3 *raw = nullptr;
        const int opened = sqlite3_open_v2(absolute.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        m_db.reset(raw);
        if (opened != SQLITE_OK)
            fail("open", opened);
        // A server still writing holds the file only for moments.
        sqlite3_busy_timeout(m_db.get(), 5000);

        run("BEGIN");
        Statement version = prepare("PRAGMA user_version");
        if (const int stepped = sqlite3_step(version.get()); stepped != SQLITE_ROW)
            fail("read", stepped);
        const int found = sqlite3_column_int(version.get(), 0);
        if (found > kSqliteSchemaVersion)
            throw StoreError(path + " was made by a newer pegsquare-server (schema " + std::to_string(found) + ").");

        std::set<std::string> columns;
        Statement info = prepare("PRAGMA table_info(scores)");
        int stepped;
        while ((stepped = sqlite3_step(info.get())) == SQLITE_ROW)
            columns.insert(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1)));
        if (stepped != SQLITE_DONE)
            fail("read", stepped);
        if (columns.empty())
            throw StoreError(path + " is not a score database: it has no scores table.");
        for (const char *needed : {"id", "name", "score", "played", "received_at"}) {
            if (!columns.contains(needed))
                throw StoreError(path + " is not a score database: its scores table has no " + needed + " column.");
        }
        // Files from before client addresses were kept have no client
        // column: their scores have none, as the server reads them.
        m_rows = prepare(columns.contains("client")
                             ? "SELECT id, name, score, played, received_at, client FROM scores ORDER BY id"
                             : "SELECT id, name, score, played, received_at, NULL FROM scores ORDER BY id");
    }

    // Up to `count` more rows in the order of their ids; none at the end.
    std::vector<SourceRow> next(std::size_t count)
    {
        std::vector<SourceRow> rows;
        while (rows.size() < count && !m_done) {
            const int stepped = sqlite3_step(m_rows.get());
            if (stepped == SQLITE_DONE) {
                m_done = true;
                break;
            }
            if (stepped != SQLITE_ROW)
                fail("read the scores of", stepped);
            SourceRow &row = rows.emplace_back();
            row.id = sqlite3_column_int64(m_rows.get(), 0);
            row.name = text(1, row.id);
            row.score = text(2, row.id);
            row.played = text(3, row.id);
            row.receivedAt = text(4, row.id);
            row.client = text(5, row.id);
        }
        return rows;
    }

private:
    std::optional<std::string> text(int column, std::int64_t id) const
    {
        sqlite3_stmt *statement = m_rows.get();
        if (sqlite3_column_type(statement, column) == SQLITE_NULL)
            return std::nullopt;
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        std::string value(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
        // PostgreSQL text cannot hold one, and a parameter would end there.
        if (value.find('\0') != std::string::npos)
            throw StoreError("The score with id " + std::to_string(id) + " in " + m_path
                             + " holds a NUL character, which PostgreSQL cannot store.");
        return value;
    }

    void run(const char *sql)
    {
        Statement statement = prepare(sql);
        if (const int stepped = sqlite3_step(statement.get()); stepped != SQLITE_DONE && stepped != SQLITE_ROW)
            fail("read", stepped);
    }

    Statement prepare(const char *sql)
    {
        sqlite3_stmt *raw = nullptr;
        const int prepared = sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr);
        Statement statement(raw);
        if (prepared != SQLITE_OK)
            fail("read", prepared);
        return statement;
    }

    [[noreturn]] void fail(const std::string &doing, int code) const
    {
        const std::string why = m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(code);
        if ((code & 0xFF) == SQLITE_NOTADB)
            throw StoreError(m_path + " is not a score database: " + why + ".");
        throw StoreError("Cannot " + doing + " " + m_path + ": " + why + ".");
    }

    std::string m_path;
    Db m_db;
    Statement m_rows;
    bool m_done = false;
};

template <typename Field>
std::string column(const std::vector<const SourceRow *> &rows, Field field)
{
    std::vector<std::optional<std::string>> values;
    values.reserve(rows.size());
    for (const SourceRow *row : rows)
        values.push_back(field(*row));
    return pgTextArray(values);
}

bool isDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a receipt time is written as the server writes it, date first as
// YYYY-MM-DD: PostgreSQL would read a date such as 01/02/2026 by its
// DateStyle, month or day first, and so perhaps wrongly.
bool isIsoTime(const std::optional<std::string> &text)
{
    if (!text)
        return true; // refused as missing by the table itself
    const std::string_view time = *text;
    return time.size() >= 10 && isDigits(time.substr(0, 4)) && time[4] == '-' && isDigits(time.substr(5, 2))
        && time[7] == '-' && isDigits(time.substr(8, 2));
}

std::string value(pg_result *result, int row, int field)
{
    return std::string(PQgetvalue(result, row, field), static_cast<std::size_t>(PQgetlength(result, row, field)));
}

// Copies `rows` (in the order of their ids) that are not recorded as
// copied, in the caller's transaction; returns how many it copied.
std::int64_t copyChunk(pg_conn *connection, const std::vector<SourceRow> &rows, const std::string &sourceName)
{
    std::vector<const SourceRow *> all;
    for (const SourceRow &row : rows)
        all.push_back(&row);
    const auto idOf = [](const SourceRow &row) { return std::optional<std::string>(std::to_string(row.id)); };
    const auto receivedOf = [](const SourceRow &row) { return row.receivedAt; };

    const std::string ids = column(all, idOf), received = column(all, receivedOf);
    const PgResult known = pgRun(connection,
                                 "SELECT c.source_id FROM unnest($1::bigint[], $2::text[]) AS c (source_id, received_at)"
                                 " JOIN migrated_scores m ON m.source_id = c.source_id"
                                 "  AND m.source_received_at = c.received_at",
                                 {ids.c_str(), received.c_str()});
    std::unordered_set<std::int64_t> copiedBefore;
    for (int row = 0; row < PQntuples(known.get()); ++row)
        copiedBefore.insert(std::stoll(value(known.get(), row, 0)));

    std::vector<const SourceRow *> fresh;
    for (const SourceRow &row : rows) {
        if (copiedBefore.contains(row.id))
            continue;
        if (!isIsoTime(row.receivedAt))
            throw StoreError("The score with id " + std::to_string(row.id) + " in " + sourceName
                             + " has a receipt time not written as YYYY-MM-DD…: \"" + *row.receivedAt + "\".");
        fresh.push_back(&row);
    }
    if (fresh.empty())
        return 0;

    // The ids are drawn from the table's own sequence and handed out in
    // the source's order, so the copies order their ties as the source
    // did, whatever else writes to the table meanwhile.
    const std::string count = std::to_string(fresh.size());
    const PgResult drawn = pgRun(connection,
                                 "SELECT nextval(pg_get_serial_sequence('scores', 'id')) FROM generate_series(1, $1::integer)",
                                 {count.c_str()});
    std::vector<std::int64_t> newIds;
    for (int row = 0; row < PQntuples(drawn.get()); ++row)
        newIds.push_back(std::stoll(value(drawn.get(), row, 0)));
    if (newIds.size() != fresh.size())
        throw StoreError("Could not copy scores: the database gave " + std::to_string(newIds.size()) + " ids for "
                         + count + " scores.");
    std::sort(newIds.begin(), newIds.end());
    std::vector<std::optional<std::string>> newIdTexts;
    for (const std::int64_t id : newIds)
        newIdTexts.emplace_back(std::to_string(id));
    const std::string newIdArray = pgTextArray(newIdTexts);

    const std::string names = column(fresh, [](const SourceRow &row) { return row.name; });
    const std::string scores = column(fresh, [](const SourceRow &row) { return row.score; });
    const std::string played = column(fresh, [](const SourceRow &row) { return row.played; });
    const std::string times = column(fresh, receivedOf);
    const std::string clients = column(fresh, [](const SourceRow &row) { return row.client; });
    const std::string sourceIds = column(fresh, idOf);
    pgRun(connection,
          "INSERT INTO scores (id, name, score, played, received_at, client)"
          " SELECT * FROM unnest($1::bigint[], $2::text[], $3::integer[], $4::text[], $5::timestamptz[], $6::text[])"
          "  AS copied (id, name, score, played, received_at, client) ORDER BY id",
          {newIdArray.c_str(), names.c_str(), scores.c_str(), played.c_str(), times.c_str(), clients.c_str()});
    pgRun(connection,
          "INSERT INTO migrated_scores (source_id, source_received_at, source, score_id)"
          " SELECT source_id, received_at, $4, score_id FROM unnest($1::bigint[], $2::text[], $3::bigint[])"
          "  AS copied (source_id, received_at, score_id)",
          {sourceIds.c_str(), times.c_str(), newIdArray.c_str(), sourceName.c_str()});
    return static_cast<std::int64_t>(fresh.size());
}

} // namespace

std::string sqliteSourcePath(const std::string &source)
{
    return source.starts_with(kSourcePrefix) ? source.substr(kSourcePrefix.size()) : std::string();
}

MigrationCount migrateScores(const std::string &source, const std::string &target)
{
    const std::string path = sqliteSourcePath(source);
    if (path.empty())
        throw std::runtime_error("The scores to copy must be named as sqlite:PATH, not \"" + source + "\".");
    if (!isPostgresUri(target))
        throw std::runtime_error("The database to copy into must be a PostgreSQL one (postgresql://…), not \""
                                 + target + "\".");

    // The source first: when it cannot be copied, the target is not touched.
    Source rows(path);
    {
        // Makes the tables as the server does, or refuses a database made
        // by a newer server.
        const PgScoreTable made(target, 1);
    }
    PgPool pool(target, 1, [](pg_conn *connection) {
        // Reported as copied only once it is on disk.
        pgRun(connection, "SET synchronous_commit TO on");
    });
    PgPool::Lease lease = pool.take();
    pg_conn *connection = lease.get();

    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    const std::string sourceName = absolute.empty() ? path : absolute.string();

    MigrationCount count;
    pgRun(connection, "BEGIN");
    try {
        // The server writes its receipt times in UTC; one without a zone
        // is read so too.
        pgRun(connection, "SET LOCAL TimeZone TO 'UTC'");
        pgRun(connection, kMigrationLock);
        pgRun(connection, kCopiedTable);
        for (;;) {
            const std::vector<SourceRow> chunk = rows.next(kChunkRows);
            if (chunk.empty())
                break;
            const std::int64_t copied = copyChunk(connection, chunk, sourceName);
            count.copied += copied;
            count.alreadyThere += static_cast<std::int64_t>(chunk.size()) - copied;
        }
        pgRun(connection, "COMMIT");
    } catch (...) {
        if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE)
            PQclear(PQexec(connection, "ROLLBACK"));
        throw;
    }
    return count;
}
