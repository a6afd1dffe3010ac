#include "resources/protocol/ResourceInput.h"

#include "resources/protocol/BencodeReader.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool isHashCharacter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

// The last 40 characters of the last run of at least 40 ASCII letters and digits, or empty.
// Walked from the end by hand: QString::lastIndexOf with a pattern steps through non-overlapping
// matches from the start, which would give the first 40 of a 43-character run.
QString lastHashRun(const QString &text)
{
    int run = 0;
    for (int i = text.size() - 1; i >= 0; --i) {
        if (!isHashCharacter(text.at(i)))
            run = 0;
        else if (++run == 40)
            return text.mid(i, 40);
    }
    return QString();
}

// The whole content of a regular file no larger than maxTorrentFileSize, or false.
bool readTorrentFile(const QString &path, QByteArray *content)
{
    // Only regular files: opening a FIFO would block and a device may never end.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxTorrentFileSize)
        return false;
    QFile file(path);
    // Unbuffered: the content is read in one go, a read-ahead buffer would only add a copy.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    // A buffer for the size seen, not for the limit; one byte more notices a file that grew since,
    // which is then read on, still bounded.
    const qint64 expected = info.size();
    *content = file.read(expected + 1);
    if (content->size() > expected)
        *content += file.read(maxTorrentFileSize + 1 - content->size());
    const bool complete = content->size() <= maxTorrentFileSize && file.error() == QFileDevice::NoError;
    file.close();
    return complete;
}

} // namespace

QString resourceHashFromTorrentBytes(const QByteArray &bytes)
{
    // The value-free pass: same outcome and info span as a full parse, without building the tree.
    BencodeReader reader;
    if (!reader.scan(bytes))
        return QString();
    return QString::fromLatin1(reader.infoDigest().toHex());
}

QString resourceHashFromInput(const QString &text)
{
    if (text.contains(QLatin1String(".torrent"))) {
        QByteArray content;
        if (!readTorrentFile(text, &content))
            return QString();
        return resourceHashFromTorrentBytes(content);
    }
    return lastHashRun(text);
}

bool containsResourceHash(const QString &text)
{
    return !lastHashRun(text).isEmpty();
}

bool clipboardTextToParse(const QString &clipboardText, QString *lastSeenText)
{
    if (clipboardText.isEmpty() || clipboardText == *lastSeenText)
        return false;
    *lastSeenText = clipboardText;
    return containsResourceHash(clipboardText);
}
