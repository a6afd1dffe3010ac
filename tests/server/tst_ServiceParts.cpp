// The service's pieces on their own: parameter splitting and decoding, signatures, the rate limiter,
// captcha pictures, e-mail and password rules, schema upgrades, the bencode writer against the
// player's reader, torrents read and built, byte ranges, the access tokens, and subtitle files matched
// to videos by name on file lists shaped like real film, series and anime resources.
#include "TestFiles.h"
#include "resources/protocol/BencodeReader.h"
#include "resources/protocol/ResourceInput.h"
#include "server/access/AccessTokens.h"
#include "server/access/Captcha.h"
#include "server/fetch/BencodeWriter.h"
#include "server/fetch/TorrentBuilder.h"
#include "server/fetch/TorrentMeta.h"
#include "server/http/ByteRange.h"
#include "server/http/ParameterText.h"
#include "server/http/RequestFraming.h"
#include "server/http/RequestParameters.h"
#include "server/library/SubtitleMatch.h"
#include "server/store/AccountStore.h"
#include "server/store/LibraryStore.h"
#include "server/store/RateLimiter.h"
#include "server/store/sqlite/SqliteDatabase.h"

#include "service/protocol/RequestSigner.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sodium.h>

using namespace server;

namespace {
// The template matcher an attacker builds from the service's own font: dark pixels, four letters
// (by the gaps between them, else by quarters), each cut to its box, sampled as 5 x 7 cells and
// compared with every glyph.
std::string readWithTemplates(const std::string &rgb, int width, int height)
{
    const auto dark = [&](int x, int y) {
        const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 3;
        const int luminance = (299 * static_cast<unsigned char>(rgb[at]) + 587 * static_cast<unsigned char>(rgb[at + 1])
                               + 114 * static_cast<unsigned char>(rgb[at + 2])) / 1000;
        return luminance < 150;
    };
    std::vector<int> inkPerColumn(size_t(width), 0);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            inkPerColumn[size_t(x)] += dark(x, y);
    std::vector<std::pair<int, int>> spans; // runs of columns with ink
    for (int x = 0; x < width; ++x) {
        if (inkPerColumn[size_t(x)] > 0 && (spans.empty() || spans.back().second != x - 1))
            spans.push_back({x, x});
        else if (inkPerColumn[size_t(x)] > 0)
            spans.back().second = x;
    }
    if (spans.empty())
        return std::string();
    if (spans.size() != 4) {
        const int first = spans.front().first, span = spans.back().second - first + 1;
        spans.clear();
        for (int i = 0; i < 4; ++i)
            spans.push_back({first + i * span / 4, first + (i + 1) * span / 4 - 1});
    }
    std::string text;
    for (const auto &span : spans) {
        int top = height, bottom = -1;
        for (int x = span.first; x <= span.second; ++x)
            for (int y = 0; y < height; ++y)
                if (dark(x, y)) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        if (bottom < top)
            return text;
        char cells[7][5];
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 5; ++column) {
                const int x0 = span.first + (span.second - span.first + 1) * column / 5;
                const int x1 = span.first + (span.second - span.first + 1) * (column + 1) / 5;
                const int y0 = top + (bottom - top + 1) * row / 7, y1 = top + (bottom - top + 1) * (row + 1) / 7;
                int ink = 0, all = 0;
                for (int y = y0; y < std::max(y1, y0 + 1); ++y)
                    for (int x = x0; x < std::max(x1, x0 + 1); ++x, ++all)
                        ink += dark(x, y);
                cells[row][column] = ink * 3 > all ? '#' : '.';
            }
        }
        char best = '?';
        int bestScore = -1;
        for (const char letter : std::string("ABCDEFGHJKMNPQRSTUVWXYZ23456789")) {
            const char *const *rows = Captcha::glyphRows(letter);
            int score = 0;
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column)
                    score += rows[row][column] == cells[row][column];
            if (score > bestScore) {
                bestScore = score;
                best = letter;
            }
        }
        text += best;
    }
    return text;
}

// The font drawn plainly, three pixels a cell, as the matcher expects it.
std::string plainPicture(const std::string &text, int width, int height)
{
    std::string rgb(size_t(width) * size_t(height) * 3, char(240));
    for (size_t i = 0; i < text.size(); ++i) {
        const char *const *rows = Captcha::glyphRows(text[i]);
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < 5; ++column)
                for (int d = 0; rows[row][column] == '#' && d < 9; ++d) {
                    const int x = 6 + int(i) * 24 + column * 3 + d % 3, y = 6 + row * 3 + d / 3;
                    std::fill_n(rgb.begin() + long((size_t(y) * size_t(width) + size_t(x)) * 3), 3, char(30));
                }
    }
    return rgb;
}

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

class ServicePartsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }
    void parametersSplitLikeThePlayerBuildsThem();
    void rateLimiterWindow();
    void requestFramingFindsTheEnd();
    void captchaPictures();
    void captchaDefeatsATemplateMatcher();
    void accountRules();
    void schemaUpgradesStepByStep();
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

void ServicePartsTest::parametersSplitLikeThePlayerBuildsThem()
{
    // GET: %XX decoded, "+" kept; the first "=" splits; later keys do not replace earlier ones.
    RequestParameters get = RequestParameters::fromQuery("r=www/default/pc&name=a+b%20c%2B%E4%B8%AD&x==y=&k&name=second&bad=%G1%4");
    QCOMPARE(get.value("name"), std::string("a+b c+\xE4\xB8\xAD"));
    QCOMPARE(get.value("x"), std::string("=y="));
    QVERIFY(get.has("k"));
    QCOMPARE(get.value("bad"), std::string("%G1%4"));
    QCOMPARE(get.elements().size(), size_t(6));
    QCOMPARE(RequestParameters::fromQuery("a=1&").elements().size(), size_t(2));

    // A GET's encoded name is signed decoded, wherever the sign stands.
    const QStringList parameters = {QStringLiteral("r=x"), QString::fromUtf8("f[username]=中 文"), QStringLiteral("p=p+%41")};
    const std::string sign = RequestSigner::sign(parameters).toStdString();
    QVERIFY(RequestParameters::fromQuery("r=x&sign=" + sign + "&f[username]=%E4%B8%AD%20%E6%96%87&p=p+%2541").signatureMatches());

    QVERIFY(isValidUtf8("plain \xE4\xB8\xAD \xF0\x9F\x98\x80"));
    // Not UTF-8: a stray byte, an overlong "/", a surrogate, cut short, beyond Unicode.
    for (const char *bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xE4\xB8", "\xF4\x90\x80\x80"})
        QVERIFY2(!isValidUtf8(bad), QByteArray(bad).toHex().constData());

    // Numbers: the limit holds for one digit too, and a number past 64 bits is refused, not clamped.
    int64_t value = -1;
    QVERIFY(ParameterText::number("9223372036854775807", INT64_MAX, &value) && value == INT64_MAX);
    QVERIFY(ParameterText::number("300", 300, &value) && value == 300);
    QVERIFY(!ParameterText::number("9999999999999999999", INT64_MAX, &value));
    QVERIFY(!ParameterText::number("5", 3, &value));
    for (const char *bad : {"301", "", "-1", "+1", "1 ", "0x1"})
        QVERIFY2(!ParameterText::number(bad, 300, &value), bad);
    QCOMPARE(value, int64_t(300));
}

void ServicePartsTest::rateLimiterWindow()
{
    RateLimiter limiter(3, 60000);
    for (int i = 0; i < 3; ++i)
        limiter.record("a", 1000 + i);
    QVERIFY(limiter.isBlocked("a", 2000));
    QVERIFY(!limiter.isBlocked("b", 2000));
    QCOMPARE(limiter.retryAfterMs("a", 2000), int64_t(59000));
    QVERIFY(limiter.isBlocked("a", 60999));
    QVERIFY(!limiter.isBlocked("a", 61000));
}

void ServicePartsTest::requestFramingFindsTheEnd()
{
    using State = RequestFraming::State;
    const std::string chunked = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        std::string bytes;
        State state;
        size_t length;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\nGET /next", State::Complete, 27},
        {"GET / HTTP/1.1\r\nX: " + std::string(140, 'a'), State::HeadTooLarge, 0},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nab", State::Incomplete, 0},
        {"POST / HTTP/1.1\r\ncontent-length: 33\r\n\r\n", State::BodyTooLarge, 0},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", State::Bad, 0},
        // Both framings at once, or a coding that cannot be framed, are refused.
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n", State::Bad, 0},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", State::Unsupported, 0},
        // Chunked: extensions and trailers; the sizes count against the body limit.
        {chunked + "3;x=y\r\nabc\r\n0\r\nT: 1\r\n\r\nnext", State::Complete, chunked.size() + 23},
        {chunked + "10\r\n" + std::string(16, 'a') + "\r\n11\r\n", State::BodyTooLarge, 0},
        {chunked + "ffffffffffff\r\n", State::BodyTooLarge, 0},
        {chunked + "3\r\nabcXY", State::Bad, 0},
    };
    for (const auto &entry : cases) {
        RequestFraming framing(128, 32);
        QCOMPARE(framing.scan(entry.bytes), entry.state);
        if (entry.state == State::Complete)
            QCOMPARE(framing.requestLength(), entry.length);
    }
}

void ServicePartsTest::captchaPictures()
{
    // The same text never gives the same picture twice; an empty answer never matches.
    const std::string text = Captcha::randomText();
    QVERIFY(Captcha::render(text) != Captcha::render(text));
    QVERIFY(Captcha::matches("K7MW", "k7mw"));
    QVERIFY(!Captcha::matches("K7MW", "K7M"));
    QVERIFY(!Captcha::matches("", ""));
    // A 1x1 picture has the exact layout of the format.
    const std::string tiny = encodePng(1, 1, std::string("\x01\x02\x03", 3));
    QCOMPARE(tiny.substr(12, 4), std::string("IHDR"));
    QCOMPARE(tiny.substr(tiny.size() - 12), std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
}

void ServicePartsTest::captchaDefeatsATemplateMatcher()
{
    // The matcher works: it reads the font drawn plainly.
    int plainReads = 0;
    for (int i = 0; i < 50; ++i) {
        const std::string text = Captcha::randomText();
        plainReads += readWithTemplates(plainPicture(text, Captcha::kWidth, Captcha::kHeight), Captcha::kWidth,
                                        Captcha::kHeight)
                      == text;
    }
    QVERIFY2(plainReads >= 45, qPrintable(QString::number(plainReads)));
    // It reads fewer than 1 in 10 of the service's pictures.
    int reads = 0;
    int letters = 0;
    const int pictures = 200;
    for (int i = 0; i < pictures; ++i) {
        const std::string text = Captcha::randomText();
        const std::string rgb = Captcha::draw(text);
        QCOMPARE(rgb.size(), size_t(Captcha::kWidth) * Captcha::kHeight * 3);
        const std::string read = readWithTemplates(rgb, Captcha::kWidth, Captcha::kHeight);
        reads += read == text;
        for (size_t k = 0; k < read.size() && k < text.size(); ++k)
            letters += read[k] == text[k];
    }
    qInfo("template matcher: %d of %d pictures, %d of %d letters", reads, pictures, letters, 4 * pictures);
    QVERIFY2(reads * 10 < pictures, qPrintable(QString::number(reads)));
}

void ServicePartsTest::accountRules()
{
    QVERIFY(AccountStore::isEmailShape("first.last+tag@mail.example.org"));
    for (const char *bad : {"two@@example.org", "blank @example.org", "a@nodot", "a@b..cn", "x'@b.cn"})
        QVERIFY2(!AccountStore::isEmailShape(bad), bad);
    QVERIFY(!AccountStore::isAcceptablePassword("five5"));
    QVERIFY(!AccountStore::isAcceptablePassword(std::string(65, 'a')));

    Account account;
    account.vip = true;
    account.vipUntil = 5000;
    QVERIFY(account.isVip(4999));
    QVERIFY(!account.isVip(5000));
    // (Mailed passwords and the sessions' ids, cookies and captchas: the back-end test, on both.)
}

void ServicePartsTest::schemaUpgradesStepByStep()
{
    // (Reopening keeps the data: the protocol test restarts its service.)
    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/u.db")).toStdString();
    std::string error;
    {
        SqliteDatabase database(path);
        QVERIFY(database.open(&error));
        QCOMPARE(database.schemaVersion(), int(SqliteDatabase::schemaSteps().size()));
        QVERIFY(database.lease().execute("PRAGMA user_version=99"));
    }
    // A database from a newer service is not touched.
    SqliteDatabase newer(path);
    QVERIFY(!newer.open(&error));
    QVERIFY(error.find("newer") != std::string::npos);
}

void ServicePartsTest::bencodeWriterRoundTripsThroughTheReader()
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

void ServicePartsTest::torrentMetaReadsAndRefuses()
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

    // The info dictionary with `changes` made is refused, with a reason.
    const auto refused = [&](const Dictionary &changes, const char *why) {
        Dictionary changed = info;
        for (auto change = changes.cbegin(); change != changes.cend(); ++change)
            changed.insert(change.key(), change.value());
        TorrentMeta other;
        QString reason;
        QVERIFY2(!other.parse(torrentWith(changed), &reason) && !reason.isEmpty(), why);
    };
    for (const QByteArray &segment : {QByteArray(".."), QByteArray("a/b"), QByteArray("a\\b"), QByteArray(""), QByteArray("\xff\xfe")}) {
        Dictionary bad = file;
        bad.insert("path", QVariantList{segment});
        refused({{"files", QVariantList{QVariant::fromValue(bad)}}}, segment.constData());
    }
    refused({{"pieces", QByteArray(2 * 20, 'p')}}, "too few pieces");
    refused({{"name", QByteArray("..")}}, "name");
    refused({{"piece length", qlonglong(0)}}, "piece length");
    const QVariantList twice{QVariant::fromValue(file), QVariant::fromValue(file)};
    refused({{"files", twice}, {"pieces", QByteArray(5 * 20, 'p')}}, "twice");
    QVERIFY(!meta.parse("not bencode", &error));
}

// (A payload of the wrong length, and the same torrent from the same files: the library tests.)
void ServicePartsTest::builtTorrentsHashAcrossFiles()
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

void ServicePartsTest::rangesFollowHttp()
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

void ServicePartsTest::tokensBindWhatTheyName()
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

void ServicePartsTest::videoFilesByExtension()
{
    QVERIFY(LibraryStore::isVideoName("b/C.MKV"));
    for (const char *name : {"a.txt", "mp4", "a.mp4/readme", "a.mp4.part", "a."})
        QVERIFY2(!LibraryStore::isVideoName(name), name);
}

void ServicePartsTest::subtitlesMatchByName_data()
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

void ServicePartsTest::subtitlesMatchByName()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QCOMPARE(describe(SubtitleMatch::match(filesOf(files))), expected);
}

void ServicePartsTest::subtitleLanguageFromName_data()
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

void ServicePartsTest::subtitleLanguageFromName()
{
    QFETCH(QString, name);
    QFETCH(QString, lang);
    QCOMPARE(QString::fromStdString(SubtitleMatch::languageOf(name.toStdString())), lang);
}

QTEST_GUILESS_MAIN(ServicePartsTest)
#include "tst_ServiceParts.moc"
