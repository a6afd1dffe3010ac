#include "resources/protocol/ResourceInput.h"
#include "TestFiles.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

const QString hash40 = QStringLiteral("0123456789AbCdEf0123456789aBcDeF01234567");

} // namespace

class ResourceInputTest : public QObject
{
    Q_OBJECT

private slots:
    void derivesHashFromText();
    void hashesTorrentFilesAndRefusesBadOnes();
    void decidesClipboardTicks();
};

void ResourceInputTest::derivesHashFromText()
{
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:") + hash40;
    const QString second(40, QLatin1Char('b'));
    const QList<QPair<QString, QString>> cases = {
        {magnet + QStringLiteral("&dn=Some+Show+S01"), hash40},
        // The last 40 characters of the last run, however long the runs are.
        {QString(39, QLatin1Char('x')) + hash40, hash40},
        {hash40 + QStringLiteral(" and ") + second + QStringLiteral("-tail"), second},
        // No hash: too short, broken by other characters, or base32.
        {hash40.left(39), QString()},
        {hash40.left(20) + QStringLiteral("-") + hash40.mid(20), QString()},
        {QStringLiteral("magnet:?xt=urn:btih:MFRGGZDFMZTWQ2LKNNWG23TPOBYXE43U"), QString()},
        // Any ".torrent" makes the text a path, even inside a magnet link, but only in lowercase.
        {magnet + QStringLiteral(".torrent"), QString()},
        {hash40 + QStringLiteral(".TORRENT"), hash40}};
    for (const auto &c : cases)
        QCOMPARE(resourceHashFromInput(c.first), c.second);
}

void ResourceInputTest::hashesTorrentFilesAndRefusesBadOnes()
{
    // A genuine multi-file torrent; the expected digest was taken with an independent SHA-1 of its
    // info span (bytes 231..762).
    const QString fixture = QStringLiteral(PELORIN_RESOURCES_TEST_DATA "/multifile.torrent");
    QCOMPARE(resourceHashFromInput(fixture), QStringLiteral("cb9cdb5ec0d1cf2934414ead7fc716c3c9ad8253"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("plain.torrent"));
    QVERIFY(writeFile(plain, "d4:infod4:name1:aee"));
    QCOMPARE(resourceHashFromInput(plain),
             QString::fromLatin1(QCryptographicHash::hash("d4:name1:ae", QCryptographicHash::Sha1).toHex()));

    // Without an "info" key the hash is that of zero bytes.
    const QString noInfo = dir.filePath(QStringLiteral("noinfo.torrent"));
    QVERIFY(writeFile(noInfo, "d4:name1:ae"));
    QCOMPARE(resourceHashFromInput(noInfo), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));

    QCOMPARE(resourceHashFromInput(dir.filePath(QStringLiteral("missing.torrent"))), QString());

    // Empty, not a dictionary, broken.
    for (const QByteArray &content : {QByteArray(), QByteArray("l4:infoe"), QByteArray("d4:infod4:name")}) {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("bad.torrent")), content));
        QCOMPARE(resourceHashFromInput(dir.filePath(QStringLiteral("bad.torrent"))), QString());
    }

    // Cannot be read as a file: a directory, and a FIFO that would block an open.
    const QString folder = dir.filePath(QStringLiteral("folder.torrent"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.torrent")));
    QCOMPARE(resourceHashFromInput(folder), QString());
    const QString fifo = dir.filePath(QStringLiteral("pipe.torrent"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(resourceHashFromInput(fifo), QString());

    // Oversized: refused before anything is read, however valid its start.
    const QString huge = dir.filePath(QStringLiteral("huge.torrent"));
    {
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("d4:infod4:name1:aee") > 0);
        // Sparse: costs no disk space.
        QVERIFY(file.resize(maxTorrentFileSize + 1));
    }
    QCOMPARE(resourceHashFromInput(huge), QString());
    {
        QFile file(huge);
        QVERIFY(file.resize(maxTorrentFileSize));
    }
    // At the limit it is read; the zeros after the dictionary are never reached.
    QCOMPARE(resourceHashFromInput(huge), resourceHashFromTorrentBytes("d4:infod4:name1:aee"));
}

void ResourceInputTest::decidesClipboardTicks()
{
    QString lastSeen;
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:") + hash40;

    QVERIFY(clipboardTextToParse(magnet, &lastSeen));
    // The same text again is ignored, also after an empty clipboard.
    QVERIFY(!clipboardTextToParse(QString(), &lastSeen));
    QVERIFY(!clipboardTextToParse(magnet, &lastSeen));
    // New text without a hash is remembered but not taken.
    QVERIFY(!clipboardTextToParse(QStringLiteral("hello"), &lastSeen));
    QVERIFY(clipboardTextToParse(magnet, &lastSeen));
    // Any 40-character run counts, even where the parse would take the text as a path.
    QVERIFY(clipboardTextToParse(hash40 + QStringLiteral(".torrent"), &lastSeen));
    QVERIFY(!clipboardTextToParse(hash40.left(39), &lastSeen));
}

QTEST_APPLESS_MAIN(ResourceInputTest)
#include "tst_ResourceInput.moc"
