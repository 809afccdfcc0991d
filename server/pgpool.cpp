#include "pgpool.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// How long opening a connection and each bit of it may take: a database
// host gone from the network then fails a posting in seconds, not minutes.
constexpr const char *kConnectSeconds = "5";
constexpr const char *kTcpUserTimeoutMs = "10000";

} // namespace

PgPool::PgPool(std::string uri, std::size_t size, Setup setup)
    : m_uri(std::move(uri)), m_setup(std::move(setup)), m_free(std::max<std::size_t>(1, size))
{
}

PgPool::~PgPool()
{
    for (pg_conn *connection : m_idle)
        PQfinish(connection);
}

PgPool::Lease::Lease(Lease &&other) noexcept : m_pool(other.m_pool), m_connection(other.m_connection)
{
    other.m_pool = nullptr;
    other.m_connection = nullptr;
}

PgPool::Lease::~Lease()
{
    if (m_pool)
        m_pool->giveBack(m_connection);
}

PgPool::Lease PgPool::take(std::chrono::milliseconds wait)
{
    pg_conn *connection = nullptr;
    {
        std::unique_lock lock(m_mutex);
        if (!m_freed.wait_for(lock, wait, [this] { return m_free > 0; }))
            throw StoreError("Could not reach the score database: every connection to it is busy", true);
        --m_free;
        if (!m_idle.empty()) {
            connection = m_idle.back();
            m_idle.pop_back();
        }
    }
    // A connection that broke while in use, or was never opened, is opened
    // (again) here, outside the lock.
    if (connection != nullptr && PQstatus(connection) != CONNECTION_OK) {
        PQfinish(connection);
        connection = nullptr;
    }
    if (connection == nullptr) {
        try {
            connection = open();
        } catch (...) {
            giveBack(nullptr);
            throw;
        }
    }
    return Lease(*this, connection);
}

void PgPool::giveBack(pg_conn *connection)
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_free;
        if (connection != nullptr)
            m_idle.push_back(connection);
    }
    m_freed.notify_one();
}

pg_conn *PgPool::open()
{
    // The defaults come before the connection string, so that whatever it
    // says itself wins.
    const std::array<const char *, 5> keywords{"connect_timeout", "tcp_user_timeout", "application_name", "dbname",
                                               nullptr};
    const std::array<const char *, 5> values{kConnectSeconds, kTcpUserTimeoutMs, "pegsquare-server", m_uri.c_str(),
                                             nullptr};
    pg_conn *connection = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (connection == nullptr)
        throw StoreError("Could not reach the score database: out of memory", true);
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string message = PQerrorMessage(connection);
        PQfinish(connection);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        std::replace(message.begin(), message.end(), '\n', ' ');
        throw StoreError("Could not reach the score database: " + message, true);
    }
    try {
        // Notices ("already exists, skipping") would go to standard error
        // outside the log's lines, or among a command's own words.
        pgRun(connection, "SET client_min_messages TO warning");
        if (m_setup)
            m_setup(connection);
    } catch (...) {
        PQfinish(connection);
        throw;
    }
    return connection;
}

PgResult &PgResult::operator=(PgResult &&other) noexcept
{
    if (this != &other) {
        PQclear(m_result);
        m_result = other.m_result;
        other.m_result = nullptr;
    }
    return *this;
}

PgResult::~PgResult()
{
    PQclear(m_result);
}

StoreError pgError(const std::string &doing, pg_conn *connection, pg_result *result)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    // Lost or refused connections (08), no room or memory (53), a server
    // shutting down or starting (57P), a statement time-out (57014), and
    // conflicts between transactions (40) may all pass.
    const bool busy = code.empty() || PQstatus(connection) != CONNECTION_OK || code.starts_with("08")
        || code.starts_with("53") || code.starts_with("57") || code.starts_with("40") || code == "55P03";
    std::string message = result ? PQresultErrorMessage(result) : "";
    if (message.empty())
        message = PQerrorMessage(connection);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    // Its DETAIL and HINT lines stay on the one line of the server's log.
    std::replace(message.begin(), message.end(), '\n', ' ');
    return StoreError("Could not " + doing + ": " + message, busy);
}

PgResult pgRun(pg_conn *connection, const std::string &sql, const std::vector<const char *> &parameters)
{
    PgResult result(PQexecParams(connection, sql.c_str(), static_cast<int>(parameters.size()), nullptr,
                                 parameters.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result.get() ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw pgError("run \"" + sql.substr(0, 60) + (sql.size() > 60 ? "…" : "") + "\"", connection, result.get());
    return result;
}

void pgRunScript(pg_conn *connection, const char *script)
{
    const PgResult result(PQexec(connection, script));
    const ExecStatusType status = result.get() ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw pgError("make the score tables", connection, result.get());
}

std::string pgTextArray(const std::vector<std::optional<std::string>> &elements)
{
    std::string literal = "{";
    for (const auto &element : elements) {
        if (literal.size() > 1)
            literal += ',';
        if (!element) {
            literal += "NULL";
            continue;
        }
        literal += '"';
        for (const char c : *element) {
            if (c == '"' || c == '\\')
                literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    return literal + "}";
}
