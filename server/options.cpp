#include "options.h"

#include "clientaddress.h"
#include "metrics.h"
#include "migration.h"

#include <optional>

namespace {

constexpr int kMaxPort = 65535;
constexpr std::size_t kMaxPortDigits = 5;

constexpr int kMaxDatabaseMiB = 1 << 20; // a tebibyte
constexpr std::size_t kMaxDatabaseMiBDigits = 7;

constexpr int kMaxPostings = 1000000;
constexpr std::size_t kMaxPostingsDigits = 7;

// Each open connection is a descriptor; past a million the system's own
// limits stop it long before these would.
constexpr int kMaxConnections = 1000000;
constexpr std::size_t kMaxConnectionsDigits = 7;

constexpr int kMaxListPerClient = 1000;
constexpr std::size_t kMaxListPerClientDigits = 4;
// A database serves a few hundred connections in all, shared by every server.
constexpr int kMaxDatabaseConnections = 256;
constexpr std::size_t kMaxDatabaseConnectionsDigits = 3;

// A whole number from 0 to `max` written in at most `digits` digits.
std::optional<int> wholeNumber(const std::string &text, int max, std::size_t digits)
{
    if (text.empty() || text.size() > digits)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::string> &arguments)
{
    ParsedArguments parsed;
    const auto refuse = [&parsed](std::string error) {
        parsed.outcome = ParsedArguments::Outcome::Error;
        parsed.error = std::move(error);
        return parsed;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> value;
        const std::size_t eq = option.find('=');
        if (option.starts_with("--") && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
        }
        if (option == "--help" && !value) {
            parsed.outcome = ParsedArguments::Outcome::Help;
            return parsed;
        }
        if (option != "--listen" && option != "--port" && option != "--db" && option != "--content"
            && option != "--public-url" && option != "--log" && option != "--max-db-mb" && option != "--post-rate"
            && option != "--post-burst" && option != "--trusted-proxy" && option != "--list-per-client"
            && option != "--max-connections" && option != "--max-connections-per-address"
            && option != "--metrics-listen" && option != "--db-connections" && option != "--migrate-from")
            return refuse("unknown argument \"" + arguments[i] + "\"");
        if (!value) {
            if (i + 1 == arguments.size())
                return refuse(option + " needs a value");
            value = arguments[++i];
        }
        if (value->empty())
            return refuse(option + " needs a value that is not empty");
        if (option == "--listen") {
            parsed.options.listen = *value;
        } else if (option == "--port") {
            const auto port = wholeNumber(*value, kMaxPort, kMaxPortDigits);
            if (!port)
                return refuse("--port needs a number from 0 to 65535, not \"" + *value + "\"");
            parsed.options.port = *port;
        } else if (option == "--public-url") {
            std::string url = *value;
            while (url.ends_with('/'))
                url.pop_back();
            if (!url.starts_with("http://") || url.size() <= 7
                || url.find_first_of(" \t\r\n\"<>", 0) != std::string::npos)
                return refuse("--public-url needs an address such as http://www.example.com, not \"" + *value + "\"");
            parsed.options.publicUrl = url;
        } else if (option == "--max-db-mb") {
            const auto mib = wholeNumber(*value, kMaxDatabaseMiB, kMaxDatabaseMiBDigits);
            if (!mib)
                return refuse("--max-db-mb needs a number of MiB from 0 to " + std::to_string(kMaxDatabaseMiB)
                              + ", not \"" + *value + "\"");
            parsed.options.maxDatabaseMiB = *mib;
        } else if (option == "--post-rate" || option == "--post-burst") {
            const bool rate = option == "--post-rate";
            const auto count = wholeNumber(*value, kMaxPostings, kMaxPostingsDigits);
            // A burst of 0 would refuse every posting; the rate has 0 for off.
            if (!count || (!rate && *count == 0))
                return refuse(option + " needs a number from " + (rate ? "0" : "1") + " to "
                              + std::to_string(kMaxPostings) + ", not \"" + *value + "\"");
            (rate ? parsed.options.postRate : parsed.options.postBurst) = *count;
        } else if (option == "--list-per-client") {
            const auto cap = wholeNumber(*value, kMaxListPerClient, kMaxListPerClientDigits);
            if (!cap)
                return refuse("--list-per-client needs a number from 0 to " + std::to_string(kMaxListPerClient)
                              + ", not \"" + *value + "\"");
            parsed.options.listPerClient = *cap;
        } else if (option == "--max-connections" || option == "--max-connections-per-address") {
            const auto count = wholeNumber(*value, kMaxConnections, kMaxConnectionsDigits);
            if (!count || *count == 0)
                return refuse(option + " needs a number from 1 to " + std::to_string(kMaxConnections) + ", not \""
                              + *value + "\"");
            (option == "--max-connections" ? parsed.options.maxConnections
                                           : parsed.options.maxConnectionsPerAddress) = *count;
        } else if (option == "--db-connections") {
            const auto count = wholeNumber(*value, kMaxDatabaseConnections, kMaxDatabaseConnectionsDigits);
            if (!count || *count == 0)
                return refuse("--db-connections needs a number from 1 to " + std::to_string(kMaxDatabaseConnections)
                              + ", not \"" + *value + "\"");
            parsed.options.databaseConnections = *count;
        } else if (option == "--metrics-listen") {
            const auto address = parseListenAddress(*value);
            if (!address)
                return refuse("--metrics-listen needs PORT, HOST:PORT or [IPv6]:PORT, not \"" + *value + "\"");
            parsed.options.metricsListen = address;
        } else if (option == "--trusted-proxy") {
            std::string_view list = *value;
            for (;;) {
                const std::size_t comma = list.find(',');
                const auto address = canonicalAddress(list.substr(0, comma));
                if (!address)
                    return refuse("--trusted-proxy needs IP addresses, such as 127.0.0.1 or ::1, not \""
                                  + std::string(list.substr(0, comma)) + "\"");
                parsed.options.trustedProxies.push_back(*address);
                if (comma == std::string_view::npos)
                    break;
                list.remove_prefix(comma + 1);
            }
        } else if (option == "--log") {
            parsed.options.logPath = *value;
        } else if (option == "--db") {
            parsed.options.databasePath = *value;
        } else if (option == "--migrate-from") {
            if (sqliteSourcePath(*value).empty())
                return refuse("--migrate-from needs the SQLite score database as sqlite:PATH, not \"" + *value + "\"");
            parsed.options.migrateFrom = *value;
        } else {
            parsed.options.contentFolder = *value;
        }
    }
    // Scores are only ever copied into PostgreSQL; copying into another
    // SQLite file would just be a copy of the file.
    if (!parsed.options.migrateFrom.empty() && !isPostgresUri(parsed.options.databasePath))
        return refuse("--migrate-from needs --db to name a PostgreSQL database (postgresql://...), not \""
                      + parsed.options.databasePath + "\"");
    return parsed;
}

bool isPostgresUri(std::string_view database)
{
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::string usageText()
{
    return "Usage: pegsquare-server [--listen ADDRESS] [--port N] [--db PATH] [--content DIR]\n"
           "                        [--public-url URL] [--log FILE] [--max-db-mb N]\n"
           "                        [--post-rate N] [--post-burst N] [--trusted-proxy ADDRESS]\n"
           "                        [--list-per-client N] [--max-connections N]\n"
           "                        [--max-connections-per-address N] [--metrics-listen ADDRESS]\n"
           "                        [--db-connections N]\n"
           "       pegsquare-server --migrate-from sqlite:PATH --db postgresql://...\n"
           "\n"
           "The Pegsquare vendor web server: score postings, the high-score list,\n"
           "the published version text and installer, the home and lobby pages.\n"
           "\n"
           "  --listen ADDRESS  address to listen on (default 127.0.0.1)\n"
           "  --port N          port to listen on, 0 for any free port (default 8080)\n"
           "  --db PATH         score database, created on first start: a SQLite file\n"
           "                    (default pegsquare-scores.db), or a PostgreSQL\n"
           "                    database as postgresql://USER@HOST/NAME (any libpq\n"
           "                    connection URI), which several servers may share\n"
           "  --db-connections N\n"
           "                    connections to a PostgreSQL database open at once,\n"
           "                    at most (default 8)\n"
           "  --content DIR     published files: DIR/pegsquare/pegsquareversion.txt\n"
           "                    and DIR/pegsquare/pegsetup.exe (default content)\n"
           "  --public-url URL  the address players reach this server by, used for\n"
           "                    the links in its pages (default http://ADDRESS:PORT)\n"
           "  --log FILE        append the access log to FILE (created with mode 0640)\n"
           "                    and open it again on SIGHUP, after a log rotation\n"
           "                    (default: standard error)\n"
           "  --max-db-mb N     the SQLite database may grow to about N MiB; past it\n"
           "                    postings get 503 while the list is still served\n"
           "                    (default 1024; 0: no limit but the disk's)\n"
           "  --post-rate N     score postings each client address may make per minute;\n"
           "                    past it a posting gets 429 and is not stored\n"
           "                    (default 6; 0: no limit)\n"
           "  --post-burst N    postings an address may make at once after a quiet\n"
           "                    spell (default 12)\n"
           "  --trusted-proxy ADDRESS\n"
           "                    a proxy in front of this server (exact IP address; the\n"
           "                    option may be repeated or take a comma-separated list):\n"
           "                    for its requests the client is the last address in\n"
           "                    X-Forwarded-For. Without it that header is ignored.\n"
           "  --list-per-client N\n"
           "                    at most N of the listed best scores come from one\n"
           "                    client address (default 5; 0: no cap)\n"
           "  --max-connections N\n"
           "                    connections open at once, in all; past it a new one\n"
           "                    gets 503 (default 10000, less when the system allows\n"
           "                    this process fewer open files)\n"
           "  --max-connections-per-address N\n"
           "                    connections open at once from one address; past it a\n"
           "                    new one gets 429 (default 64; a --trusted-proxy is exempt)\n"
           "  --metrics-listen ADDRESS\n"
           "                    serve metrics in the Prometheus text format at /metrics\n"
           "                    on PORT (loopback), HOST:PORT or [IPv6]:PORT (default: off)\n"
           "  --migrate-from sqlite:PATH\n"
           "                    copy every score of the SQLite database PATH (only\n"
           "                    read) into the PostgreSQL database --db names, with\n"
           "                    its receipt time and in its order, print how many\n"
           "                    were copied and stop without serving. All are copied\n"
           "                    in one transaction, or none; a score copied before is\n"
           "                    not copied again, so running it once more copies only\n"
           "                    the scores posted since (the table migrated_scores\n"
           "                    holds what was copied)\n"
           "  --help            show this text\n"
           "\n"
           "Prints \"pegsquare-server: listening on http://ADDRESS:PORT\" once listening,\n"
           "logs each request on standard error or to the --log file, and stops cleanly\n"
           "on SIGTERM or SIGINT.\n";
}
