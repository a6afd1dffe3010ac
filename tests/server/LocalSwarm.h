#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// BitTorrent peers on 127.0.0.1 for tests and benchmarks of fetching: resources made in a folder
// of their own, and seeding processes (the engine's Python binding) that are killed by stop() or
// the destructor, also when a test fails.
class LocalSwarm
{
public:
    explicit LocalSwarm(const QString &dir);
    ~LocalSwarm();
    LocalSwarm(const LocalSwarm &) = delete;
    LocalSwarm &operator=(const LocalSwarm &) = delete;

    // Whether peers can be started here (the interpreter and the binding are installed).
    static bool available();
    static QString seederScript();

    // A resource NAME/clip.mp4 holding `clip` and NAME/notes.txt, with its torrent made by the
    // service's own command; returns the info-hash, empty on failure.
    QString addResource(const QString &name, const QByteArray &clip, qint64 pieceLength = 262144);
    // The same with the clip taken from a file (moved into place).
    QString addResourceFile(const QString &name, const QString &clipFile, qint64 pieceLength);
    // A torrent whose one file is named "../NAME.mp4" (its payload is not needed to hand out
    // its metadata); returns the info-hash.
    QString addHostileResource(const QString &name);
    QString torrentPath(const QString &name) const;
    QString clipPath(const QString &name) const;

    // Starts a peer seeding the named resources, at most `uploadLimit` bytes a second each
    // (0: no limit); with `firstHalfOnly` it holds only the first half of each clip. Returns the
    // peer's index, -1 on failure; its address is address(index).
    int seed(const QStringList &names, qint64 uploadLimit = 0, bool firstHalfOnly = false);
    QString address(int index) const;
    void stop(int index);

private:
    struct Peer {
        std::unique_ptr<QProcess> process;
        quint16 port = 0;
    };
    QString m_dir;
    std::vector<Peer> m_peers;
};
