#pragma once

#include <cstdint>
#include <string>

namespace server {

// A limit on events per key within a sliding window (failed log-ins per account, captchas per
// address, ...), kept in one process or in the database that several share.
class RateLimit
{
public:
    virtual ~RateLimit() = default;
    // Checks and records in one step, so that attempts still being evaluated count: 0 when the
    // event was recorded, else the milliseconds until the key is no longer blocked.
    virtual int64_t reserve(const std::string &key, int64_t nowMs) = 0;
    // Takes back one event reserved at nowMs (the attempt turned out not to count).
    virtual void release(const std::string &key, int64_t nowMs) = 0;
    virtual void clear(const std::string &key) = 0;
};

} // namespace server
