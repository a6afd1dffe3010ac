#include "server/store/postgres/PostgresDatabase.h"

#include <libpq-fe.h>

#include <poll.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace server {

namespace {
// Advisory lock keys: one for schema upgrades, one taken by every writing transaction.
constexpr long long kSchemaLock = 0x70656c6f01;
constexpr long long kWriterLock = 0x70656c6f02;

bool firstWordIs(const char *sql, const char *word)
{
    while (std::isspace(static_cast<unsigned char>(*sql)))
        ++sql;
    return strncasecmp(sql, word, std::strlen(word)) == 0;
}

// Whether running the statement twice leaves what running it once does: reads, deletions and
// updates that set values (not ones that add to what is there).
bool isIdempotent(const char *sql)
{
    if (firstWordIs(sql, "SELECT") || firstWordIs(sql, "DELETE"))
        return true;
    return firstWordIs(sql, "UPDATE") && std::strstr(sql, " + ") == nullptr;
}

class PostgresConnection;

class PostgresStatement : public StatementBackend
{
public:
    PostgresStatement(PostgresConnection *connection, const char *sql, std::string name)
        : m_connection(connection), m_sql(sql), m_name(std::move(name))
    {
    }
    ~PostgresStatement() override { clearResult(); }

    bool bindText(int index, const std::string &value) override { return bindValue(index, value, false); }
    bool bindInteger(int index, int64_t value) override { return bindValue(index, std::to_string(value), false); }
    bool bindNull(int index) override { return bindValue(index, std::string(), true); }
    int step() override;
    int64_t integer(int column) const override
    {
        return validRow() ? std::strtoll(PQgetvalue(m_result, m_row, column), nullptr, 10) : 0;
    }
    std::string text(int column) const override
    {
        if (!validRow())
            return std::string();
        return std::string(PQgetvalue(m_result, m_row, column), size_t(PQgetlength(m_result, m_row, column)));
    }
    bool isNull(int column) const override { return !validRow() || PQgetisnull(m_result, m_row, column); }
    int changes() const override { return m_changes; }
    void reset() override
    {
        clearResult();
        m_values.clear();
        m_nulls.clear();
        m_ran = false;
    }
    std::string error() const override { return m_error; }
    void forgetPrepared() { m_prepared = false; }

private:
    bool bindValue(int index, std::string value, bool null)
    {
        if (index < 1 || index > 64)
            return false;
        if (m_values.size() < size_t(index)) {
            m_values.resize(size_t(index));
            m_nulls.resize(size_t(index), true);
        }
        m_values[size_t(index - 1)] = std::move(value);
        m_nulls[size_t(index - 1)] = null;
        return true;
    }
    bool validRow() const { return m_result && m_row >= 0 && m_row < PQntuples(m_result); }
    void clearResult()
    {
        if (m_result)
            PQclear(m_result);
        m_result = nullptr;
        m_row = -1;
    }
    bool execute();

    PostgresConnection *m_connection;
    const char *m_sql;
    std::string m_name;
    bool m_prepared = false;
    bool m_ran = false;
    std::vector<std::string> m_values;
    std::vector<bool> m_nulls;
    PGresult *m_result = nullptr;
    int m_row = -1;
    int m_changes = 0;
    std::string m_error;
};

class PostgresConnection : public ConnectionBackend
{
public:
    explicit PostgresConnection(PGconn *connection) : m_connection(connection) {}
    ~PostgresConnection() override
    {
        m_statements.clear();
        PQfinish(m_connection);
    }

    PGconn *handle() const { return m_connection; }
    bool inTransaction() const { return m_inTransaction; }

    StatementBackend *prepare(const char *sql) override
    {
        auto found = m_statements.find(sql);
        if (found != m_statements.end())
            return found->second.get();
        auto &slot = m_statements[sql];
        slot = std::make_unique<PostgresStatement>(this, sql, "s" + std::to_string(m_statements.size()));
        return slot.get();
    }
    bool execute(const char *sql) override
    {
        PGresult *result = PQexec(m_connection, sql);
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok)
            std::fprintf(stderr, "database: %s", PQerrorMessage(m_connection));
        PQclear(result);
        return ok;
    }
    bool begin() override
    {
        if (!execute("BEGIN"))
            return false;
        const std::string lock = "SELECT pg_advisory_xact_lock(" + std::to_string(kWriterLock) + ")";
        if (!execute(lock.c_str())) {
            execute("ROLLBACK");
            return false;
        }
        m_inTransaction = true;
        return true;
    }
    bool commit() override
    {
        m_inTransaction = false;
        return execute("COMMIT");
    }
    void rollback() override
    {
        m_inTransaction = false;
        execute("ROLLBACK");
    }
    bool broken() const override { return PQstatus(m_connection) != CONNECTION_OK; }
    // Reads what the server sent while the connection was idle (a notice that it ends it).
    bool healthy() override
    {
        // An idle session is sent nothing (no LISTEN here): anything to read is the server's
        // notice that it ends the session, or the end of the connection.
        pollfd socket{PQsocket(m_connection), POLLIN, 0};
        if (socket.fd < 0 || ::poll(&socket, 1, 0) != 0)
            return false;
        return PQstatus(m_connection) == CONNECTION_OK;
    }
    // A new session on the same address; statements are prepared again on their next use.
    bool reconnect()
    {
        PQreset(m_connection);
        for (auto &entry : m_statements)
            entry.second->forgetPrepared();
        m_inTransaction = false;
        return PQstatus(m_connection) == CONNECTION_OK;
    }

private:
    PGconn *m_connection;
    bool m_inTransaction = false;
    std::unordered_map<const char *, std::unique_ptr<PostgresStatement>> m_statements;
};

bool PostgresStatement::execute()
{
    PGconn *connection = m_connection->handle();
    if (!m_prepared) {
        const std::string text = PostgresDatabase::translate(m_sql);
        PGresult *prepared = PQprepare(connection, m_name.c_str(), text.c_str(), 0, nullptr);
        const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
        PQclear(prepared);
        if (!ok) {
            m_error = PQerrorMessage(connection);
            return false;
        }
        m_prepared = true;
    }
    std::vector<const char *> values(m_values.size());
    for (size_t i = 0; i < m_values.size(); ++i)
        values[i] = m_nulls[i] ? nullptr : m_values[i].c_str();
    m_result = PQexecPrepared(connection, m_name.c_str(), int(values.size()), values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(m_result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        m_error = PQerrorMessage(connection);
        clearResult();
        return false;
    }
    m_changes = std::atoi(PQcmdTuples(m_result));
    return true;
}

int PostgresStatement::step()
{
    if (!m_ran) {
        m_ran = true;
        m_changes = 0;
        bool ok = execute();
        // A connection that broke under the statement: once more on a new session, when doing
        // it twice cannot do harm and no transaction was lost with the old one.
        if (!ok && PQstatus(m_connection->handle()) != CONNECTION_OK && !m_connection->inTransaction()
            && isIdempotent(m_sql) && m_connection->reconnect())
            ok = execute();
        if (!ok) {
            std::fprintf(stderr, "database: %s", m_error.c_str());
            return -1;
        }
        m_row = -1;
    }
    if (!m_result)
        return 0;
    ++m_row;
    return m_row < PQntuples(m_result) ? 1 : 0;
}
} // namespace

PostgresDatabase::PostgresDatabase(std::string url) : m_url(std::move(url))
{
    m_openLimit = 24;
}

std::string PostgresDatabase::describe() const
{
    // Without the password, if the address holds one.
    const size_t scheme = m_url.find("://");
    const size_t at = m_url.find('@');
    if (scheme == std::string::npos || at == std::string::npos)
        return m_url;
    const size_t colon = m_url.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at)
        return m_url;
    return m_url.substr(0, colon) + ":***" + m_url.substr(at);
}

std::string PostgresDatabase::translate(const char *sql)
{
    std::string out;
    bool quoted = false;
    for (const char *p = sql; *p; ++p) {
        if (*p == '\'')
            quoted = !quoted;
        if (!quoted && *p == '?' && std::isdigit(static_cast<unsigned char>(p[1])))
            out += '$';
        else
            out += *p;
    }
    return out;
}

std::unique_ptr<ConnectionBackend> PostgresDatabase::connect(std::string *error)
{
    PGconn *connection = PQconnectdb(m_url.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        if (error)
            *error = std::string("cannot connect to ") + describe() + ": " + PQerrorMessage(connection);
        PQfinish(connection);
        return nullptr;
    }
    PQclear(PQexec(connection, "SET application_name = 'pelorin-service'; SET client_min_messages = warning"));
    return std::make_unique<PostgresConnection>(connection);
}

bool PostgresDatabase::open(std::string *error)
{
    std::string reason;
    std::unique_ptr<ConnectionBackend> first = connect(&reason);
    if (!first) {
        if (error)
            *error = reason;
        return false;
    }
    Lease lease(this, std::move(first));
    const std::string lock = "SELECT pg_advisory_lock(" + std::to_string(kSchemaLock) + ")";
    const std::string unlock = "SELECT pg_advisory_unlock(" + std::to_string(kSchemaLock) + ")";
    if (!lease.execute(lock.c_str())
        || !lease.execute("CREATE TABLE IF NOT EXISTS schema_steps (step INTEGER PRIMARY KEY, "
                          "applied_at TIMESTAMPTZ NOT NULL DEFAULT now())")) {
        if (error)
            *error = "cannot prepare the database schema";
        return false;
    }
    const auto &steps = schemaSteps();
    const int version = schemaVersion();
    bool ok = true;
    if (version > int(steps.size())) {
        if (error)
            *error = "the database was written by a newer version of this service (schema "
                     + std::to_string(version) + ")";
        ok = false;
    }
    for (int step = version; ok && step < int(steps.size()); ++step) {
        const std::string mark = "INSERT INTO schema_steps (step) VALUES (" + std::to_string(step + 1) + ")";
        ok = lease.execute("BEGIN") && lease.execute(steps[size_t(step)]) && lease.execute(mark.c_str())
             && lease.execute("COMMIT");
        if (!ok) {
            lease.execute("ROLLBACK");
            if (error)
                *error = "cannot upgrade the database schema to version " + std::to_string(step + 1);
        }
    }
    lease.execute(unlock.c_str());
    return ok;
}

int PostgresDatabase::schemaVersion()
{
    Lease connection = lease();
    Statement statement = connection.prepare("SELECT COALESCE(MAX(step), 0) FROM schema_steps");
    return statement.next() ? int(statement.integer(0)) : 0;
}

} // namespace server
