#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace server {

class Database;
class Lease;

// Fetching spread over workers, in the shared database. A resource hash the library lacks is one
// job (keyed by the hash, so the whole cluster fetches it once); a worker claims it under a lease
// that its heartbeat renews, and every claim raises the job's epoch. A worker writes about a job
// only while the epoch is still the one its claim got, so one that was stopped past its lease and
// resumes cannot overwrite what the worker that took over wrote. A finished fetch leaves no job,
// only its place: the host that holds its files.
class FetchJobs
{
public:
    enum class State { Waiting, Fetching, Refused, Failed };

    struct Job
    {
        std::string hash;
        State state = State::Waiting;
        int64_t epoch = 0;
        std::string worker;
        std::string host; // where the worker serves the files it fetches
        int64_t leaseUntilMs = 0;
        std::string reason; // of a refusal or failure
        int64_t changedAtMs = 0;
    };

    explicit FetchJobs(Database &database);

    // What the instances do. A job for the hash unless there is one; a refusal or failure older
    // than retryAfterMs is tried again. The job as it stands afterwards.
    std::optional<Job> request(const std::string &hash, int64_t nowMs, int64_t retryAfterMs);
    std::optional<Job> job(const std::string &hash);
    // Jobs whose resource is not in the library yet (waiting for a worker or for metadata).
    int pendingCount();
    // Workers whose heartbeat is younger than `withinMs`.
    int liveWorkers(int64_t nowMs, int64_t withinMs);
    // The host that holds a finished fetched resource's files, empty when it is not known.
    std::string placeOf(int64_t resourceId);

    // What the workers do.
    bool heartbeat(const std::string &worker, const std::string &host, int64_t nowMs);
    // The oldest job that waits or whose lease lapsed, now held by `worker` with a raised epoch;
    // with `hash`, only that job.
    std::optional<Job> claim(const std::string &worker, const std::string &host, int64_t nowMs, int64_t leaseMs,
                             const std::string &hash = std::string());
    // Lost: the job is no longer held with this epoch (another worker took it). NotWritten: the
    // database could not be asked; the lease runs on until it can.
    enum class Renewal { Renewed, Lost, NotWritten };
    Renewal renew(const std::string &hash, int64_t epoch, int64_t nowMs, int64_t leaseMs);
    // Inside a transaction of `lease`: true (and the job's row locked until the end of it) while
    // the job is still held with this epoch. Every write about a job goes behind one.
    static bool fence(Lease &lease, const std::string &hash, int64_t epoch, int64_t nowMs);
    // The fetch is finished: the resource is an ordinary library entry ("fetch") placed at `host`,
    // and the job is gone. False when the epoch is no longer the job's.
    bool complete(const std::string &hash, int64_t epoch, const std::string &host, int64_t nowMs);
    // The fetch was refused or failed; remembered until a request tries it again.
    bool end(const std::string &hash, int64_t epoch, State state, const std::string &reason, int64_t nowMs);
    // A worker that stops lets its jobs go at once, instead of at the end of their leases.
    bool release(const std::string &hash, int64_t epoch, int64_t nowMs);
    // Given up to stay within a worker's quota: a fetch it holds leaves the library with its job,
    // a finished one only when it is placed at `host`.
    bool discard(const std::string &hash, int64_t epoch, int64_t nowMs);
    bool removePlaced(const std::string &hash, const std::string &host);
    // Forgets refusals, failures and workers not seen for `ageMs`.
    void purge(int64_t nowMs, int64_t ageMs);

    static const char *nameOf(State state);

private:
    Database &m_database;
};

} // namespace server
