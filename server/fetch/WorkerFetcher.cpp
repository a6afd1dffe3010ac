#include "server/fetch/WorkerFetcher.h"

#include "server/ServiceContext.h"
#include "server/commands/ServeCommand.h"
#include "server/fetch/TorrentIds.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace server {

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(200);
// A job that waits (just asked for, or let go by a worker that stopped) is given this long to be
// claimed before a play is told to come back.
constexpr int64_t kClaimWaitMs = 5000;
constexpr int kConnectMs = 2000;

// A connected socket to host:port, or -1.
int connectTo(const std::string &hostPort, std::string *reason)
{
    std::string host;
    int port = 0;
    if (!parseHostPort(hostPort, &host, &port)) {
        *reason = "not a host: " + hostPort;
        return -1;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        *reason = "cannot find " + hostPort;
        return -1;
    }
    int fd = -1;
    for (addrinfo *entry = found; entry && fd < 0; entry = entry->ai_next) {
        fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol);
        if (fd < 0)
            continue;
        int error = 0;
        if (::connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd out{fd, POLLOUT, 0};
                socklen_t length = sizeof error;
                if (::poll(&out, 1, kConnectMs) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = ETIMEDOUT;
            }
        }
        if (error != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        *reason = "cannot reach " + hostPort;
    return fd;
}
} // namespace

WorkerFetcher::WorkerFetcher(ServiceContext &context, FetchOptions options)
    : m_context(context)
    , m_options(std::move(options))
    , m_jobs(context.database())
{ }

bool WorkerFetcher::available()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int64_t now = ServiceContext::nowMs();
    if (now - m_workersCheckedAt > 1000) {
        m_workers = m_jobs.liveWorkers(now, kWorkerSilenceMs);
        m_workersCheckedAt = now;
    }
    return m_workers > 0;
}

FetchEngine::State WorkerFetcher::request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason)
{
    using State = FetchEngine::State;
    if (!torrentids::isHexHash(hash)) {
        *reason = "not a hash the engine can fetch";
        return State::Refused;
    }
    const int64_t retryAfterMs = int64_t(m_options.pendingMinutes) * 60 * 1000;
    std::optional<FetchJobs::Job> job = m_jobs.job(hash);
    if (!job && m_jobs.pendingCount() >= m_options.maxPending * std::max(1, m_workers.load())) {
        *reason = "too many fetches wait for metadata";
        return State::Failed;
    }
    job = m_jobs.request(hash, ServiceContext::nowMs(), retryAfterMs);
    if (!job) {
        *reason = "cannot write the fetch job";
        return State::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (m_context.library().findResource(hash))
            return State::Fetching;
        if (job && (job->state == FetchJobs::State::Refused || job->state == FetchJobs::State::Failed)) {
            *reason = job->reason;
            return job->state == FetchJobs::State::Refused ? State::Refused : State::Failed;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return State::WaitingForMetadata;
        std::this_thread::sleep_for(kPollInterval);
        job = m_jobs.job(hash);
    }
}

bool WorkerFetcher::prepareToPlay(const LibraryFile &file, const std::string &code, const std::string &cookie,
                                  std::string *host, std::string *reason)
{
    // A job that ended, or that went with a worker's disk, is asked for again.
    std::optional<FetchJobs::Job> job =
        m_jobs.request(file.resourceHash, ServiceContext::nowMs(), int64_t(m_options.pendingMinutes) * 60 * 1000);
    const int64_t claimDeadline = ServiceContext::nowMs() + kClaimWaitMs;
    while (job && job->state == FetchJobs::State::Waiting && ServiceContext::nowMs() < claimDeadline) {
        std::this_thread::sleep_for(kPollInterval);
        job = m_jobs.job(file.resourceHash);
    }
    if (!job || job->state != FetchJobs::State::Fetching || job->host.empty()
        || job->leaseUntilMs < ServiceContext::nowMs()) {
        *reason = job && !job->reason.empty() ? job->reason : "no fetch worker holds it now";
        return false;
    }
    const FetchJobs::Job held = *job;
    const auto stillHeld = [this, &held] {
        const std::optional<FetchJobs::Job> now = m_jobs.job(held.hash);
        return now && now->epoch == held.epoch && now->state == FetchJobs::State::Fetching
            && now->leaseUntilMs >= ServiceContext::nowMs();
    };
    const int64_t deadline = ServiceContext::nowMs() + int64_t(m_options.pieceWaitSeconds + 2) * 1000;
    if (!askWorker(held.host, code, cookie, deadline, stillHeld, reason))
        return false;
    *host = held.host;
    return true;
}

std::string WorkerFetcher::placeOf(const LibraryFile &file)
{
    return m_jobs.placeOf(file.resourceId);
}

bool WorkerFetcher::askWorker(const std::string &host, const std::string &code, const std::string &cookie,
                              int64_t deadlineMs, const std::function<bool()> &stillHeld, std::string *reason)
{
    const int fd = connectTo(host, reason);
    if (fd < 0)
        return false;
    const std::string request = "GET /prepare/" + code + " HTTP/1.1\r\nHost: " + host + "\r\nCookie: " + cookie
        + "\r\nConnection: close\r\n\r\n";
    std::string reply;
    bool sent = false;
    size_t offset = 0;
    for (;;) {
        pollfd entry{fd, short(sent ? POLLIN : POLLOUT), 0};
        const int ready = ::poll(&entry, 1, 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            // A worker that stopped (or was stopped) answers nothing; its lease says so.
            if (ServiceContext::nowMs() > deadlineMs || !stillHeld()) {
                *reason = "the worker at " + host + " did not answer in time";
                break;
            }
            continue;
        }
        if (!sent) {
            const ssize_t written = ::send(fd, request.data() + offset, request.size() - offset, MSG_NOSIGNAL);
            if (written <= 0) {
                *reason = "cannot ask " + host;
                break;
            }
            offset += size_t(written);
            sent = offset == request.size();
            continue;
        }
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0)
            reply.append(buffer, size_t(got));
        if (got <= 0 || reply.find("\r\n") != std::string::npos)
            break;
    }
    ::close(fd);
    const size_t space = reply.find(' ');
    const std::string status = space == std::string::npos ? std::string() : reply.substr(space + 1, 3);
    if (status == "204")
        return true;
    if (!status.empty())
        *reason = host + " answered " + status;
    else if (reason->empty())
        *reason = host + " closed the connection";
    return false;
}

} // namespace server
