#include "FaultProxy.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

FaultProxy::FaultProxy(quint16 targetPort, QObject *parent)
    : QObject(parent)
    , m_targetPort(targetPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FaultProxy::onNewConnection);
}

FaultProxy::~FaultProxy()
{
    m_server.close();
    resetAll();
}

bool FaultProxy::listen()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void FaultProxy::goAway()
{
    m_server.close();
    resetAll();
}

void FaultProxy::setLatency(int towardsServerMs, int towardsClientMs)
{
    m_latencyUpMs = towardsServerMs;
    m_latencyDownMs = towardsClientMs;
}

void FaultProxy::setRate(qint64 bytesPerSecond)
{
    m_rate = bytesPerSecond;
    if (!m_pacer) {
        m_pacer = new QTimer(this);
        m_pacer->setInterval(PaceMs);
        connect(m_pacer, &QTimer::timeout, this, &FaultProxy::pace);
    }
}

void FaultProxy::pace()
{
    // Each tick's share goes to the connections in turn, so that one cannot starve the others.
    qint64 budget = m_rate * PaceMs / 1000;
    const QList<Link *> links = m_links;
    for (Link *link : links) {
        const int n = int(qMin<qint64>(budget, link->paced.size()));
        if (n > 0 && link->client->state() == QAbstractSocket::ConnectedState)
            link->client->write(link->paced.left(n));
        link->paced.remove(0, n);
        budget -= n;
        if (link->paced.isEmpty() && link->serverGone)
            close(link);
    }
}

void FaultProxy::sendToClient(Link *link, const QByteArray &data)
{
    if (m_rate <= 0) {
        link->client->write(data);
        return;
    }
    link->paced += data;
    if (!m_pacer->isActive())
        m_pacer->start();
}

void FaultProxy::resetAll()
{
    const QList<Link *> links = m_links;
    for (Link *link : links) {
        // Without lingering, the close is a reset rather than an orderly end.
        const linger noLinger{1, 0};
        ::setsockopt(int(link->client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
        link->client->disconnect(this);
        link->client->abort();
        close(link);
    }
}

void FaultProxy::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        auto *link = new Link;
        link->client = client;
        link->server = new QTcpSocket(this);
        m_links.append(link);
        connect(client, &QTcpSocket::readyRead, this, [this, link] { relay(link, true); });
        connect(link->server, &QTcpSocket::readyRead, this, [this, link] { relay(link, false); });
        // What is still on its way arrives before the close does; a stalled link never closes.
        connect(client, &QTcpSocket::disconnected, this,
                [this, link] { QTimer::singleShot(m_latencyUpMs, this, [this, link] { close(link); }); });
        connect(link->server, &QTcpSocket::disconnected, this, [this, link] {
            if (m_stallAfter >= 0 && link->sentToClient >= m_stallAfter)
                return;
            QTimer::singleShot(m_latencyDownMs, this, [this, link] {
                // The link may have been closed (and freed) meanwhile.
                if (!m_links.contains(link))
                    return;
                if (link->paced.isEmpty())
                    close(link);
                else
                    link->serverGone = true;
            });
        });
        link->server->connectToHost(QHostAddress::LocalHost, m_targetPort);
    }
}

void FaultProxy::relay(Link *link, bool towardsServer)
{
    QTcpSocket *from = towardsServer ? link->client : link->server;
    QPointer<QTcpSocket> to = towardsServer ? link->server : link->client;
    QByteArray data = from->readAll();
    if (!towardsServer) {
        if (m_stallAfter >= 0)
            data.truncate(int(qBound<qint64>(0, m_stallAfter - link->sentToClient, data.size())));
        link->sentToClient += data.size();
    }
    if (data.isEmpty())
        return;
    const int delay = towardsServer ? m_latencyUpMs : m_latencyDownMs;
    // Timers of equal delay fire in the order they were started, so the stream stays in order.
    QTimer::singleShot(delay, this, [this, link, towardsServer, to, data] {
        if (!to || to->state() == QAbstractSocket::UnconnectedState || !m_links.contains(link))
            return;
        if (towardsServer)
            to->write(data);
        else
            sendToClient(link, data);
    });
}

void FaultProxy::close(Link *link)
{
    if (!m_links.removeOne(link))
        return;
    link->client->disconnect(this);
    link->server->disconnect(this);
    link->client->disconnectFromHost();
    link->server->abort();
    link->client->deleteLater();
    link->server->deleteLater();
    delete link;
}
