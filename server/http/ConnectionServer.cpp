#include "server/http/ConnectionServer.h"

#include "server/http/LogText.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server {

namespace {
constexpr int kBacklog = 512;
// How long accepting pauses when the process is out of descriptors, instead of spinning.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

const char *reasonOf(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

// A short answer to a refused request: written without waiting, then the connection is closed.
void sendRefusal(int fd, int status)
{
    const std::string body = std::to_string(status) + "\n";
    std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status)
                        + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                        + std::to_string(body.size()) + "\r\nConnection: close\r\n";
    if (status == 503)
        reply += "Retry-After: 1\r\n";
    reply += "\r\n" + body;
    [[maybe_unused]] const ssize_t sent = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void logRefusal(int status, const std::string &address, const char *why)
{
    LogText::printLimited("- (refused) http=" + std::to_string(status) + " " + why + " from " + address);
}

const char *whyOf(int status)
{
    switch (status) {
    case 408: return "request not received in time";
    case 413: return "body too large";
    case 431: return "request head too large";
    case 501: return "transfer coding not supported";
    default: return "request framing";
    }
}
} // namespace

struct ConnectionServer::Connection {
    Connection(int descriptor, RequestStream::Peer from, const Settings &settings)
        : fd(descriptor), peer(std::move(from)), framing(settings.maxHeadBytes, settings.maxBodyBytes)
    {
    }
    int fd;
    RequestStream::Peer peer;
    std::string buffer;
    RequestFraming framing;
    Clock::time_point deadline;
    bool started = false;     // bytes of the current request have arrived
    bool bodyTimed = false;   // the body has its own deadline from the end of the head
    bool continueSent = false;
    bool peerClosed = false;
};

ConnectionServer::ConnectionServer(ConnectionBudget &budget, Settings settings, Handler handler)
    : m_budget(budget), m_settings(settings), m_handler(std::move(handler))
{
}

ConnectionServer::~ConnectionServer()
{
    stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    if (m_epollFd >= 0)
        ::close(m_epollFd);
}

int ConnectionServer::openListener(const std::string &host, int port, int *listenFd)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *entry = found; entry && fd < 0; entry = entry->ai_next) {
        fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol);
        if (fd < 0)
            continue;
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // Bursts of clients wait in the kernel's queue rather than being turned away by it.
        if (::bind(fd, entry->ai_addr, entry->ai_addrlen) != 0 || ::listen(fd, kBacklog) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    *listenFd = fd;
    return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port);
}

RequestStream::Peer ConnectionServer::peerOf(int fd)
{
    const auto describe = [](const sockaddr_storage &address, std::string *text, int *port) {
        char name[INET6_ADDRSTRLEN] = {};
        if (address.ss_family == AF_INET) {
            const auto *in = reinterpret_cast<const sockaddr_in *>(&address);
            ::inet_ntop(AF_INET, &in->sin_addr, name, sizeof name);
            *port = ntohs(in->sin_port);
        } else if (address.ss_family == AF_INET6) {
            const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&address);
            if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
                ::inet_ntop(AF_INET, in6->sin6_addr.s6_addr + 12, name, sizeof name);
            else
                ::inet_ntop(AF_INET6, &in6->sin6_addr, name, sizeof name);
            *port = ntohs(in6->sin6_port);
        }
        *text = name;
    };
    RequestStream::Peer peer;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        describe(address, &peer.remoteAddress, &peer.remotePort);
    length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        describe(address, &peer.localAddress, &peer.localPort);
    return peer;
}

int ConnectionServer::bind(const std::string &host, int port)
{
    const int bound = openListener(host, port, &m_listenFd);
    if (bound < 0)
        return -1;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_wakeFd < 0 || m_epollFd < 0)
        return -1;
    return bound;
}

void ConnectionServer::stop()
{
    m_stopping = true;
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
    m_work.notify_all();
}

bool ConnectionServer::run()
{
    if (m_listenFd < 0 || m_epollFd < 0)
        return false;
    epoll_event listenEvent{};
    listenEvent.events = EPOLLIN;
    listenEvent.data.ptr = &m_listenFd;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.ptr = &m_wakeFd;
    if (::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_listenFd, &listenEvent) != 0
        || ::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_wakeFd, &wakeEvent) != 0)
        return false;
    for (int i = 0; i < std::max(1, m_settings.workers); ++i)
        m_workers.emplace_back([this] { work(); });

    auto lastSweep = Clock::now();
    epoll_event events[128];
    while (!m_stopping) {
        const int count = ::epoll_wait(m_epollFd, events, 128, 250);
        if (count < 0 && errno != EINTR)
            break;
        for (int i = 0; i < count; ++i) {
            void *tag = events[i].data.ptr;
            if (tag == &m_listenFd) {
                acceptAll();
            } else if (tag == &m_wakeFd) {
                uint64_t value = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &value, sizeof value);
                std::vector<Connection *> returned;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    returned.swap(m_returned);
                }
                for (Connection *connection : returned) {
                    epoll_event event{};
                    event.events = EPOLLIN | EPOLLRDHUP;
                    event.data.ptr = connection;
                    if (::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, connection->fd, &event) != 0) {
                        closeConnection(connection);
                        continue;
                    }
                    m_waiting.insert(connection);
                }
            } else {
                auto *connection = static_cast<Connection *>(tag);
                if (m_waiting.count(connection))
                    receive(connection);
            }
        }
        const auto now = Clock::now();
        if (m_acceptPaused && now >= m_resumeAccepting) {
            listenEvent.events = EPOLLIN;
            ::epoll_ctl(m_epollFd, EPOLL_CTL_MOD, m_listenFd, &listenEvent);
            m_acceptPaused = false;
        }
        if (now - lastSweep >= std::chrono::milliseconds(250)) {
            expire();
            lastSweep = now;
        }
    }

    ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, m_listenFd, nullptr);
    for (Connection *connection : m_waiting)
        closeConnection(connection);
    m_waiting.clear();
    m_work.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    // Requests nobody took, and connections workers handed back after the end.
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Connection *connection : m_ready)
        closeConnection(connection);
    for (Connection *connection : m_returned)
        closeConnection(connection);
    m_ready.clear();
    m_returned.clear();
    return true;
}

void ConnectionServer::acceptAll()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The listening socket stays readable; without a pause this would spin.
                epoll_event paused{};
                paused.events = 0;
                paused.data.ptr = &m_listenFd;
                ::epoll_ctl(m_epollFd, EPOLL_CTL_MOD, m_listenFd, &paused);
                m_acceptPaused = true;
                m_resumeAccepting = Clock::now() + kAcceptPause;
                logRefusal(503, "-", "out of descriptors, accepting paused");
            }
            return;
        }
        RequestStream::Peer peer = peerOf(fd);
        const ConnectionBudget::Admission admission = m_budget.admit(peer.remoteAddress);
        if (admission != ConnectionBudget::Admission::Admitted) {
            sendRefusal(fd, 503);
            ::close(fd);
            logRefusal(503, peer.remoteAddress,
                       admission == ConnectionBudget::Admission::Full ? "connection limit"
                                                                      : "connection limit per address");
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto *connection = new Connection(fd, std::move(peer), m_settings);
        connection->deadline = Clock::now() + std::chrono::seconds(m_settings.headSeconds);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.ptr = connection;
        if (::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
            closeConnection(connection);
            continue;
        }
        m_waiting.insert(connection);
    }
}

void ConnectionServer::receive(Connection *connection)
{
    // Never more than a whole request may take, so the framing always decides at this size.
    const size_t limit = 2 * m_settings.maxHeadBytes + m_settings.maxBodyBytes + 1;
    char chunk[16 * 1024];
    while (connection->buffer.size() < limit) {
        const ssize_t got = ::recv(connection->fd, chunk, std::min(sizeof chunk, limit - connection->buffer.size()), 0);
        if (got > 0) {
            connection->buffer.append(chunk, size_t(got));
            if (!connection->started) {
                connection->started = true;
                connection->deadline = Clock::now() + std::chrono::seconds(m_settings.headSeconds);
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        connection->peerClosed = true;
        break;
    }
    RequestFraming &framing = connection->framing;
    const RequestFraming::State state = framing.scan(connection->buffer);
    if (state == RequestFraming::State::Complete) {
        dispatch(connection);
        return;
    }
    if (state != RequestFraming::State::Incomplete || connection->peerClosed) {
        m_waiting.erase(connection);
        if (state != RequestFraming::State::Incomplete)
            refuse(connection, framing.refusalStatus());
        else
            closeConnection(connection);
        return;
    }
    if (framing.headComplete() && !connection->bodyTimed) {
        connection->bodyTimed = true;
        connection->deadline = Clock::now() + std::chrono::seconds(m_settings.headSeconds);
        if (framing.expectsContinue() && !connection->continueSent) {
            static const char goOn[] = "HTTP/1.1 100 Continue\r\n\r\n";
            [[maybe_unused]] const ssize_t sent =
                ::send(connection->fd, goOn, sizeof goOn - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            connection->continueSent = true;
        }
    }
}

void ConnectionServer::dispatch(Connection *connection)
{
    ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, connection->fd, nullptr);
    m_waiting.erase(connection);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ready.push_back(connection);
    }
    m_work.notify_one();
}

void ConnectionServer::refuse(Connection *connection, int status)
{
    logRefusal(status, connection->peer.remoteAddress, whyOf(status));
    sendRefusal(connection->fd, status);
    closeConnection(connection);
}

void ConnectionServer::closeConnection(Connection *connection)
{
    ::close(connection->fd);
    m_budget.release(connection->peer.remoteAddress);
    delete connection;
}

void ConnectionServer::expire()
{
    const auto now = Clock::now();
    std::vector<Connection *> late;
    for (Connection *connection : m_waiting) {
        if (connection->deadline <= now)
            late.push_back(connection);
    }
    for (Connection *connection : late) {
        m_waiting.erase(connection);
        // An idle connection just ends; one in the middle of a request is told why.
        if (connection->buffer.empty())
            closeConnection(connection);
        else
            refuse(connection, 408);
    }
}

void ConnectionServer::work()
{
    for (;;) {
        Connection *connection = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_work.wait(lock, [this] { return m_stopping || !m_ready.empty(); });
            if (m_ready.empty())
                return;
            connection = m_ready.front();
            m_ready.pop_front();
        }
        serve(connection);
    }
}

void ConnectionServer::serve(Connection *connection)
{
    for (;;) {
        RequestFraming &framing = connection->framing;
        const size_t length = framing.requestLength();
        const Request request{connection->fd, connection->peer, connection->buffer, framing.headLength(), length,
                              m_settings.writeSeconds};
        const bool keep = m_handler(request) && !connection->peerClosed && !m_stopping;
        if (!keep) {
            closeConnection(connection);
            return;
        }
        connection->buffer.erase(0, length);
        framing = RequestFraming(m_settings.maxHeadBytes, m_settings.maxBodyBytes);
        connection->started = !connection->buffer.empty();
        connection->bodyTimed = false;
        connection->continueSent = false;
        if (connection->started) {
            // A pipelined request that is already here is answered at once.
            const RequestFraming::State state = framing.scan(connection->buffer);
            if (state == RequestFraming::State::Complete)
                continue;
            if (state != RequestFraming::State::Incomplete) {
                refuse(connection, framing.refusalStatus());
                return;
            }
            connection->deadline = Clock::now() + std::chrono::seconds(m_settings.headSeconds);
        } else {
            if (connection->buffer.capacity() > 64 * 1024)
                std::string().swap(connection->buffer);
            connection->deadline = Clock::now() + std::chrono::seconds(m_settings.idleSeconds);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_returned.push_back(connection);
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        return;
    }
}

} // namespace server
