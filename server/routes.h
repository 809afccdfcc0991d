#pragma once

#include "content.h"
#include "ratelimit.h"
#include "scoretable.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

constexpr int kListedScores = 100;
// How many of the listed scores one client address may hold by default.
// Five leaves room for a keen player's best games on a list of a hundred,
// while one address posting the top score again and again can take only
// five places from everyone else.
constexpr int kListedPerClient = 5;

// A request as the routes see it: the method and the target exactly as it
// stood in the request line (path and query still escaped), and the address
// of the client asking (see clientaddress.h).
struct RouteRequest {
    std::string_view method;
    std::string_view target;
    std::string_view client = {};
};

// The answer to one request. A HEAD request gets the same answer; leaving
// out the body is the HTTP layer's job.
struct Reply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::shared_ptr<const std::string> sharedBody; // sent instead of `body` when set (a cached page)
    std::shared_ptr<const PublishedFile> file;     // streamed instead of `body` when set

    std::vector<std::pair<std::string, std::string>> headers;
    std::string problem; // for the operator: why a 5xx answer was given

    // The body as text, wherever it is held (not a streamed file).
    std::string_view text() const { return sharedBody ? std::string_view(*sharedBody) : std::string_view(body); }
};

// Maps requests to answers: checks postings, stores them and builds pages.
// Safe to call from many threads at once.
class Routes {
public:
    // `site` is the address players reach the server by, for the links in
    // its pages (see pages.h). With a `postingLimit`, each client's postings
    // are held to it (429 past it); it must outlive the routes. The list
    // shows at most `listPerClient` scores from one client address (0: no
    // cap).
    Routes(ScoreTable &table, PublishedContent content, std::string site, PostingLimit *postingLimit = nullptr,
           int listPerClient = kListedPerClient);

    // Changes the address of the links; only before serving starts (a port
    // picked by the system is known only once the server is bound).
    void setSite(std::string site) { m_site = std::move(site); }

    // The answer to `request`.
    Reply handle(const RouteRequest &request);

    // Answers a GET of the posting path as handle() would, but without
    // waiting for the disk: a refused posting is answered before this
    // returns, an admitted one from the table's thread once it is stored.
    // `answered` is called exactly once and must not throw.
    void postScoreLater(const RouteRequest &request, std::function<void(Reply)> answered);

    // The list page's answer when the page is cached, which costs nothing
    // to give; nullopt when it would have to be built from the table.
    std::optional<Reply> scoreListIfCached();

private:
    Reply postScore(const RouteRequest &request, std::string_view query);
    // The checked score to store, or the answer refusing it.
    std::variant<Reply, NewScore> admitPosting(const RouteRequest &request, std::string_view query);
    // The answer to an admitted posting once the table has stored it or failed to.
    Reply postingAnswer(const NewScore &score, std::exception_ptr error);
    Reply scoreList();
    // The list page as the table stands now, from the cache when it is
    // still the list; throws StoreError.
    std::shared_ptr<const std::string> currentList();
    std::shared_ptr<const std::string> cachedList(const std::optional<std::int64_t> &changes);
    Reply versionText() const;
    Reply installer() const;
    Reply signature() const;
    Reply health();
    void forgetScoreList();

    ScoreTable &m_table;
    PublishedContent m_content;
    std::string m_site;
    PostingLimit *m_postingLimit;
    int m_listPerClient;

    // The list page is the busiest route, so it is built once per change of
    // the table. A posting bumps the generation before it is answered, and a
    // page built from an older generation is never kept, so no reader can
    // see a list older than a posting that has already been answered.
    std::mutex m_cacheMutex;
    std::shared_ptr<const std::string> m_scoreList;
    std::uint64_t m_generation = 0;
    // For a table other processes write too, its count of changes when the
    // cached list was read (see ScoreTable::sharedChanges).
    std::optional<std::int64_t> m_sharedChanges;
    // One page is built at a time: requests that find the cache out of date
    // together wait for one build instead of each reading the whole list.
    std::mutex m_buildMutex;
    // The last list read, served while the database does not answer.
    std::shared_ptr<const std::string> m_lastGood;
};
