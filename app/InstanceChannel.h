#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// How a second copy reaches the running one: a local socket beside the single-instance lock. The
// running copy listens; a refused copy asks it to come to the front before saying why it stops, or
// hands over the resource it was started with and ends quietly.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    explicit InstanceChannel(const QString &directory, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // In the copy that holds the lock. A socket left by a copy that died is replaced.
    bool listen();

    // From another copy: true when the running copy took the request.
    static bool requestRaise(const QString &directory, int timeoutMs = 2000);
    // The same for a resource input (magnet link, hash text or torrent path) to open.
    static bool requestOpen(const QString &directory, const QString &input, int timeoutMs = 2000);

signals:
    void raiseRequested();
    void openRequested(const QString &input);

private:
    static QString socketPath(const QString &directory);
    static bool send(const QString &directory, const QByteArray &line, int timeoutMs);

    QString m_path;
    QLocalServer *m_server = nullptr;
};
