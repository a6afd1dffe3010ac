// The service's library pieces on their own: the bencode writer against the player's reader,
// torrent reading and building, piece verification, byte ranges and the access tokens.
#include "resources/protocol/BencodeReader.h"
#include "resources/protocol/ResourceInput.h"
#include "server/AccessTokens.h"
#include "server/BencodeWriter.h"
#include "server/LibraryStore.h"
#include "server/TorrentBuilder.h"
#include "server/TorrentMeta.h"
#include "server/ByteRange.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using server::AccessTokens;
using server::ByteRange;

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray torrentWith(const Dictionary &info)
{
    Dictionary root;
    root.insert("announce", QByteArray("http://tracker.invalid/"));
    root.insert("info", QVariant::fromValue(info));
    return BencodeWriter::encode(QVariant::fromValue(root));
}
} // namespace

class LibraryPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void bencodeWriterRoundTripsThroughTheReader();
    void torrentMetaReadsAndRefuses();
    void builtTorrentsHashAcrossFiles();
    void rangesFollowHttp();
    void tokensBindWhatTheyName();
    void videoFilesByExtension();
};

void LibraryPartsTest::bencodeWriterRoundTripsThroughTheReader()
{
    Dictionary inner;
    inner.insert("zeta", qlonglong(-42));
    inner.insert("alpha", QByteArray("\x00\xff bytes", 8));
    inner.insert("list", QVariantList{qlonglong(0), QByteArray(), u("中文")});
    Dictionary root;
    root.insert("info", QVariant::fromValue(inner));
    root.insert("b", qlonglong(9007199254740993LL));
    const QByteArray encoded = BencodeWriter::encode(QVariant::fromValue(root));
    // Keys in byte order, strings with their byte length, UTF-8 for texts.
    QVERIFY(encoded.startsWith("d1:bi9007199254740993e4:infod5:alpha8:"));
    QVERIFY(encoded.contains("4:listli0e0:6:\xe4\xb8\xad\xe6\x96\x87" "e4:zetai-42ee"));

    BencodeReader reader;
    QVERIFY(reader.parse(encoded));
    QCOMPARE(reader.root().value("b").toLongLong(), 9007199254740993LL);
    const Dictionary read = reader.root().value("info").value<Dictionary>();
    QCOMPARE(read.value("alpha").toByteArray(), QByteArray("\x00\xff bytes", 8));
    QCOMPARE(read.value("list").toList().value(2).toByteArray(), u("中文").toUtf8());
    QCOMPARE(reader.infoBytes(), BencodeWriter::encode(QVariant::fromValue(inner)));

    QVERIFY(BencodeWriter::encode(QVariant(1.5)).isEmpty());
    QVERIFY(BencodeWriter::encode(QVariantList{QVariant(QDate::currentDate())}).isEmpty());
}

void LibraryPartsTest::torrentMetaReadsAndRefuses()
{
    Dictionary file;
    file.insert("length", qlonglong(40000));
    file.insert("path", QVariantList{QByteArray("Season 1"), u("第1集.mp4").toUtf8()});
    Dictionary second;
    second.insert("length", qlonglong(5));
    second.insert("path", QVariantList{QByteArray("notes.txt")});
    Dictionary info;
    info.insert("files", QVariantList{QVariant::fromValue(file), QVariant::fromValue(second)});
    info.insert("name", QByteArray("Show"));
    info.insert("piece length", qlonglong(16384));
    info.insert("pieces", QByteArray(3 * 20, 'p'));
    const QByteArray bytes = torrentWith(info);

    TorrentMeta meta;
    QString error;
    QVERIFY2(meta.parse(bytes, &error), qPrintable(error));
    QCOMPARE(meta.infoHash, resourceHashFromTorrentBytes(bytes));
    QCOMPARE(meta.name, u("Show"));
    QCOMPARE(int(meta.files.size()), 2);
    QCOMPARE(meta.files[0].joinedPath, u("Season 1/第1集.mp4"));
    QCOMPARE(meta.files[1].offset, qint64(40000));
    QCOMPARE(meta.totalSize, qint64(40005));
    QVERIFY(!meta.singleFile);

    const auto refused = [&](Dictionary changed, const char *why) {
        TorrentMeta other;
        QString reason;
        QVERIFY2(!other.parse(torrentWith(changed), &reason), why);
        QVERIFY(!reason.isEmpty());
    };
    for (const QByteArray &segment : {QByteArray(".."), QByteArray("."), QByteArray("a/b"), QByteArray("a\\b"),
                                      QByteArray(""), QByteArray("x\ny"), QByteArray("\xff\xfe")}) {
        Dictionary bad = file;
        bad.insert("path", QVariantList{segment});
        Dictionary changed = info;
        changed.insert("files", QVariantList{QVariant::fromValue(bad)});
        changed.insert("pieces", QByteArray(3 * 20, 'p'));
        refused(changed, segment.constData());
    }
    Dictionary changed = info;
    changed.insert("pieces", QByteArray(2 * 20, 'p'));
    refused(changed, "too few pieces");
    changed = info;
    changed.insert("name", QByteArray(".."));
    refused(changed, "name");
    changed = info;
    changed.insert("piece length", qlonglong(0));
    refused(changed, "piece length");
    changed = info;
    changed.insert("files", QVariantList{QVariant::fromValue(file), QVariant::fromValue(file)});
    changed.insert("pieces", QByteArray(5 * 20, 'p'));
    refused(changed, "twice");
    QVERIFY(!meta.parse("not bencode", &error));
}

// (A payload of the wrong length, and the same torrent from the same files: the library tests.)
void LibraryPartsTest::builtTorrentsHashAcrossFiles()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u("/演示 folder");
    QByteArray payload(100000, Qt::Uninitialized);
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 31 + (i >> 9));
    QVERIFY(writeFile(folder + u("/b.mp4"), payload.left(70000)));
    QVERIFY(writeFile(folder + u("/a/c.mkv"), payload.mid(70000)));
    QVERIFY(writeFile(folder + u("/empty.txt"), QByteArray()));
    QString error;
    const QByteArray torrent = TorrentBuilder::build(folder, 16384, HashProgress(), &error);
    QVERIFY2(!torrent.isEmpty(), qPrintable(error));
    TorrentMeta meta;
    QVERIFY(meta.parse(torrent, &error));
    QCOMPARE(meta.name, u("演示 folder"));
    QCOMPARE(meta.files[0].joinedPath, u("a/c.mkv"));
    QCOMPARE(meta.files[1].joinedPath, u("b.mp4"));
    QCOMPARE(meta.pieceCount(), 7);

    // The pieces run across file boundaries, in list order.
    qint64 reported = -1;
    const QByteArray pieces =
        hashPieces({QFile::encodeName(folder + u("/a/c.mkv")).toStdString(), QFile::encodeName(folder + u("/b.mp4")).toStdString(),
                    QFile::encodeName(folder + u("/empty.txt")).toStdString()},
                   {30000, 70000, 0}, 16384, [&](qint64 done, qint64 total) {
                       QCOMPARE(total, qint64(100000));
                       reported = done;
                   },
                   &error);
    QCOMPARE(pieces, meta.pieces);
    QCOMPARE(reported, qint64(100000));
    QCOMPARE(pieces.mid(20, 20), QCryptographicHash::hash(payload.mid(70000).append(payload.left(70000)).mid(16384, 16384),
                                                          QCryptographicHash::Sha1));

    const QByteArray single = TorrentBuilder::build(folder + u("/b.mp4"), 16384, HashProgress(), &error);
    QVERIFY(meta.parse(single, &error));
    QVERIFY(meta.singleFile);
    QCOMPARE(meta.totalSize, qint64(70000));
    QCOMPARE(TorrentBuilder::magnetLink(meta.infoHash, u("a b&c")),
             u("magnet:?xt=urn:btih:") + meta.infoHash + u("&dn=a%20b%26c"));
    QVERIFY(TorrentBuilder::build(folder, 1000, HashProgress(), &error).isEmpty());
}

void LibraryPartsTest::rangesFollowHttp()
{
    // What the video hosts' byte-exact tests cannot reach: spelling, empty files, other units.
    using Kind = ByteRange::Kind;
    const struct {
        const char *header;
        int64_t size;
        Kind kind;
        int64_t first, length;
    } cases[] = {
        {"Bytes= -250 ", 1000, Kind::Partial, 750, 250},
        {"bytes=0-", 0, Kind::Unsatisfiable, 0, 0},
        {"items=0-1", 1000, Kind::Whole, 0, 0},
        {"bytes=0-,0-,0-", 1000, Kind::Whole, 0, 0},
        {"bytes=x-", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=--1", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=99999999999999999999-", 1000, Kind::Unsatisfiable, 0, 0},
    };
    for (const auto &entry : cases) {
        int64_t first = -1, length = -1;
        QCOMPARE(ByteRange::parse(entry.header, entry.size, &first, &length), entry.kind);
        if (entry.kind == Kind::Partial)
            QVERIFY2(first == entry.first && length == entry.length, entry.header);
    }
}

void LibraryPartsTest::tokensBindWhatTheyName()
{
    // Beyond the codes the video host tests forge: the exact expiry, the fields a code carries,
    // file tokens of another resource or key, keyed cookies that match exactly.
    const AccessTokens tokens(std::string(32, 's'));
    const AccessTokens other(std::string(32, 't'));
    const std::string fileHash = tokens.fileHash("abc", 3);
    QCOMPARE(fileHash.size(), size_t(40));
    const std::string jx = tokens.jxhash(17, 3, 1234, fileHash);
    QCOMPARE(tokens.fileOfJxhash(jx, 3, 1234, fileHash), int64_t(17));
    QCOMPARE(tokens.fileOfJxhash(jx, 3, 1234, tokens.fileHash("abd", 3)), int64_t(0));
    QCOMPARE(other.fileOfJxhash(jx, 3, 1234, fileHash), int64_t(0));
    QCOMPARE(tokens.fileOfJxhash("zz" + jx.substr(2), 3, 1234, fileHash), int64_t(0));

    const std::string code = tokens.issueCode(AccessTokens::Grant{17, 5, 2000, 99});
    AccessTokens::Grant read;
    QCOMPARE(tokens.checkCode(code, 1999, &read), AccessTokens::Check::Valid);
    QCOMPARE(read.fileId, int64_t(17));
    QCOMPARE(read.accountId, int64_t(5));
    QCOMPARE(read.nonce, uint32_t(99));
    QCOMPARE(tokens.checkCode(code, 2000, &read), AccessTokens::Check::Expired);
    std::string upper = code;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    QCOMPARE(tokens.checkCode(upper, 1000, &read), AccessTokens::Check::Malformed);

    const std::string cookie = tokens.cookieFor(code);
    QVERIFY(cookie.rfind("pelorin_ftn=", 0) == 0);
    QVERIFY(tokens.cookieHeaderMatches("x=1;  " + cookie + " ;y=2", code));
    QVERIFY(!tokens.cookieHeaderMatches(cookie + "0", code));
    QVERIFY(!tokens.cookieHeaderMatches(other.cookieFor(code), code));
}

void LibraryPartsTest::videoFilesByExtension()
{
    using server::LibraryStore;
    for (const char *name : {"a.mp4", "b/C.MKV", "x.avi", "x.flv", "x.rmvb", "x.wmv", "x.mov", "x.ts", "x.webm", "x.m4v"})
        QVERIFY2(LibraryStore::isVideoName(name), name);
    for (const char *name : {"a.txt", "mp4", "a.mp4/readme", "a.mp4.part", "a.jpg", "a."})
        QVERIFY2(!LibraryStore::isVideoName(name), name);
    QCOMPARE(QByteArray(LibraryStore::contentTypeOf("Show/第1集.MKV")), QByteArray("video/x-matroska"));
    QCOMPARE(QByteArray(LibraryStore::contentTypeOf("a.ts")), QByteArray("video/mp2t"));
}

QTEST_GUILESS_MAIN(LibraryPartsTest)
#include "tst_LibraryParts.moc"
