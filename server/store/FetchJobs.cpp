#include "server/store/FetchJobs.h"

#include "server/store/Database.h"

#include <algorithm>
#include <cctype>

namespace server {

namespace {
std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

FetchJobs::State stateNamed(const std::string &name)
{
    if (name == "fetching")
        return FetchJobs::State::Fetching;
    if (name == "refused")
        return FetchJobs::State::Refused;
    if (name == "failed")
        return FetchJobs::State::Failed;
    return FetchJobs::State::Waiting;
}

const char kSelectJob[] = "SELECT info_hash, state, epoch, worker, host, lease_until, reason, changed_at "
                          "FROM fetch_jobs WHERE info_hash = ?1";

// A shared database has other workers claiming at the same moment: a job one of them is taking is
// stepped over rather than waited for. SQLite has one writer at a time and no row locks.
const char kClaimSkippingLocked[] =
    "UPDATE fetch_jobs SET state = 'fetching', epoch = epoch + 1, worker = ?1, host = ?2, lease_until = ?4, "
    "changed_at = ?3 WHERE info_hash = (SELECT info_hash FROM fetch_jobs WHERE state = 'waiting' "
    "OR (state = 'fetching' AND lease_until < ?3) ORDER BY changed_at LIMIT 1 FOR UPDATE SKIP LOCKED) "
    "RETURNING info_hash, epoch, reason";
const char kClaimOneWriter[] =
    "UPDATE fetch_jobs SET state = 'fetching', epoch = epoch + 1, worker = ?1, host = ?2, lease_until = ?4, "
    "changed_at = ?3 WHERE info_hash = (SELECT info_hash FROM fetch_jobs WHERE state = 'waiting' "
    "OR (state = 'fetching' AND lease_until < ?3) ORDER BY changed_at LIMIT 1) "
    "RETURNING info_hash, epoch, reason";
const char kClaimNamed[] =
    "UPDATE fetch_jobs SET state = 'fetching', epoch = epoch + 1, worker = ?1, host = ?2, lease_until = ?4, "
    "changed_at = ?3 WHERE info_hash = ?5 AND (state = 'waiting' OR (state = 'fetching' AND lease_until < ?3)) "
    "RETURNING info_hash, epoch, reason";
} // namespace

FetchJobs::FetchJobs(Database &database)
    : m_database(database)
{ }

const char *FetchJobs::nameOf(State state)
{
    switch (state) {
    case State::Fetching:
        return "fetching";
    case State::Refused:
        return "refused";
    case State::Failed:
        return "failed";
    case State::Waiting:
        break;
    }
    return "waiting";
}

std::optional<FetchJobs::Job> FetchJobs::request(const std::string &hash, int64_t nowMs, int64_t retryAfterMs)
{
    const std::string key = lowered(hash);
    {
        Lease lease = m_database.lease();
        Statement insert = lease.prepare("INSERT INTO fetch_jobs (info_hash, state, created_at, changed_at) "
                                         "VALUES (?1, 'waiting', ?2, ?2) ON CONFLICT (info_hash) DO NOTHING");
        insert.bind(1, key).bind(2, nowMs);
        if (!insert.run())
            return std::nullopt;
        if (lease.changes() == 0) {
            Statement retry =
                lease.prepare("UPDATE fetch_jobs SET state = 'waiting', reason = '', changed_at = ?2 "
                              "WHERE info_hash = ?1 AND state IN ('refused', 'failed') AND changed_at < ?3");
            retry.bind(1, key).bind(2, nowMs).bind(3, nowMs - retryAfterMs);
            retry.run();
        }
    }
    return job(key);
}

std::optional<FetchJobs::Job> FetchJobs::job(const std::string &hash)
{
    Lease lease = m_database.lease();
    Statement select = lease.prepare(kSelectJob);
    select.bind(1, lowered(hash));
    if (!select.next())
        return std::nullopt;
    Job job;
    job.hash = select.text(0);
    job.state = stateNamed(select.text(1));
    job.epoch = select.integer(2);
    job.worker = select.text(3);
    job.host = select.text(4);
    job.leaseUntilMs = select.integer(5);
    job.reason = select.text(6);
    job.changedAtMs = select.integer(7);
    return job;
}

int FetchJobs::pendingCount()
{
    Lease lease = m_database.lease();
    Statement count = lease.prepare("SELECT COUNT(*) FROM fetch_jobs j WHERE j.state IN ('waiting', 'fetching') "
                                    "AND NOT EXISTS (SELECT 1 FROM resources r WHERE r.hash = j.info_hash)");
    return count.next() ? int(count.integer(0)) : 0;
}

int FetchJobs::liveWorkers(int64_t nowMs, int64_t withinMs)
{
    Lease lease = m_database.lease();
    Statement count = lease.prepare("SELECT COUNT(*) FROM fetch_workers WHERE seen_at >= ?1");
    count.bind(1, nowMs - withinMs);
    return count.next() ? int(count.integer(0)) : 0;
}

std::string FetchJobs::placeOf(int64_t resourceId)
{
    Lease lease = m_database.lease();
    Statement select = lease.prepare("SELECT host FROM resource_places WHERE resource_id = ?1");
    select.bind(1, resourceId);
    return select.next() ? select.text(0) : std::string();
}

bool FetchJobs::heartbeat(const std::string &worker, const std::string &host, int64_t nowMs)
{
    Lease lease = m_database.lease();
    Statement upsert = lease.prepare("INSERT INTO fetch_workers (id, host, seen_at) VALUES (?1, ?2, ?3) "
                                     "ON CONFLICT (id) DO UPDATE SET host = excluded.host, seen_at = excluded.seen_at");
    upsert.bind(1, worker).bind(2, host).bind(3, nowMs);
    return upsert.run();
}

std::optional<FetchJobs::Job> FetchJobs::claim(const std::string &worker, const std::string &host, int64_t nowMs,
                                               int64_t leaseMs, const std::string &hash)
{
    Lease lease = m_database.lease();
    const char *sql = !hash.empty() ? kClaimNamed : m_database.shared() ? kClaimSkippingLocked : kClaimOneWriter;
    Statement claim = lease.prepare(sql);
    claim.bind(1, worker).bind(2, host).bind(3, nowMs).bind(4, nowMs + leaseMs);
    if (!hash.empty())
        claim.bind(5, lowered(hash));
    if (!claim.next())
        return std::nullopt;
    Job job;
    job.hash = claim.text(0);
    job.state = State::Fetching;
    job.epoch = claim.integer(1);
    job.reason = claim.text(2);
    job.worker = worker;
    job.host = host;
    job.leaseUntilMs = nowMs + leaseMs;
    job.changedAtMs = nowMs;
    // The claim counts once it ran to its end (committed), not when its row came back.
    if (!claim.run())
        return std::nullopt;
    return job;
}

FetchJobs::Renewal FetchJobs::renew(const std::string &hash, int64_t epoch, int64_t nowMs, int64_t leaseMs)
{
    Lease lease = m_database.lease();
    Statement renew = lease.prepare(
        "UPDATE fetch_jobs SET lease_until = ?3 WHERE info_hash = ?1 AND epoch = ?2 AND state = 'fetching'");
    renew.bind(1, lowered(hash)).bind(2, epoch).bind(3, nowMs + leaseMs);
    if (!renew.run())
        return Renewal::NotWritten;
    return lease.changes() == 1 ? Renewal::Renewed : Renewal::Lost;
}

bool FetchJobs::fence(Lease &lease, const std::string &hash, int64_t epoch, int64_t nowMs)
{
    Statement fence = lease.prepare(
        "UPDATE fetch_jobs SET changed_at = ?3 WHERE info_hash = ?1 AND epoch = ?2 AND state = 'fetching'");
    fence.bind(1, lowered(hash)).bind(2, epoch).bind(3, nowMs);
    return fence.run() && lease.changes() == 1;
}

bool FetchJobs::complete(const std::string &hash, int64_t epoch, const std::string &host, int64_t nowMs)
{
    const std::string key = lowered(hash);
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun() || !fence(lease, key, epoch, nowMs))
        return false;
    Statement origin = lease.prepare("UPDATE resources SET origin = 'fetch' WHERE hash = ?1");
    origin.bind(1, key);
    Statement place =
        lease.prepare("INSERT INTO resource_places (resource_id, host, placed_at) "
                      "SELECT id, CAST(?2 AS TEXT), CAST(?3 AS BIGINT) FROM resources WHERE hash = ?1 "
                      "ON CONFLICT (resource_id) DO UPDATE SET host = excluded.host, placed_at = excluded.placed_at");
    place.bind(1, key).bind(2, host).bind(3, nowMs);
    Statement done = lease.prepare("DELETE FROM fetch_jobs WHERE info_hash = ?1");
    done.bind(1, key);
    return origin.run() && place.run() && done.run() && transaction.commit();
}

bool FetchJobs::end(const std::string &hash, int64_t epoch, State state, const std::string &reason, int64_t nowMs)
{
    Lease lease = m_database.lease();
    Statement end = lease.prepare("UPDATE fetch_jobs SET state = ?3, reason = ?4, changed_at = ?5, lease_until = 0 "
                                  "WHERE info_hash = ?1 AND epoch = ?2 AND state = 'fetching'");
    end.bind(1, lowered(hash)).bind(2, epoch).bind(3, std::string(nameOf(state))).bind(4, reason).bind(5, nowMs);
    return end.run() && lease.changes() == 1;
}

bool FetchJobs::release(const std::string &hash, int64_t epoch, int64_t nowMs)
{
    Lease lease = m_database.lease();
    Statement release = lease.prepare(
        "UPDATE fetch_jobs SET state = 'waiting', worker = '', host = '', lease_until = 0, changed_at = ?3 "
        "WHERE info_hash = ?1 AND epoch = ?2 AND state = 'fetching'");
    release.bind(1, lowered(hash)).bind(2, epoch).bind(3, nowMs);
    return release.run() && lease.changes() == 1;
}

bool FetchJobs::discard(const std::string &hash, int64_t epoch, int64_t nowMs)
{
    const std::string key = lowered(hash);
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun() || !fence(lease, key, epoch, nowMs))
        return false;
    Statement resource = lease.prepare("DELETE FROM resources WHERE hash = ?1");
    resource.bind(1, key);
    Statement job = lease.prepare("DELETE FROM fetch_jobs WHERE info_hash = ?1");
    job.bind(1, key);
    return resource.run() && job.run() && transaction.commit();
}

bool FetchJobs::removePlaced(const std::string &hash, const std::string &host)
{
    Lease lease = m_database.lease();
    Statement remove = lease.prepare(
        "DELETE FROM resources WHERE hash = ?1 AND id IN (SELECT resource_id FROM resource_places WHERE host = ?2)");
    remove.bind(1, lowered(hash)).bind(2, host);
    return remove.run() && lease.changes() > 0;
}

void FetchJobs::purge(int64_t nowMs, int64_t ageMs)
{
    Lease lease = m_database.lease();
    Statement jobs = lease.prepare("DELETE FROM fetch_jobs WHERE state IN ('refused', 'failed') AND changed_at < ?1");
    jobs.bind(1, nowMs - ageMs);
    jobs.run();
    Statement workers = lease.prepare("DELETE FROM fetch_workers WHERE seen_at < ?1");
    workers.bind(1, nowMs - ageMs);
    workers.run();
}

} // namespace server
