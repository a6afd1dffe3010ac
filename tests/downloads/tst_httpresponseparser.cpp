#include "resources/HttpResponseParser.h"

#include <QtTest>

namespace {
struct Outcome
{
    HttpResponseParser::State state;
    int status = 0;
    QByteArray body;
};

// Feeds the answer in pieces of at most step bytes (0: all at once), then ends the connection
// when closed says so.
Outcome parse(const QByteArray &answer, int step, bool closed)
{
    QByteArray body;
    HttpResponseParser parser([&](const char *data, qint64 size) {
        body.append(data, int(size));
        return true;
    });
    const int piece = step > 0 ? step : int(answer.size());
    for (int at = 0; at < answer.size(); at += piece)
        parser.feed(answer.constData() + at, qMin<qint64>(piece, answer.size() - at));
    if (closed)
        parser.finish();
    return {parser.state(), parser.status(), body};
}

using State = HttpResponseParser::State;
} // namespace

class TestHttpResponseParser : public QObject
{
    Q_OBJECT

private slots:
    void bodiesInEveryFraming_data();
    void bodiesInEveryFraming();
    void malformedAnswersFail();
};

void TestHttpResponseParser::bodiesInEveryFraming_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("length, extra bytes after it ignored")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 11\r\ncontent-length: 11\r\n\r\nhello worldXYZ") << false
        << int(State::Done) << 200 << QByteArray("hello world");
    QTest::newRow("chunked with extension and trailer")
        << QByteArray("HTTP/1.1 206 Partial Content\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
                      "5;name=value\r\nhello\r\n1\r\n \r\n9\r\nworld\r\n\r\n\r\n0\r\nExpires: 0\r\n\r\n")
        << false << int(State::Done) << 206 << QByteArray("hello world\r\n\r\n");
    QTest::newRow("until the connection ends")
        << QByteArray("HTTP/1.0 200 OK\r\nX-Folded: a\r\n  b\r\n\r\nall of it") << true << int(State::Done) << 200
        << QByteArray("all of it");
    QTest::newRow("interim answer first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno")
        << false << int(State::Done) << 404 << QByteArray("no");
    QTest::newRow("empty bodies") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << int(State::Done)
                                  << 204 << QByteArray();
    QTest::newRow("cut short by length")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort") << true << int(State::Failed) << 200
        << QByteArray("short");
    QTest::newRow("cut short in a chunk")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel") << true << int(State::Failed)
        << 200 << QByteArray("hel");
    QTest::newRow("head not finished") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le") << true
                                       << int(State::Failed) << 0 << QByteArray();
}

void TestHttpResponseParser::bodiesInEveryFraming()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, closed);
    QFETCH(int, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    // However the connection splits it up, the answer reads the same.
    for (int step : {0, 1, 2, 3, 7}) {
        const Outcome out = parse(answer, step, closed);
        QVERIFY2(int(out.state) == state, qPrintable(QString::number(step)));
        QCOMPARE(out.status, status);
        QCOMPARE(out.body, body);
    }
}

void TestHttpResponseParser::malformedAnswersFail()
{
    const QList<QByteArray> answers = {
        "ICY 200 OK\r\n\r\n",
        "HTTP/1.1 2000 OK\r\n\r\n",
        "HTTP/1.1 101 Switching Protocols\r\n\r\n",
        "HTTP/1.1 200 OK\r\nno colon here\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
        "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray(5000, '0'),
        "HTTP/1.1 200 OK\r\nX: " + QByteArray(70000, 'x') + "\r\n\r\n"};
    for (const QByteArray &answer : answers)
        QVERIFY2(parse(answer, 0, false).state == State::Failed, answer.left(60).constData());

    // A sink that refuses (a full disk) stops the parser.
    HttpResponseParser refusing([](const char *, qint64) { return false; });
    const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody";
    QCOMPARE(refusing.feed(answer.constData(), answer.size()), State::Failed);
}

QTEST_APPLESS_MAIN(TestHttpResponseParser)
#include "tst_httpresponseparser.moc"
