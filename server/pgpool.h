#pragma once

#include "scoretable.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

// A few connections to one PostgreSQL database, shared by the threads of
// the server. A connection that broke (the database restarted, the network
// went) is opened again when it is next taken; while the database cannot
// be reached, taking one fails with a busy StoreError, so a posting is
// answered "try again later" rather than hanging.
class PgPool {
public:
    // Runs on every connection just opened, before it is first used.
    using Setup = std::function<void(pg_conn *)>;

    // `uri` is any libpq connection string; nothing is opened yet.
    PgPool(std::string uri, std::size_t size, Setup setup);
    PgPool(const PgPool &) = delete;
    PgPool &operator=(const PgPool &) = delete;
    ~PgPool();

    // One connection, held until the lease ends.
    class Lease {
    public:
        Lease(Lease &&other) noexcept;
        Lease &operator=(Lease &&) = delete;
        ~Lease();
        pg_conn *get() const { return m_connection; }

    private:
        friend class PgPool;
        Lease(PgPool &pool, pg_conn *connection) : m_pool(&pool), m_connection(connection) {}
        PgPool *m_pool;
        pg_conn *m_connection;
    };

    // A working connection, opened now if need be. Waits up to `wait` for
    // one to come free; throws a busy StoreError when none does or the
    // database cannot be reached.
    Lease take(std::chrono::milliseconds wait = std::chrono::seconds(10));

private:
    void giveBack(pg_conn *connection);
    pg_conn *open();

    const std::string m_uri;
    const Setup m_setup;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::vector<pg_conn *> m_idle;
    std::size_t m_free; // connections not lent out, open or not
};

// A result that is cleared however the scope is left.
class PgResult {
public:
    explicit PgResult(pg_result *result = nullptr) : m_result(result) {}
    PgResult(PgResult &&other) noexcept : m_result(other.m_result) { other.m_result = nullptr; }
    PgResult &operator=(PgResult &&other) noexcept;
    PgResult(const PgResult &) = delete;
    PgResult &operator=(const PgResult &) = delete;
    ~PgResult();
    pg_result *get() const { return m_result; }

private:
    pg_result *m_result;
};

// Runs `sql` with text parameters (nullptr for NULL) and returns its
// result; throws StoreError when it failed, busy when trying again may
// help (the connection, resources, a time-out, a conflict).
PgResult pgRun(pg_conn *connection, const std::string &sql, const std::vector<const char *> &parameters = {});
// A text array literal for a parameter (`$1::text[]`), every element
// quoted so that no text can end one early or be read as anything but one
// element; nullopt is NULL.
std::string pgTextArray(const std::vector<std::optional<std::string>> &elements);

// Runs a script of several statements, fixed text of the server's own
// (the tables it makes), never anything built from a request.
void pgRunScript(pg_conn *connection, const char *script);
// The error for a failed `doing`, from the result and the connection.
StoreError pgError(const std::string &doing, pg_conn *connection, pg_result *result);
