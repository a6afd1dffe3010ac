#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace server {

class Database;

// Where an account stopped in each file it played, so that another machine of the same account
// resumes there. One entry per account, resource and file index; a write carries the time it was
// made on the player, and an older write (one that waited in a player's queue) never replaces a
// newer entry. Only the newest entries of an account are kept.
class PlayPositions
{
public:
    static constexpr int kMaxPerAccount = 300;

    struct Entry {
        std::string hash; // 40 hex digits, lowercase
        int fileIndex = 0;
        int64_t positionMs = 0; // 0: nothing to resume
        int64_t durationMs = 0;
        int64_t writtenAt = 0; // unix seconds
    };

    explicit PlayPositions(Database &database);

    // Newest first; nullopt when the database cannot be read.
    std::optional<std::vector<Entry>> list(int64_t userId);

    enum class PutResult { Stored, Older, Failed };
    PutResult put(int64_t userId, const Entry &entry);

private:
    Database &m_database;
};

} // namespace server
