#include "server/fetch/TorrentBuilder.h"

#include "server/fetch/BencodeWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

QByteArray TorrentBuilder::build(const QString &payloadPath, qint64 pieceLength, const HashProgress &progress,
                                 QString *error)
{
    const QFileInfo payload(payloadPath);
    if (pieceLength < 16 * 1024 || pieceLength > TorrentMeta::maxPieceLength || (pieceLength & (pieceLength - 1))) {
        if (error)
            *error = QStringLiteral("the piece length must be a power of two from 16 KiB to 64 MiB");
        return QByteArray();
    }
    if (!payload.exists()) {
        if (error)
            *error = QStringLiteral("%1 does not exist").arg(payloadPath);
        return QByteArray();
    }
    const QString name = payload.fileName();
    std::vector<std::string> diskPaths;
    std::vector<qint64> lengths;
    QVariantList fileList;
    if (payload.isDir()) {
        const QDir root(payload.absoluteFilePath());
        QStringList relative;
        QDirIterator walk(root.path(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (walk.hasNext())
            relative << root.relativeFilePath(walk.next());
        std::sort(relative.begin(), relative.end(),
                  [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
        if (relative.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1 holds no files").arg(payloadPath);
            return QByteArray();
        }
        for (const QString &path : relative) {
            const QFileInfo file(root.filePath(path));
            QVariantList segments;
            for (const QString &segment : path.split(QLatin1Char('/')))
                segments << segment.toUtf8();
            Dictionary entry;
            entry.insert("length", qlonglong(file.size()));
            entry.insert("path", segments);
            fileList << QVariant::fromValue(entry);
            diskPaths.push_back(QFile::encodeName(file.absoluteFilePath()).toStdString());
            lengths.push_back(file.size());
        }
    } else {
        diskPaths.push_back(QFile::encodeName(payload.absoluteFilePath()).toStdString());
        lengths.push_back(payload.size());
    }
    const QByteArray pieces = hashPieces(diskPaths, lengths, pieceLength, progress, error);
    qint64 total = 0;
    for (qint64 length : lengths)
        total += length;
    if (pieces.isEmpty() && total > 0)
        return QByteArray();

    Dictionary info;
    info.insert("name", name.toUtf8());
    info.insert("piece length", qlonglong(pieceLength));
    info.insert("pieces", pieces);
    if (payload.isDir())
        info.insert("files", fileList);
    else
        info.insert("length", qlonglong(payload.size()));
    Dictionary torrent;
    torrent.insert("created by", QByteArray("pelorin-service"));
    torrent.insert("info", QVariant::fromValue(info));
    return BencodeWriter::encode(QVariant::fromValue(torrent));
}

QString TorrentBuilder::magnetLink(const QString &infoHash, const QString &name)
{
    return QStringLiteral("magnet:?xt=urn:btih:%1&dn=%2")
        .arg(infoHash, QString::fromLatin1(QUrl::toPercentEncoding(name)));
}
