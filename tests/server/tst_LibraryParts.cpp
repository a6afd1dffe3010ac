// The service's library pieces on their own: the bencode writer against the player's reader,
// torrent reading and building, piece verification, byte ranges and the access tokens.
#include "resources/protocol/BencodeReader.h"
#include "TestFiles.h"
#include "resources/protocol/ResourceInput.h"
#include "server/access/AccessTokens.h"
#include "server/fetch/BencodeWriter.h"
#include "server/store/LibraryStore.h"
#include "server/fetch/TorrentBuilder.h"
#include "server/fetch/TorrentMeta.h"
#include "server/http/ByteRange.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using server::AccessTokens;
using server::ByteRange;

namespace {
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
    QCOMPARE(encoded, QByteArray("d1:bi9007199254740993e4:infod5:alpha8:\x00\xff bytes4:listli0e0:6:\xe4\xb8\xad\xe6\x96\x87"
                                 "e4:zetai-42eee", 80));
    BencodeReader reader;
    QVERIFY(reader.parse(encoded));
    QCOMPARE(reader.infoBytes(), BencodeWriter::encode(QVariant::fromValue(inner)));
    QVERIFY(BencodeWriter::encode(QVariant(1.5)).isEmpty());
}

void LibraryPartsTest::torrentMetaReadsAndRefuses()
{
    Dictionary file;
    file.insert("length", qlonglong(40000));
    file.insert("path", QVariantList{QByteArray("Season 1"), u("第1集.mp4").toUtf8()});
    Dictionary info;
    info.insert("files", QVariantList{QVariant::fromValue(file)});
    info.insert("name", QByteArray("Show"));
    info.insert("piece length", qlonglong(16384));
    info.insert("pieces", QByteArray(3 * 20, 'p'));
    TorrentMeta meta;
    QString error;
    QVERIFY2(meta.parse(torrentWith(info), &error), qPrintable(error));
    QCOMPARE(meta.infoHash, resourceHashFromTorrentBytes(torrentWith(info)));
    QCOMPARE(meta.files[0].joinedPath, u("Season 1/第1集.mp4"));

    const auto refused = [&](const Dictionary &changed, const char *why) {
        TorrentMeta other;
        QString reason;
        QVERIFY2(!other.parse(torrentWith(changed), &reason) && !reason.isEmpty(), why);
    };
    for (const QByteArray &segment : {QByteArray(".."), QByteArray("a/b"), QByteArray("a\\b"), QByteArray(""), QByteArray("\xff\xfe")}) {
        Dictionary bad = file;
        bad.insert("path", QVariantList{segment});
        Dictionary changed = info;
        changed.insert("files", QVariantList{QVariant::fromValue(bad)});
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
    QString error;
    const QByteArray torrent = TorrentBuilder::build(folder, 16384, HashProgress(), &error);
    TorrentMeta meta;
    QVERIFY2(meta.parse(torrent, &error), qPrintable(error));
    QCOMPARE(meta.files[0].joinedPath, u("a/c.mkv"));
    // The pieces run across file boundaries, in list order.
    QCOMPARE(meta.pieceCount(), 7);
    QCOMPARE(meta.pieces.mid(20, 20), QCryptographicHash::hash(payload.mid(70000).append(payload.left(70000)).mid(16384, 16384),
                                                               QCryptographicHash::Sha1));
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
    // Beyond the codes the video host tests forge: the exact expiry, the letter case, file tokens
    // of another resource, cookies that match exactly.
    const AccessTokens tokens(std::string(32, 's'));
    const std::string fileHash = tokens.fileHash("abc", 3);
    const std::string jx = tokens.jxhash(17, 3, 1234, fileHash);
    QCOMPARE(tokens.fileOfJxhash(jx, 3, 1234, fileHash), int64_t(17));
    QCOMPARE(tokens.fileOfJxhash(jx, 3, 1234, tokens.fileHash("abd", 3)), int64_t(0));

    const std::string code = tokens.issueCode(AccessTokens::Grant{17, 5, 2000, 99});
    AccessTokens::Grant read;
    QCOMPARE(tokens.checkCode(code, 1999, &read), AccessTokens::Check::Valid);
    QCOMPARE(tokens.checkCode(code, 2000, &read), AccessTokens::Check::Expired);
    std::string upper = code;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    QCOMPARE(tokens.checkCode(upper, 1000, &read), AccessTokens::Check::Malformed);

    const std::string cookie = tokens.cookieFor(code);
    QVERIFY(tokens.cookieHeaderMatches("x=1;  " + cookie + " ;y=2", code));
    QVERIFY(!tokens.cookieHeaderMatches(cookie + "0", code));
}

void LibraryPartsTest::videoFilesByExtension()
{
    using server::LibraryStore;
    QVERIFY(LibraryStore::isVideoName("b/C.MKV"));
    for (const char *name : {"a.txt", "mp4", "a.mp4/readme", "a.mp4.part", "a."})
        QVERIFY2(!LibraryStore::isVideoName(name), name);
}

QTEST_GUILESS_MAIN(LibraryPartsTest)
#include "tst_LibraryParts.moc"
