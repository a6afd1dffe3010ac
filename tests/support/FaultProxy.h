#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

// A TCP relay on 127.0.0.1 (ephemeral port) in front of one local server, for tests of what a
// poor link does: delay per direction, a rate limit towards the client, a stall after so many
// bytes towards the client, a reset.
// Every connection is closed when the proxy goes.
class FaultProxy : public QObject
{
    Q_OBJECT

public:
    explicit FaultProxy(quint16 targetPort, QObject *parent = nullptr);
    ~FaultProxy() override;

    bool listen();
    quint16 port() const { return m_port; }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    // Each chunk travels this much later; half a round trip each way.
    void setLatency(int towardsServerMs, int towardsClientMs);
    // After this many bytes have reached the client (per connection), nothing more does, and the
    // connection stays open. Negative: no stall.
    void setStallAfter(qint64 bytes) { m_stallAfter = bytes; }
    // Bytes per second towards the client, over all connections; 0: as fast as they come.
    void setRate(qint64 bytesPerSecond);
    // Aborts every open connection at once (an RST towards the client).
    void resetAll();
    // The host goes away: every connection reset, new ones refused, until comeBack().
    void goAway();
    bool comeBack() { return m_server.listen(QHostAddress::LocalHost, m_port); }

private:
    struct Link
    {
        QTcpSocket *client = nullptr;
        QTcpSocket *server = nullptr;
        qint64 sentToClient = 0;
        QByteArray paced;        // held back by the rate limit
        bool serverGone = false; // close once the held bytes are out
    };

    void onNewConnection();
    void relay(Link *link, bool towardsServer);
    void close(Link *link);
    void sendToClient(Link *link, const QByteArray &data);
    void pace();

    static constexpr int PaceMs = 20;

    quint16 m_targetPort;
    quint16 m_port = 0;
    QTcpServer m_server;
    QList<Link *> m_links;
    int m_latencyUpMs = 0;
    int m_latencyDownMs = 0;
    qint64 m_stallAfter = -1;
    qint64 m_rate = 0;
    QTimer *m_pacer = nullptr;
};
