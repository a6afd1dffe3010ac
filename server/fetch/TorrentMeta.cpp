#include "server/fetch/TorrentMeta.h"

#include "resources/protocol/BencodeReader.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/protocol/Sha1.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

Dictionary dictionaryOf(const QVariant &value, bool *ok)
{
    *ok = value.userType() == BencodeReader::dictionaryMetaTypeId();
    return *ok ? value.value<Dictionary>() : Dictionary();
}

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The UTF-8 variant of a key when the torrent carries one.
QVariant preferUtf8(const Dictionary &dictionary, const char *key)
{
    const QByteArray utf8Key = QByteArray(key) + ".utf-8";
    return dictionary.contains(utf8Key) ? dictionary.value(utf8Key) : dictionary.value(key);
}
} // namespace

bool TorrentMeta::isSafeSegment(const QByteArray &segment)
{
    if (segment.isEmpty() || segment.size() > 255 || segment == "." || segment == ".." || !isUtf8(segment))
        return false;
    for (char c : segment) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\')
            return false;
    }
    return true;
}

bool TorrentMeta::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > maxTorrentFileSize)
        return fail(error, QStringLiteral("%1 is too large for a torrent file").arg(path));
    return parse(file.readAll(), error);
}

bool TorrentMeta::parse(const QByteArray &bytes, QString *error)
{
    *this = TorrentMeta();
    BencodeReader reader;
    if (!reader.parse(bytes))
        return fail(error, QStringLiteral("not a torrent file: %1").arg(reader.errorString()));
    bool ok = false;
    const Dictionary info = dictionaryOf(reader.root().value("info"), &ok);
    if (!ok)
        return fail(error, QStringLiteral("the torrent has no info dictionary"));
    infoHash = resourceHashFromTorrentBytes(bytes);
    if (infoHash.size() != 40)
        return fail(error, QStringLiteral("the torrent's info-hash cannot be derived"));

    const QByteArray nameBytes = preferUtf8(info, "name").toByteArray();
    if (!isSafeSegment(nameBytes))
        return fail(error, QStringLiteral("the torrent's name is not a plain file name"));
    name = QString::fromUtf8(nameBytes);

    const QVariant pieceLengthValue = info.value("piece length");
    pieceLength = pieceLengthValue.toLongLong();
    if (pieceLengthValue.userType() != QMetaType::LongLong || pieceLength <= 0 || pieceLength > maxPieceLength)
        return fail(error, QStringLiteral("the torrent's piece length is missing or out of range"));
    pieces = info.value("pieces").toByteArray();
    if (pieces.size() % 20 != 0)
        return fail(error, QStringLiteral("the torrent's piece hashes are cut short"));

    if (info.contains("files")) {
        if (info.value("files").userType() != QMetaType::QVariantList)
            return fail(error, QStringLiteral("the torrent's file list is not a list"));
        QSet<QString> seen;
        for (const QVariant &entry : info.value("files").toList()) {
            const Dictionary fileEntry = dictionaryOf(entry, &ok);
            const QVariant lengthValue = fileEntry.value("length");
            const QVariant pathValue = preferUtf8(fileEntry, "path");
            if (!ok || lengthValue.userType() != QMetaType::LongLong || lengthValue.toLongLong() < 0
                || pathValue.userType() != QMetaType::QVariantList || pathValue.toList().isEmpty())
                return fail(error, QStringLiteral("a file of the torrent has no length or path"));
            TorrentFile file;
            for (const QVariant &segment : pathValue.toList()) {
                const QByteArray bytes = segment.toByteArray();
                if (segment.userType() != QMetaType::QByteArray || !isSafeSegment(bytes))
                    return fail(error, QStringLiteral("a file of the torrent has an unsafe path"));
                file.path << QString::fromUtf8(bytes);
            }
            file.joinedPath = file.path.join(QLatin1Char('/'));
            if (seen.contains(file.joinedPath))
                return fail(error, QStringLiteral("the torrent names %1 twice").arg(file.joinedPath));
            seen.insert(file.joinedPath);
            file.length = lengthValue.toLongLong();
            file.offset = totalSize;
            totalSize += file.length;
            files.push_back(file);
        }
        if (files.empty())
            return fail(error, QStringLiteral("the torrent's file list is empty"));
    } else {
        const QVariant lengthValue = info.value("length");
        if (lengthValue.userType() != QMetaType::LongLong || lengthValue.toLongLong() < 0)
            return fail(error, QStringLiteral("the torrent has neither a length nor a file list"));
        singleFile = true;
        TorrentFile file;
        file.path << name;
        file.joinedPath = name;
        file.length = lengthValue.toLongLong();
        totalSize = file.length;
        files.push_back(file);
    }
    const qint64 expectedPieces = (totalSize + pieceLength - 1) / pieceLength;
    if (pieceCount() != expectedPieces)
        return fail(error, QStringLiteral("the torrent has %1 piece hashes for %2 pieces")
                               .arg(pieceCount())
                               .arg(expectedPieces));
    return true;
}

QByteArray hashPieces(const std::vector<std::string> &diskPaths, const std::vector<qint64> &lengths,
                      qint64 pieceLength, const HashProgress &progress, QString *error)
{
    qint64 total = 0;
    for (qint64 length : lengths)
        total += length;
    QByteArray digests;
    QByteArray piece;
    piece.reserve(int(pieceLength));
    qint64 done = 0;
    const auto flush = [&] {
        digests += Sha1::hash(piece);
        piece.resize(0);
        if (progress)
            progress(done, total);
    };
    std::vector<char> buffer(size_t(qMin<qint64>(pieceLength, 4 * 1024 * 1024)));
    for (size_t i = 0; i < diskPaths.size(); ++i) {
        const int fd = ::open(diskPaths[i].c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0)
                ::close(fd);
            fail(error, QStringLiteral("cannot read %1: %2")
                            .arg(QString::fromStdString(diskPaths[i]), QString::fromUtf8(std::strerror(errno))));
            return QByteArray();
        }
        if (info.st_size != lengths[i]) {
            ::close(fd);
            fail(error, QStringLiteral("%1 has %2 bytes, the torrent says %3")
                            .arg(QString::fromStdString(diskPaths[i]))
                            .arg(qint64(info.st_size))
                            .arg(lengths[i]));
            return QByteArray();
        }
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        qint64 left = lengths[i];
        while (left > 0) {
            const size_t wanted = size_t(qMin<qint64>(qMin<qint64>(left, pieceLength - piece.size()),
                                                      qint64(buffer.size())));
            const ssize_t got = ::read(fd, buffer.data(), wanted);
            if (got <= 0) {
                ::close(fd);
                fail(error, QStringLiteral("cannot read %1").arg(QString::fromStdString(diskPaths[i])));
                return QByteArray();
            }
            piece.append(buffer.data(), int(got));
            left -= got;
            done += got;
            if (piece.size() == pieceLength)
                flush();
        }
        ::close(fd);
    }
    if (!piece.isEmpty())
        flush();
    return digests;
}
