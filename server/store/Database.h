#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace server {

class Database;

// One prepared statement of a leased connection; reset and unbound when it goes out of scope.
// Statements are cached per connection, keyed by the address of their SQL text (a literal).
class Statement
{
public:
    Statement(sqlite3_stmt *statement, sqlite3 *connection);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(int index, const std::string &value);
    Statement &bind(int index, int64_t value);
    Statement &bindNull(int index);

    // True while a row is available; false at the end. Errors end the walk and are kept.
    bool next();
    // Runs a statement that returns no rows; true on success.
    bool run();
    bool failed() const { return m_failed; }
    std::string error() const;

    int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt *m_statement;
    sqlite3 *m_connection;
    bool m_failed = false;
};

struct Connection;

// A connection taken from the pool for the life of one request step.
class Lease
{
public:
    Lease(Database *database, Connection *connection);
    ~Lease();
    Lease(Lease &&other) noexcept;
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;

    Statement prepare(const char *sql);
    // Runs SQL text without results (transactions, schema).
    bool execute(const char *sql);
    int64_t lastInsertId() const;
    int changes() const;
    sqlite3 *handle() const;

private:
    Database *m_database;
    Connection *m_connection;
};

// SQLite in WAL mode with a small pool of connections, one per concurrent request, and a schema
// that is upgraded step by step (PRAGMA user_version counts the steps applied).
class Database
{
public:
    explicit Database(std::string path);
    ~Database();

    // Opens (creating the file), switches to WAL and applies the missing schema steps.
    bool open(std::string *error);
    Lease lease();

    int schemaVersion();
    // The schema steps; each is one SQL script applied in a transaction. Append, never edit.
    static const std::vector<const char *> &schemaSteps();

private:
    friend class Lease;
    Connection *openConnection(std::string *error);
    void giveBack(Connection *connection);

    std::string m_path;
    std::mutex m_mutex;
    std::vector<Connection *> m_idle;
    std::vector<std::unique_ptr<Connection>> m_all;
};

// RAII transaction: BEGIN IMMEDIATE on construction, ROLLBACK unless commit() succeeded.
class Transaction
{
public:
    explicit Transaction(Lease &lease);
    ~Transaction();
    bool begun() const { return m_begun; }
    bool commit();

private:
    Lease &m_lease;
    bool m_begun = false;
    bool m_done = false;
};

} // namespace server
