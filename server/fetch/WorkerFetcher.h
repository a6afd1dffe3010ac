#pragma once

#include "server/fetch/ResourceFetcher.h"
#include "server/store/FetchJobs.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace server {

class ServiceContext;

// What an instance on a shared database does when fetch workers fetch for it: an unknown hash
// becomes a job, the reply waits for a worker to bring its metadata into the library, and a
// file still arriving is played from the worker that holds its job, once that worker has its
// first piece (asked over the worker's video host with the player's code). Finished fetches are
// played from the host they are placed at.
class WorkerFetcher : public ResourceFetcher
{
public:
    WorkerFetcher(ServiceContext &context, FetchOptions options);

    const FetchOptions &options() const override { return m_options; }
    bool available() override;
    FetchEngine::State request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason) override;
    bool prepareToPlay(const LibraryFile &file, const std::string &code, const std::string &cookie, std::string *host,
                       std::string *reason) override;
    std::string placeOf(const LibraryFile &file) override;

    // A worker unseen for this long is taken for gone.
    static constexpr int64_t kWorkerSilenceMs = 60 * 1000;

private:
    // GET /prepare/CODE on the worker's video host; `stillHeld` is asked every second meanwhile.
    bool askWorker(const std::string &host, const std::string &code, const std::string &cookie, int64_t deadlineMs,
                   const std::function<bool()> &stillHeld, std::string *reason);

    ServiceContext &m_context;
    FetchOptions m_options;
    FetchJobs m_jobs;
    std::mutex m_mutex;
    int64_t m_workersCheckedAt = 0;
    std::atomic<int> m_workers{0};
};

} // namespace server
