#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// How many of each client's best scores a table marks as placed, so a list
// capped at up to this many per client is read from the placed rows alone.
// Existing databases hold this number in their triggers, so changing it
// takes a schema step.
constexpr int kPlacesKept = 100;

// A checked score posting, as it is to be stored.
struct NewScore {
    std::string name;  // 1 to 32 code points of valid UTF-8, as typed
    int score = 0;     // 0 to 100000
    std::string date;  // the date text exactly as the game sent it
    // The address the posting came from (see clientaddress.h); empty when
    // not known, and then the score counts as a client of its own.
    std::string client = {};
};

// A stored score with the moment the server took it in.
struct StoredScore {
    std::string name;
    int score = 0;
    std::string date;
    std::string receivedAt;    // UTC, ISO 8601 with microseconds
    std::int64_t sequence = 0; // order of receipt: a lower number came earlier
};

// A failure of the store; `busy` when trying again later may succeed: another
// user held the database too long, or it has no room left.
class StoreError : public std::runtime_error {
public:
    StoreError(const std::string &what, bool busy = false) : std::runtime_error(what), m_busy(busy) {}
    // Whether trying again later may succeed.
    bool busy() const { return m_busy; }

private:
    bool m_busy;
};

// What became of a posting handed to ScoreTable::addScoreLater: the row as
// stored, or the StoreError that kept it out.
using ScoreStored = std::function<void(StoredScore stored, std::exception_ptr error)>;

// The score table the routes use; one implementation per kind of database.
// Every call may come from many threads at once.
class ScoreTable {
public:
    virtual ~ScoreTable() = default;
    // Takes `score` to be stored and returns at once, so that a caller
    // serving many clients need not wait for the disk. `done` is called
    // exactly once, in a thread of the table's, after the score is durably
    // stored, or with the error when it was not stored at all. It must not
    // throw, and it holds up the postings after it while it runs.
    virtual void addScoreLater(NewScore score, ScoreStored done) = 0;
    // Stores one score durably before returning; throws StoreError.
    StoredScore addScore(const NewScore &score);
    // The best `count` scores, highest first, ties by earlier receipt, with
    // at most `perClient` of them from any one client address (0: no cap),
    // so that one address posting the top score again and again cannot own
    // the list. A score without an address counts as a client of its own.
    // Throws StoreError.
    virtual std::vector<StoredScore> bestScores(int count, int perClient) = 0;
    // Runs a query that costs next to nothing but still reads the table, so a
    // health check can tell whether postings would be stored; throws StoreError.
    virtual void probe() = 0;
    // For a table other processes write too: a number that changes with
    // every change to the scores, by any of them, so a list built after
    // reading it is known to be current while it stands; read from the
    // database each time (throws StoreError). Nullopt for a table only this
    // process writes, whose own postings say when the list changes.
    virtual std::optional<std::int64_t> sharedChanges() { return std::nullopt; }
};
