// The service's pieces on their own: parameter splitting and decoding, signatures, the rate
// limiter, captcha pictures, e-mail and password rules, schema upgrades.
#include "server/store/AccountStore.h"
#include "server/access/Captcha.h"
#include "server/store/sqlite/SqliteDatabase.h"
#include "server/store/RateLimiter.h"
#include "server/http/ParameterText.h"
#include "server/http/RequestFraming.h"
#include "server/http/RequestParameters.h"

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

QTEST_GUILESS_MAIN(ServicePartsTest)
#include "tst_ServiceParts.moc"
