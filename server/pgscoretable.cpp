#include "pgscoretable.h"

#include <libpq-fe.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace {

const std::string kKept = std::to_string(kPlacesKept);

// The receive time as the SQLite table keeps it: UTC, ISO 8601, microseconds.
constexpr const char *kReceivedText = "to_char(received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"')";

// Held while the tables are looked at or made, so that several servers
// starting at once against a new database make them once.
constexpr const char *kSchemaLock = "SELECT pg_advisory_xact_lock(7370716175617265)";

// The place triggers, as in the SQLite table: a row has a place (1) while it
// is among its client's best kPlacesKept, or has no client. Each takes a
// lock on the client, so that two processes posting for one client at once
// still leave it right.
const std::string kPlaceFunctions =
    "CREATE FUNCTION pegsquare_place_client(who text) RETURNS void LANGUAGE plpgsql AS $$ BEGIN"
    " IF who IS NULL OR who = '' THEN RETURN; END IF;"
    " PERFORM pg_advisory_xact_lock(hashtext(who));"
    " UPDATE scores SET place = NULL WHERE client = who AND place IS NOT NULL AND id NOT IN"
    "  (SELECT id FROM scores WHERE client = who ORDER BY score DESC, id ASC LIMIT " + kKept + ");"
    " UPDATE scores SET place = 1 WHERE client = who AND place IS NULL AND id IN"
    "  (SELECT id FROM scores WHERE client = who ORDER BY score DESC, id ASC LIMIT " + kKept + ");"
    " END $$;"
    // Row triggers run once the whole statement is done, so one insert or
    // delete of many rows is seen whole by each: the client's places are
    // put right as a whole, reading a bounded number of index entries. New
    // rows come placed; placed rows past the best kPlacesKept lose it.
    "CREATE FUNCTION pegsquare_place_added() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " IF NEW.client IS NULL OR NEW.client = '' THEN RETURN NULL; END IF;"
    " PERFORM pg_advisory_xact_lock(hashtext(NEW.client));"
    " UPDATE scores SET place = NULL WHERE id IN (SELECT id FROM scores WHERE client = NEW.client"
    "  AND place IS NOT NULL ORDER BY score DESC, id ASC OFFSET " + kKept + ");"
    " RETURN NULL; END $$;"
    // The best kPlacesKept left take the places of those deleted.
    "CREATE FUNCTION pegsquare_place_deleted() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " IF OLD.client IS NULL OR OLD.client = '' OR OLD.place IS NULL THEN RETURN NULL; END IF;"
    " PERFORM pg_advisory_xact_lock(hashtext(OLD.client));"
    " UPDATE scores SET place = 1 WHERE place IS NULL AND id IN (SELECT id FROM scores WHERE client = OLD.client"
    "  ORDER BY score DESC, id ASC LIMIT " + kKept + ");"
    " RETURN NULL; END $$;"
    "CREATE FUNCTION pegsquare_place_changed() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " UPDATE scores SET place = CASE WHEN NEW.client IS NULL OR NEW.client = '' THEN 1 END WHERE id = NEW.id;"
    " PERFORM pegsquare_place_client(OLD.client);"
    " PERFORM pegsquare_place_client(NEW.client);"
    " RETURN NULL; END $$;"
    "CREATE FUNCTION pegsquare_count_change() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " INSERT INTO score_changes (backend, changes) VALUES (pg_backend_pid(), 1)"
    "  ON CONFLICT (backend) DO UPDATE SET changes = score_changes.changes + 1;"
    " RETURN NULL; END $$;";

const std::string kTables =
    "CREATE TABLE scores ("
    " id bigserial PRIMARY KEY,"
    " name text NOT NULL CHECK (char_length(name) BETWEEN 1 AND 32),"
    " score integer NOT NULL CHECK (score BETWEEN 0 AND 100000),"
    " played text NOT NULL,"
    " received_at timestamptz NOT NULL DEFAULT clock_timestamp(),"
    " client text,"
    " place integer DEFAULT 1);"
    "CREATE INDEX scores_by_rank ON scores (score DESC, id ASC);"
    "CREATE INDEX scores_listed ON scores (score DESC, id ASC) WHERE place IS NOT NULL;"
    "CREATE INDEX scores_by_client ON scores (client, score DESC, id ASC) WHERE client IS NOT NULL;"
    "CREATE INDEX scores_placed_by_client ON scores (client, score DESC, id ASC) WHERE place IS NOT NULL;"
    "CREATE TABLE score_changes (backend integer PRIMARY KEY, changes bigint NOT NULL);"
    + kPlaceFunctions
    + "CREATE TRIGGER scores_place_added AFTER INSERT ON scores FOR EACH ROW EXECUTE FUNCTION pegsquare_place_added();"
      "CREATE TRIGGER scores_place_deleted AFTER DELETE ON scores FOR EACH ROW EXECUTE FUNCTION pegsquare_place_deleted();"
      "CREATE TRIGGER scores_place_changed AFTER UPDATE OF score, client ON scores FOR EACH ROW"
      " EXECUTE FUNCTION pegsquare_place_changed();"
      "CREATE TRIGGER scores_counted AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON scores FOR EACH STATEMENT"
      " EXECUTE FUNCTION pegsquare_count_change();";

std::string value(pg_result *result, int row, int column)
{
    return PQgetisnull(result, row, column) ? std::string()
                                            : std::string(PQgetvalue(result, row, column),
                                                          static_cast<std::size_t>(PQgetlength(result, row, column)));
}

StoredScore storedRow(pg_result *result, int row)
{
    return {value(result, row, 0), std::stoi(value(result, row, 1)), value(result, row, 2), value(result, row, 3),
            std::stoll(value(result, row, 4))};
}

} // namespace

PgScoreTable::PgScoreTable(const std::string &uri, std::size_t connections)
    : m_pool(uri, connections, [](pg_conn *connection) {
          // An answered posting must be on disk, whatever the database's
          // own default; and no statement may hang a thread for long.
          pgRun(connection, "SET synchronous_commit TO on");
          pgRun(connection, "SET statement_timeout TO '10s'");
      })
{
    makeTables();
    m_postings = std::make_unique<PostingQueue>(kMaxBatch, [this](std::vector<Pending> &batch) { writeBatch(batch); });
}

PgScoreTable::~PgScoreTable()
{
    m_postings.reset();
}

void PgScoreTable::makeTables()
{
    PgPool::Lease lease = m_pool.take();
    pg_conn *connection = lease.get();
    pgRun(connection, "BEGIN");
    try {
        pgRun(connection, kSchemaLock);
        pgRun(connection, "CREATE TABLE IF NOT EXISTS pegsquare_schema (version integer NOT NULL)");
        const PgResult found = pgRun(connection, "SELECT max(version) FROM pegsquare_schema");
        const std::string version = value(found.get(), 0, 0);
        if (!version.empty() && std::stoi(version) > kSchemaVersion)
            throw StoreError("The score database was made by a newer pegsquare-server (schema " + version + ").");
        if (version.empty()) {
            pgRunScript(connection, kTables.c_str());
            pgRun(connection, "INSERT INTO pegsquare_schema (version) VALUES (" + std::to_string(kSchemaVersion) + ")");
        }
        pgRun(connection, "COMMIT");
    } catch (...) {
        if (PQstatus(connection) == CONNECTION_OK)
            PQclear(PQexec(connection, "ROLLBACK"));
        throw;
    }
}

void PgScoreTable::addScoreLater(NewScore score, ScoreStored done)
{
    m_postings->add(std::move(score), std::move(done));
}

// Never throws: every posting of the batch leaves with its row or its error.
void PgScoreTable::writeBatch(std::vector<Pending> &batch)
{
    auto failAll = [&](const std::exception_ptr &error) {
        for (Pending &pending : batch)
            pending.error = error;
    };
    try {
        std::vector<std::optional<std::string>> names, scores, dates, clients;
        for (const Pending &pending : batch) {
            names.emplace_back(pending.score.name);
            scores.emplace_back(std::to_string(pending.score.score));
            dates.emplace_back(pending.score.date);
            clients.emplace_back(pending.score.client.empty() ? std::nullopt
                                                              : std::optional<std::string>(pending.score.client));
        }
        const std::string nameArray = pgTextArray(names), scoreArray = pgTextArray(scores),
                          dateArray = pgTextArray(dates), clientArray = pgTextArray(clients);
        PgPool::Lease lease = m_pool.take();
        pg_conn *connection = lease.get();
        // One statement for the whole batch, its rows in the order the
        // postings came, so their ids (which order ties) follow that order.
        pgRun(connection, "BEGIN");
        PgResult inserted;
        try {
            // The place triggers lock each client as its row comes. Taken
            // here first, all at once and in one order, those locks cannot
            // make two servers' batches wait for each other in a circle.
            pgRun(connection,
                  "SELECT pg_advisory_xact_lock(h) FROM (SELECT DISTINCT hashtext(c) AS h FROM unnest($1::text[]) AS c"
                  " WHERE c <> '' ORDER BY h OFFSET 0) AS clients",
                  {clientArray.c_str()});
            inserted = pgRun(connection,
                             "INSERT INTO scores (name, score, played, client)"
                             " SELECT name, score, played, client FROM unnest($1::text[], $2::integer[], $3::text[],"
                             "  $4::text[]) WITH ORDINALITY AS posted (name, score, played, client, n) ORDER BY n"
                             " RETURNING id, " + std::string(kReceivedText),
                             {nameArray.c_str(), scoreArray.c_str(), dateArray.c_str(), clientArray.c_str()});
            pgRun(connection, "COMMIT");
            if (m_batchObserver)
                m_batchObserver(batch.size());
        } catch (...) {
            if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE)
                PQclear(PQexec(connection, "ROLLBACK"));
            throw;
        }
        const int rows = PQntuples(inserted.get());
        if (rows != static_cast<int>(batch.size()))
            throw StoreError("Could not store scores: the database stored " + std::to_string(rows) + " of "
                             + std::to_string(batch.size()));
        // Ids were drawn in the order of the rows, so in order they belong
        // to the postings in order.
        std::vector<std::pair<std::int64_t, std::string>> ids;
        for (int row = 0; row < rows; ++row)
            ids.emplace_back(std::stoll(value(inserted.get(), row, 0)), value(inserted.get(), row, 1));
        std::sort(ids.begin(), ids.end());
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const NewScore &score = batch[i].score;
            batch[i].stored = {score.name, score.score, score.date, ids[i].second, ids[i].first};
        }
    } catch (const StoreError &) {
        failAll(std::current_exception());
    } catch (const std::exception &error) {
        failAll(std::make_exception_ptr(StoreError(std::string("Could not store scores: ") + error.what())));
    }
}

std::vector<StoredScore> PgScoreTable::bestScores(int count, int perClient)
{
    std::vector<StoredScore> scores;
    if (count <= 0)
        return scores;
    const std::string columns = "name, score, played, " + std::string(kReceivedText) + ", id";
    const std::string countText = std::to_string(count);
    PgPool::Lease lease = m_pool.take();
    pg_conn *connection = lease.get();
    const bool capped = perClient > 0 && perClient < count;
    if (!capped || perClient > kPlacesKept) {
        const std::string sql =
            !capped ? "SELECT " + columns + " FROM scores ORDER BY score DESC, id ASC LIMIT $1"
                    : "SELECT " + columns + " FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY"
                          " CASE WHEN client <> '' THEN client ELSE id::text END ORDER BY score DESC, id ASC) AS n"
                          " FROM scores) AS ranked WHERE n <= $2 ORDER BY score DESC, id ASC LIMIT $1";
        const std::string capText = std::to_string(perClient);
        const PgResult result = capped ? pgRun(connection, sql, {countText.c_str(), capText.c_str()})
                                       : pgRun(connection, sql, {countText.c_str()});
        for (int row = 0; row < PQntuples(result.get()); ++row)
            scores.push_back(storedRow(result.get(), row));
        return scores;
    }
    // The placed rows, best first, each client's counted as they come. A
    // first read of a few times the list mostly suffices; when it does
    // not, a longer one is read again from the top.
    for (long long limit = std::max(4LL * count, 4LL * kPlacesKept);; limit *= 4) {
        scores.clear();
        const std::string limitText = std::to_string(limit);
        const PgResult result = pgRun(connection,
                                      "SELECT " + columns + ", client FROM scores WHERE place IS NOT NULL"
                                      " ORDER BY score DESC, id ASC LIMIT $1",
                                      {limitText.c_str()});
        std::unordered_map<std::string, int> held;
        const int rows = PQntuples(result.get());
        for (int row = 0; row < rows && int(scores.size()) < count; ++row) {
            const std::string client = value(result.get(), row, 5);
            if (!client.empty() && held[client]++ >= perClient)
                continue;
            scores.push_back(storedRow(result.get(), row));
        }
        if (int(scores.size()) >= count || rows < limit)
            return scores;
    }
}

void PgScoreTable::probe()
{
    PgPool::Lease lease = m_pool.take();
    pgRun(lease.get(), "SELECT 1 FROM scores LIMIT 1");
}

std::int64_t PgScoreTable::readChanges()
{
    PgPool::Lease lease = m_pool.take();
    const PgResult result = pgRun(lease.get(), "SELECT coalesce(sum(changes), 0) FROM score_changes");
    return std::stoll(value(result.get(), 0, 0));
}

std::optional<std::int64_t> PgScoreTable::sharedChanges()
{
    std::unique_lock lock(m_changesMutex);
    // A read that had started before this call may have missed a commit
    // answered just before it; only a later one will do.
    const std::uint64_t wanted = m_changeReadsStarted + 1;
    while (m_changeReadsDone < wanted) {
        if (m_readingChanges) {
            m_changesRead.wait(lock);
            continue;
        }
        m_readingChanges = true;
        const std::uint64_t read = ++m_changeReadsStarted;
        lock.unlock();
        std::int64_t changes = 0;
        std::exception_ptr error;
        try {
            changes = readChanges();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_readingChanges = false;
        m_changeReadsDone = read;
        m_lastChanges = changes;
        m_lastChangesError = error;
        m_changesRead.notify_all();
    }
    if (m_lastChangesError)
        std::rethrow_exception(m_lastChangesError);
    return m_lastChanges;
}

std::uint64_t PgScoreTable::databaseBytes()
{
    try {
        PgPool::Lease lease = m_pool.take(std::chrono::seconds(1));
        const PgResult result = pgRun(lease.get(), "SELECT pg_database_size(current_database())");
        return std::stoull(value(result.get(), 0, 0));
    } catch (const std::exception &) {
        return 0;
    }
}

void PgScoreTable::setBatchObserver(std::function<void(std::size_t)> observer)
{
    m_batchObserver = std::move(observer);
}
