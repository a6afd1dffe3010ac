#include "server/video/VideoHost.h"

#include "server/http/ByteRange.h"
#include "server/http/ConnectionBudget.h"
#include "server/http/ConnectionServer.h"
#include "server/fetch/FetchEngine.h"
#include "server/fetch/FetchStream.h"
#include "server/http/LogText.h"
#include "server/http/RequestParameters.h"
#include "server/library/SubtitleMatch.h"
#include "server/ServiceContext.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace server {

namespace {
constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr int kIdleSeconds = 15;
// A paused player stops reading; its connection is given this long before it is dropped.
constexpr int kStalledWriteSeconds = 120;
constexpr size_t kSendfileStep = 4 * 1024 * 1024;
// How long accepting pauses when the process is out of descriptors, instead of spinning.
constexpr int kAcceptPauseMs = 100;

// An HTTP date, as Last-Modified carries it.
std::string httpDate(time_t when)
{
    char text[64];
    tm parts{};
    ::gmtime_r(&when, &parts);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

bool startsWithNoCase(const std::string &text, const char *prefix)
{
    const size_t length = std::strlen(prefix);
    return text.size() >= length && strncasecmp(text.c_str(), prefix, length) == 0;
}

std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool sendAll(int fd, const char *data, size_t size, int flags)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, flags | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

const char *reasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Error";
    }
}
} // namespace

struct VideoHost::Request
{
    std::string method;
    std::string target;
    std::string cookie;
    std::string range;
    std::string ifRange;
    bool keepAlive = true;
};

VideoHost::VideoHost(ServiceContext &context, ConnectionBudget &connections)
    : m_context(context), m_budget(connections)
{
}

VideoHost::~VideoHost()
{
    stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int VideoHost::bind(const std::string &host, int port)
{
    const int bound = ConnectionServer::openListener(host, port, &m_listenFd);
    if (bound < 0)
        return -1;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    return bound;
}

void VideoHost::run()
{
    if (m_listenFd < 0)
        return;
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The listening socket stays readable; without a pause this would spin. Waiting
                // clients stay in the kernel's queue until descriptors are free again.
                LogText::printLimited("- (refused) http=503 out of descriptors, accepting paused");
                pollfd wake{m_wakeFd, POLLIN, 0};
                ::poll(&wake, 1, kAcceptPauseMs);
            }
            continue;
        }
        const std::string address = ConnectionServer::peerOf(fd).remoteAddress;
        const ConnectionBudget::Admission admission = m_budget.admit(address);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stopping || admission != ConnectionBudget::Admission::Admitted) {
            lock.unlock();
            if (admission == ConnectionBudget::Admission::Admitted)
                m_budget.release(address);
            static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                                       "Connection: close\r\nRetry-After: 1\r\n\r\n";
            ::send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            LogText::printLimited(std::string("- (refused) http=503 ")
                                  + (admission == ConnectionBudget::Admission::AddressFull ? "connection limit per address"
                                                                                           : "connection limit")
                                  + " from " + address);
            continue;
        }
        m_connections.insert(fd);
        lock.unlock();
        std::thread([this, fd, address] {
            serveConnection(fd, address);
            std::lock_guard<std::mutex> guard(m_mutex);
            m_connections.erase(fd);
            ::close(fd);
            m_budget.release(address);
            m_idle.notify_all();
        }).detach();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    for (int fd : m_connections)
        ::shutdown(fd, SHUT_RDWR);
    m_idle.wait(lock, [this] { return m_connections.empty(); });
}

void VideoHost::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (int fd : m_connections)
            ::shutdown(fd, SHUT_RDWR);
    }
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

void VideoHost::serveConnection(int fd, const std::string &address)
{
    const timeval stalled{kStalledWriteSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &stalled, sizeof stalled);
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const int headSeconds = m_context.options().headSeconds;
    const auto refuseHead = [fd, &address](int status, const char *why) {
        const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status)
                                  + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(fd, reply.data(), reply.size(), MSG_DONTWAIT);
        LogText::printLimited(std::string("- (refused) http=") + std::to_string(status) + " " + why + " from " + address);
    };

    std::string buffer;
    char chunk[4096];
    using Clock = std::chrono::steady_clock;
    for (;;) {
        // Idle between requests for a while; once a request has begun, its whole head has a
        // deadline, however slowly its bytes come.
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(buffer.empty() ? kIdleSeconds : headSeconds);
        bool begun = !buffer.empty();
        size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (buffer.size() > kMaxHeaderBytes) {
                refuseHead(431, "request head too large");
                return;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd entry{fd, POLLIN, 0};
            const int ready = left > 0 ? ::poll(&entry, 1, int(left)) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0) {
                if (begun)
                    refuseHead(408, "request head not received in time");
                return;
            }
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return;
            buffer.append(chunk, size_t(got));
            if (!begun) {
                begun = true;
                deadline = Clock::now() + std::chrono::seconds(headSeconds);
            }
        }
        const std::string head = buffer.substr(0, headerEnd);
        buffer.erase(0, headerEnd + 4);

        Request request;
        size_t lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const size_t firstSpace = requestLine.find(' ');
        const size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        bool bad = firstSpace == std::string::npos || secondSpace == std::string::npos;
        std::string version;
        if (!bad) {
            request.method = requestLine.substr(0, firstSpace);
            request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
            version = requestLine.substr(secondSpace + 1);
            bad = version != "HTTP/1.1" && version != "HTTP/1.0";
        }
        request.keepAlive = version == "HTTP/1.1";
        bool hasBody = false;
        while (!bad && lineEnd != std::string::npos) {
            const size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0) {
                bad = true;
                break;
            }
            const std::string name = line.substr(0, colon);
            const std::string value = trim(line.substr(colon + 1));
            if (strcasecmp(name.c_str(), "Cookie") == 0) {
                request.cookie += (request.cookie.empty() ? "" : "; ") + value;
            } else if (strcasecmp(name.c_str(), "Range") == 0) {
                request.range = value;
            } else if (strcasecmp(name.c_str(), "If-Range") == 0) {
                request.ifRange = value;
            } else if (strcasecmp(name.c_str(), "Connection") == 0) {
                if (startsWithNoCase(value, "close"))
                    request.keepAlive = false;
                else if (startsWithNoCase(value, "keep-alive"))
                    request.keepAlive = true;
            } else if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0
                       || (strcasecmp(name.c_str(), "Content-Length") == 0 && value != "0")) {
                hasBody = true;
            }
        }
        if (bad || hasBody) {
            // Requests with bodies are not ours; their framing cannot be trusted either.
            static const char badRequest[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                                             "Connection: close\r\n\r\n";
            sendAll(fd, badRequest, sizeof badRequest - 1, 0);
            return;
        }
        if (!answer(fd, request) || !request.keepAlive)
            return;
    }
}

int VideoHost::authorize(ServiceContext &context, const std::string &target, const std::string &cookieHeader,
                         std::optional<LibraryFile> *file, std::string *route)
{
    // The two address forms; anything else is not here.
    const size_t mark = target.find('?');
    const std::string path = target.substr(0, mark);
    const std::string query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    std::string code;
    bool play = false;
    static const std::string playPrefix = "/ftn_handler/";
    if (path.compare(0, playPrefix.size(), playPrefix) == 0) {
        *route = "video:play";
        play = true;
        code = path.substr(playPrefix.size());
    } else if (path.size() == 13 && path[0] == '/' && path.compare(9, 4, ".mp4") == 0
               && path.find_first_not_of("0123456789", 1) == 9) {
        *route = "video:download";
        size_t start = 0;
        while (start <= query.size()) {
            size_t end = query.find('&', start);
            if (end == std::string::npos)
                end = query.size();
            const std::string element = query.substr(start, end - start);
            if (element.compare(0, 5, "rkey=") == 0)
                code = RequestParameters::percentDecode(element.substr(5));
            start = end + 1;
        }
        // The address form ends the code with "/".
        if (!code.empty() && code.back() == '/')
            code.pop_back();
    } else {
        return 404;
    }

    AccessTokens::Grant grant;
    const AccessTokens &tokens = context.tokens();
    if (tokens.checkCode(code, ServiceContext::now(), &grant) != AccessTokens::Check::Valid)
        return 403;
    if (play && !tokens.cookieHeaderMatches(cookieHeader, code))
        return 403;
    *file = context.library().file(grant.fileId);
    if (!*file
        || !((*file)->isVideo
             || SubtitleMatch::isMatched(context.library().files((*file)->resourceId), (*file)->fileIndex)))
        return 404;
    if (!context.standing().allows(grant, (*file)->vipOnly, ServiceContext::now(), ServiceContext::nowMs()))
        return 403;
    return 0;
}

bool VideoHost::answer(int fd, const Request &request)
{
    const auto started = std::chrono::steady_clock::now();
    int status = 200;
    int64_t sentBytes = 0;
    std::string route = "video";
    const auto log = [&] {
        if (!m_context.options().logRequests)
            return;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        char figures[64];
        std::snprintf(figures, sizeof figures, " http=%d %lldB %.2fms", status, static_cast<long long>(sentBytes), ms);
        LogText::print(request.method + " " + route + figures);
    };
    const auto refuse = [&](int code) {
        status = code;
        const std::string body = std::to_string(code) + " " + reasonOf(code) + "\n";
        std::string head = "HTTP/1.1 " + std::to_string(code) + " " + reasonOf(code)
                           + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                           + std::to_string(body.size()) + "\r\nCache-Control: no-store\r\n";
        if (code == 405)
            head += "Allow: GET, HEAD\r\n";
        head += request.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        if (request.method != "HEAD")
            head += body;
        log();
        return sendAll(fd, head.data(), head.size(), 0);
    };

    if (request.method != "GET" && request.method != "HEAD")
        return refuse(405);

    std::optional<LibraryFile> file;
    // An instance asks, with a player's code, for a file to be made ready to play here (its
    // first piece fetched) before it hands the address out: 204 when it is.
    static const std::string preparePrefix = "/prepare/";
    if (request.target.compare(0, preparePrefix.size(), preparePrefix) == 0) {
        const std::string playTarget = "/ftn_handler/" + request.target.substr(preparePrefix.size());
        const int refusal = authorize(m_context, playTarget, request.cookie, &file, &route);
        route = "video:prepare";
        if (refusal)
            return refuse(refusal);
        FetchEngine *engine = m_context.fetchEngine();
        std::string reason;
        if (file->origin == "fetching"
            && (!engine || !engine->prepareToPlay(file->resourceHash, file->fileIndex, &reason))) {
            LogText::print("video: " + file->resourceHash + " cannot be played yet: "
                           + (engine ? reason : std::string("not fetched here")));
            return refuse(504);
        }
        status = 204;
        const std::string head = std::string("HTTP/1.1 204 No Content\r\nCache-Control: no-store\r\n")
                                 + (request.keepAlive ? "Connection: keep-alive\r\n\r\n"
                                                      : "Connection: close\r\n\r\n");
        log();
        return sendAll(fd, head.data(), head.size(), 0);
    }
    if (const int refusal = authorize(m_context, request.target, request.cookie, &file, &route))
        return refuse(refusal);
    if (file->origin == "fetching")
        return answerArriving(fd, request, *file, &status, &sentBytes, log, refuse);

    const int fileFd = ::open(file->diskPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fileFd < 0 || ::fstat(fileFd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != file->size) {
        // Never announce a length the file does not have.
        if (fileFd >= 0)
            ::close(fileFd);
        LogText::print("video: library file " + std::to_string(file->id) + " (" + file->diskPath
                       + ") is missing or changed on disk");
        return refuse(404);
    }
    const int64_t size = info.st_size;
    // As nginx makes them: modification time and size in hex.
    char etag[64];
    std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", static_cast<unsigned long long>(info.st_mtime),
                  static_cast<unsigned long long>(size));
    const std::string lastModified = httpDate(info.st_mtime);
    // A range of another version of the file is no use to the client: it gets the whole file.
    const bool rangeApplies = request.ifRange.empty() || request.ifRange == etag || request.ifRange == lastModified;
    int64_t first = 0;
    int64_t length = size;
    using RangeKind = ByteRange::Kind;
    const RangeKind kind = request.range.empty() || !rangeApplies ? RangeKind::Whole
                                                                  : ByteRange::parse(request.range, size, &first, &length);
    if (kind == RangeKind::Unsatisfiable) {
        ::close(fileFd);
        status = 416;
        std::string head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size)
                           + "\r\nContent-Length: 0\r\nAccept-Ranges: bytes\r\n"
                           + (request.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
        log();
        return sendAll(fd, head.data(), head.size(), 0);
    }
    status = kind == RangeKind::Partial ? 206 : 200;
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status)
                       + "\r\nContent-Type: " + LibraryStore::contentTypeOf(file->path)
                       + "\r\nContent-Length: " + std::to_string(length) + "\r\nAccept-Ranges: bytes\r\n";
    if (kind == RangeKind::Partial)
        head += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(first + length - 1) + "/"
                + std::to_string(size) + "\r\n";
    head += "ETag: " + std::string(etag) + "\r\nLast-Modified: " + lastModified + "\r\n";
    head += "Cache-Control: private, max-age=3600\r\n";
    head += request.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";

    const bool withBody = request.method == "GET" && length > 0;
    // Corked while the file goes out, so that every segment is full; uncorking sends the tail
    // at once (TCP_NODELAY is on), so short ranges are not held back.
    const int cork = withBody ? 1 : 0;
    if (withBody)
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    bool ok = sendAll(fd, head.data(), head.size(), 0);
    off_t offset = off_t(first);
    int64_t left = withBody ? length : 0;
    while (ok && left > 0) {
        const ssize_t sent = ::sendfile(fd, fileFd, &offset, size_t(std::min<int64_t>(left, kSendfileStep)));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            ok = false;
            break;
        }
        left -= sent;
        sentBytes += sent;
    }
    ::close(fileFd);
    if (withBody) {
        const int uncork = 0;
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &uncork, sizeof uncork);
    }
    log();
    return ok;
}

bool VideoHost::answerArriving(int fd, const Request &request, const LibraryFile &file, int *status,
                               int64_t *sentBytes, const std::function<void()> &log,
                               const std::function<bool(int)> &refuse)
{
    FetchEngine *engine = m_context.fetchEngine();
    FetchEngine::FileLayout layout;
    if (!engine || !engine->layout(file.resourceHash, file.fileIndex, &layout)) {
        // Its bytes on disk are not all checked: never sent from there.
        LogText::print("video: " + file.resourceHash + " is being fetched, but not by this process");
        return refuse(503);
    }
    const int64_t size = file.size;
    int64_t first = 0;
    int64_t length = size;
    using RangeKind = ByteRange::Kind;
    // There are no validators while the file arrives, so a conditional range gets the whole file.
    const RangeKind kind = request.range.empty() || !request.ifRange.empty()
                               ? RangeKind::Whole
                               : ByteRange::parse(request.range, size, &first, &length);
    if (kind == RangeKind::Unsatisfiable) {
        *status = 416;
        const std::string head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size)
                                 + "\r\nContent-Length: 0\r\nAccept-Ranges: bytes\r\n"
                                 + (request.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
        log();
        return sendAll(fd, head.data(), head.size(), 0);
    }
    const bool withBody = request.method == "GET" && length > 0;
    FetchStream stream(*engine, file.resourceHash, layout);
    std::string reason;
    // The first piece is awaited before the head, so that a resource that does not come gets a
    // status of its own instead of a cut transfer.
    if (withBody && !stream.waitFor(first, &reason)) {
        LogText::print("video: " + reason);
        return refuse(504);
    }
    *status = kind == RangeKind::Partial ? 206 : 200;
    std::string head = "HTTP/1.1 " + std::to_string(*status) + " " + reasonOf(*status)
                       + "\r\nContent-Type: " + LibraryStore::contentTypeOf(file.path)
                       + "\r\nContent-Length: " + std::to_string(length) + "\r\nAccept-Ranges: bytes\r\n";
    if (kind == RangeKind::Partial)
        head += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(first + length - 1) + "/"
                + std::to_string(size) + "\r\n";
    head += "Cache-Control: no-store\r\n";
    head += request.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    bool ok = sendAll(fd, head.data(), head.size(), 0);
    if (ok && withBody) {
        ok = stream.send(first, length, [fd](const char *data, size_t count) { return sendAll(fd, data, count, 0); },
                         sentBytes, &reason);
        if (!ok)
            LogText::print("video: " + file.resourceHash + " stopped after " + std::to_string(*sentBytes)
                           + " bytes: " + reason);
    }
    log();
    return ok;
}

} // namespace server
