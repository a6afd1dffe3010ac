#include "server/store/Database.h"

#include <sqlite3.h>

#include <cstdio>
#include <sys/stat.h>

namespace server {

struct Connection {
    sqlite3 *db = nullptr;
    std::unordered_map<const char *, sqlite3_stmt *> statements;

    ~Connection()
    {
        for (auto &entry : statements)
            sqlite3_finalize(entry.second);
        if (db)
            sqlite3_close(db);
    }
};

Statement::Statement(sqlite3_stmt *statement, sqlite3 *connection)
    : m_statement(statement), m_connection(connection)
{
    m_failed = statement == nullptr;
}

Statement::~Statement()
{
    if (m_statement) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
}

Statement &Statement::bind(int index, const std::string &value)
{
    if (m_statement
        && sqlite3_bind_text(m_statement, index, value.data(), int(value.size()), SQLITE_TRANSIENT)
               != SQLITE_OK)
        m_failed = true;
    return *this;
}

Statement &Statement::bind(int index, int64_t value)
{
    if (m_statement && sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        m_failed = true;
    return *this;
}

Statement &Statement::bindNull(int index)
{
    if (m_statement && sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        m_failed = true;
    return *this;
}

bool Statement::next()
{
    if (!m_statement || m_failed)
        return false;
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_failed = true;
    return false;
}

bool Statement::run()
{
    if (!m_statement || m_failed)
        return false;
    int rc;
    while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        m_failed = true;
    return !m_failed;
}

std::string Statement::error() const
{
    return sqlite3_errmsg(m_connection);
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::string Statement::text(int column) const
{
    const auto *text = sqlite3_column_text(m_statement, column);
    if (!text)
        return std::string();
    return std::string(reinterpret_cast<const char *>(text),
                       size_t(sqlite3_column_bytes(m_statement, column)));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

Lease::Lease(Database *database, Connection *connection)
    : m_database(database), m_connection(connection)
{
}

Lease::~Lease()
{
    if (m_database && m_connection)
        m_database->giveBack(m_connection);
}

Lease::Lease(Lease &&other) noexcept
    : m_database(other.m_database), m_connection(other.m_connection)
{
    other.m_database = nullptr;
    other.m_connection = nullptr;
}

Statement Lease::prepare(const char *sql)
{
    if (!m_connection)
        return Statement(nullptr, nullptr);
    auto found = m_connection->statements.find(sql);
    if (found != m_connection->statements.end())
        return Statement(found->second, m_connection->db);
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(m_connection->db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
        != SQLITE_OK) {
        std::fprintf(stderr, "database: cannot prepare: %s\n", sqlite3_errmsg(m_connection->db));
        return Statement(nullptr, m_connection->db);
    }
    m_connection->statements.emplace(sql, statement);
    return Statement(statement, m_connection->db);
}

bool Lease::execute(const char *sql)
{
    if (!m_connection)
        return false;
    char *message = nullptr;
    if (sqlite3_exec(m_connection->db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "database: %s\n", message ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

int64_t Lease::lastInsertId() const
{
    return m_connection ? sqlite3_last_insert_rowid(m_connection->db) : 0;
}

int Lease::changes() const
{
    return m_connection ? sqlite3_changes(m_connection->db) : 0;
}

sqlite3 *Lease::handle() const
{
    return m_connection ? m_connection->db : nullptr;
}

Database::Database(std::string path) : m_path(std::move(path)) {}

Database::~Database() = default;

Connection *Database::openConnection(std::string *error)
{
    auto connection = std::make_unique<Connection>();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(m_path.c_str(), &connection->db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = connection->db ? sqlite3_errmsg(connection->db) : "cannot open database";
        return nullptr;
    }
    sqlite3_busy_timeout(connection->db, 5000);
    sqlite3_exec(connection->db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;",
                 nullptr, nullptr, nullptr);
    Connection *raw = connection.get();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_all.push_back(std::move(connection));
    return raw;
}

bool Database::open(std::string *error)
{
    Connection *connection = openConnection(error);
    if (!connection)
        return false;
    // Password hashes live here: owner-only (the WAL files take the same mode).
    ::chmod(m_path.c_str(), 0600);
    Lease lease(this, connection);
    const auto &steps = schemaSteps();
    const int version = schemaVersion();
    if (version > int(steps.size())) {
        if (error)
            *error = "the database was written by a newer version of this service (schema "
                     + std::to_string(version) + ")";
        return false;
    }
    for (int step = version; step < int(steps.size()); ++step) {
        Transaction transaction(lease);
        const std::string bump = "PRAGMA user_version=" + std::to_string(step + 1) + ";";
        if (!transaction.begun() || !lease.execute(steps[size_t(step)])
            || !lease.execute(bump.c_str()) || !transaction.commit()) {
            if (error)
                *error = "cannot upgrade the database schema to version " + std::to_string(step + 1);
            return false;
        }
    }
    return true;
}

int Database::schemaVersion()
{
    Lease connection = lease();
    Statement statement = connection.prepare("PRAGMA user_version");
    return statement.next() ? int(statement.integer(0)) : 0;
}

Lease Database::lease()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_idle.empty()) {
            Connection *connection = m_idle.back();
            m_idle.pop_back();
            return Lease(this, connection);
        }
    }
    std::string error;
    Connection *connection = openConnection(&error);
    if (!connection)
        std::fprintf(stderr, "database: %s\n", error.c_str());
    return Lease(this, connection);
}

void Database::giveBack(Connection *connection)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.push_back(connection);
}

Transaction::Transaction(Lease &lease) : m_lease(lease)
{
    m_begun = m_lease.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (m_begun && !m_done)
        m_lease.execute("ROLLBACK");
}

bool Transaction::commit()
{
    if (!m_begun || m_done)
        return false;
    m_done = m_lease.execute("COMMIT");
    return m_done;
}

} // namespace server
