#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// One file of a torrent, in the order of its file list.
struct TorrentFile
{
    QStringList path;   // segments inside the torrent
    QString joinedPath; // "/"-joined, as the file list names it
    qint64 length = 0;
    qint64 offset = 0;  // where the file starts in the concatenated payload
};

// What the service needs of a torrent file: its info-hash (as the player derives it), name,
// pieces and files. Only torrents whose names are safe to use as file paths are accepted.
class TorrentMeta
{
public:
    static constexpr qint64 maxPieceLength = 64 * 1024 * 1024;

    bool parse(const QByteArray &bytes, QString *error);
    bool load(const QString &path, QString *error);

    QString infoHash; // 40 lowercase hex digits
    QString name;
    qint64 pieceLength = 0;
    QByteArray pieces; // 20 bytes per piece
    std::vector<TorrentFile> files;
    bool singleFile = false;
    qint64 totalSize = 0;

    int pieceCount() const { return pieces.size() / 20; }

    // A file or folder name that is one plain path segment (no "..", separators or control bytes).
    static bool isSafeSegment(const QByteArray &segment);
};

using HashProgress = std::function<void(qint64 done, qint64 total)>;

// SHA-1 of every piece of the files concatenated in order (the last piece may be short),
// read in piece-sized steps; empty with *error set when a file cannot be read or is shorter or
// longer than `lengths` says.
QByteArray hashPieces(const std::vector<std::string> &diskPaths, const std::vector<qint64> &lengths,
                      qint64 pieceLength, const HashProgress &progress, QString *error);
