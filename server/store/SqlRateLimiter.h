#pragma once

#include "server/store/RateLimit.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace server {

class Database;

// A rate limit kept in the database, so that it is one limit across every instance on it. Each
// check and record is one transaction; events older than the window are swept now and then.
class SqlRateLimiter : public RateLimit
{
public:
    SqlRateLimiter(Database &database, std::string bucket, int limit, int64_t windowMs);

    int64_t reserve(const std::string &key, int64_t nowMs) override;
    void release(const std::string &key, int64_t nowMs) override;
    void clear(const std::string &key) override;

private:
    Database &m_database;
    std::string m_bucket;
    int m_limit;
    int64_t m_windowMs;
    std::atomic<int64_t> m_lastSweepMs{0};
};

} // namespace server
