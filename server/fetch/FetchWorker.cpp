#include "server/fetch/FetchWorker.h"

#include "server/ServiceContext.h"
#include "server/fetch/FetchEngine.h"
#include "server/fetch/FetchResume.h"
#include "server/fetch/JobLedger.h"
#include "server/fetch/TorrentIds.h"
#include "server/http/LogText.h"
#include "server/store/FetchJobs.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <set>

namespace server {

namespace {
// How often a worker looks for new jobs: a player's file list waits for the claim.
constexpr auto kClaimInterval = std::chrono::milliseconds(250);
constexpr int64_t kPurgeIntervalMs = 10 * 60 * 1000;
constexpr int64_t kForgetAfterMs = 24 * 3600 * 1000;
} // namespace

FetchWorker::FetchWorker(FetchEngine &engine, FetchJobs &jobs, JobLedger &ledger, LibraryStore &library,
                         Settings settings)
    : m_engine(engine)
    , m_jobs(jobs)
    , m_ledger(ledger)
    , m_library(library)
    , m_settings(std::move(settings))
{ }

bool FetchWorker::begin(const std::string &hash, int64_t epoch)
{
    m_ledger.hold(hash, epoch);
    std::string started;
    std::string error;
    // A job names a resource hash, never a file to read the torrent from.
    if (!torrentids::isHexHash(hash)) {
        m_jobs.end(hash, epoch, FetchJobs::State::Refused, "not a hash the engine can fetch", ServiceContext::nowMs());
        m_ledger.forget(hash);
        return false;
    }
    if (!m_engine.add(hash, &started, &error)) {
        LogText::print("fetch: cannot fetch " + hash + ": " + error);
        m_jobs.end(hash, epoch, FetchJobs::State::Failed, error, ServiceContext::nowMs());
        m_ledger.forget(hash);
        return false;
    }
    LogText::print("fetch: claimed " + hash + " (epoch " + std::to_string(epoch) + ")");
    return true;
}

void FetchWorker::adoptLeftovers(const std::string &fetchDir)
{
    std::set<std::string> hashes;
    for (const QString &name : QDir(torrentids::qPath(fetchDir)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (torrentids::isHexHash(name.toStdString()))
            hashes.insert(torrentids::lowered(name.toStdString()));
    }
    const FetchResume resume(fetchDir);
    for (const std::string &hash : resume.hashes())
        hashes.insert(hash);
    for (const std::string &hash : hashes) {
        const std::optional<FetchJobs::Job> job =
            m_jobs.claim(m_settings.id, m_settings.host, ServiceContext::nowMs(), m_settings.leaseMs, hash);
        if (job) {
            begin(hash, job->epoch);
            continue;
        }
        const std::optional<LibraryResource> resource = m_library.findResource(hash);
        if (resource && resource->origin == "fetch" && m_jobs.placeOf(resource->id) == m_settings.host)
            continue; // finished, and served from here
        LogText::print("fetch: removed " + hash + " from this disk: it is not fetched or served here");
        QDir(torrentids::qPath(fetchDir + "/" + hash)).removeRecursively();
        resume.remove(hash);
    }
}

void FetchWorker::beat(int64_t now)
{
    m_jobs.heartbeat(m_settings.id, m_settings.host, now);
    for (const auto &held : m_ledger.held()) {
        switch (m_jobs.renew(held.first, held.second, now, m_settings.leaseMs)) {
        case FetchJobs::Renewal::Renewed:
        case FetchJobs::Renewal::NotWritten:
            break;
        case FetchJobs::Renewal::Lost:
            // Stopped or cut off past the lease: another worker fetches it now, and this copy
            // must neither be served nor written about.
            m_ledger.forget(held.first);
            m_engine.abandon(held.first,
                             "its job (epoch " + std::to_string(held.second)
                                 + ") went to another worker when its lease lapsed");
            break;
        }
    }
    if (now - m_purgedAt > kPurgeIntervalMs) {
        m_jobs.purge(now, kForgetAfterMs);
        m_purgedAt = now;
    }
}

void FetchWorker::sweep()
{
    for (const auto &held : m_ledger.held()) {
        const FetchEngine::State state = m_engine.progress(held.first).state;
        if (state != FetchEngine::State::WaitingForMetadata && state != FetchEngine::State::Fetching)
            m_ledger.forget(held.first);
    }
}

void FetchWorker::claim(int64_t now)
{
    while (int(m_ledger.held().size()) < m_settings.maxJobs) {
        const std::optional<FetchJobs::Job> job = m_jobs.claim(m_settings.id, m_settings.host, now, m_settings.leaseMs);
        if (!job)
            return;
        begin(job->hash, job->epoch);
    }
}

void FetchWorker::run()
{
    const int64_t beatInterval = std::max<int64_t>(200, m_settings.leaseMs / 3);
    int64_t nextBeat = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
        }
        const int64_t now = ServiceContext::nowMs();
        // A worker that was stopped learns first whether its jobs are still its own.
        if (now >= nextBeat) {
            beat(now);
            sweep();
            nextBeat = now + beatInterval;
        }
        claim(now);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, kClaimInterval, [this] { return m_stopping; });
    }
}

void FetchWorker::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

void FetchWorker::releaseAll()
{
    for (const auto &held : m_ledger.held()) {
        m_jobs.release(held.first, held.second, ServiceContext::nowMs());
        m_ledger.forget(held.first);
    }
}

} // namespace server
