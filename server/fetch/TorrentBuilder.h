#pragma once

#include "server/fetch/TorrentMeta.h"

#include <QByteArray>
#include <QString>

// Makes torrent files with real piece hashes: a file gives a single-file torrent, a folder a
// multi-file torrent of every file under it (paths in byte order). The result carries no
// creation date, so the same payload always gives the same torrent and info-hash.
class TorrentBuilder
{
public:
    static constexpr qint64 defaultPieceLength = 256 * 1024;

    static QByteArray build(const QString &payloadPath, qint64 pieceLength, const HashProgress &progress,
                            QString *error);

    static QString magnetLink(const QString &infoHash, const QString &name);
};
