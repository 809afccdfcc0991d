#pragma once

#include <cstdint>
#include <string>

// What copying the scores of a SQLite database into a PostgreSQL one did.
struct MigrationCount {
    std::int64_t copied = 0;       // rows new to the PostgreSQL table
    std::int64_t alreadyThere = 0; // rows an earlier run had copied already
};

// The file a --migrate-from value names ("sqlite:PATH"), or empty when the
// value is not written so.
std::string sqliteSourcePath(const std::string &source);

// Copies every score of the SQLite score database `source` ("sqlite:PATH")
// into the PostgreSQL database `target` (a postgresql:// or postgres://
// URI), making its tables as a server starting on it would. Each score
// keeps its name, score, date, client and receipt time, and the copies are
// given ids in the order of the source's, so ties are still broken by
// earlier receipt among them. A score copied once is never copied again,
// so running this again (say, once more after the last posting reached
// the old server) copies only what is new.
//
// The source is only read. Everything is copied in one transaction: on any
// failure nothing is, and a std::runtime_error (a StoreError for the
// databases' own failures) says what was wrong in one sentence.
MigrationCount migrateScores(const std::string &source, const std::string &target);
