#pragma once

#include "pgpool.h"
#include "postingqueue.h"
#include "scoretable.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The score table in a PostgreSQL database, which several server processes
// (on several machines) may share. Postings are written in batches, one
// transaction each, and a posting is told only once its transaction has
// committed with synchronous_commit on. Ties go to the earlier receipt, by
// the order of the rows' ids. Every statement takes its values as
// parameters, never spliced into the text.
//
// The table is made, and its version noted, at the first start against a
// database; a database made by a newer server is refused. As in SQLite, a
// row has a place while it is among the best kPlacesKept scores of its
// client, kept by triggers, so the capped list walks only placed rows.
//
// So that a process can tell whether the list it built is still the list,
// every statement that changes scores counts itself in score_changes, in a
// row of its own connection, so writers never wait for each other there;
// the sum of the counts changes with every change committed.
class PgScoreTable : public ScoreTable {
public:
    static constexpr std::size_t kMaxBatch = 512;
    // The version of the tables this server makes and reads.
    static constexpr int kSchemaVersion = 1;

    // Connects to `uri` (any libpq connection string), making the tables
    // when they are missing; throws StoreError when the database cannot be
    // reached or was made by a newer server. At most `connections` are
    // open at once.
    PgScoreTable(const std::string &uri, std::size_t connections);
    ~PgScoreTable() override;

    void addScoreLater(NewScore score, ScoreStored done) override;
    std::vector<StoredScore> bestScores(int count, int perClient) override;
    void probe() override;
    std::optional<std::int64_t> sharedChanges() override;
    // The database's size on disk, for the metrics; 0 when it cannot be read.
    std::uint64_t databaseBytes();
    // Runs in the writing thread after each commit with how many postings
    // it held, for the metrics; set before postings begin.
    void setBatchObserver(std::function<void(std::size_t batchSize)> observer);

private:
    using Pending = PostingQueue::Posting;
    void writeBatch(std::vector<Pending> &batch);
    void makeTables();
    std::int64_t readChanges();

    PgPool m_pool;
    // Change counts are read one at a time and shared: whoever asks while a
    // read is under way waits for the next read to start after it asked,
    // which still sees every commit answered before the question, and a
    // burst of list requests costs the database two reads, not one each.
    std::mutex m_changesMutex;
    std::condition_variable m_changesRead;
    bool m_readingChanges = false;
    std::uint64_t m_changeReadsStarted = 0;
    std::uint64_t m_changeReadsDone = 0;
    std::int64_t m_lastChanges = 0;
    std::exception_ptr m_lastChangesError;
    std::function<void(std::size_t)> m_batchObserver;
    // Last, so it is gone, its postings written, before the pool closes.
    std::unique_ptr<PostingQueue> m_postings;
};
