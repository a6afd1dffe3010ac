// The service's library pieces on their own: the bencode writer against the player's reader,
// torrent reading and building, piece verification, byte ranges, the access tokens, and subtitle
// files matched to the videos of a resource by name, on file lists shaped like those of real film,
// series and anime resources, including names that must not match.
#include "resources/protocol/BencodeReader.h"
#include "TestFiles.h"
#include "resources/protocol/ResourceInput.h"
#include "server/access/AccessTokens.h"
#include "server/fetch/BencodeWriter.h"
#include "server/store/LibraryStore.h"
#include "server/fetch/TorrentBuilder.h"
#include "server/fetch/TorrentMeta.h"
#include "server/http/ByteRange.h"
#include "server/library/SubtitleMatch.h"

#include <QTemporaryDir>
#include <QtTest>

using server::AccessTokens;
using server::ByteRange;
using server::SubtitleMatch;

namespace {
QByteArray torrentWith(const Dictionary &info)
{
    Dictionary root;
    root.insert("announce", QByteArray("http://tracker.invalid/"));
    root.insert("info", QVariant::fromValue(info));
    return BencodeWriter::encode(QVariant::fromValue(root));
}

// "path" or "path|size"; a file's index is its position.
std::vector<SubtitleMatch::File> filesOf(const QStringList &list)
{
    std::vector<SubtitleMatch::File> files;
    for (const QString &item : list) {
        const QStringList parts = item.split(QLatin1Char('|'));
        files.push_back(
            {int(files.size()), parts.at(0).toStdString(), parts.size() > 1 ? parts.at(1).toLongLong() : 2000});
    }
    return files;
}

// "video<-subtitle:lang" (with "+sub" for a VobSub pair) in the reply's order, space-separated.
QString describe(const std::map<int, std::vector<SubtitleMatch::Subtitle>> &matches)
{
    QStringList out;
    for (const auto &entry : matches) {
        for (const SubtitleMatch::Subtitle &subtitle : entry.second) {
            QString text = QStringLiteral("%1<-%2:%3")
                               .arg(entry.first)
                               .arg(subtitle.index)
                               .arg(QString::fromStdString(subtitle.lang));
            if (subtitle.subIndex >= 0)
                text += QStringLiteral("+%1").arg(subtitle.subIndex);
            out.append(text);
        }
    }
    return out.join(QLatin1Char(' '));
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
    void subtitlesMatchByName_data();
    void subtitlesMatchByName();
    void subtitleLanguageFromName_data();
    void subtitleLanguageFromName();
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

void LibraryPartsTest::subtitlesMatchByName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, std::initializer_list<const char *> names, const char *expected) {
        QStringList files;
        for (const char *name : names)
            files.append(QString::fromUtf8(name));
        QTest::newRow(tag) << files << QString::fromUtf8(expected);
    };

    // Same stem first, then stem plus tags in name order; a tail that is no tag is no stem match.
    row("film with tagged subtitles",
        {"Film.2019.1080p.mkv", "Film.2019.1080p.chs.srt", "Film.2019.1080p.zh-CN.srt", "Film.2019.1080p.eng.srt",
         "Film.2019.1080p.简英.ass", "Film.2019.1080p.chs&eng.srt", "Film.2019.1080p.srt",
         "Film.2019.1080p.Forced.eng.srt"},
        "0<-6: 0<-7:eng 0<-5:chs 0<-1:chs 0<-3:eng 0<-2:chs 0<-4:chs");
    // The one video of a folder gets the subtitle folder's files; samples and trailers are extras.
    row("single video, Subs folder, sample",
        {"Movie.2010/Movie.2010.mkv", "Movie.2010/Subs/2_English.srt", "Movie.2010/Subs/3_Chinese.srt",
         "Movie.2010/Sample/movie.2010-sample.mkv", "Movie.2010/Movie.2010-trailer.mp4"},
        "0<-1:eng 0<-2:chs");
    row("series, episodes in subtitle folders",
        {"Show.S01/Show.S01E01.1080p.mkv", "Show.S01/Show.S01E02.1080p.mkv", "Show.S01/Subs/Show.S01E01.chs.ass",
         "Show.S01/Subs/Show.S01E02.chs.ass", "Show.S01/Subs/S01E02/2_English.srt", "Show.S01/字幕/第02集.简体.srt",
         "Show.S01/Subs/Show.S01E03.chs.ass"},
        "0<-2:chs 1<-4:eng 1<-3:chs 1<-5:chs");
    // An episode number alone fitting two seasons belongs to neither; with its season to one.
    row("two seasons",
        {"Season 1/Show.S01E02.mkv", "Season 2/Show.S02E02.mkv", "Subs/E02.srt", "Subs/Show.S02E02.srt",
         "Season 1/Subs/EP02.ass"},
        "0<-4: 1<-3:");
    // Another film of the pack, and a subtitle folder shared by two films, match nothing.
    row("film pack",
        {"Pack/Film A (2001).mkv", "Pack/Film B (2003).mkv", "Pack/Film A (2001).chs.srt", "Pack/Subs/English.srt",
         "Pack/Film C (2005).eng.srt"},
        "0<-2:chs");
    row("film folders",
        {"Films/A/A.1080p.mkv", "Films/B/B.720p.mkv", "Films/B/Subs/2_English.srt", "Films/Subs/A.1080p/3_Chinese.srt"},
        "0<-3:chs 1<-2:eng");
    row("anime",
        {"[Grp] Show - 01 [1080p].mkv", "[Grp] Show - 02 [1080p].mkv", "[Grp] Show - 02 [1080p].sc.ass",
         "[Grp] Show - 01.tc.ass", "[Grp][Other][03][1080P].mp4", "[Grp][Other][03].jp.ass", "[Grp] Show - 04.sc.ass"},
        "0<-3:cht 1<-2:chs 4<-5:jpn");
    row("chinese episode names",
        {"某剧/某剧.第01集.mp4", "某剧/某剧.第02集.mp4", "某剧/字幕/第二集.ass", "某剧/某剧.第1集.繁体.srt"},
        "0<-3:cht 1<-2:");
    // VobSub pairs; too large, empty and unknown files are no subtitles.
    row("vobsub, sizes, other files",
        {"Film.mkv", "Film.idx", "Film.sub", "Film.eng.srt|9000000", "Film.jpn.srt|0", "Film.txt", "Lone.sub",
         "Big.idx", "Big.sub|9000000"},
        "0<-1:+2");
    row("no video", {"Film.chs.srt", "Subs/2_English.srt"}, "");
}

void LibraryPartsTest::subtitlesMatchByName()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QCOMPARE(describe(SubtitleMatch::match(filesOf(files))), expected);
}

void LibraryPartsTest::subtitleLanguageFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("lang");
    const auto row = [](const char *name, const char *lang) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromLatin1(lang);
    };
    row("Film.zh-TW.srt", "cht");
    row("Film.zh_tw.srt", "cht");
    row("Film.zh-Hans.srt", "chs");
    row("Film.big5.srt", "cht");
    row("Film.繁體中文.srt", "cht");
    row("Film.简体中文.ass", "chs");
    row("Film.eng&chs.srt", "chs");
    row("Film.中英双语.ass", "chs");
    row("Film.繁英.ass", "cht");
    row("2_English.srt", "eng");
    row("Film.jp.srt", "jpn");
    row("Film.kor.srt", "kor");
    row("Film.french.srt", "fre");
    row("日出.srt", "");
    row("Film.Forced.srt", "");
}

void LibraryPartsTest::subtitleLanguageFromName()
{
    QFETCH(QString, name);
    QFETCH(QString, lang);
    QCOMPARE(QString::fromStdString(SubtitleMatch::languageOf(name.toStdString())), lang);
}

QTEST_GUILESS_MAIN(LibraryPartsTest)
#include "tst_LibraryParts.moc"
