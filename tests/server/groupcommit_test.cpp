// Postings that arrive together share one transaction and one sync; none
// is answered before the commit that holds it, and none is answered as
// taken when the database had no room for it.
#include "content.h"
#include "routes.h"
#include "sqlitescoretable.h"
#include "tablebackend.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20);

NewScore score(int i)
{
    return {"Player " + std::to_string(i), i, "12/9/26"};
}

TEST(serverGroupCommit, NoPostingIsAnsweredBeforeItsCommitAndTheOrderOfReceiptIsKept)
{
    TempFolder folder;
    SqliteScoreTable table((folder.path() / "scores.db").string());
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::size_t> batches;
    bool released = false;
    // The first commit is held until the test lets it go.
    table.setBeforeCommit([&](std::size_t size) {
        std::unique_lock lock(mutex);
        batches.push_back(size);
        changed.notify_all();
        changed.wait(lock, [&] { return released || batches.size() > 1; });
    });
    std::atomic<int> answered{0};
    auto post = [&](int i) {
        return std::async(std::launch::async, [&table, &answered, i] {
            StoredScore stored = table.addScore(score(i));
            ++answered;
            return stored;
        });
    };

    std::vector<std::future<StoredScore>> postings;
    postings.push_back(post(0));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, kDeadline, [&] { return batches.size() == 1; }));
    }
    // While the first sync is held, the others queue one after the other.
    constexpr int kQueued = 8;
    for (int i = 1; i <= kQueued; ++i) {
        postings.push_back(post(i));
        const auto until = Clock::now() + kDeadline;
        while (table.queued() < std::size_t(i) && Clock::now() < until)
            std::this_thread::yield();
        ASSERT_EQ(table.queued(), std::size_t(i));
    }
    EXPECT_EQ(answered, 0);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();

    std::vector<StoredScore> stored;
    for (auto &posting : postings)
        stored.push_back(posting.get());
    EXPECT_EQ(batches, (std::vector<std::size_t>{1, kQueued}));
    for (std::size_t i = 1; i < stored.size(); ++i) {
        EXPECT_LT(stored[i - 1].sequence, stored[i].sequence) << i;
        EXPECT_LE(stored[i - 1].receivedAt, stored[i].receivedAt) << i;
    }
    EXPECT_EQ(table.bestScores(100, 0).size(), stored.size());
}

TEST(serverGroupCommit, ConcurrentPostingsAreEachStoredOnceInFewerCommits)
{
    TempFolder folder;
    SqliteScoreTable table((folder.path() / "scores.db").string());
    std::atomic<int> commits{0};
    table.setBeforeCommit([&](std::size_t) { ++commits; });
    constexpr int kThreads = 16;
    constexpr int kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&table, t] {
            for (int i = 0; i < kEach; ++i)
                table.addScore(score(t * kEach + i));
        });
    for (std::thread &thread : threads)
        thread.join();
    std::set<std::string> names;
    for (const StoredScore &row : table.bestScores(kThreads * kEach + 1, 0))
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(names.size(), std::size_t(kThreads * kEach));
    EXPECT_LT(commits, kThreads * kEach);
}

// A caller that hands postings over and goes on is told of each exactly
// once, in the order it handed them over, and closing the table at once
// still writes every one of them first.
TEST_P(EachTable, PostingsHandedOverAreToldOnceInOrderAndWrittenBeforeTheTableCloses)
{
    TableBackend backend(GetParam());
    constexpr int kPostings = 300;
    std::mutex mutex;
    std::vector<std::pair<std::string, std::int64_t>> told; // name, sequence (-1: failed)
    {
        const std::unique_ptr<ScoreTable> table = backend.open();
        for (int i = 0; i < kPostings; ++i)
            table->addScoreLater(score(i), [&](StoredScore stored, std::exception_ptr error) {
                const std::lock_guard lock(mutex);
                told.emplace_back(stored.name, error ? -1 : stored.sequence);
            });
    }
    ASSERT_EQ(told.size(), std::size_t(kPostings));
    for (int i = 0; i < kPostings; ++i) {
        EXPECT_EQ(told[std::size_t(i)].first, score(i).name);
        EXPECT_GT(told[std::size_t(i)].second, i == 0 ? 0 : told[std::size_t(i) - 1].second) << i;
    }
    EXPECT_EQ(backend.open()->bestScores(kPostings + 1, 0).size(), std::size_t(kPostings));
}

TEST(serverGroupCommit, PastItsSizeLimitPostingsAre503AndTheListIsStillServed)
{
    TempFolder folder;
    SqliteScoreTable table((folder.path() / "scores.db").string(), 64 * 1024);
    Routes routes(table, PublishedContent(folder.path() / "content"), "http://test.example");
    int answered = 0;
    Reply reply;
    for (int i = 0; i < 10000; ++i) {
        reply = routes.handle({"GET", "/cgi-bin/pegsquare.cgi?name=Player" + std::to_string(i)
                                          + "&date=12/9/26&score=" + std::to_string(i)});
        if (reply.status != 200)
            break;
        ++answered;
    }
    EXPECT_GT(answered, 0);
    EXPECT_EQ(reply.status, 503);
    EXPECT_NE(reply.problem.find("full"), std::string::npos) << reply.problem;
    EXPECT_NE(std::find(reply.headers.begin(), reply.headers.end(), std::pair<std::string, std::string>("Retry-After", "5")),
              reply.headers.end());
    // Every posting answered 200 is stored, and nothing else.
    EXPECT_EQ(table.bestScores(1'000'000, 0).size(), std::size_t(answered));
    EXPECT_EQ(routes.handle({"GET", "/counter/pegsquare.shtml"}).status, 200);
}

} // namespace
