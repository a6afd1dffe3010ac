#pragma once

#include <QByteArray>
#include <QString>

// A plain TCP connection to a port on 127.0.0.1 from any loopback source address, for requests
// no HTTP client would send: partial heads, floods, many idle connections. Closed by its
// destructor.
class RawConnection
{
public:
    RawConnection() = default;
    ~RawConnection();
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    // Connects from `from` (any 127.x.y.z, so that a test can be several clients); false on failure.
    bool open(quint16 port, const char *from = "127.0.0.1", int timeoutMs = 5000);
    // Starts connecting without waiting (for bursts).
    bool openWithoutWaiting(quint16 port, const char *from = "127.0.0.1");
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Sends everything or gives up when the peer stops taking bytes for timeoutMs; false when the
    // connection failed or was closed. *sent counts what went out.
    bool send(const QByteArray &bytes, int timeoutMs = 5000, qint64 *sent = nullptr);
    // What arrives until the peer closes, a whole reply is in (head and Content-Length body), or
    // timeoutMs passes.
    QByteArray receiveReply(int timeoutMs = 10000);
    // Whether the peer has closed (or reset) the connection within timeoutMs; data is discarded.
    bool closedByPeer(int timeoutMs);

    // Sends a request on a fresh connection and returns the reply.
    static QByteArray exchange(quint16 port, const QByteArray &request, const char *from = "127.0.0.1",
                               int timeoutMs = 10000);

    // A GET request head, and the parts of a raw reply.
    static QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray());
    static int statusOf(const QByteArray &reply);
    static QByteArray bodyOf(const QByteArray &reply);
    static QByteArray headerOf(const QByteArray &reply, const QByteArray &name);
    // The port of "host:port", and a port free on 127.0.0.1 just now.
    static quint16 portOf(const QString &hostPort);
    static quint16 freePort();

private:
    // Reads until the peer closes (true), a whole reply is in *into, or timeoutMs passes (false);
    // without `into` what arrives is discarded.
    bool read(QByteArray *into, int timeoutMs);

    int m_fd = -1;
};
