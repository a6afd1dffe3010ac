#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace server {

// Counts events per key in a sliding window, e.g. failed log-ins per account and per address.
class RateLimiter
{
public:
    RateLimiter(int limit, int64_t windowMs);

    // True when the key has reached the limit within the window ending at nowMs.
    bool isBlocked(const std::string &key, int64_t nowMs);
    // Milliseconds until the key is no longer blocked (0 when it is not).
    int64_t retryAfterMs(const std::string &key, int64_t nowMs);
    void record(const std::string &key, int64_t nowMs);
    // Checks and records in one step, so that attempts still being evaluated count: 0 when the
    // event was recorded, else the milliseconds until the key is no longer blocked.
    int64_t reserve(const std::string &key, int64_t nowMs);
    // Takes back one event reserved at nowMs (the attempt turned out not to count).
    void release(const std::string &key, int64_t nowMs);
    void clear(const std::string &key);
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
