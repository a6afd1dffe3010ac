#include "server/fetch/JobLedger.h"

#include "server/ServiceContext.h"
#include "server/http/LogText.h"

namespace server {

JobLedger::JobLedger(FetchJobs &jobs, LibraryStore &library, std::string host)
    : m_jobs(jobs)
    , m_library(library)
    , m_host(std::move(host))
{ }

void JobLedger::hold(const std::string &hash, int64_t epoch)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_epochs[hash] = epoch;
}

void JobLedger::forget(const std::string &hash)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_epochs.erase(hash);
}

int64_t JobLedger::epochOf(const std::string &hash)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_epochs.find(hash);
    return found == m_epochs.end() ? 0 : found->second;
}

std::map<std::string, int64_t> JobLedger::held()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_epochs;
}

void JobLedger::refused(const std::string &hash, int64_t epoch, const char *what, std::string *error)
{
    ++m_refused;
    const std::string reason = "the job is no longer held with epoch " + std::to_string(epoch);
    LogText::print(std::string("fetch: late write refused (") + what + ") for " + hash + ": " + reason);
    if (error)
        *error = reason;
}

bool JobLedger::admit(const LibraryResource &resource, const std::vector<LibraryStore::NewFile> &files,
                      std::string *error)
{
    const int64_t epoch = epochOf(resource.hash);
    bool fenced = true;
    const bool put = epoch != 0 && m_library.put(resource, files, ServiceContext::now(), error, [&](Lease &lease) {
        fenced = FetchJobs::fence(lease, resource.hash, epoch, ServiceContext::nowMs());
        return fenced;
    });
    if (!put && (epoch == 0 || !fenced))
        refused(resource.hash, epoch, "metadata", error);
    return put;
}

bool JobLedger::complete(const std::string &hash, std::string *error)
{
    const int64_t epoch = epochOf(hash);
    if (epoch == 0 || !m_jobs.complete(hash, epoch, m_host, ServiceContext::nowMs())) {
        refused(hash, epoch, "complete", error);
        return false;
    }
    forget(hash);
    return true;
}

void JobLedger::ended(const std::string &hash, Outcome outcome, const std::string &reason)
{
    const int64_t epoch = epochOf(hash);
    const FetchJobs::State state = outcome == Outcome::Refused ? FetchJobs::State::Refused : FetchJobs::State::Failed;
    if (epoch == 0 || !m_jobs.end(hash, epoch, state, reason, ServiceContext::nowMs()))
        refused(hash, epoch, "end", nullptr);
    forget(hash);
}

void JobLedger::evict(const std::string &hash)
{
    const int64_t epoch = epochOf(hash);
    if (epoch != 0) {
        if (!m_jobs.discard(hash, epoch, ServiceContext::nowMs()))
            refused(hash, epoch, "evict", nullptr);
        forget(hash);
        return;
    }
    m_jobs.removePlaced(hash, m_host);
}

} // namespace server
