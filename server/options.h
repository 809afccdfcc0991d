#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What the command line asks for.
struct ServerOptions {
    std::string listen = "127.0.0.1";
    int port = 8080; // 0: any free port
    // A SQLite file, or a PostgreSQL connection URI (see isPostgresUri).
    std::string databasePath = "pegsquare-scores.db";
    std::string contentFolder = "content";
    // The address players reach the server by, for the links in its pages
    // (the game hands a clicked link to the browser as it stands, so links
    // must be whole addresses). Empty: http://LISTEN:PORT.
    std::string publicUrl;
    // The file the access log is appended to, reopened on SIGHUP. Empty:
    // standard error.
    std::string logPath;
    // The size, in MiB, past which postings are refused (503) while the list
    // is still served, so a flood cannot fill the disk; 0: no limit.
    int maxDatabaseMiB = 1024;
    // Score postings each client address may make per minute, and how many
    // at once after a quiet spell; past them a posting gets 429. A rate of 0
    // turns the limit off.
    int postRate = 6;
    int postBurst = 12;
    // The proxies whose X-Forwarded-For is believed about who the client
    // is, each written as canonicalAddress() writes it.
    std::vector<std::string> trustedProxies = {};
    // How many of the listed best scores one client address may hold, so
    // one address posting the top score over and over cannot fill the list
    // for good; 0: no cap.
    int listPerClient = 5;
    // Connections open at once, in all and from one socket address (a
    // trusted proxy is exempt from the second). Past them a new connection
    // gets 503 or 429 and is closed.
    int maxConnections = 10000;
    int maxConnectionsPerAddress = 64;
    // Where the Prometheus metrics are served; off when empty.
    std::optional<std::pair<std::string, int>> metricsListen = {};
    // Connections to a PostgreSQL database open at once, at most.
    int databaseConnections = 8;
    // "sqlite:PATH": copy the scores of that SQLite database into the
    // PostgreSQL database --db names, and stop without serving. Empty: serve.
    std::string migrateFrom = {};
};

struct ParsedArguments {
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Run;
    ServerOptions options;
    std::string error; // for Error: what was wrong, one sentence
};

// Reads the arguments after the program name. Each option takes its value
// as the next argument or after "="; a later option overrides an earlier one.
ParsedArguments parseArguments(const std::vector<std::string> &arguments);

// Whether `--db` names a PostgreSQL database (postgresql:// or
// postgres://, any libpq connection URI) rather than a SQLite file.
bool isPostgresUri(std::string_view database);

// The --help text.
std::string usageText();
