#include "sqlitescoretable.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <set>
#include <unordered_map>

namespace {

constexpr int kBusyTimeoutMs = 5000;
// The client column and the places came without a step of the version: a
// server from before them still works on the table, its rows having no
// client and so place 1 by the column's default, so it may still open it
// should the operator go back to it.
constexpr int kSchemaVersion = 1;

const std::string kKept = std::to_string(SqliteScoreTable::kPlacesKept);

// The id of the client `who`'s score at `offset` (0: its best), best first
// and ties by earlier receipt; read from scores_by_client alone.
std::string clientRowAt(const std::string &who, const std::string &offset)
{
    return "(SELECT id FROM scores WHERE client = " + who + " ORDER BY score DESC, id ASC LIMIT 1 OFFSET " + offset
        + ")";
}

// Marks exactly the best kPlacesKept scores of the client `who` as placed,
// however its rows stand now; for the rare change of a score or a client.
std::string placeClientRows(const std::string &who)
{
    const std::string best = "(SELECT id FROM scores WHERE client = " + who + " ORDER BY score DESC, id ASC LIMIT "
        + kKept + ")";
    return "UPDATE scores SET place = NULL WHERE client = " + who + " AND " + who
        + " <> '' AND place IS NOT NULL AND id NOT IN " + best + ";"
        + " UPDATE scores SET place = 1 WHERE client = " + who + " AND " + who
        + " <> '' AND place IS NULL AND id IN " + best + ";";
}

// The receive time in UTC with microseconds, so the stored text alone
// already tells two close postings apart.
std::string utcNowText()
{
    using namespace std::chrono;
    const auto now = time_point_cast<microseconds>(system_clock::now());
    const std::time_t whole = system_clock::to_time_t(now);
    const long micros = static_cast<long>((now.time_since_epoch() % seconds(1)).count());
    std::tm parts{};
    gmtime_r(&whole, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  micros < 0 ? micros + 1000000 : micros);
    return text;
}

std::string columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    const int bytes = sqlite3_column_bytes(statement, column);
    return text ? std::string(text, static_cast<std::size_t>(bytes)) : std::string();
}

// Resets a statement however the scope is left, so its read lock or
// half-done step never outlives the call.
struct ResetOnExit {
    sqlite3_stmt *statement;
    ~ResetOnExit()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

} // namespace

void SqliteScoreTable::DbCloser::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

void SqliteScoreTable::StatementFinalizer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

SqliteScoreTable::SqliteScoreTable(const std::string &path, std::uint64_t maxBytes)
{
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                       nullptr);
    m_db.reset(raw); // closed even when opening failed half-way
    if (opened != SQLITE_OK)
        fail("open the score database " + path, opened);
    sqlite3_extended_result_codes(m_db.get(), 1);
    sqlite3_busy_timeout(m_db.get(), kBusyTimeoutMs);

    execute("PRAGMA journal_mode=WAL");
    // A posting is only answered once it is on disk; postings that arrive
    // together share the sync (see addScore).
    execute("PRAGMA synchronous=FULL");
    // The triggers' statement journals and small sorts stay in memory: in
    // temporary files they made a posting several times slower.
    execute("PRAGMA temp_store=MEMORY");

    Statement version = prepare("PRAGMA user_version");
    if (sqlite3_step(version.get()) != SQLITE_ROW)
        fail("read the schema version of " + path, sqlite3_errcode(m_db.get()));
    const int found = sqlite3_column_int(version.get(), 0);
    version.reset();
    if (found > kSchemaVersion)
        throw StoreError("The score database " + path + " was made by a newer pegsquare-server (schema "
                         + std::to_string(found) + ").");

    execute("BEGIN IMMEDIATE");
    upgradeSchema();
    execute(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    execute("COMMIT");

    if (maxBytes > 0) {
        Statement pageSize = prepare("PRAGMA page_size");
        if (sqlite3_step(pageSize.get()) != SQLITE_ROW)
            fail("read the page size of " + path, sqlite3_errcode(m_db.get()));
        const auto bytesPerPage = std::uint64_t(std::max(1, sqlite3_column_int(pageSize.get(), 0)));
        pageSize.reset();
        // SQLite itself then refuses to grow the file, with SQLITE_FULL.
        execute(("PRAGMA max_page_count=" + std::to_string(std::max<std::uint64_t>(1, maxBytes / bytesPerPage)))
                    .c_str());
    }
    m_begin = prepare("BEGIN IMMEDIATE");
    m_commit = prepare("COMMIT");
    m_rollback = prepare("ROLLBACK");
    m_insert = prepare("INSERT INTO scores (name, score, played, received_at, client) VALUES (?1, ?2, ?3, ?4, ?5)");
    m_best = prepare("SELECT name, score, played, received_at, id FROM scores"
                     " ORDER BY score DESC, id ASC LIMIT ?1");
    // Walks scores_listed, which holds only placed rows, so a client's
    // scores past its best kPlacesKept cost nothing here; the cap itself
    // is counted as the rows come.
    m_bestPlaced = prepare("SELECT name, score, played, received_at, id, client FROM scores"
                           " WHERE place IS NOT NULL ORDER BY score DESC, id ASC");
    m_bestCounted = prepare("SELECT name, score, played, received_at, id FROM ("
                            " SELECT name, score, played, received_at, id, ROW_NUMBER() OVER ("
                            "  PARTITION BY CASE WHEN client <> '' THEN client ELSE id END"
                            "  ORDER BY score DESC, id ASC) AS n FROM scores)"
                            " WHERE n <= ?2 ORDER BY score DESC, id ASC LIMIT ?1");
    m_probe = prepare("SELECT 1 FROM scores LIMIT 1");
    m_postings = std::make_unique<PostingQueue>(kMaxBatch, [this](std::vector<Pending> &batch) { writeBatch(batch); });
}

SqliteScoreTable::~SqliteScoreTable()
{
    // Written before the database closes.
    m_postings.reset();
}

// Brings a new or older database to this server's table, in the caller's
// transaction; nothing is rewritten and no row is lost.
void SqliteScoreTable::upgradeSchema()
{
    execute("CREATE TABLE IF NOT EXISTS scores ("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " name TEXT NOT NULL CHECK (length(name) BETWEEN 1 AND 32),"
            " score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 100000),"
            " played TEXT NOT NULL,"
            " received_at TEXT NOT NULL,"
            " client TEXT,"
            " place INTEGER DEFAULT 1)");

    std::set<std::string> columns;
    {
        Statement info = prepare("PRAGMA table_info(scores)");
        int stepped;
        while ((stepped = sqlite3_step(info.get())) == SQLITE_ROW)
            columns.insert(columnText(info.get(), 1));
        if (stepped != SQLITE_DONE)
            fail("read the columns of the score table", stepped);
    }
    // A table from before addresses were kept: its rows have no client, so
    // each is a client of its own with place 1, which the default gives
    // them without a row being written.
    if (!columns.contains("client"))
        execute("ALTER TABLE scores ADD COLUMN client TEXT");
    if (!columns.contains("place"))
        execute("ALTER TABLE scores ADD COLUMN place INTEGER DEFAULT 1");

    execute("CREATE INDEX IF NOT EXISTS scores_by_rank ON scores (score DESC, id ASC)");
    execute("CREATE INDEX IF NOT EXISTS scores_listed ON scores (score DESC, id ASC) WHERE place IS NOT NULL");
    execute("CREATE INDEX IF NOT EXISTS scores_by_client ON scores (client, score DESC, id ASC)"
            " WHERE client IS NOT NULL");

    // A row has a place (1) while it is among its client's best
    // kPlacesKept scores, or has no client; otherwise none (NULL). The
    // triggers keep that true for every insert, delete or change, reading
    // at most kPlacesKept + 1 entries of scores_by_client and writing at
    // most two rows for an insert or a delete. Earlier triggers kept each
    // row's rank instead, which had a posting rewrite up to a hundred rows;
    // a rank is a place just as 1 is, so the rows need no change.
    execute("DROP TRIGGER IF EXISTS scores_place_added");
    execute("DROP TRIGGER IF EXISTS scores_place_deleted");
    execute("DROP TRIGGER IF EXISTS scores_place_changed");
    // A new row comes with place 1. It has none when kPlacesKept better
    // scores of its client are placed; if it has one, the client's score
    // it pushed past the bound loses its place.
    execute("CREATE TRIGGER IF NOT EXISTS scores_placed_added AFTER INSERT ON scores WHEN NEW.client <> '' BEGIN"
            " UPDATE scores SET place = NULL WHERE id = NEW.id AND (SELECT count(*) FROM (SELECT 1 FROM scores"
            "  WHERE client = NEW.client AND (score > NEW.score OR (score = NEW.score AND id < NEW.id)) LIMIT "
            + kKept + ")) >= " + kKept + ";"
            " UPDATE scores SET place = NULL WHERE id = " + clientRowAt("NEW.client", kKept)
            + " AND place IS NOT NULL; END");
    // A placed row gone: the client's next best takes the place it left.
    execute("CREATE TRIGGER IF NOT EXISTS scores_placed_deleted AFTER DELETE ON scores"
            " WHEN OLD.client <> '' AND OLD.place IS NOT NULL BEGIN"
            " UPDATE scores SET place = 1 WHERE id = " + clientRowAt("OLD.client", std::to_string(kPlacesKept - 1))
            + " AND place IS NULL; END");
    execute("CREATE TRIGGER IF NOT EXISTS scores_placed_changed AFTER UPDATE OF score, client ON scores BEGIN"
            " UPDATE scores SET place = CASE WHEN NEW.client <> '' THEN NULL ELSE 1 END WHERE id = NEW.id; "
            + placeClientRows("OLD.client") + " " + placeClientRows("NEW.client") + " END");
}

void SqliteScoreTable::addScoreLater(NewScore score, ScoreStored done)
{
    m_postings->add(std::move(score), std::move(done));
}

std::size_t SqliteScoreTable::queued() const
{
    return m_postings->queued();
}

void SqliteScoreTable::setBeforeCommit(std::function<void(std::size_t)> hook)
{
    std::lock_guard lock(m_mutex);
    m_beforeCommit = std::move(hook);
}

void SqliteScoreTable::setBatchObserver(std::function<void(std::size_t)> observer)
{
    std::lock_guard lock(m_mutex);
    m_batchObserver = std::move(observer);
}

// Never throws: every posting of the batch leaves with its stored row or
// its error.
void SqliteScoreTable::writeBatch(std::vector<Pending> &batch)
{
    std::lock_guard lock(m_mutex);
    auto failAll = [&](const StoreError &error) {
        for (Pending &pending : batch)
            pending.error = std::make_exception_ptr(error);
    };
    auto stepOnce = [](sqlite3_stmt *statement) {
        ResetOnExit reset{statement};
        return sqlite3_step(statement);
    };
    try {
        if (const int begun = stepOnce(m_begin.get()); begun != SQLITE_DONE) {
            failAll(errorFor("start storing scores", begun));
            return;
        }
        sqlite3_stmt *insert = m_insert.get();
        for (Pending &pending : batch) {
            ResetOnExit reset{insert};
            // The time is taken under the lock, so receive times rise with
            // the sequence numbers that order ties.
            const NewScore &score = pending.score;
            StoredScore stored{score.name, score.score, score.date, utcNowText(), 0};
            sqlite3_bind_text(insert, 1, stored.name.data(), static_cast<int>(stored.name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, stored.score);
            sqlite3_bind_text(insert, 3, stored.date.data(), static_cast<int>(stored.date.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, stored.receivedAt.data(), static_cast<int>(stored.receivedAt.size()),
                              SQLITE_TRANSIENT);
            if (score.client.empty())
                sqlite3_bind_null(insert, 5);
            else
                sqlite3_bind_text(insert, 5, score.client.data(), static_cast<int>(score.client.size()),
                                  SQLITE_TRANSIENT);
            const int stepped = sqlite3_step(insert);
            if (stepped != SQLITE_DONE) {
                const StoreError error = errorFor("store a score", stepped);
                // Some failures (a full disk, an I/O error) take the whole
                // transaction with them: then no row of the batch is stored.
                if (sqlite3_get_autocommit(m_db.get())) {
                    failAll(error);
                    return;
                }
                pending.error = std::make_exception_ptr(error);
                continue;
            }
            stored.sequence = sqlite3_last_insert_rowid(m_db.get());
            pending.stored = std::move(stored);
        }
        if (m_beforeCommit)
            m_beforeCommit(batch.size());
        if (const int committed = stepOnce(m_commit.get()); committed != SQLITE_DONE) {
            const StoreError error = errorFor("store scores", committed);
            if (!sqlite3_get_autocommit(m_db.get()))
                stepOnce(m_rollback.get());
            failAll(error);
        } else if (m_batchObserver) {
            m_batchObserver(batch.size());
        }
    } catch (...) {
        // Only allocation can fail in here; nothing of the batch is kept.
        if (!sqlite3_get_autocommit(m_db.get()))
            stepOnce(m_rollback.get());
        failAll(StoreError("Could not store scores: out of memory"));
    }
}

std::vector<StoredScore> SqliteScoreTable::bestScores(int count, int perClient)
{
    std::vector<StoredScore> scores;
    if (count <= 0)
        return scores;
    // No client can hold more than `count` of `count` entries, so such a cap
    // is no cap at all.
    const bool capped = perClient > 0 && perClient < count;
    std::lock_guard lock(m_mutex);
    sqlite3_stmt *best = !capped                    ? m_best.get()
                         : perClient <= kPlacesKept ? m_bestPlaced.get()
                                                    : m_bestCounted.get();
    const bool placed = best == m_bestPlaced.get();
    ResetOnExit reset{best};
    if (!placed) {
        sqlite3_bind_int(best, 1, count);
        if (capped)
            sqlite3_bind_int(best, 2, perClient);
    }
    std::unordered_map<std::string, int> held; // listed so far, by client
    int stepped = SQLITE_DONE;
    while (int(scores.size()) < count && (stepped = sqlite3_step(best)) == SQLITE_ROW) {
        if (placed) {
            // A score without an address counts as a client of its own.
            const std::string client = columnText(best, 5);
            if (!client.empty() && held[client]++ >= perClient)
                continue;
        }
        scores.push_back({columnText(best, 0), sqlite3_column_int(best, 1), columnText(best, 2),
                          columnText(best, 3), sqlite3_column_int64(best, 4)});
    }
    if (int(scores.size()) < count && stepped != SQLITE_DONE)
        fail("read the best scores", stepped);
    return scores;
}

void SqliteScoreTable::probe()
{
    std::lock_guard lock(m_mutex);
    sqlite3_stmt *probe = m_probe.get();
    ResetOnExit reset{probe};
    // No row is as good an answer as one: a new server has no scores yet.
    const int stepped = sqlite3_step(probe);
    if (stepped != SQLITE_ROW && stepped != SQLITE_DONE)
        fail("read the score table", stepped);
}

void SqliteScoreTable::execute(const char *sql)
{
    Statement statement = prepare(sql);
    int stepped;
    while ((stepped = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (stepped != SQLITE_DONE)
        fail(std::string("run \"") + sql + "\"", stepped);
}

SqliteScoreTable::Statement SqliteScoreTable::prepare(const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    const int prepared = sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (prepared != SQLITE_OK)
        fail(std::string("prepare \"") + sql + "\"", prepared);
    return statement;
}

StoreError SqliteScoreTable::errorFor(const std::string &doing, int code) const
{
    const int primary = code & 0xFF;
    // A full disk (or the size limit reached) is no fault of the request and
    // may pass: the caller should try again later, as when the database is busy.
    const bool busy = primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_FULL;
    std::string message = "Could not " + doing + ": ";
    message += m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(code);
    return StoreError(message, busy);
}

void SqliteScoreTable::fail(const std::string &doing, int code) const
{
    throw errorFor(doing, code);
}
