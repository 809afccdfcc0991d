#include "routes.h"

#include "pages.h"
#include "scorecheck.h"
#include "scorequery.h"

namespace {

constexpr std::string_view kTextType = "text/plain; charset=utf-8";
constexpr std::string_view kInstallerType = "application/octet-stream";

Reply textReply(int status, std::string text)
{
    Reply reply;
    reply.status = status;
    reply.contentType = kTextType;
    reply.body = std::move(text) + "\n";
    return reply;
}

Reply htmlReply(std::string page)
{
    Reply reply;
    reply.contentType = kHtmlType;
    reply.body = std::move(page);
    return reply;
}

Reply failure(const std::string &problem, bool busy = false)
{
    Reply reply = busy ? textReply(503, "The server is busy; please try again in a moment.")
                       : textReply(500, "The server could not answer this request.");
    if (busy)
        reply.headers.emplace_back("Retry-After", "5");
    reply.problem = problem;
    return reply;
}

// Answers must not be kept by caches along the way: the list changes with
// every posting and a posting must always reach the server.
void addNoCache(Reply &reply)
{
    reply.headers.emplace_back("Cache-Control", "no-cache");
}

// A published text exactly as it stands, never from a cache: a version text
// or a signature of the last release would not match the files beside it.
Reply publishedText(std::string text)
{
    Reply reply = textReply(200, "");
    reply.body = std::move(text);
    addNoCache(reply);
    return reply;
}

} // namespace

Routes::Routes(ScoreTable &table, PublishedContent content, std::string site, PostingLimit *postingLimit,
               int listPerClient)
    : m_table(table), m_content(std::move(content)), m_site(std::move(site)), m_postingLimit(postingLimit),
      m_listPerClient(listPerClient)
{
}

Reply Routes::handle(const RouteRequest &request)
{
    if (request.method != "GET" && request.method != "HEAD") {
        Reply reply = textReply(405, "Only GET and HEAD are served here.");
        reply.headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    const std::size_t queryAt = request.target.find('?');
    const std::string_view path = request.target.substr(0, queryAt);
    const std::string_view query =
        queryAt == std::string_view::npos ? std::string_view() : request.target.substr(queryAt + 1);

    if (path == kPostingPath)
        return postScore(request, query);
    if (path == kScoreListPath)
        return scoreList();
    if (path == kVersionPath)
        return versionText();
    if (path == kInstallerPath)
        return installer();
    if (path == kSignaturePath)
        return signature();
    if (path == kHealthPath)
        return health();
    if (path == kHomePath) {
        const InstallerLookup published = m_content.installer();
        return htmlReply(homePage(published.state == Published::Yes, m_site));
    }
    if (path == kLobbyPath)
        return htmlReply(lobbyPage(m_site));
    return textReply(404, "There is nothing at this address.");
}

std::variant<Reply, NewScore> Routes::admitPosting(const RouteRequest &request, std::string_view query)
{
    const ScoreQuery parsed = parseScoreQuery(query);
    if (!parsed.ok())
        return textReply(400, "Score refused: " + parsed.error);
    ScoreCheck check = checkScoreFields(parsed.fields);
    if (!check.ok())
        return textReply(400, "Score refused: " + check.error);
    check.score.client = request.client;
    // HEAD is safe by definition: it answers as GET would but stores nothing,
    // so only a GET spends from the client's postings.
    if (request.method == "GET" && m_postingLimit) {
        if (const int wait = m_postingLimit->take(request.client); wait > 0) {
            Reply reply = textReply(429, "Too many scores posted from this address; please try again in "
                                        + std::to_string(wait) + (wait == 1 ? " second." : " seconds."));
            reply.headers.emplace_back("Retry-After", std::to_string(wait));
            return reply;
        }
    }
    return std::move(check.score);
}

Reply Routes::postingAnswer(const NewScore &score, std::exception_ptr error)
{
    // Whether or not the row was written, the cached list can no longer be
    // trusted; it is dropped before the posting is answered.
    forgetScoreList();
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const StoreError &failed) {
            return failure(failed.what(), failed.busy());
        } catch (const std::exception &failed) {
            return failure(failed.what());
        }
    }
    Reply reply = htmlReply(scoreReceivedPage(score, m_site));
    addNoCache(reply);
    return reply;
}

Reply Routes::postScore(const RouteRequest &request, std::string_view query)
{
    std::variant<Reply, NewScore> admitted = admitPosting(request, query);
    if (Reply *refused = std::get_if<Reply>(&admitted))
        return std::move(*refused);
    const NewScore &score = std::get<NewScore>(admitted);
    if (request.method != "GET") {
        Reply reply = htmlReply(scoreReceivedPage(score, m_site));
        addNoCache(reply);
        return reply;
    }
    std::exception_ptr error;
    try {
        m_table.addScore(score);
    } catch (...) {
        error = std::current_exception();
    }
    return postingAnswer(score, error);
}

void Routes::postScoreLater(const RouteRequest &request, std::function<void(Reply)> answered)
{
    const std::size_t queryAt = request.target.find('?');
    const std::string_view query =
        queryAt == std::string_view::npos ? std::string_view() : request.target.substr(queryAt + 1);
    std::variant<Reply, NewScore> admitted = admitPosting(request, query);
    if (Reply *refused = std::get_if<Reply>(&admitted)) {
        answered(std::move(*refused));
        return;
    }
    NewScore score = std::move(std::get<NewScore>(admitted));
    NewScore kept = score; // for the page, which the table's copy is not
    m_table.addScoreLater(std::move(score),
                          [this, kept = std::move(kept), answered = std::move(answered)](StoredScore,
                                                                                          std::exception_ptr error) {
                              answered(postingAnswer(kept, error));
                          });
}

namespace {

Reply listReply(std::shared_ptr<const std::string> page)
{
    Reply reply = htmlReply({});
    reply.sharedBody = std::move(page);
    addNoCache(reply);
    return reply;
}

} // namespace

std::optional<Reply> Routes::scoreListIfCached()
{
    std::shared_ptr<const std::string> page;
    {
        std::lock_guard lock(m_cacheMutex);
        // A list other processes may have changed is only known current
        // after asking the database.
        if (!m_sharedChanges)
            page = m_scoreList;
    }
    if (!page)
        return std::nullopt;
    return listReply(std::move(page));
}

std::shared_ptr<const std::string> Routes::cachedList(const std::optional<std::int64_t> &changes)
{
    std::lock_guard lock(m_cacheMutex);
    return changes == m_sharedChanges ? m_scoreList : nullptr;
}

std::shared_ptr<const std::string> Routes::currentList()
{
    // Read before the list, so the list is at least as new as the count.
    std::optional<std::int64_t> changes = m_table.sharedChanges();
    if (auto page = cachedList(changes))
        return page;
    std::lock_guard building(m_buildMutex);
    // Whoever held the build may have just built this very list; a fresh
    // count says whether it is still current.
    if (changes)
        changes = m_table.sharedChanges();
    if (auto page = cachedList(changes))
        return page;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_cacheMutex);
        generation = m_generation;
    }
    auto page = std::make_shared<const std::string>(
        scoreListPage(m_table.bestScores(kListedScores, m_listPerClient), m_site));
    std::lock_guard lock(m_cacheMutex);
    if (m_generation == generation) {
        m_scoreList = page;
        m_sharedChanges = changes;
    }
    m_lastGood = page;
    return page;
}

Reply Routes::scoreList()
{
    std::shared_ptr<const std::string> page;
    std::string problem;
    bool busy = false;
    try {
        page = currentList();
    } catch (const StoreError &error) {
        problem = error.what();
        busy = error.busy();
    }
    if (!page) {
        // While the database cannot be read, the last list it gave is
        // better than none; the operator learns of it from the log.
        std::lock_guard lock(m_cacheMutex);
        if (!m_lastGood)
            return failure(problem, busy);
        page = m_lastGood;
    }
    Reply reply = listReply(std::move(page));
    if (!problem.empty())
        reply.problem = "serving the last list read, as the score database does not answer: " + problem;
    return reply;
}

void Routes::forgetScoreList()
{
    std::lock_guard lock(m_cacheMutex);
    ++m_generation;
    m_scoreList.reset();
}

Reply Routes::health()
{
    Reply reply;
    try {
        m_table.probe();
        reply = textReply(200, "ok");
    } catch (const StoreError &error) {
        reply = textReply(503, "The score database is not answering.");
        reply.problem = error.what();
    }
    // A cached "ok" would hide an outage from the monitor asking.
    addNoCache(reply);
    return reply;
}

Reply Routes::versionText() const
{
    TextLookup version = m_content.versionText();
    switch (version.state) {
    case Published::Yes:
        return publishedText(std::move(version.text));
    case Published::No:
        return publishedText(PEGSQUARE_VERSION);
    case Published::Failed:
        break;
    }
    return failure(version.error);
}

Reply Routes::installer() const
{
    InstallerLookup installer = m_content.installer();
    switch (installer.state) {
    case Published::Yes: {
        Reply reply;
        reply.contentType = kInstallerType;
        reply.file = std::move(installer.file);
        return reply;
    }
    case Published::No:
        return textReply(404, "No installer has been published yet.");
    case Published::Failed:
        break;
    }
    return failure(installer.error);
}

Reply Routes::signature() const
{
    TextLookup signature = m_content.signature();
    switch (signature.state) {
    case Published::Yes:
        return publishedText(std::move(signature.text));
    case Published::No:
        return textReply(404, "No installer signature has been published yet.");
    case Published::Failed:
        break;
    }
    return failure(signature.error);
}
