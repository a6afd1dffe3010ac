#include "server/http/RequestStream.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace server {

RequestStream::RequestStream(int fd, const Peer &peer, std::string head, const char *body,
                             size_t bodySize, int writeSeconds)
    : m_fd(fd), m_peer(peer), m_head(std::move(head)), m_body(body), m_bodySize(bodySize),
      m_writeSeconds(writeSeconds)
{
}

bool RequestStream::is_readable() const
{
    return m_read < m_head.size() + m_bodySize;
}

bool RequestStream::waitWritable(int milliseconds) const
{
    pollfd entry{m_fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, milliseconds);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && (entry.revents & POLLOUT) && !(entry.revents & (POLLERR | POLLHUP));
    }
}

bool RequestStream::is_writable() const
{
    return waitWritable(m_writeSeconds * 1000);
}

ssize_t RequestStream::read(char *ptr, size_t size)
{
    size_t copied = 0;
    if (m_read < m_head.size()) {
        copied = std::min(size, m_head.size() - m_read);
        std::memcpy(ptr, m_head.data() + m_read, copied);
    } else if (m_read - m_head.size() < m_bodySize) {
        const size_t at = m_read - m_head.size();
        copied = std::min(size, m_bodySize - at);
        std::memcpy(ptr, m_body + at, copied);
    }
    m_read += copied;
    return ssize_t(copied);
}

ssize_t RequestStream::write(const char *ptr, size_t size)
{
    // The socket does not block; a reader that takes no bytes for the write timeout is dropped.
    for (;;) {
        const ssize_t sent = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitWritable(m_writeSeconds * 1000))
            return -1;
    }
}

void RequestStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    ip = m_peer.remoteAddress;
    port = m_peer.remotePort;
}

void RequestStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    ip = m_peer.localAddress;
    port = m_peer.localPort;
}

} // namespace server
