#include "postingqueue.h"

#include <algorithm>
#include <iterator>

PostingQueue::PostingQueue(std::size_t maxBatch, Writer writer)
    : m_maxBatch(std::max<std::size_t>(1, maxBatch)), m_writer(std::move(writer))
{
    m_tellingThread = std::thread([this] { tellBatches(); });
    try {
        m_writingThread = std::thread([this] { writeBatches(); });
    } catch (...) {
        stopTelling();
        throw;
    }
}

PostingQueue::~PostingQueue()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_closing = true;
    }
    m_queueChanged.notify_one();
    m_writingThread.join();
    stopTelling();
}

void PostingQueue::stopTelling()
{
    {
        std::lock_guard lock(m_toldMutex);
        m_writerDone = true;
    }
    m_toldChanged.notify_one();
    m_tellingThread.join();
}

void PostingQueue::add(NewScore score, ScoreStored done)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back({std::move(score), std::move(done)});
    }
    m_queueChanged.notify_one();
}

std::size_t PostingQueue::queued() const
{
    std::lock_guard lock(m_queueMutex);
    return m_queue.size();
}

void PostingQueue::writeBatches()
{
    for (;;) {
        std::vector<Posting> batch;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_queue.empty())
                return; // closing, and everything queued has been written
            // Everything queued so far, while later postings queue for the next.
            const auto count = std::ptrdiff_t(std::min(m_queue.size(), m_maxBatch));
            batch.assign(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.begin() + count));
            m_queue.erase(m_queue.begin(), m_queue.begin() + count);
        }
        m_writer(batch);
        {
            std::lock_guard lock(m_toldMutex);
            m_toTell.push_back(std::move(batch));
        }
        m_toldChanged.notify_one();
    }
}

void PostingQueue::tellBatches()
{
    for (;;) {
        std::vector<Posting> batch;
        {
            std::unique_lock lock(m_toldMutex);
            m_toldChanged.wait(lock, [this] { return m_writerDone || !m_toTell.empty(); });
            if (m_toTell.empty())
                return; // the writer has stopped and every batch has been told
            batch = std::move(m_toTell.front());
            m_toTell.pop_front();
        }
        for (Posting &posting : batch)
            posting.done(std::move(posting.stored), posting.error);
    }
}
