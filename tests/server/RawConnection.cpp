#include "RawConnection.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int remaining(const QElapsedTimer &timer, int timeoutMs)
{
    return int(qMax<qint64>(0, timeoutMs - timer.elapsed()));
}

// Bytes of a reply that are its head and declared body, or 0 while it is not whole.
int wholeReplyLength(const QByteArray &reply)
{
    const int headEnd = reply.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    const QByteArray head = reply.left(headEnd).toLower();
    const int at = head.indexOf("\r\ncontent-length:");
    if (at < 0)
        return 0;
    const int lineEnd = head.indexOf("\r\n", at + 2);
    const int length = head.mid(at + 17, lineEnd < 0 ? -1 : lineEnd - at - 17).trimmed().toInt();
    return reply.size() >= headEnd + 4 + length ? headEnd + 4 + length : 0;
}
} // namespace

RawConnection::~RawConnection()
{
    close();
}

void RawConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RawConnection::openWithoutWaiting(quint16 port, const char *from)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || (::connect(m_fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0 && errno != EINPROGRESS)) {
        close();
        return false;
    }
    return true;
}

bool RawConnection::open(quint16 port, const char *from, int timeoutMs)
{
    if (!openWithoutWaiting(port, from))
        return false;
    pollfd entry{m_fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&entry, 1, timeoutMs) != 1 || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0
        || error != 0) {
        close();
        return false;
    }
    return true;
}

bool RawConnection::send(const QByteArray &bytes, int timeoutMs, qint64 *sent)
{
    QElapsedTimer timer;
    timer.start();
    qint64 done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t written = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{m_fd, POLLOUT, 0};
            if (::poll(&entry, 1, remaining(timer, timeoutMs)) == 1 && !(entry.revents & (POLLERR | POLLHUP)))
                continue;
        }
        break;
    }
    if (sent)
        *sent = done;
    return done == bytes.size();
}

QByteArray RawConnection::receiveReply(int timeoutMs)
{
    QByteArray reply;
    read(&reply, timeoutMs);
    return reply;
}

bool RawConnection::closedByPeer(int timeoutMs)
{
    return read(nullptr, timeoutMs);
}

bool RawConnection::read(QByteArray *into, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    char chunk[65536];
    while (m_fd >= 0 && !(into && wholeReplyLength(*into))) {
        pollfd entry{m_fd, POLLIN, 0};
        if (::poll(&entry, 1, remaining(timer, timeoutMs)) != 1)
            return false;
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return true;
        if (into)
            into->append(chunk, int(got));
    }
    return m_fd < 0;
}

QByteArray RawConnection::exchange(quint16 port, const QByteArray &request, const char *from, int timeoutMs)
{
    RawConnection connection;
    if (!connection.open(port, from, timeoutMs) || !connection.send(request, timeoutMs))
        return QByteArray();
    return connection.receiveReply(timeoutMs);
}

QByteArray RawConnection::get(const QByteArray &target, const QByteArray &extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

int RawConnection::statusOf(const QByteArray &reply)
{
    return reply.startsWith("HTTP/1.1 ") ? reply.mid(9, 3).toInt() : 0;
}

QByteArray RawConnection::bodyOf(const QByteArray &reply)
{
    const int at = reply.indexOf("\r\n\r\n");
    return at < 0 ? QByteArray() : reply.mid(at + 4);
}

QByteArray RawConnection::headerOf(const QByteArray &reply, const QByteArray &name)
{
    for (const QByteArray &line : reply.left(reply.indexOf("\r\n\r\n")).split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ":"))
            return line.mid(name.size() + 1).trimmed();
    }
    return QByteArray();
}

quint16 RawConnection::portOf(const QString &hostPort)
{
    return quint16(hostPort.section(QLatin1Char(':'), -1).toUInt());
}

quint16 RawConnection::freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
