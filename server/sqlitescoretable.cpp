#include "sqlitescoretable.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

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
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
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

    Statement version = prepare("PRAGMA user_version");
    if (sqlite3_step(version.get()) != SQLITE_ROW)
        fail("read the schema version of " + path, sqlite3_errcode(m_db.get()));
    const int found = sqlite3_column_int(version.get(), 0);
    version.reset();
    if (found > kSchemaVersion)
        throw StoreError("The score database " + path + " was made by a newer pegsquare-server (schema "
                         + std::to_string(found) + ").");

    execute("BEGIN IMMEDIATE");
    execute("CREATE TABLE IF NOT EXISTS scores ("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " name TEXT NOT NULL CHECK (length(name) BETWEEN 1 AND 32),"
            " score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 100000),"
            " played TEXT NOT NULL,"
            " received_at TEXT NOT NULL)");
    execute("CREATE INDEX IF NOT EXISTS scores_by_rank ON scores (score DESC, id ASC)");
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
    m_insert = prepare("INSERT INTO scores (name, score, played, received_at) VALUES (?1, ?2, ?3, ?4)");
    m_best = prepare("SELECT name, score, played, received_at, id FROM scores"
                     " ORDER BY score DESC, id ASC LIMIT ?1");
    m_probe = prepare("SELECT 1 FROM scores LIMIT 1");
}

SqliteScoreTable::~SqliteScoreTable() = default;

StoredScore SqliteScoreTable::addScore(const NewScore &score)
{
    Pending mine;
    mine.score = &score;
    std::unique_lock lock(m_queueMutex);
    m_queue.push_back(&mine);
    while (!mine.done) {
        if (m_writing) {
            m_batchDone.wait(lock);
            continue;
        }
        // Nobody is writing: this caller writes everything queued so far,
        // its own posting among it, while later ones queue for the next.
        m_writing = true;
        const std::size_t count = std::min(m_queue.size(), kMaxBatch);
        const std::vector<Pending *> batch(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(count));
        m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(count));
        lock.unlock();
        writeBatch(batch);
        lock.lock();
        for (Pending *pending : batch)
            pending->done = true;
        m_writing = false;
        m_batchDone.notify_all();
    }
    lock.unlock();
    if (mine.error)
        std::rethrow_exception(mine.error);
    return std::move(mine.stored);
}

std::size_t SqliteScoreTable::queued() const
{
    std::lock_guard lock(m_queueMutex);
    return m_queue.size();
}

void SqliteScoreTable::setBeforeCommit(std::function<void(std::size_t)> hook)
{
    std::lock_guard lock(m_mutex);
    m_beforeCommit = std::move(hook);
}

// Never throws: every posting of the batch leaves with its stored row or
// its error.
void SqliteScoreTable::writeBatch(const std::vector<Pending *> &batch)
{
    std::lock_guard lock(m_mutex);
    auto failAll = [&](const StoreError &error) {
        for (Pending *pending : batch)
            pending->error = std::make_exception_ptr(error);
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
        for (Pending *pending : batch) {
            ResetOnExit reset{insert};
            // The time is taken under the lock, so receive times rise with
            // the sequence numbers that order ties.
            const NewScore &score = *pending->score;
            StoredScore stored{score.name, score.score, score.date, utcNowText(), 0};
            sqlite3_bind_text(insert, 1, stored.name.data(), static_cast<int>(stored.name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, stored.score);
            sqlite3_bind_text(insert, 3, stored.date.data(), static_cast<int>(stored.date.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, stored.receivedAt.data(), static_cast<int>(stored.receivedAt.size()),
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
                pending->error = std::make_exception_ptr(error);
                continue;
            }
            stored.sequence = sqlite3_last_insert_rowid(m_db.get());
            pending->stored = std::move(stored);
        }
        if (m_beforeCommit)
            m_beforeCommit(batch.size());
        if (const int committed = stepOnce(m_commit.get()); committed != SQLITE_DONE) {
            const StoreError error = errorFor("store scores", committed);
            if (!sqlite3_get_autocommit(m_db.get()))
                stepOnce(m_rollback.get());
            failAll(error);
        }
    } catch (...) {
        // Only allocation can fail in here; nothing of the batch is kept.
        if (!sqlite3_get_autocommit(m_db.get()))
            stepOnce(m_rollback.get());
        failAll(StoreError("Could not store scores: out of memory"));
    }
}

std::vector<StoredScore> SqliteScoreTable::bestScores(int count)
{
    std::vector<StoredScore> scores;
    if (count <= 0)
        return scores;
    std::lock_guard lock(m_mutex);
    sqlite3_stmt *best = m_best.get();
    ResetOnExit reset{best};
    sqlite3_bind_int(best, 1, count);
    int stepped;
    while ((stepped = sqlite3_step(best)) == SQLITE_ROW) {
        scores.push_back({columnText(best, 0), sqlite3_column_int(best, 1), columnText(best, 2),
                          columnText(best, 3), sqlite3_column_int64(best, 4)});
    }
    if (stepped != SQLITE_DONE)
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
