#pragma once

#include "scoretable.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Postings on their way to a database, written in batches (group commit):
// a writing thread takes every posting queued so far, in the order they
// came, and has them written together, one transaction and one sync for
// all; a telling thread then calls back each posting's caller, so the next
// batch is being written while this one's callers are answered. A score
// table owns one; destroying it writes what is still queued first.
class PostingQueue {
public:
    // One posting in a batch: the writer fills in `stored`, or `error`
    // when it was not stored.
    struct Posting {
        NewScore score;
        ScoreStored done;
        StoredScore stored = {};
        std::exception_ptr error = {};
    };
    // Writes a batch, in the writing thread; must not throw, but leave
    // each posting with its row or its error.
    using Writer = std::function<void(std::vector<Posting> &batch)>;

    PostingQueue(std::size_t maxBatch, Writer writer);
    PostingQueue(const PostingQueue &) = delete;
    PostingQueue &operator=(const PostingQueue &) = delete;
    ~PostingQueue();

    void add(NewScore score, ScoreStored done);
    // Postings queued for the next batch, not yet being written.
    std::size_t queued() const;

private:
    void writeBatches();
    void tellBatches();
    void stopTelling();

    const std::size_t m_maxBatch;
    const Writer m_writer;

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Posting> m_queue;
    bool m_closing = false;

    std::mutex m_toldMutex;
    std::condition_variable m_toldChanged;
    std::deque<std::vector<Posting>> m_toTell; // batches written, their callers not yet told
    bool m_writerDone = false;

    // Last: started once all of the above is ready.
    std::thread m_tellingThread;
    std::thread m_writingThread;
};
