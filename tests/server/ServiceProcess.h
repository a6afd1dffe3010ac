#pragma once

#include "ChildOfTest.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ServiceClient;
struct BTResourceFile;

// A pelorin-service started by a test on 127.0.0.1 (or another address the test owns) with an
// ephemeral port and its own data directory (a temporary one unless given). Stopped by its
// destructor, also when a test fails.
class ServiceProcess
{
public:
    explicit ServiceProcess(const QString &dataDir = QString());
    ~ServiceProcess();

    // Starts "serve" with the extra arguments and waits until it listens; false on failure.
    // Unless the arguments name video hosts (or --no-video-hosts), two are started on ephemeral ports.
    bool start(const QStringList &extraArguments = QStringList());
    // SIGTERM, then SIGKILL after a grace period.
    void stop();
    bool isRunning() const;

    // Where it and its default video hosts listen; 127.0.0.1 unless set before start().
    void setListenAddress(const QString &address) { m_address = address; }
    quint16 port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QString hostPort() const;
    QString dataDir() const { return m_dataDir; }
    // host:port of each video host the service started, in the order it lists them.
    QStringList videoHosts() const { return m_videoHosts; }
    // Everything the service wrote on stderr (its request log) so far.
    QByteArray log() const;

    // Runs another command of the executable on the same data directory, e.g.
    // {"user", "add", "a@b.test", "secret1"}; returns the exit code.
    int run(const QStringList &arguments, QByteArray *output = nullptr) const;
    // Adds a library resource of one video file, `bytes` written to payloadDir/clip.mp4, and returns
    // what "library address" prints for it: "play" and "download" as paths on a host, "cookie".
    // Empty when a step fails.
    QMap<QString, QByteArray> addClip(const QString &payloadDir, const QByteArray &bytes) const;

    static QString executable();

    // Both resolution steps for file `line`'s address as the player sends them through `client`; the
    // file (resource hash, index and name set) gets its hashes, code and cookie; *host the host named.
    static bool resolve(ServiceClient &client, BTResourceFile *file, int line = 0, QString *host = nullptr);
    // A request to a video host as an engine sends it: no cookie or range but those given.
    struct HostReply {
        int status = 0;
        QByteArray body, contentRange, contentLength;
        bool complete = false;
    };
    static HostReply fetch(const QString &address, const QByteArray &cookie = QByteArray(),
                           const QByteArray &range = QByteArray(), const QByteArray &verb = "GET");
    // A shared database (postgresql://...) for serve and the other commands; none: SQLite.
    void setDatabase(const QString &url) { m_database = url; }

private:
    QString m_database;
    std::unique_ptr<QTemporaryDir> m_ownDir;
    QString m_dataDir;
    ChildOfTest m_process;
    QString m_address = QStringLiteral("127.0.0.1");
    quint16 m_port = 0;
    QStringList m_videoHosts;
};
