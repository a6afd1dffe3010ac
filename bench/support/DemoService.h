#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The reference service on 127.0.0.1 (ephemeral ports, two video hosts) with its own temporary
// data directory. Stopped by its destructor, also when a benchmark gives up half way.
class DemoService
{
public:
    DemoService();
    ~DemoService();

    QString dataDir() const { return m_dataDir; }
    // A scratch directory beside the data, removed with it.
    QString scratchDir() const { return m_dir.path(); }

    // "demo" with clips of the given length; collects the magnet links it prints.
    bool makeDemo(int clipSeconds);
    QStringList magnets() const { return m_magnets; }

    bool start();
    void stop();
    QString hostPort() const { return m_hostPort; }
    QStringList videoHosts() const { return m_videoHosts; }

    // Another command on the same data directory ("library add ..."); its stdout, or an empty
    // string with *ok false on failure.
    QString run(const QStringList &arguments, bool *ok, int timeoutMs = 300000) const;

    // Adds one file as a resource of its own (a torrent made of it, the file's folder as the
    // payload) and returns its magnet link; empty on failure. Before start().
    QString addFile(const QString &path);
    // A permanent VIP account for the benchmark's player.
    bool addUser(const QString &email, const QString &password);

    struct Address {
        QString play;
        QString cookie;
        QString download;
    };
    // Fresh addresses of one library file on one video host.
    Address address(const QString &hash, int fileIndex, const QString &videoHost) const;

    static QString executable();
    // The resource hash of a magnet link.
    static QString hashOf(const QString &magnet);

private:
    QTemporaryDir m_dir;
    QString m_dataDir;
    QProcess m_process;
    QString m_hostPort;
    QStringList m_videoHosts;
    QStringList m_magnets;
};
