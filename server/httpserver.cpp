#include "httpserver.h"

#include "clientaddress.h"
#include "connection.h"
#include "pages.h"
#include "routelabel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

namespace {

constexpr int kListenBacklog = 512;
constexpr std::size_t kMaxLoggedTarget = 256;
constexpr std::size_t kMaxPayload = 64 * 1024;
constexpr std::size_t kFileChunk = 64 * 1024;

// The client of the connection this worker thread is serving, for log lines
// of requests httplib refused before it noted the client itself.
thread_local std::string t_client;

// Whom the request being answered is for: the peer, or the client a trusted
// proxy named. Empty until the routes have been asked, so a request httplib
// refused is logged under the peer.
thread_local std::string t_requestClient;

// When the head of the request this worker thread is answering began to
// come, for the posting latency.
thread_local std::chrono::steady_clock::time_point t_headStarted;

// Body bytes the content providers of the current request handed to the
// client, so a download cut short is logged as what was really sent.
thread_local std::uint64_t t_streamedBytes = 0;

// The methods httplib 0.11.4 parses; it refuses any other with 400 before
// the routes could say 405.
bool httplibParsesMethod(std::string_view method)
{
    constexpr std::string_view known[] = {"GET", "HEAD", "POST", "PUT", "DELETE",
                                          "CONNECT", "OPTIONS", "TRACE", "PATCH", "PRI"};
    return std::find(std::begin(known), std::end(known), method) != std::end(known);
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return status >= 500 ? "Internal Server Error" : "Error";
    }
}

std::string statusText(int status)
{
    switch (status) {
    case 400: return "Bad request.";
    case 404: return "There is nothing at this address.";
    case 405: return "Only GET and HEAD are served here.";
    case 413: return "The request is too large.";
    case 414: return "The request line is too long.";
    case 416: return "The requested range is not available.";
    case 429: return "Too many requests; please try again later.";
    case 431: return "The request headers are too large.";
    case 503: return "The server is busy; please try again in a moment.";
    default: return status >= 500 ? "The server could not answer this request." : "The request was refused.";
    }
}

// Only SO_REUSEADDR: httplib's default also sets SO_REUSEPORT, which lets a
// second server bind the same port and silently take half of the clients.
void listenerOptions(socket_t sock)
{
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace

HttpServer::HttpServer(Routes &routes, AccessLog &log, const ServerLimits &limits,
                       std::vector<std::string> trustedProxies)
    : m_routes(routes), m_log(log), m_limits(limits), m_trustedProxies(std::move(trustedProxies))
{
    set_socket_options(listenerOptions);
    set_payload_max_length(kMaxPayload);
    const auto seconds = [](std::chrono::milliseconds ms) { return static_cast<time_t>(ms.count() / 1000); };
    const auto micros = [](std::chrono::milliseconds ms) { return static_cast<time_t>(ms.count() % 1000 * 1000); };
    set_read_timeout(seconds(m_limits.readTimeout), micros(m_limits.readTimeout));
    set_write_timeout(seconds(m_limits.writeTimeout), micros(m_limits.writeTimeout));
    // Only for the Keep-Alive header httplib writes; the connection loop keeps to them.
    set_keep_alive_max_count(m_limits.maxRequestsPerConnection);
    set_keep_alive_timeout(std::max<time_t>(1, seconds(m_limits.keepAliveTimeout)));
    set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        answer(request, response);
        return HandlerResponse::Handled;
    });
    // httplib's own refusals (a request line it cannot parse, say) come
    // without a body; give them a short one.
    set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty() && !response.content_provider_)
            response.set_content(statusText(response.status) + "\n", "text/plain; charset=utf-8");
    });
    set_logger([this](const httplib::Request &request, const httplib::Response &response) {
        logAnswer(request, response);
    });
}

HttpServer::~HttpServer()
{
    requestStop();
    closeListener();
}

int HttpServer::bind(const std::string &address, int port)
{
    errno = 0;
    const int bound = port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : -1);
    if (bound < 0)
        return -1;
    // httplib listens with a backlog of five; bursts of clients need more.
    ::listen(svr_sock_, kListenBacklog);

    ConnectionBounds bounds;
    bounds.head = m_limits.head;
    bounds.readTimeout = m_limits.readTimeout;
    bounds.headTimeout = m_limits.headTimeout;
    bounds.keepAliveTimeout = m_limits.keepAliveTimeout;
    bounds.writeTimeout = m_limits.writeTimeout;
    bounds.maxConnections = m_limits.maxConnections;
    bounds.maxConnectionsPerAddress = m_limits.maxConnectionsPerAddress;
    // A proxy speaks for many clients; their own connections are its business.
    bounds.unboundedAddresses = m_trustedProxies;
    ConnectionEvents events;
    events.dispatch = [this](std::unique_ptr<ClientConnection> connection) {
        if (answerWithoutWorker(connection))
            return;
        // httplib's queue takes only copyable jobs; the job owns the connection.
        ClientConnection *taken = connection.release();
        m_workers->enqueue([this, taken] { serve(std::unique_ptr<ClientConnection>(taken)); });
    };
    events.refused = [this](std::string_view peer, int status) { return refusal(peer, status); };
    events.stopAccepting = [this] { closeListener(); };
    if (m_metrics != nullptr) {
        events.opened = [this] { m_metrics->connectionOpened(); };
        events.closed = [this] { m_metrics->connectionClosed(); };
    }
    m_loop = std::make_unique<ConnectionLoop>(static_cast<int>(svr_sock_), std::move(bounds), std::move(events));
    if (m_stopping)
        m_loop->requestStop();
    return bound;
}

bool HttpServer::run()
{
    if (!m_loop)
        return false;
    httplib::ThreadPool workers(m_limits.workerThreads);
    m_workers = &workers;
    const bool served = m_loop->run();
    // Every request under way has been answered when the loop ends after a
    // stop; after a failure the workers and the score table still finish theirs.
    workers.shutdown();
    {
        std::unique_lock lock(m_postingsMutex);
        m_postingsAnswered.wait(lock, [this] { return m_postingsOut == 0; });
    }
    m_workers = nullptr;
    closeListener();
    return served;
}

void HttpServer::requestStop()
{
    m_stopping = true;
    if (m_loop)
        m_loop->requestStop();
}

void HttpServer::closeListener()
{
    // What httplib's stop() does, which also tells its content providers
    // that the server is stopping.
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener != INVALID_SOCKET) {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
    }
}

std::string HttpServer::refusal(std::string_view peer, int status)
{
    const std::string body = (status == 429 ? std::string("Too many connections from your address; please try again later.")
                                            : statusText(status)) + "\n";
    m_log.write({peer, "-", "-", status, body.size()});
    if (m_metrics != nullptr)
        m_metrics->countRefusal(status == 429 ? ServerMetrics::Limit::ConnectionsPerAddress
                                              : ServerMetrics::Limit::ConnectionsTotal);
    if (status == 503) {
        // Once a minute at most: a server at its bound would otherwise
        // write a line for every client it turns away.
        const std::lock_guard lock(m_refusalNoteMutex);
        const auto now = std::chrono::steady_clock::now();
        if (m_lastRefusalNote == std::chrono::steady_clock::time_point{} || now - m_lastRefusalNote >= std::chrono::minutes(1)) {
            m_lastRefusalNote = now;
            m_log.problem("refusing connections: " + std::to_string(m_limits.maxConnections)
                          + " are open, the most allowed (--max-connections)");
        }
    }
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status)
        + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nRetry-After: 10\r\nConnection: close\r\n\r\n" + body;
}

void HttpServer::serve(std::unique_ptr<ClientConnection> connection)
{
    ClientConnection &client = *connection;
    t_client = client.peer;
    t_requestClient.clear();
    t_headStarted = client.headStarted;
    ConnectionStream stream(client, m_limits.readTimeout, m_limits.writeTimeout);
    // Whatever happens here, the loop gets the connection back: it alone closes them.
    client.next = ClientConnection::Next::Close;
    try {
        const HeadScan scan = client.scan;
        ++client.served;
        if (scan.state != HeadState::Complete) {
            Reply refusal;
            refusal.status = scan.state == HeadState::RequestLineTooLong ? 414 : 431;
            refusal.contentType = "text/plain; charset=utf-8";
            refusal.body = statusText(refusal.status) + "\n";
            answerDirectly(stream, refusal);
            client.input.clear();
            client.next = ClientConnection::Next::Drain;
        } else {
            std::size_t headLength = scan.length;
            if (auto mended = mendRequestHead(std::string_view(client.input).substr(0, headLength))) {
                client.input.replace(0, headLength, *mended);
                headLength = mended->size();
            }
            const std::string_view method = std::string_view(client.input).substr(0, client.input.find(' '));
            if (!httplibParsesMethod(method) && isToken(method)) {
                // Its headers are never read, so the client is the peer;
                // these methods are refused whoever asks.
                const RequestLineParts parts = requestLineParts(client.input, headLength);
                answerDirectly(stream, m_routes.handle({parts.method, parts.target, t_client}));
                client.input.clear();
                client.next = ClientConnection::Next::Drain;
            } else {
                // A body is never read (the head was mended not to declare
                // one), so the connection ends after the answer and the
                // body cannot be taken for the next request.
                const bool closeAfter = scan.declaresBody || scan.wantsClose || m_stopping
                    || client.served >= m_limits.maxRequestsPerConnection;
                bool clientCloses = false;
                const bool written = process_request(stream, closeAfter, clientCloses, nullptr);
                const bool unread = stream.keepUnread();
                if (!written)
                    client.output.clear();
                else if (clientCloses || closeAfter)
                    client.next = scan.declaresBody || unread ? ClientConnection::Next::Drain
                                                              : ClientConnection::Next::Close;
                else
                    client.next = ClientConnection::Next::ReadHead;
            }
        }
    } catch (const std::exception &error) {
        client.output.clear();
        m_log.problem(std::string("a request failed: ") + error.what());
    }
    m_loop->giveBack(std::move(connection));
}

bool HttpServer::answerWithoutWorker(std::unique_ptr<ClientConnection> &connection)
{
    ClientConnection &held = *connection;
    const HeadScan &scan = held.scan;
    // A request with a body is left to httplib, which drains it. The game
    // itself asks in HTTP/1.0 and lets the connection end with the answer.
    if (scan.state != HeadState::Complete || scan.declaresBody)
        return false;
    const std::string_view head = std::string_view(held.input).substr(0, scan.length);
    const std::optional<std::string> mended = mendRequestHead(head);
    const std::optional<PlainHead> plain = readPlainHead(mended ? std::string_view(*mended) : head);
    if (!plain || plain->method != "GET" || (plain->version != "HTTP/1.1" && plain->version != "HTTP/1.0"))
        return false;
    const std::string_view path = plain->target.substr(0, plain->target.find('?'));
    std::optional<Reply> listPage;
    if (path == kScoreListPath) {
        listPage = m_routes.scoreListIfCached();
        if (!listPage)
            return false; // built by a worker, which may wait for the database
    } else if (path != kPostingPath) {
        return false;
    }

    std::string client = clientAddress(held.peer, plain->forwardedFor, m_trustedProxies);
    std::string target(plain->target);
    held.input.erase(0, scan.length);
    if (!held.input.empty()) // the next request, sent without waiting for this answer
        held.headStarted = std::chrono::steady_clock::now();
    ++held.served;
    if (listPage) {
        finishWithoutWorker(std::move(connection), client, target, *listPage);
        return true;
    }
    {
        const std::lock_guard lock(m_postingsMutex);
        ++m_postingsOut;
    }
    const auto answered = [this] {
        const std::lock_guard lock(m_postingsMutex);
        if (--m_postingsOut == 0)
            m_postingsAnswered.notify_all();
    };
    // Shared, because a std::function must be copyable; whichever of the
    // answer or a failure below comes first hands the connection back.
    auto owner = std::make_shared<std::unique_ptr<ClientConnection>>(std::move(connection));
    try {
        m_routes.postScoreLater({"GET", target, client}, [this, owner, client, target, answered](const Reply &reply) {
            if (*owner) {
                finishWithoutWorker(std::move(*owner), client, target, reply);
                answered();
            }
        });
    } catch (const std::exception &error) {
        m_log.problem(std::string("a request failed: ") + error.what());
        if (*owner) {
            (*owner)->next = ClientConnection::Next::Close;
            m_loop->giveBack(std::move(*owner));
            answered();
        }
    }
    return true;
}

void HttpServer::finishWithoutWorker(std::unique_ptr<ClientConnection> connection, std::string_view client,
                                     std::string_view target, const Reply &reply)
{
    ClientConnection &held = *connection;
    // As httplib does: the connection ends after the answer when the client
    // asked so, when it has had its most requests, or at a stop.
    const bool close = held.scan.wantsClose || held.served >= m_limits.maxRequestsPerConnection || m_stopping;
    const std::string_view body = reply.text();
    // The headers httplib gives the same answer, in its order (by name,
    // ignoring case), so an answer reads the same whichever way it went.
    std::vector<std::pair<std::string, std::string>> headers = reply.headers;
    headers.emplace_back("Accept-Ranges", "none");
    headers.emplace_back("Content-Length", std::to_string(body.size()));
    headers.emplace_back("Content-Type", reply.contentType);
    if (close)
        headers.emplace_back("Connection", "close");
    else
        headers.emplace_back("Keep-Alive",
                             "timeout=" + std::to_string(std::max<long long>(1, m_limits.keepAliveTimeout.count() / 1000))
                                 + ", max=" + std::to_string(m_limits.maxRequestsPerConnection));
    std::stable_sort(headers.begin(), headers.end(), [](const auto &a, const auto &b) {
        return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                                            [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
    });
    std::string answer = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    for (const auto &[name, value] : headers)
        answer.append(name).append(": ").append(value).append("\r\n");
    answer.append("\r\n").append(body);

    // Sent at once when the socket takes it, as it nearly always does; the
    // loop sends whatever is left.
    const ssize_t sent = ::send(held.fd.get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        held.next = ClientConnection::Next::Close;
    } else {
        held.output.assign(answer, sent > 0 ? static_cast<std::size_t>(sent) : 0);
        // What the client sent after a last request is dropped for a moment
        // rather than cut off, so it still reads the answer.
        held.next = !close                 ? ClientConnection::Next::ReadHead
                    : held.input.empty() ? ClientConnection::Next::Close
                                         : ClientConnection::Next::Drain;
    }
    if (!reply.problem.empty())
        m_log.problem(reply.problem);
    m_log.write({client, "GET", target, reply.status, body.size()});
    if (m_metrics != nullptr && routeLabel(target) == "scores")
        m_metrics->observePosting(std::chrono::steady_clock::now() - held.headStarted);
    count(target, reply.status);
    m_loop->giveBack(std::move(connection));
}

void HttpServer::answerDirectly(ConnectionStream &stream, const Reply &reply)
{
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    for (const auto &[name, value] : reply.headers)
        head.append(name).append(": ").append(value).append("\r\n");
    const std::string_view body = reply.text();
    head += "Content-Type: " + reply.contentType + "\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n";
    stream.writeAll(head.append(body));

    const RequestLineParts parts = requestLineParts(stream.bufferedBytes(), kMaxLoggedTarget);
    m_log.write({t_client, parts.method, parts.target, reply.status, body.size()});
    count(parts.target, reply.status);
}

void HttpServer::answer(const httplib::Request &request, httplib::Response &response)
{
    t_streamedBytes = 0;
    const std::string_view peer = request.remote_addr.empty() ? std::string_view(t_client)
                                                              : std::string_view(request.remote_addr);
    std::string forwardedFor;
    if (!m_trustedProxies.empty()) {
        // Several X-Forwarded-For headers make one list, in the order sent.
        const auto [from, to] = request.headers.equal_range("X-Forwarded-For");
        for (auto header = from; header != to; ++header)
            forwardedFor.append(forwardedFor.empty() ? "" : ",").append(header->second);
    }
    const std::string client = clientAddress(peer, forwardedFor, m_trustedProxies);
    t_requestClient = client;
    Reply reply = m_routes.handle({request.method, request.target, client});
    if (m_metrics != nullptr && routeLabel(request.target) == "scores")
        m_metrics->observePosting(std::chrono::steady_clock::now() - t_headStarted);
    if (!reply.problem.empty()) // the operator needs the reason; the client only gets the status
        m_log.problem(reply.problem);
    response.status = reply.status;
    // Range requests are not served (the head reader drops them), so none
    // are offered either.
    response.set_header("Accept-Ranges", "none");
    for (auto &[name, value] : reply.headers)
        response.set_header(name, value);
    if (reply.sharedBody && !reply.sharedBody->empty()) {
        // Written straight from the cached page: the busiest answer is never copied.
        std::shared_ptr<const std::string> page = std::move(reply.sharedBody);
        response.set_content_provider(page->size(), reply.contentType,
                                      [page](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                                          if (!sink.write(page->data() + offset, length))
                                              return false;
                                          t_streamedBytes += length;
                                          return true;
                                      });
        return;
    }
    if (!reply.file || reply.file->size() == 0) {
        response.body = std::move(reply.body);
        response.set_header("Content-Type", reply.contentType);
        return;
    }
    std::shared_ptr<const PublishedFile> file = std::move(reply.file);
    // The whole remainder is sent in one call: httplib checks for a stop
    // between calls and would cut a download short, but a download under
    // way should finish like any other request.
    response.set_content_provider(
        static_cast<std::size_t>(file->size()), reply.contentType,
        [file](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
            std::vector<char> chunk(std::min(length, kFileChunk));
            while (length > 0) {
                const long got = file->readAt(offset, chunk.data(), std::min(length, chunk.size()));
                if (got <= 0)
                    return false; // the file shrank or broke: end the connection, do not pad
                if (!sink.write(chunk.data(), static_cast<std::size_t>(got)))
                    return false;
                t_streamedBytes += static_cast<std::uint64_t>(got);
                offset += static_cast<std::size_t>(got);
                length -= static_cast<std::size_t>(got);
            }
            return true;
        });
}

void HttpServer::logAnswer(const httplib::Request &request, const httplib::Response &response)
{
    std::uint64_t bytes = 0;
    if (request.method != "HEAD")
        bytes = response.content_provider_ ? t_streamedBytes : response.body.size();
    // The log names whom the request was for, as the posting limit counts it.
    const std::string_view peer = request.remote_addr.empty() ? std::string_view(t_client)
                                                              : std::string_view(request.remote_addr);
    m_log.write({t_requestClient.empty() ? peer : std::string_view(t_requestClient),
                 request.method, request.target, response.status, bytes});
    count(request.target, response.status);
}

void HttpServer::count(std::string_view target, int status)
{
    if (m_metrics == nullptr)
        return;
    const std::string_view route = routeLabel(target);
    m_metrics->countRequest(route, status);
    if (status == 414 || status == 431)
        m_metrics->countRefusal(ServerMetrics::Limit::HeadTooLarge);
    else if (route == "scores" && status == 429)
        m_metrics->countRefusal(ServerMetrics::Limit::PostingRate);
    else if (route == "scores" && status == 503)
        m_metrics->countRefusal(ServerMetrics::Limit::DatabaseFull);
}
