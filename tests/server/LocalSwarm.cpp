#include "LocalSwarm.h"
#include "TestFiles.h"

#include "ServiceProcess.h"
#include "server/fetch/BencodeWriter.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifndef PELORIN_SEEDER_SCRIPT
#error PELORIN_SEEDER_SCRIPT must name the script of the seeding peer
#endif

namespace {
const char kPython[] = "/usr/bin/python3";

} // namespace

LocalSwarm::LocalSwarm(const QString &dir) : m_dir(dir)
{
    QDir().mkpath(m_dir + QStringLiteral("/payload"));
}

LocalSwarm::~LocalSwarm()
{
    for (size_t i = 0; i < m_peers.size(); ++i)
        stop(int(i));
}

bool LocalSwarm::available()
{
    QProcess probe;
    probe.start(QString::fromLatin1(kPython), {QStringLiteral("-c"), QStringLiteral("import libtorrent")});
    return probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

QString LocalSwarm::seederScript()
{
    return QStringLiteral(PELORIN_SEEDER_SCRIPT);
}

QString LocalSwarm::torrentPath(const QString &name) const
{
    return m_dir + QStringLiteral("/") + name + QStringLiteral(".torrent");
}

QString LocalSwarm::clipPath(const QString &name) const
{
    return m_dir + QStringLiteral("/payload/") + name + QStringLiteral("/clip.mp4");
}

QString LocalSwarm::addResource(const QString &name, const QByteArray &clip, qint64 pieceLength)
{
    if (!writeFile(clipPath(name), clip))
        return QString();
    return addResourceFile(name, clipPath(name), pieceLength);
}

QString LocalSwarm::addResourceFile(const QString &name, const QString &clipFile, qint64 pieceLength)
{
    QDir().mkpath(QFileInfo(clipPath(name)).absolutePath());
    if ((clipFile != clipPath(name) && !QFile::rename(clipFile, clipPath(name)))
        || !writeFile(m_dir + QStringLiteral("/payload/") + name + QStringLiteral("/notes.txt"), "notes\n"))
        return QString();
    QProcess create;
    create.start(ServiceProcess::executable(),
                 {QStringLiteral("torrent"), QStringLiteral("create"), m_dir + QStringLiteral("/payload/") + name,
                  torrentPath(name), QStringLiteral("--piece-length"), QString::number(pieceLength)});
    if (!create.waitForFinished(60000) || create.exitCode() != 0)
        return QString();
    return QRegularExpression(QStringLiteral("btih:([0-9a-f]{40})"))
        .match(QString::fromUtf8(create.readAllStandardOutput()))
        .captured(1);
}

QString LocalSwarm::addHostileResource(const QString &name)
{
    const qint64 length = 100000;
    const qint64 pieceLength = 16384;
    Dictionary file;
    file.insert("length", length);
    file.insert("path", QVariantList{QByteArray(".."), (name + QStringLiteral(".mp4")).toUtf8()});
    Dictionary info;
    info.insert("name", name.toUtf8());
    info.insert("piece length", pieceLength);
    info.insert("pieces", QByteArray(int((length + pieceLength - 1) / pieceLength) * 20, '\x5a'));
    info.insert("files", QVariantList{QVariant::fromValue(file)});
    const QByteArray infoBytes = BencodeWriter::encode(QVariant::fromValue(info));
    Dictionary torrent;
    torrent.insert("info", QVariant::fromValue(info));
    if (!writeFile(torrentPath(name), BencodeWriter::encode(QVariant::fromValue(torrent))))
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(infoBytes, QCryptographicHash::Sha1).toHex());
}

int LocalSwarm::seed(const QStringList &names, qint64 uploadLimit, bool firstHalfOnly)
{
    QString dir = m_dir + QStringLiteral("/payload");
    if (firstHalfOnly) {
        // Its own copy with the second half spoilt: the peer's check keeps only the first half.
        dir = m_dir + QStringLiteral("/half");
        for (const QString &name : names) {
            QFile source(clipPath(name));
            if (!source.open(QIODevice::ReadOnly))
                return -1;
            QByteArray clip = source.readAll();
            clip.replace(clip.size() / 2, clip.size() - clip.size() / 2, QByteArray(clip.size() - clip.size() / 2, '\0'));
            if (!writeFile(dir + QStringLiteral("/") + name + QStringLiteral("/clip.mp4"), clip)
                || !writeFile(dir + QStringLiteral("/") + name + QStringLiteral("/notes.txt"), "notes\n"))
                return -1;
        }
    }
    QStringList arguments{seederScript(), QStringLiteral("seed"), dir};
    if (uploadLimit > 0)
        arguments << QStringLiteral("--upload-limit") << QString::number(uploadLimit);
    for (const QString &name : names)
        arguments << torrentPath(name);
    Peer peer;
    peer.process = std::make_unique<ChildOfTest>();
    peer.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.process->start(QString::fromLatin1(kPython), arguments);
    QByteArray output;
    const QDeadlineTimer deadline(30000);
    while (!output.contains('\n') && !deadline.hasExpired() && peer.process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        output += peer.process->readAllStandardOutput();
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromUtf8(output));
    m_peers.push_back(std::move(peer));
    const int index = int(m_peers.size()) - 1;
    if (!match.hasMatch()) {
        stop(index);
        return -1;
    }
    m_peers.back().port = quint16(match.captured(1).toUInt());
    return index;
}

QString LocalSwarm::address(int index) const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_peers.at(size_t(index)).port);
}

void LocalSwarm::stop(int index)
{
    QProcess *process = m_peers.at(size_t(index)).process.get();
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->kill();
    process->waitForFinished(5000);
}
