#pragma once

#include "scoretable.h"

#include <memory>
#include <mutex>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// The score table in one SQLite file, in WAL mode so readers never wait
// for a writer, with every commit synced before a posting is answered.
class SqliteScoreTable : public ScoreTable {
public:
    // Opens the database at `path`, creating it and its table on first use;
    // throws StoreError when it cannot be opened or was made by a newer server.
    explicit SqliteScoreTable(const std::string &path);
    ~SqliteScoreTable() override;

    StoredScore addScore(const NewScore &score) override;
    std::vector<StoredScore> bestScores(int count) override;
    void probe() override;

private:
    struct DbCloser {
        void operator()(sqlite3 *db) const;
    };
    struct StatementFinalizer {
        void operator()(sqlite3_stmt *statement) const;
    };
    using Db = std::unique_ptr<sqlite3, DbCloser>;
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    void execute(const char *sql);
    Statement prepare(const char *sql);
    [[noreturn]] void fail(const std::string &doing, int code) const;

    std::mutex m_mutex; // one connection, used by one thread at a time
    Db m_db;
    Statement m_insert;
    Statement m_best;
    Statement m_probe;
};
