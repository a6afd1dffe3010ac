#include "server/store/Database.h"

#include "server/store/postgres/PostgresDatabase.h"
#include "server/store/sqlite/SqliteDatabase.h"

#include <cstdio>

namespace server {

Statement::Statement(StatementBackend *backend, int *changes) : m_backend(backend), m_changes(changes)
{
    m_failed = backend == nullptr;
}

Statement::~Statement()
{
    if (m_backend)
        m_backend->reset();
}

Statement &Statement::bind(int index, const std::string &value)
{
    if (m_backend && !m_backend->bindText(index, value))
        m_failed = true;
    return *this;
}

Statement &Statement::bind(int index, int64_t value)
{
    if (m_backend && !m_backend->bindInteger(index, value))
        m_failed = true;
    return *this;
}

Statement &Statement::bindNull(int index)
{
    if (m_backend && !m_backend->bindNull(index))
        m_failed = true;
    return *this;
}

bool Statement::next()
{
    if (!m_backend || m_failed)
        return false;
    const int rc = m_backend->step();
    if (rc < 0)
        m_failed = true;
    if (rc <= 0 && m_changes)
        *m_changes = rc < 0 ? 0 : m_backend->changes();
    return rc > 0;
}

bool Statement::run()
{
    if (!m_backend || m_failed)
        return false;
    int rc;
    while ((rc = m_backend->step()) > 0) {
    }
    if (rc < 0)
        m_failed = true;
    if (m_changes)
        *m_changes = m_failed ? 0 : m_backend->changes();
    return !m_failed;
}

std::string Statement::error() const
{
    return m_backend ? m_backend->error() : std::string("no database connection");
}

int Statement::changes() const
{
    return m_backend ? m_backend->changes() : 0;
}

int64_t Statement::integer(int column) const
{
    return m_backend ? m_backend->integer(column) : 0;
}

std::string Statement::text(int column) const
{
    return m_backend ? m_backend->text(column) : std::string();
}

bool Statement::isNull(int column) const
{
    return !m_backend || m_backend->isNull(column);
}

Lease::Lease(Database *database, std::unique_ptr<ConnectionBackend> connection)
    : m_database(database), m_connection(std::move(connection))
{
}

Lease::~Lease()
{
    if (m_database && m_connection)
        m_database->giveBack(std::move(m_connection));
}

Lease::Lease(Lease &&other) noexcept
    : m_database(other.m_database), m_connection(std::move(other.m_connection)), m_changes(other.m_changes)
{
    other.m_database = nullptr;
}

Statement Lease::prepare(const char *sql)
{
    return Statement(m_connection ? m_connection->prepare(sql) : nullptr, &m_changes);
}

bool Lease::execute(const char *sql)
{
    return m_connection && m_connection->execute(sql);
}

Database::~Database() = default;

Lease Database::lease()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_returned.wait(lock, [this] { return !m_idle.empty() || m_openLimit == 0 || m_open < m_openLimit; });
        while (!m_idle.empty()) {
            std::unique_ptr<ConnectionBackend> connection = std::move(m_idle.back());
            m_idle.pop_back();
            if (connection->healthy())
                return Lease(this, std::move(connection));
            --m_open;
        }
        ++m_open;
    }
    std::string error;
    std::unique_ptr<ConnectionBackend> connection = connect(&error);
    if (!connection) {
        std::fprintf(stderr, "database: %s\n", error.c_str());
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_open;
        m_returned.notify_one();
    }
    return Lease(this, std::move(connection));
}

void Database::giveBack(std::unique_ptr<ConnectionBackend> connection)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (connection->broken())
        --m_open; // discarded; the next lease opens a new one
    else
        m_idle.push_back(std::move(connection));
    m_returned.notify_one();
}

Transaction::Transaction(Lease &lease) : m_lease(lease)
{
    m_begun = m_lease.connection() && m_lease.connection()->begin();
}

Transaction::~Transaction()
{
    if (m_begun && !m_done)
        m_lease.connection()->rollback();
}

bool Transaction::commit()
{
    if (!m_begun || m_done)
        return false;
    m_done = m_lease.connection()->commit();
    return m_done;
}

bool isPostgresUrl(const std::string &url)
{
    return url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Database> makeDatabase(const std::string &url, const std::string &dataDir)
{
    if (isPostgresUrl(url))
        return std::make_unique<PostgresDatabase>(url);
    return std::make_unique<SqliteDatabase>(dataDir + "/service.db");
}

} // namespace server
