#include "tallywriter.h"

#include "tallyfile.h"

#include <exception>

TallyWriter::TallyWriter(std::filesystem::path path, std::function<void()> written)
    : m_path(std::move(path))
    , m_written(std::move(written))
    , m_thread([this] { run(); })
{
}

TallyWriter::~TallyWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::uint64_t TallyWriter::write(TallyGrid grid)
{
    std::uint64_t number = 0;
    {
        const std::lock_guard lock(m_mutex);
        number = ++m_asked;
        m_waiting = std::move(grid);
        m_waitingNumber = number;
    }
    m_changed.notify_all();
    return number;
}

TallyWriter::Outcome TallyWriter::waitUntilWritten()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_last.number == m_asked; });
    return m_last;
}

TallyWriter::Outcome TallyWriter::lastOutcome() const
{
    const std::lock_guard lock(m_mutex);
    return m_last;
}

void TallyWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_waiting.has_value() || m_stopping; });
        if (!m_waiting)
            return;  // stopping with nothing left to write
        const TallyGrid grid = std::move(*m_waiting);
        const std::uint64_t number = m_waitingNumber;
        m_waiting.reset();
        lock.unlock();
        Outcome outcome{number, {}};
        try {
            tallyfile::save(m_path, grid);
        } catch (const std::exception &e) {
            outcome.error = e.what();
            if (outcome.error.empty())
                outcome.error = "The tally file could not be written.";
        }
        lock.lock();
        m_last = std::move(outcome);
        lock.unlock();
        m_changed.notify_all();
        if (m_written)
            m_written();
        lock.lock();
    }
}
