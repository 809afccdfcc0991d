// Several servers in front of one PostgreSQL database, as a vendor beyond
// one machine runs them: what any of them answered, every one of them
// lists at once, and neither a killed server nor a database restarted
// under load loses a posting that was answered.
#include "serverprocess.h"
#include "tablebackend.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// A request as the game sends it; the server closes the connection after
// the answer. The status, or 0 when none came.
int gameGet(int port, const std::string &target, std::string *body = nullptr)
{
    const UniqueFd fd = connectLoopback(
        port, "GET " + target + " HTTP/1.0\r\nUser-Agent: Pegsquare HTTPGet\r\nAccept: */*\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string raw = readUntil(fd.get()).value_or("");
    if (!raw.starts_with("HTTP/1.1 ") || raw.size() < 12)
        return 0;
    if (body)
        *body = raw.substr(std::min(raw.size(), raw.find("\r\n\r\n") + 4));
    return std::stoi(raw.substr(9, 3));
}

std::string posting(const std::string &name, int score)
{
    return "/cgi-bin/pegsquare.cgi?name=" + name + "&date=12/9/26&score=" + std::to_string(score);
}

class SharedDatabase : public EachTable {
protected:
    void SetUp() override
    {
        EachTable::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_backend = std::make_unique<TableBackend>("postgresql");
    }
    // A server on a free port over the shared database; its port, or -1.
    int start(std::unique_ptr<ServerProcess> &server)
    {
        server = std::make_unique<ServerProcess>(m_backend->folder().path(),
                                                 std::vector<std::string>{"--port", "0", "--db", m_backend->uri(),
                                                                          "--post-rate", "0", "--db-connections", "4"});
        return server->waitListening();
    }
    // The names stored, as an operator would read them.
    std::set<std::string> storedNames() const
    {
        std::set<std::string> names;
        for (const auto &row : m_backend->run("SELECT name FROM scores"))
            names.insert(row.at(0));
        return names;
    }
    std::unique_ptr<TableBackend> m_backend;
};

// Threads posting as fast as answers come, each name once, noting the ones
// answered 200 and counting the other answers.
class Posters {
public:
    Posters(int port, int threads) : m_port(port)
    {
        for (int t = 0; t < threads; ++t)
            m_threads.emplace_back([this, t] {
                for (int i = 0; !m_stop; ++i) {
                    const std::string name = "t" + std::to_string(t) + "n" + std::to_string(i);
                    const int status = gameGet(m_port.load(), posting(name, i % 100000));
                    const std::lock_guard lock(m_mutex);
                    if (status == 200)
                        m_answered.insert(name);
                    else
                        ++m_others[status];
                }
            });
    }
    ~Posters() { stop(); }
    void stop()
    {
        m_stop = true;
        for (std::thread &thread : m_threads)
            if (thread.joinable())
                thread.join();
    }
    std::size_t answered()
    {
        const std::lock_guard lock(m_mutex);
        return m_answered.size();
    }
    int others(int status)
    {
        const std::lock_guard lock(m_mutex);
        return m_others[status];
    }
    std::set<std::string> answeredNames()
    {
        const std::lock_guard lock(m_mutex);
        return m_answered;
    }

private:
    std::atomic<int> m_port;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::set<std::string> m_answered;
    std::map<int, int> m_others;
    std::vector<std::thread> m_threads;
};

template <typename Ready>
bool waitUntil(Ready ready)
{
    const auto deadline = std::chrono::steady_clock::now() + kWireDeadline;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_P(SharedDatabase, APostingAnsweredByOneServerIsListedByTheOtherAtOnce)
{
    std::unique_ptr<ServerProcess> first, second;
    const int ports[] = {start(first), start(second)};
    ASSERT_GT(ports[0], 0) << first->log();
    ASSERT_GT(ports[1], 0) << second->log();
    for (int i = 0; i < 20; ++i) {
        // Scores rise, so each new one heads the list.
        const std::string name = "Player" + std::to_string(i);
        ASSERT_EQ(gameGet(ports[i % 2], posting(name, 1000 + i)), 200) << name;
        std::string list;
        ASSERT_EQ(gameGet(ports[1 - i % 2], "/counter/pegsquare.shtml", &list), 200);
        EXPECT_NE(list.find(">" + name + "<"), std::string::npos) << name << " is not on the other server's list";
    }
}

TEST_P(SharedDatabase, AServerKilledMidBurstLosesNoAnsweredPosting)
{
    std::unique_ptr<ServerProcess> server;
    const int port = start(server);
    ASSERT_GT(port, 0) << server->log();
    Posters posters(port, 8);
    ASSERT_TRUE(waitUntil([&] { return posters.answered() >= 300; }));
    server->signal(SIGKILL);
    posters.stop();
    const std::set<std::string> stored = storedNames();
    for (const std::string &name : posters.answeredNames())
        EXPECT_TRUE(stored.contains(name)) << name << " was answered 200 but is not stored";
}

TEST_P(SharedDatabase, ADatabaseRestartedUnderPostingsIsWaitedOutWithoutLoss)
{
    std::unique_ptr<ServerProcess> server;
    const int port = start(server);
    ASSERT_GT(port, 0) << server->log();
    const std::vector<std::vector<std::string>> cluster = m_backend->run("SHOW cluster_name", true);
    ASSERT_EQ(cluster.size(), 1u);
    const std::string name = cluster[0][0]; // "15/regress": version and name
    const std::string version = name.substr(0, name.find('/')), cluster_ = name.substr(name.find('/') + 1);

    Posters posters(port, 4);
    ASSERT_TRUE(waitUntil([&] { return posters.answered() >= 100; }));
    ASSERT_EQ(std::system(("pg_ctlcluster " + version + " " + cluster_ + " stop -m fast").c_str()), 0);
    // Meanwhile postings are refused as "try again later", never taken.
    ASSERT_TRUE(waitUntil([&] { return posters.others(503) >= 5; }));
    const std::size_t answeredWhileDown = posters.answered();
    ASSERT_EQ(std::system(("pg_ctlcluster " + version + " " + cluster_ + " start").c_str()), 0);
    // The same server takes postings again, with no restart.
    EXPECT_TRUE(waitUntil([&] { return posters.answered() >= answeredWhileDown + 100; }));
    posters.stop();
    EXPECT_EQ(posters.others(0), 0) << "postings went unanswered";
    const std::set<std::string> stored = storedNames();
    for (const std::string &posted : posters.answeredNames())
        EXPECT_TRUE(stored.contains(posted)) << posted << " was answered 200 but is not stored";
    EXPECT_EQ(server->stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SharedDatabase, ::testing::Values(std::string("postgresql")),
                         [](const ::testing::TestParamInfo<std::string> &kind) { return kind.param; });

} // namespace
