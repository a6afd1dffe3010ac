#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace server {

class FetchEngine;
class FetchJobs;
class JobLedger;
class LibraryStore;

// The loop of a fetch worker: it beats its heart and renews the leases of the jobs it holds,
// claims jobs while it has room, hands them to its engine, and lets go of a job whose lease went
// to another worker (the engine drops that fetch and its files) or whose fetch ended.
class FetchWorker
{
public:
    struct Settings
    {
        std::string id; // unique per process
        std::string host; // host:port of the worker's video host, where players are sent
        int64_t leaseMs = 15000;
        int maxJobs = 16;
    };

    FetchWorker(FetchEngine &engine, FetchJobs &jobs, JobLedger &ledger, LibraryStore &library, Settings settings);

    // Fetches an earlier run left on this disk: continued when their jobs are free, kept when they
    // are finished and placed here, deleted otherwise.
    void adoptLeftovers(const std::string &fetchDir);
    // Until stop().
    void run();
    void stop();
    // At a clean stop, once the engine has saved its resume data: the jobs go back to the queue
    // at once instead of at the end of their leases.
    void releaseAll();

private:
    void beat(int64_t now);
    void sweep();
    void claim(int64_t now);
    bool begin(const std::string &hash, int64_t epoch);

    FetchEngine &m_engine;
    FetchJobs &m_jobs;
    JobLedger &m_ledger;
    LibraryStore &m_library;
    Settings m_settings;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    int64_t m_purgedAt = 0;
};

} // namespace server
