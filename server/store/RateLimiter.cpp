#include "server/store/RateLimiter.h"

#include <algorithm>

namespace server {

RateLimiter::RateLimiter(int limit, int64_t windowMs) : m_limit(limit), m_windowMs(windowMs) {}

void RateLimiter::prune(std::deque<int64_t> &events, int64_t nowMs) const
{
    while (!events.empty() && events.front() <= nowMs - m_windowMs)
        events.pop_front();
}

bool RateLimiter::isBlocked(const std::string &key, int64_t nowMs)
{
    return retryAfterMs(key, nowMs) > 0;
}

int64_t RateLimiter::blockedFor(const std::deque<int64_t> &events, int64_t nowMs) const
{
    if (int(events.size()) < m_limit)
        return 0;
    // Blocked until the oldest event that keeps the count at the limit leaves the window.
    const int64_t oldest = events[events.size() - size_t(m_limit)];
    return std::max<int64_t>(1, oldest + m_windowMs - nowMs);
}

int64_t RateLimiter::retryAfterMs(const std::string &key, int64_t nowMs)
{
    if (m_limit <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_events.find(key);
    if (found == m_events.end())
        return 0;
    prune(found->second, nowMs);
    return blockedFor(found->second, nowMs);
}

void RateLimiter::record(const std::string &key, int64_t nowMs)
{
    if (m_limit <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    recordLocked(key, nowMs);
}

void RateLimiter::recordLocked(const std::string &key, int64_t nowMs)
{
    // Forget idle keys now and then so that the table cannot grow without bound.
    if (nowMs - m_lastSweepMs > m_windowMs) {
        for (auto it = m_events.begin(); it != m_events.end();) {
            prune(it->second, nowMs);
            it = it->second.empty() ? m_events.erase(it) : std::next(it);
        }
        m_lastSweepMs = nowMs;
    }
    auto &events = m_events[key];
    events.push_back(nowMs);
    // Only the newest `limit` events matter for blocking.
    while (int(events.size()) > m_limit)
        events.pop_front();
}

int64_t RateLimiter::reserve(const std::string &key, int64_t nowMs)
{
    if (m_limit <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_events.find(key);
    if (found != m_events.end()) {
        prune(found->second, nowMs);
        if (const int64_t blocked = blockedFor(found->second, nowMs))
            return blocked;
    }
    recordLocked(key, nowMs);
    return 0;
}

void RateLimiter::release(const std::string &key, int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_events.find(key);
    if (found == m_events.end())
        return;
    auto &events = found->second;
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (*it == nowMs) {
            events.erase(std::next(it).base());
            break;
        }
    }
    if (events.empty())
        m_events.erase(found);
}

void RateLimiter::clear(const std::string &key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.erase(key);
}

} // namespace server
