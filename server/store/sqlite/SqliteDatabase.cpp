#include "server/store/sqlite/SqliteDatabase.h"

#include <sqlite3.h>

#include <cstdio>
#include <sys/stat.h>
#include <unordered_map>

namespace server {

namespace {
class SqliteStatement : public StatementBackend
{
public:
    SqliteStatement(sqlite3_stmt *statement, sqlite3 *connection) : m_statement(statement), m_connection(connection) {}
    ~SqliteStatement() override { sqlite3_finalize(m_statement); }

    bool bindText(int index, const std::string &value) override
    {
        return sqlite3_bind_text(m_statement, index, value.data(), int(value.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    bool bindInteger(int index, int64_t value) override
    {
        return sqlite3_bind_int64(m_statement, index, value) == SQLITE_OK;
    }
    bool bindNull(int index) override { return sqlite3_bind_null(m_statement, index) == SQLITE_OK; }
    int step() override
    {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return 1;
        return rc == SQLITE_DONE ? 0 : -1;
    }
    int64_t integer(int column) const override { return sqlite3_column_int64(m_statement, column); }
    std::string text(int column) const override
    {
        const auto *text = sqlite3_column_text(m_statement, column);
        if (!text)
            return std::string();
        return std::string(reinterpret_cast<const char *>(text), size_t(sqlite3_column_bytes(m_statement, column)));
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    int changes() const override { return sqlite3_changes(m_connection); }
    void reset() override
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    std::string error() const override { return sqlite3_errmsg(m_connection); }

private:
    sqlite3_stmt *m_statement;
    sqlite3 *m_connection;
};

class SqliteConnection : public ConnectionBackend
{
public:
    explicit SqliteConnection(sqlite3 *db) : m_db(db) {}
    ~SqliteConnection() override
    {
        m_statements.clear();
        sqlite3_close(m_db);
    }

    StatementBackend *prepare(const char *sql) override
    {
        auto found = m_statements.find(sql);
        if (found != m_statements.end())
            return found->second.get();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "database: cannot prepare: %s\n", sqlite3_errmsg(m_db));
            return nullptr;
        }
        auto &slot = m_statements[sql];
        slot = std::make_unique<SqliteStatement>(statement, m_db);
        return slot.get();
    }
    bool execute(const char *sql) override
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            std::fprintf(stderr, "database: %s\n", message ? message : "error");
            sqlite3_free(message);
            return false;
        }
        return true;
    }
    bool begin() override { return execute("BEGIN IMMEDIATE"); }
    bool commit() override { return execute("COMMIT"); }
    void rollback() override { execute("ROLLBACK"); }

private:
    sqlite3 *m_db;
    std::unordered_map<const char *, std::unique_ptr<SqliteStatement>> m_statements;
};
} // namespace

SqliteDatabase::SqliteDatabase(std::string path) : m_path(std::move(path)) {}

std::unique_ptr<ConnectionBackend> SqliteDatabase::connect(std::string *error)
{
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(m_path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = db ? sqlite3_errmsg(db) : "cannot open database";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;", nullptr,
                 nullptr, nullptr);
    return std::make_unique<SqliteConnection>(db);
}

bool SqliteDatabase::open(std::string *error)
{
    Lease lease = this->lease();
    if (!lease.connection()) {
        if (error)
            *error = "cannot open " + m_path;
        return false;
    }
    // Password hashes live here: owner-only (the WAL files take the same mode).
    ::chmod(m_path.c_str(), 0600);
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
        if (!transaction.begun() || !lease.execute(steps[size_t(step)]) || !lease.execute(bump.c_str())
            || !transaction.commit()) {
            if (error)
                *error = "cannot upgrade the database schema to version " + std::to_string(step + 1);
            return false;
        }
    }
    return true;
}

int SqliteDatabase::schemaVersion()
{
    Lease connection = lease();
    Statement statement = connection.prepare("PRAGMA user_version");
    return statement.next() ? int(statement.integer(0)) : 0;
}

} // namespace server
