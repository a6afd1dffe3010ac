#include "server/store/PlayPositions.h"

#include "server/store/Database.h"

#include <algorithm>
#include <cctype>

namespace server {

PlayPositions::PlayPositions(Database &database) : m_database(database) {}

std::optional<std::vector<PlayPositions::Entry>> PlayPositions::list(int64_t userId)
{
    std::vector<Entry> result;
    Lease lease = m_database.lease();
    Statement select = lease.prepare(
        "SELECT hash, file_index, position_ms, duration_ms, written_at FROM play_positions WHERE user_id = ?1 "
        "ORDER BY written_at DESC, hash DESC, file_index DESC LIMIT ?2");
    select.bind(1, userId).bind(2, int64_t(kMaxPerAccount));
    while (select.next())
        result.push_back({select.text(0), int(select.integer(1)), select.integer(2), select.integer(3), select.integer(4)});
    if (select.failed())
        return std::nullopt;
    return result;
}

PlayPositions::PutResult PlayPositions::put(int64_t userId, const Entry &entry)
{
    std::string hash = entry.hash;
    std::transform(hash.begin(), hash.end(), hash.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun())
        return PutResult::Failed;
    // An entry written at the same time as the stored one replaces it: the later request wins.
    Statement upsert = lease.prepare(
        "INSERT INTO play_positions (user_id, hash, file_index, position_ms, duration_ms, written_at) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (user_id, hash, file_index) DO UPDATE SET "
        "position_ms = excluded.position_ms, duration_ms = excluded.duration_ms, written_at = excluded.written_at "
        "WHERE play_positions.written_at <= excluded.written_at");
    upsert.bind(1, userId).bind(2, hash).bind(3, int64_t(entry.fileIndex)).bind(4, entry.positionMs)
        .bind(5, entry.durationMs).bind(6, entry.writtenAt);
    if (!upsert.run())
        return PutResult::Failed;
    if (lease.changes() == 0)
        return transaction.commit() ? PutResult::Older : PutResult::Failed;
    Statement trim = lease.prepare(
        "DELETE FROM play_positions WHERE user_id = ?1 AND (hash, file_index) NOT IN "
        "(SELECT hash, file_index FROM play_positions WHERE user_id = ?1 "
        "ORDER BY written_at DESC, hash DESC, file_index DESC LIMIT ?2)");
    trim.bind(1, userId).bind(2, int64_t(kMaxPerAccount));
    if (!trim.run() || !transaction.commit())
        return PutResult::Failed;
    return PutResult::Stored;
}

} // namespace server
