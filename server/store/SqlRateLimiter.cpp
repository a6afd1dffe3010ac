#include "server/store/SqlRateLimiter.h"

#include "server/store/Database.h"

#include <algorithm>

namespace server {

namespace {
// When the database cannot say, the attempt waits rather than passing unchecked.
constexpr int64_t kUnknownRetryMs = 1000;
} // namespace

SqlRateLimiter::SqlRateLimiter(Database &database, std::string bucket, int limit, int64_t windowMs)
    : m_database(database), m_bucket(std::move(bucket)), m_limit(limit), m_windowMs(windowMs)
{
}

int64_t SqlRateLimiter::reserve(const std::string &key, int64_t nowMs)
{
    if (m_limit <= 0)
        return 0;
    Lease lease = m_database.lease();
    int64_t last = m_lastSweepMs.load();
    if (nowMs - last > m_windowMs && m_lastSweepMs.compare_exchange_strong(last, nowMs)) {
        Statement sweep = lease.prepare("DELETE FROM rate_events WHERE bucket = ?1 AND at_ms <= ?2");
        sweep.bind(1, m_bucket).bind(2, nowMs - m_windowMs).run();
    }
    Transaction transaction(lease);
    if (!transaction.begun())
        return kUnknownRetryMs;
    int count = 0;
    int64_t oldest = 0;
    {
        Statement recent = lease.prepare(
            "SELECT at_ms FROM rate_events WHERE bucket = ?1 AND key = ?2 AND at_ms > ?3 "
            "ORDER BY at_ms DESC LIMIT ?4");
        recent.bind(1, m_bucket).bind(2, key).bind(3, nowMs - m_windowMs).bind(4, int64_t(m_limit));
        while (recent.next()) {
            ++count;
            oldest = recent.integer(0);
        }
        if (recent.failed())
            return kUnknownRetryMs;
    }
    // Blocked until the oldest event that keeps the count at the limit leaves the window.
    if (count >= m_limit)
        return std::max<int64_t>(1, oldest + m_windowMs - nowMs);
    Statement insert = lease.prepare("INSERT INTO rate_events (bucket, key, at_ms) VALUES (?1, ?2, ?3)");
    if (!insert.bind(1, m_bucket).bind(2, key).bind(3, nowMs).run() || !transaction.commit())
        return kUnknownRetryMs;
    return 0;
}

void SqlRateLimiter::release(const std::string &key, int64_t nowMs)
{
    Lease lease = m_database.lease();
    Statement remove = lease.prepare(
        "DELETE FROM rate_events WHERE id = (SELECT id FROM rate_events WHERE bucket = ?1 AND key = ?2 "
        "AND at_ms = ?3 ORDER BY id DESC LIMIT 1)");
    remove.bind(1, m_bucket).bind(2, key).bind(3, nowMs).run();
}

void SqlRateLimiter::clear(const std::string &key)
{
    Lease lease = m_database.lease();
    Statement remove = lease.prepare("DELETE FROM rate_events WHERE bucket = ?1 AND key = ?2");
    remove.bind(1, m_bucket).bind(2, key).run();
}

} // namespace server
