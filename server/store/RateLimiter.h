#pragma once

#include "server/store/RateLimit.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace server {

// Counts events per key in a sliding window in this process's memory.
class RateLimiter : public RateLimit
{
public:
    RateLimiter(int limit, int64_t windowMs);

    // True when the key has reached the limit within the window ending at nowMs.
    bool isBlocked(const std::string &key, int64_t nowMs);
    // Milliseconds until the key is no longer blocked (0 when it is not).
    int64_t retryAfterMs(const std::string &key, int64_t nowMs);
    void record(const std::string &key, int64_t nowMs);
    int64_t reserve(const std::string &key, int64_t nowMs) override;
    void release(const std::string &key, int64_t nowMs) override;
    void clear(const std::string &key) override;
    int limit() const { return m_limit; }

private:
    void prune(std::deque<int64_t> &events, int64_t nowMs) const;
    int64_t blockedFor(const std::deque<int64_t> &events, int64_t nowMs) const;
    void recordLocked(const std::string &key, int64_t nowMs);

    int m_limit;
    int64_t m_windowMs;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<int64_t>> m_events;
    int64_t m_lastSweepMs = 0;
};

} // namespace server
