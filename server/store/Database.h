#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace server {

// What a back end does for one prepared statement. Statements are prepared once per connection
// and kept, keyed by the address of their SQL text (a literal or a static string). Parameters are
// written ?1, ?2, ...; the SQL is the part both back ends speak alike.
class StatementBackend
{
public:
    virtual ~StatementBackend() = default;
    virtual bool bindText(int index, const std::string &value) = 0;
    virtual bool bindInteger(int index, int64_t value) = 0;
    virtual bool bindNull(int index) = 0;
    // Runs the statement on the first call, then moves to the next row: 1 a row, 0 the end, -1 an error.
    virtual int step() = 0;
    virtual int64_t integer(int column) const = 0;
    virtual std::string text(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    // Rows the last run changed.
    virtual int changes() const = 0;
    virtual void reset() = 0;
    virtual std::string error() const = 0;
};

// One connection of a back end.
class ConnectionBackend
{
public:
    virtual ~ConnectionBackend() = default;
    virtual StatementBackend *prepare(const char *sql) = 0;
    // SQL text without results (schema).
    virtual bool execute(const char *sql) = 0;
    // A transaction that writers take one at a time, as SQLite's BEGIN IMMEDIATE does.
    virtual bool begin() = 0;
    virtual bool commit() = 0;
    virtual void rollback() = 0;
    // Broken connections are not given back to the pool.
    virtual bool broken() const { return false; }
    // Checked when an idle connection is taken from the pool; one that fails is dropped.
    virtual bool healthy() { return true; }
};

// One prepared statement of a leased connection; reset and unbound when it goes out of scope.
class Statement
{
public:
    Statement(StatementBackend *backend, int *changes);
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
    // Rows the statement changed.
    int changes() const;

    int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    StatementBackend *m_backend;
    int *m_changes;
    bool m_failed = false;
};

class Database;

// A connection taken from the pool for the life of one request step.
class Lease
{
public:
    Lease(Database *database, std::unique_ptr<ConnectionBackend> connection);
    ~Lease();
    Lease(Lease &&other) noexcept;
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;

    Statement prepare(const char *sql);
    bool execute(const char *sql);
    // Rows changed by the statement run last through this lease.
    int changes() const { return m_changes; }
    ConnectionBackend *connection() const { return m_connection.get(); }

private:
    Database *m_database;
    std::unique_ptr<ConnectionBackend> m_connection;
    int m_changes = 0;
};

// The database behind every store: a small pool of connections of one back end, and a schema
// made and upgraded by numbered steps (each back end keeps its own numbered list).
class Database
{
public:
    virtual ~Database();

    // Connects (creating what is missing) and applies the schema steps not applied yet.
    virtual bool open(std::string *error) = 0;
    virtual int schemaVersion() = 0;
    virtual int schemaStepCount() const = 0;
    // Whether several service processes on several machines may share it (they may not share
    // a SQLite file).
    virtual bool shared() const = 0;
    virtual std::string describe() const = 0;

    Lease lease();

protected:
    virtual std::unique_ptr<ConnectionBackend> connect(std::string *error) = 0;
    // At most this many connections are open at once (0: no limit); a lease waits for one.
    size_t m_openLimit = 0;

private:
    friend class Lease;
    void giveBack(std::unique_ptr<ConnectionBackend> connection);

    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::unique_ptr<ConnectionBackend>> m_idle;
    size_t m_open = 0;
};

// RAII transaction: begun on construction, rolled back unless commit() succeeded.
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

// SQLite in DIR/service.db, or PostgreSQL when `url` is a postgresql:// or postgres:// address.
std::unique_ptr<Database> makeDatabase(const std::string &url, const std::string &dataDir);
bool isPostgresUrl(const std::string &url);

} // namespace server
