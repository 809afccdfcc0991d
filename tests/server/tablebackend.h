#pragma once

#include "pgpool.h"
#include "pgscoretable.h"
#include "sqlitescoretable.h"
#include "tempfolder.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

// The kinds of score table the server can use, for tests that must hold
// for each: a SQLite file in a temporary folder, or a database of its own
// on the PostgreSQL server the environment names (PGHOST, PGPORT and the
// rest, as Debian's pg_virtualenv sets them for the command it runs).
inline const std::vector<std::string> kTableKinds = {"sqlite", "postgresql"};

// Whether a PostgreSQL server is named by the environment. Where the test
// command says one must be (PEGSQUARE_NEED_POSTGRESQL), its absence fails
// the tests instead of skipping them.
inline bool postgresqlNamed()
{
    return std::getenv("PGHOST") != nullptr || std::getenv("PGPORT") != nullptr;
}

// One fresh database of the kind asked for, removed afterwards.
class TableBackend {
public:
    explicit TableBackend(std::string kind) : m_kind(std::move(kind))
    {
        if (m_kind != "postgresql")
            return;
        static std::atomic<int> made{0};
        m_database = "pegsquare_test_" + std::to_string(::getpid()) + "_" + std::to_string(made++);
        run("DROP DATABASE IF EXISTS " + m_database, true);
        run("CREATE DATABASE " + m_database, true);
    }
    TableBackend(const TableBackend &) = delete;
    TableBackend &operator=(const TableBackend &) = delete;
    ~TableBackend()
    {
        if (!m_database.empty())
            run("DROP DATABASE IF EXISTS " + m_database + " WITH (FORCE)", true);
    }

    const std::string &kind() const { return m_kind; }
    // What --db names for this database.
    std::string uri() const
    {
        return m_kind == "postgresql" ? "postgresql:///" + m_database : (m_folder.path() / "scores.db").string();
    }
    // A table object over the database, as a server starting now would open it.
    std::unique_ptr<ScoreTable> open() const
    {
        if (m_kind == "postgresql")
            return std::make_unique<PgScoreTable>(uri(), 4);
        return std::make_unique<SqliteScoreTable>(uri());
    }
    const TempFolder &folder() const { return m_folder; }

    // Runs `sql` over a connection of its own, as an operator's psql or
    // sqlite3 would; each row of the answer as text, NULL as "NULL". With
    // `server`, on the server's default database (to make or drop ours).
    std::vector<std::vector<std::string>> run(const std::string &sql, bool server = false) const
    {
        std::vector<std::vector<std::string>> rows;
        if (m_kind == "postgresql") {
            pg_conn *connection = PQconnectdb(server ? "" : ("dbname=" + m_database).c_str());
            if (PQstatus(connection) != CONNECTION_OK) {
                ADD_FAILURE() << "cannot reach PostgreSQL: " << PQerrorMessage(connection);
                PQfinish(connection);
                return rows;
            }
            PgResult result(PQexec(connection, sql.c_str()));
            const ExecStatusType status = PQresultStatus(result.get());
            EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
                << PQerrorMessage(connection) << " in: " << sql;
            for (int row = 0; row < PQntuples(result.get()); ++row) {
                rows.emplace_back();
                for (int column = 0; column < PQnfields(result.get()); ++column)
                    rows.back().emplace_back(PQgetisnull(result.get(), row, column) ? "NULL"
                                                                                    : PQgetvalue(result.get(), row, column));
            }
            PQfinish(connection);
            return rows;
        }
        sqlite3 *other = nullptr;
        if (sqlite3_open(uri().c_str(), &other) != SQLITE_OK) {
            sqlite3_close(other);
            ADD_FAILURE() << "cannot open " << uri();
            return rows;
        }
        char *error = nullptr;
        const int ran = sqlite3_exec(
            other, sql.c_str(),
            [](void *into, int columns, char **values, char **) {
                auto &answer = *static_cast<std::vector<std::vector<std::string>> *>(into);
                answer.emplace_back();
                for (int i = 0; i < columns; ++i)
                    answer.back().emplace_back(values[i] ? values[i] : "NULL");
                return 0;
            },
            &rows, &error);
        EXPECT_EQ(ran, SQLITE_OK) << (error ? error : "") << " in: " << sql;
        sqlite3_free(error);
        sqlite3_close(other);
        return rows;
    }

private:
    std::string m_kind;
    TempFolder m_folder;
    std::string m_database;
};

// A test run once for each kind of table. The PostgreSQL runs are skipped
// where no server is named, unless the test command needs one.
class EachTable : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (GetParam() == "postgresql" && !postgresqlNamed()) {
            if (std::getenv("PEGSQUARE_NEED_POSTGRESQL"))
                FAIL() << "no PostgreSQL server is named in the environment";
            GTEST_SKIP() << "no PostgreSQL server named in the environment (ctest runs these under pg_virtualenv)";
        }
    }
};
