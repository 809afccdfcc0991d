#pragma once

#include "postingqueue.h"
#include "scoretable.h"

#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The score table in one SQLite file, in WAL mode so readers never wait
// for a writer, with every commit synced before a posting is answered.
//
// Postings that arrive together share one transaction and one sync (group
// commit, see postingqueue.h); each is told only once the commit that holds
// its row has been synced. A failed commit fails every posting of its
// batch; none of them is stored.
//
// So that the list under a per-client cap is read from an index in time
// that does not grow with the table, a row has a place while it is among
// the best kPlacesKept scores of its client, kept right by triggers in the
// database itself on every insert, delete or change of score or client,
// whoever makes it (this server, an older one, or an operator with
// sqlite3). The list walks the placed rows best first and counts each
// client's as they come; the rest of a client's scores are never read, and
// a posting costs a bounded amount of work however many scores its client
// already has.
class SqliteScoreTable : public ScoreTable {
public:
    // The most postings one transaction takes; more wait for the next.
    static constexpr std::size_t kMaxBatch = 512;
    // The places kept per client: caps up to this many are read from the
    // placed rows; a larger cap below the count asked for is worked out
    // over the whole table, which is slow on a large one. The triggers in
    // existing databases hold this number, so changing it takes a schema step.
    static constexpr int kPlacesKept = ::kPlacesKept;

    // Opens the database at `path`, creating it and its table on first use;
    // throws StoreError when it cannot be opened or was made by a newer server.
    // With `maxBytes` above 0 the database may not grow past about that
    // size: postings beyond it fail as unavailable (busy), as they do when
    // the disk is full, while the list can still be read.
    explicit SqliteScoreTable(const std::string &path, std::uint64_t maxBytes = 0);
    ~SqliteScoreTable() override;

    void addScoreLater(NewScore score, ScoreStored done) override;
    std::vector<StoredScore> bestScores(int count, int perClient) override;
    void probe() override;

    // Postings queued for the next transaction, not yet being written.
    std::size_t queued() const;
    // Runs in the writing thread with a batch's rows inserted and its
    // transaction still open, just before the commit; for tests that hold
    // the sync to see that no posting is answered before it.
    void setBeforeCommit(std::function<void(std::size_t batchSize)> hook);
    // Runs in the writing thread after each commit with how many postings
    // it held, for the metrics; set before postings begin.
    void setBatchObserver(std::function<void(std::size_t batchSize)> observer);

private:
    using Pending = PostingQueue::Posting;

    struct DbCloser {
        void operator()(sqlite3 *db) const;
    };
    struct StatementFinalizer {
        void operator()(sqlite3_stmt *statement) const;
    };
    using Db = std::unique_ptr<sqlite3, DbCloser>;
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    void writeBatch(std::vector<Pending> &batch);
    void upgradeSchema();
    void execute(const char *sql);
    void execute(const std::string &sql) { execute(sql.c_str()); }
    StoreError errorFor(const std::string &doing, int code) const;
    Statement prepare(const char *sql);
    [[noreturn]] void fail(const std::string &doing, int code) const;

    std::mutex m_mutex; // one connection, used by one thread at a time
    Db m_db;
    Statement m_begin;
    Statement m_commit;
    Statement m_rollback;
    Statement m_insert;
    Statement m_best;        // no cap
    Statement m_bestPlaced;  // a cap of up to kPlacesKept, from the places
    Statement m_bestCounted; // a larger cap, counted over the whole table
    Statement m_probe;

    std::function<void(std::size_t)> m_beforeCommit;
    std::function<void(std::size_t)> m_batchObserver;
    // Last, so it is gone, its postings written, before the database closes.
    std::unique_ptr<PostingQueue> m_postings;
};
