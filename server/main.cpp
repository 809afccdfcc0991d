// pegsquare-server: the vendor web server the game talks to.

#include "accesslog.h"
#include "content.h"
#include "httpserver.h"
#include "metrics.h"
#include "metricsserver.h"
#include "migration.h"
#include "options.h"
#include "pgscoretable.h"
#include "ratelimit.h"
#include "readiness.h"
#include "routes.h"
#include "sqlitescoretable.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// IPv6 addresses go in brackets in a URL.
std::string hostForUrl(const std::string &address)
{
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// Descriptors kept apart from client connections: the database, its
// journal, the log, published files being sent, the metrics listener.
constexpr rlim_t kReservedDescriptors = 64;

// Raises the soft limit on open files as far as the hard limit allows (up
// to what the connection bound needs), and returns how many connections
// fit under it. Debian's default soft limit of 1024 would otherwise cap a
// server meant for thousands of players.
std::size_t connectionsThatFit(std::size_t wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    const rlim_t needed = static_cast<rlim_t>(wanted) + kReservedDescriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return wanted;
    return limit.rlim_cur > 2 * kReservedDescriptors ? static_cast<std::size_t>(limit.rlim_cur - kReservedDescriptors)
                                                    : static_cast<std::size_t>(kReservedDescriptors);
}

// The database's size on disk with its write-ahead log, for the metrics.
std::uint64_t databaseBytes(const std::string &path)
{
    std::uint64_t total = 0;
    for (const std::string &file : {path, path + "-wal"}) {
        struct stat status {};
        if (::stat(file.c_str(), &status) == 0)
            total += static_cast<std::uint64_t>(status.st_size);
    }
    return total;
}

int serve(const ServerOptions &options, const sigset_t &handledSignals)
{
    // Opened first, so that a log that cannot be written stops the start
    // before anything else is touched.
    const std::unique_ptr<AccessLog> log = options.logPath.empty() ? std::make_unique<AccessLog>(stderr)
                                                                   : std::make_unique<AccessLog>(options.logPath);
    std::unique_ptr<ScoreTable> table;
    std::function<std::uint64_t()> databaseSize;
    std::function<void(std::function<void(std::size_t)>)> observeBatches;
    if (isPostgresUri(options.databasePath)) {
        auto postgres = std::make_unique<PgScoreTable>(options.databasePath,
                                                       static_cast<std::size_t>(options.databaseConnections));
        databaseSize = [table = postgres.get()] { return table->databaseBytes(); };
        observeBatches = [table = postgres.get()](auto observer) { table->setBatchObserver(std::move(observer)); };
        table = std::move(postgres);
    } else {
        auto sqlite = std::make_unique<SqliteScoreTable>(options.databasePath,
                                                         std::uint64_t(options.maxDatabaseMiB) * 1024 * 1024);
        databaseSize = [path = options.databasePath] { return databaseBytes(path); };
        observeBatches = [table = sqlite.get()](auto observer) { table->setBatchObserver(std::move(observer)); };
        table = std::move(sqlite);
    }
    std::unique_ptr<PostingLimit> postingLimit;
    if (options.postRate > 0)
        postingLimit = std::make_unique<PostingLimit>(PostingLimit::Settings{options.postRate, options.postBurst});
    Routes routes(*table, PublishedContent(options.contentFolder), options.publicUrl, postingLimit.get(),
                  options.listPerClient);
    ServerLimits limits;
    limits.maxConnectionsPerAddress = static_cast<std::size_t>(options.maxConnectionsPerAddress);
    limits.maxConnections = connectionsThatFit(static_cast<std::size_t>(options.maxConnections));
    if (limits.maxConnections < static_cast<std::size_t>(options.maxConnections))
        log->problem("the system allows this process only enough open files for " + std::to_string(limits.maxConnections)
                     + " connections; raise LimitNOFILE (or ulimit -n) for --max-connections "
                     + std::to_string(options.maxConnections));
    HttpServer server(routes, *log, limits, options.trustedProxies);

    ServerMetrics metrics(databaseSize);
    std::unique_ptr<MetricsServer> metricsServer;
    std::string metricsUrl;
    if (options.metricsListen) {
        server.setMetrics(&metrics);
        observeBatches([&metrics](std::size_t postings) { metrics.observeBatch(postings); });
        metricsServer = std::make_unique<MetricsServer>(metrics);
        const auto &[metricsAddress, metricsPort] = *options.metricsListen;
        const int bound = metricsServer->bind(metricsAddress, metricsPort);
        if (bound < 0) {
            std::fprintf(stderr, "pegsquare-server: cannot serve metrics on %s port %d\n", metricsAddress.c_str(),
                         metricsPort);
            return kExitFailure;
        }
        metricsUrl = "http://" + hostForUrl(metricsAddress) + ":" + std::to_string(bound) + "/metrics";
        metricsServer->start();
    }

    const int port = server.bind(options.listen, options.port);
    if (port < 0) {
        const int error = errno;
        std::fprintf(stderr, "pegsquare-server: cannot listen on %s port %d: %s\n", options.listen.c_str(),
                     options.port,
                     error != 0 ? std::strerror(error) : "the address is not one of this machine's");
        return kExitFailure;
    }
    const std::string address = "http://" + hostForUrl(options.listen) + ":" + std::to_string(port);
    if (options.publicUrl.empty())
        routes.setSite(address);
    // The first line, which scripts wait for, names the players' address.
    std::printf("pegsquare-server: listening on %s\n", address.c_str());
    if (!metricsUrl.empty())
        std::printf("pegsquare-server: metrics on %s\n", metricsUrl.c_str());
    std::fflush(stdout);
    if (const std::string problem = tellServiceManagerReady(); !problem.empty())
        std::fprintf(stderr, "pegsquare-server: %s\n", problem.c_str());

    // The signals are blocked in every thread and taken here, outside any
    // handler, so stopping and reopening the log may lock and wake threads
    // like any other code.
    std::atomic<bool> finished{false};
    std::thread signalWaiter([&] {
        bool stopping = false;
        for (;;) {
            int signal = 0;
            if (sigwait(&handledSignals, &signal) != 0)
                continue;
            if (finished)
                return;
            if (signal == SIGHUP) {
                // logrotate has renamed the log away: go on in a new file
                // by the old name. Without --log there is nothing to reopen.
                log->reopen();
                continue;
            }
            if (!stopping) {
                stopping = true;
                server.requestStop();
                continue;
            }
            // A second signal while the last requests finish: stop at once.
            static const char message[] = "pegsquare-server: stopping at once\n";
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
            _exit(kExitFailure);
        }
    });
    const bool served = server.run();
    finished = true;
    // Wakes the waiter when the server ended by itself. The signal stays
    // blocked everywhere, so if the waiter is gone it is never delivered.
    ::kill(::getpid(), SIGTERM);
    signalWaiter.join();
    if (!served) {
        std::fprintf(stderr, "pegsquare-server: stopped accepting connections after an error\n");
        return kExitFailure;
    }
    return 0;
}

// `text` on one line: a database's messages may run over several (a
// detail, a hint), and scripts read one line per error.
std::string oneLine(const std::string &text)
{
    std::string line;
    bool blank = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
            blank = true;
            continue;
        }
        if (blank && !line.empty())
            line += ' ';
        blank = false;
        line += c;
    }
    return line;
}

// Copies the scores of a SQLite database into the PostgreSQL one and says
// how many; the server is not started.
int migrate(const ServerOptions &options)
{
    try {
        const MigrationCount count = migrateScores(options.migrateFrom, options.databasePath);
        std::printf("pegsquare-server: copied %lld score%s from %s (%lld %s there already)\n",
                    static_cast<long long>(count.copied), count.copied == 1 ? "" : "s",
                    sqliteSourcePath(options.migrateFrom).c_str(), static_cast<long long>(count.alreadyThere),
                    count.alreadyThere == 1 ? "was" : "were");
        return std::fflush(stdout) == 0 ? 0 : kExitFailure;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "pegsquare-server: %s\n", oneLine(error.what()).c_str());
        return kExitFailure;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const ParsedArguments parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.outcome) {
    case ParsedArguments::Outcome::Help:
        std::fputs(usageText().c_str(), stdout);
        return 0;
    case ParsedArguments::Outcome::Error:
        std::fprintf(stderr, "pegsquare-server: %s\nTry pegsquare-server --help\n", parsed.error.c_str());
        return kExitUsage;
    case ParsedArguments::Outcome::Run:
        break;
    }
    if (!parsed.options.migrateFrom.empty())
        return migrate(parsed.options);

    // Before any thread exists, so that every thread inherits the mask.
    // SIGHUP is taken too: its default action would end the server when
    // the operator only meant to have the log reopened.
    sigset_t handledSignals;
    sigemptyset(&handledSignals);
    sigaddset(&handledSignals, SIGTERM);
    sigaddset(&handledSignals, SIGINT);
    sigaddset(&handledSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &handledSignals, nullptr);
    // A client that hangs up must cost a failed write, not the process.
    ::signal(SIGPIPE, SIG_IGN);

    try {
        return serve(parsed.options, handledSignals);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "pegsquare-server: %s\n", error.what());
        return kExitFailure;
    }
}
