#pragma once

#include "tallygrid.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Writes the tally file on a worker thread of its own, so the GUI thread
// does not wait for the disk's flush at every change. Writes happen one at
// a time in the order they were asked for; each is tallyfile::save, all or
// nothing. A write asked for while an older one still waits to start
// replaces it (the file holds the whole tally, so only the newest matters);
// callers that want every state on disk wait for the previous write before
// making the next change.
class TallyWriter {
public:
    // How the newest finished write went: its number (0 before any) and,
    // when it failed, why (empty on success).
    struct Outcome {
        std::uint64_t number = 0;
        std::string error;
    };

    // `written` runs on the worker thread after each write, finished or
    // failed; it must not block on the caller.
    TallyWriter(std::filesystem::path path, std::function<void()> written = {});
    // Finishes the write under way and the one waiting, then stops.
    ~TallyWriter();
    TallyWriter(const TallyWriter &) = delete;
    TallyWriter &operator=(const TallyWriter &) = delete;

    // Asks for `grid` to be written and returns at once with the write's
    // number, which grows with every call.
    std::uint64_t write(TallyGrid grid);
    // Returns once every write asked for has finished, with the outcome of
    // the last one.
    Outcome waitUntilWritten();
    // The newest finished write's outcome, without waiting.
    Outcome lastOutcome() const;

private:
    void run();

    const std::filesystem::path m_path;
    const std::function<void()> m_written;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<TallyGrid> m_waiting;
    std::uint64_t m_waitingNumber = 0;
    std::uint64_t m_asked = 0;
    Outcome m_last;
    bool m_stopping = false;
    std::thread m_thread;  // last: started once everything it uses exists
};
