#include "httpserver.h"

#include "clientaddress.h"
#include "connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
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
    : m_routes(routes), m_log(log), m_limits(limits), m_trustedProxies(std::move(trustedProxies)),
      m_stopEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_stopEvent.valid())
        throw std::system_error(errno, std::generic_category(), "cannot make the stop event");
    const std::size_t workers = m_limits.workerThreads;
    new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    set_socket_options(listenerOptions);
    set_payload_max_length(kMaxPayload);
    const auto seconds = [](std::chrono::milliseconds ms) { return static_cast<time_t>(ms.count() / 1000); };
    const auto micros = [](std::chrono::milliseconds ms) { return static_cast<time_t>(ms.count() % 1000 * 1000); };
    set_read_timeout(seconds(m_limits.readTimeout), micros(m_limits.readTimeout));
    set_write_timeout(seconds(m_limits.writeTimeout), micros(m_limits.writeTimeout));
    // Only for the Keep-Alive header httplib writes; the connection loop here keeps to them.
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
}

int HttpServer::bind(const std::string &address, int port)
{
    errno = 0;
    const int bound = port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : -1);
    if (bound < 0)
        return -1;
    // httplib listens with a backlog of five; bursts of clients need more.
    ::listen(svr_sock_, kListenBacklog);
    return bound;
}

bool HttpServer::run()
{
    return listen_after_bind();
}

void HttpServer::requestStop()
{
    m_stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stopEvent.get(), &one, sizeof one);
    // What httplib's stop() does, but also before run() has begun, so a
    // stop that comes early is not lost.
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener != INVALID_SOCKET) {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
    }
}

bool HttpServer::process_and_close_socket(socket_t sock)
{
    const UniqueFd owned(sock);
    const int noDelay = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    ConnectionStream stream(sock, m_stopEvent.get(), m_limits.readTimeout, m_limits.writeTimeout);
    int clientPort = 0;
    stream.get_remote_ip_and_port(t_client, clientPort);
    bool drain = false;
    for (std::size_t served = 0; served < m_limits.maxRequestsPerConnection; ++served) {
        HeadScan scan;
        const auto idle = served == 0 ? m_limits.readTimeout : m_limits.keepAliveTimeout;
        if (stream.awaitHead(idle, m_limits.headTimeout, m_limits.head, scan) != ConnectionStream::Wait::Ready)
            break;
        if (scan.state != HeadState::Complete) {
            Reply refusal;
            refusal.status = scan.state == HeadState::RequestLineTooLong ? 414 : 431;
            refusal.contentType = "text/plain; charset=utf-8";
            refusal.body = statusText(refusal.status) + "\n";
            answerDirectly(stream, refusal);
            drain = true;
            break;
        }
        const std::string_view buffered = stream.bufferedBytes();
        const std::string_view method = buffered.substr(0, buffered.find(' '));
        if (!httplibParsesMethod(method) && isToken(method)) {
            const RequestLineParts parts = requestLineParts(buffered, scan.length);
            // Its headers are never read, so the client is the peer; these
            // methods are refused whoever asks.
            answerDirectly(stream, m_routes.handle({parts.method, parts.target, t_client}));
            drain = true;
            break;
        }
        // A body on a GET is never read; the connection ends after the answer
        // so the body cannot be taken for the next request.
        const bool closeAfter = scan.declaresBody || scan.wantsClose || m_stopping
            || served + 1 == m_limits.maxRequestsPerConnection;
        bool clientCloses = false;
        const bool written = process_request(stream, closeAfter, clientCloses, nullptr);
        if (!written || clientCloses || closeAfter) {
            drain = written && (scan.declaresBody || stream.hasUnreadInput());
            break;
        }
    }
    if (drain)
        stream.drainBeforeClose();
    ::shutdown(sock, SHUT_RDWR);
    return true;
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
    Reply reply = m_routes.handle({request.method, request.target, client});
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
    m_log.write({request.remote_addr.empty() ? std::string_view(t_client) : std::string_view(request.remote_addr),
                 request.method, request.target, response.status, bytes});
}
