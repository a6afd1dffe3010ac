#pragma once

#include "server/fetch/FetchLedger.h"
#include "server/store/FetchJobs.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace server {

// The ledger of a fetch worker: every write about a fetch goes behind the epoch that the worker's
// claim of its job got, so that a worker that lost the job (its lease lapsed while it was stopped
// or cut off) has its late writes refused instead of undoing those of the worker that took over.
// Finished fetches are placed at the worker's host.
class JobLedger : public FetchLedger
{
public:
    JobLedger(FetchJobs &jobs, LibraryStore &library, std::string host);

    // The jobs this worker holds, with the epochs of its claims.
    void hold(const std::string &hash, int64_t epoch);
    void forget(const std::string &hash);
    // 0 when the job is not held.
    int64_t epochOf(const std::string &hash);
    std::map<std::string, int64_t> held();
    // Writes refused since the start, for the log and tests.
    int refusedWrites() const { return m_refused; }

    bool admit(const LibraryResource &resource, const std::vector<LibraryStore::NewFile> &files,
               std::string *error) override;
    bool complete(const std::string &hash, std::string *error) override;
    void ended(const std::string &hash, Outcome outcome, const std::string &reason) override;
    std::vector<LibraryStore::FetchedResource> heldHere() override { return m_library.fetchedResources(m_host); }
    void evict(const std::string &hash) override;

private:
    void refused(const std::string &hash, int64_t epoch, const char *what, std::string *error);

    FetchJobs &m_jobs;
    LibraryStore &m_library;
    std::string m_host;
    std::mutex m_mutex;
    std::map<std::string, int64_t> m_epochs;
    std::atomic<int> m_refused{0};
};

} // namespace server
