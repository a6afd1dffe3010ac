#include "app/InstanceChannel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray kRaise = QByteArrayLiteral("raise\n");
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kAccepted = QByteArrayLiteral("ok\n");
// A magnet link with many trackers runs to a few kilobytes; anything far beyond is not one.
constexpr qint64 kMaxLine = 64 * 1024;
} // namespace

InstanceChannel::InstanceChannel(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_path(socketPath(directory))
{ }

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::socketPath(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("Pelorin.socket"));
}

bool InstanceChannel::listen()
{
    if (m_server)
        return m_server->isListening();
    m_server = new QLocalServer(this);
    // Only the user's own processes may talk to it (the folder may be the shared temporary one).
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // This copy holds the lock, so a socket file found here was left by one that died.
    QLocalServer::removeServer(m_path);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            const auto handle = [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > kMaxLine)
                        socket->abort();
                    return;
                }
                const QByteArray line = socket->readLine(kMaxLine + 1);
                if (line == kRaise) {
                    socket->write(kAccepted);
                    emit raiseRequested();
                } else if (line.startsWith(kOpen) && line.endsWith('\n')) {
                    const QString input = QString::fromUtf8(QByteArray::fromBase64(line.mid(kOpen.size()).trimmed()));
                    if (!input.isEmpty()) {
                        socket->write(kAccepted);
                        emit openRequested(input);
                    }
                }
                socket->disconnectFromServer();
            };
            connect(socket, &QLocalSocket::readyRead, this, handle);
            if (socket->bytesAvailable() > 0)
                handle();
        }
    });
    return m_server->listen(m_path);
}

bool InstanceChannel::requestRaise(const QString &directory, int timeoutMs)
{
    return send(directory, kRaise, timeoutMs);
}

bool InstanceChannel::requestOpen(const QString &directory, const QString &input, int timeoutMs)
{
    const QByteArray line = kOpen + input.toUtf8().toBase64() + '\n';
    return !input.isEmpty() && line.size() <= kMaxLine && send(directory, line, timeoutMs);
}

bool InstanceChannel::send(const QString &directory, const QByteArray &line, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath(directory));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(line);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(16) == kAccepted;
}
