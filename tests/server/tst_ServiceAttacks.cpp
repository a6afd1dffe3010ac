// Attacks on a started service from nothing but TCP connections, one family per test, each
// checking a bounded outcome: a figure, a refusal or an answer in time. Every client is on
// 127.0.0.0/8; several source addresses stand for several attackers.
#include "RawConnection.h"
#include "TestFiles.h"
#include "ServiceProcess.h"

#include "service/protocol/RequestSigner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {
qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch match = QRegularExpression(u("VmRSS:\\s+(\\d+) kB")).match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray())
{
    return RawConnection::get(target, extraHeaders);
}
constexpr auto statusOf = &RawConnection::statusOf;
constexpr auto bodyOf = &RawConnection::bodyOf;

QJsonObject envelopeOf(const QByteArray &reply)
{
    return QJsonDocument::fromJson(bodyOf(reply)).object();
}

QByteArray signedBody(const QStringList &parameters)
{
    return (parameters.join(QLatin1Char('&')) + u("&sign=") + RequestSigner::sign(parameters)).toUtf8();
}

QByteArray post(const QByteArray &body, const QByteArray &cookie = QByteArray())
{
    return "POST /server/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           + (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n")
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Sends `bytes` again and again until the peer stops taking them or `rounds` are out; the total sent.
qint64 flood(RawConnection &connection, const QByteArray &bytes, int rounds)
{
    qint64 total = 0;
    for (int i = 0; i < rounds; ++i) {
        qint64 sent = 0;
        const bool more = connection.send(bytes, 3000, &sent);
        total += sent;
        if (!more)
            break;
    }
    return total;
}

} // namespace

class ServiceAttacksTest : public QObject
{
    Q_OBJECT

private slots:
    void memoryStaysBoundedWhateverIsSent();
    void slowAndIdleClientsCannotStarveOthers();
    void parallelWrongPasswordsStayWithinTheLimit();
    void descriptorExhaustionBacksOffAndRecovers();
    void rangesOnlyWhereTheyMeanSomething();
    void aBurstWaitsInTheBacklog();
    void anonymousRequestsAreLimitedPerAddress();
};

void ServiceAttacksTest::memoryStaysBoundedWhateverIsSent()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet")}));
    const quint16 ports[] = {service.port(), RawConnection::portOf(service.videoHosts().value(0))};
    const qint64 before = residentKb(service.processId());
    QVERIFY(before > 0);
    // Endless header lines, to the service and to a video host: cut off long before they end.
    for (const quint16 port : ports) {
        RawConnection connection;
        QVERIFY(connection.open(port));
        const QByteArray lines = QByteArray("X-Filler: " + QByteArray(1000, 'b') + "\r\n").repeated(64);
        const qint64 total = flood(connection, lines, 3200); // up to 200 MB
        QVERIFY2(total < 64 * 1024 * 1024, qPrintable(QString::number(total)));
    }
    // Bodies: a declared size over the limit and a chunked body without end.
    const QByteArray declared = "POST /server/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1048576000\r\n\r\n";
    QCOMPARE(statusOf(RawConnection::exchange(service.port(), declared)), 413);
    RawConnection chunked;
    QVERIFY(chunked.open(service.port()));
    QVERIFY(chunked.send("POST /server/ HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const qint64 total = flood(chunked, "8000\r\n" + QByteArray(0x8000, 'c') + "\r\n", 32000); // up to 1000 MB
    QVERIFY2(total < 64 * 1024 * 1024, qPrintable(QString::number(total)));

    const qint64 after = residentKb(service.processId());
    QVERIFY2(after - before < 40 * 1024, qPrintable(QStringLiteral("%1 kB -> %2 kB").arg(before).arg(after)));
}

void ServiceAttacksTest::slowAndIdleClientsCannotStarveOthers()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet"), u("--threads"), u("4"), u("--head-timeout"), u("3"),
                           u("--connections-per-address"), u("20")}));
    const quint16 videoPort = RawConnection::portOf(service.videoHosts().value(0));
    // Twenty connections from one address trickle a header line every half second to the video
    // host; the twenty-first from that address is turned away.
    std::vector<std::unique_ptr<RawConnection>> trickling;
    for (int i = 0; i < 20; ++i) {
        trickling.push_back(std::make_unique<RawConnection>());
        QVERIFY(trickling.back()->open(videoPort, "127.0.0.3"));
        QVERIFY(trickling.back()->send(get("/server/?r=www").left(30)));
    }
    RawConnection extra;
    QVERIFY(extra.open(videoPort, "127.0.0.3"));
    QVERIFY(extra.send(get("/server/?r=www")));
    QCOMPARE(statusOf(extra.receiveReply()), 503);
    // And 150 idle connections to the service from ten more addresses: far more than the four workers.
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 150; ++i) {
        idle.push_back(std::make_unique<RawConnection>());
        QVERIFY(idle.back()->open(service.port(), ("127.0.1." + QByteArray::number(i % 10 + 1)).constData()));
    }

    QElapsedTimer timer;
    timer.start();
    bool answeredInTime = true;
    while (timer.elapsed() < 6000) {
        for (auto &connection : trickling) {
            if (connection->isOpen() && !connection->send("X-Slow: 1\r\n", 200))
                connection->close();
        }
        // Everybody else is answered at once meanwhile (generously: within three seconds).
        QElapsedTimer request;
        request.start();
        answeredInTime = answeredInTime && statusOf(RawConnection::exchange(service.port(), get("/server/?r=www"))) == 200
                         && statusOf(RawConnection::exchange(videoPort, get("/ftn_handler/00"))) == 403
                         && request.elapsed() < 3000;
        QTest::qWait(500);
    }
    QVERIFY(answeredInTime);
    // The head deadline (3 s) has ended every trickling connection.
    int cut = 0;
    for (auto &connection : trickling)
        cut += !connection->isOpen() || connection->closedByPeer(2000);
    QCOMPARE(cut, int(trickling.size()));
}

void ServiceAttacksTest::parallelWrongPasswordsStayWithinTheLimit()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet"), u("--address-login-limit"), u("1000")}));
    QCOMPARE(service.run({u("user"), u("add"), u("victim@pelorin.test"), u("right-password")}), 0);
    // Sixty wrong passwords at once, each on a connection of its own.
    std::vector<std::unique_ptr<RawConnection>> attempts;
    for (int i = 0; i < 60; ++i) {
        attempts.push_back(std::make_unique<RawConnection>());
        QVERIFY(attempts.back()->open(service.port()));
    }
    for (int i = 0; i < 60; ++i) {
        QVERIFY(attempts[size_t(i)]->send(post(signedBody({u("r=www/user/login"), u("do=login"),
                                                           u("f[username]=victim@pelorin.test"),
                                                           u("f[password]=guess-%1").arg(i), u("_s=pc")}))));
    }
    int evaluated = 0;
    int refused = 0;
    for (auto &attempt : attempts) {
        const int statu = envelopeOf(attempt->receiveReply(60000)).value(u("statu")).toInt(99);
        evaluated += statu == 0;
        refused += statu == -3;
    }
    QVERIFY2(evaluated <= 5, qPrintable(QString::number(evaluated)));
    QCOMPARE(evaluated + refused, 60);
}

void ServiceAttacksTest::descriptorExhaustionBacksOffAndRecovers()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet"), u("--connections-per-address"), u("100000")}));
    const qint64 pid = service.processId();
    // As if started with "ulimit -n 200".
    const rlimit low{200, 200};
    QCOMPARE(::prlimit(pid_t(pid), RLIMIT_NOFILE, &low, nullptr), 0);
    const quint16 ports[] = {RawConnection::portOf(service.videoHosts().value(0)), service.port()};

    std::vector<std::unique_ptr<RawConnection>> held;
    for (const quint16 port : ports) {
        for (int i = 0; i < 150; ++i) {
            held.push_back(std::make_unique<RawConnection>());
            QVERIFY(held.back()->open(port, "127.0.0.4"));
        }
    }
    // Out of descriptors, with connections still waiting: the service must not spin.
    QTest::qWait(500);
    const double cpuBefore = cpuSeconds(pid);
    QTest::qWait(2000);
    const double cpu = cpuSeconds(pid) - cpuBefore;
    QVERIFY2(cpu < 0.5, qPrintable(QString::number(cpu)));

    // Once the connections go, everybody is served again.
    held.clear();
    QElapsedTimer timer;
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(statusOf(RawConnection::exchange(ports[1], get("/server/?r=www"), "127.0.0.1", 3000)), 200,
                              10000);
    QTRY_COMPARE_WITH_TIMEOUT(statusOf(RawConnection::exchange(ports[0], get("/ftn_handler/00"), "127.0.0.1", 3000)), 403,
                              10000);
    QVERIFY(service.isRunning());
}

void ServiceAttacksTest::rangesOnlyWhereTheyMeanSomething()
{
    QTemporaryDir dir;
    ServiceProcess service(dir.path() + u("/data"));
    QVERIFY(service.start({u("--quiet")}));
    const QMap<QString, QByteArray> clip = service.addClip(dir.path() + u("/payload"), QByteArray(1024 * 1024, 'v'));
    const QByteArray target = clip.value(u("play")), withCookie = "Cookie: " + clip.value(u("cookie")) + "\r\n";
    QVERIFY(!target.isEmpty());
    QVERIFY(writeFile(service.dataDir() + u("/static/package.zip"), QByteArray(100000, 'p')));
    const quint16 port = service.port();

    // JSON and pages ignore Range: no truncation, no multipart amplification.
    QByteArray reply = RawConnection::exchange(port, get("/server/?r=www/default/pc&do=getConfig&cfg=gonggao&_s=pc",
                                                         "Range: bytes=0-10\r\n"));
    QCOMPARE(envelopeOf(reply).value(u("statu")).toInt(), 1);
    const QByteArray many = "Range: bytes=" + QByteArray("0-,").repeated(2700) + "0-\r\n";
    reply = RawConnection::exchange(port, get("/server/?r=www", many));
    QCOMPARE(statusOf(reply), 200);
    QVERIFY2(reply.size() < 64 * 1024, qPrintable(QString::number(reply.size())));
    // Static files and video hosts: many ranges get the file once.
    reply = RawConnection::exchange(port, get("/server/static/package.zip", many));
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(bodyOf(reply).size(), 100000);
    const quint16 video = RawConnection::portOf(service.videoHosts().value(0));
    reply = RawConnection::exchange(video, get(target, withCookie + many));
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(bodyOf(reply).size(), 1024 * 1024);
    // A range for another version of the file gets the whole file.
    reply = RawConnection::exchange(video, get(target, withCookie + "Range: bytes=0-99\r\nIf-Range: \"other\"\r\n"));
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(bodyOf(reply).size(), 1024 * 1024);
}

void ServiceAttacksTest::aBurstWaitsInTheBacklog()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet")}));
    const qint64 pid = service.processId();
    const quint16 port = service.port();
    // While the service is stopped, 300 clients connect at once: the kernel must queue them all.
    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
    std::vector<std::unique_ptr<RawConnection>> burst;
    for (int i = 0; i < 300; ++i) {
        // Thirty clients on each of ten addresses, within the limit per address.
        const QByteArray from = "127.0.2." + QByteArray::number(i % 10 + 1);
        burst.push_back(std::make_unique<RawConnection>());
        QVERIFY(burst.back()->openWithoutWaiting(port, from.constData()));
    }
    const auto queued = [port] {
        QProcess ss;
        ss.start(u("ss"), {u("-Hltn"), u("sport = :%1").arg(port)});
        ss.waitForFinished(5000);
        const QList<QByteArray> fields = ss.readAllStandardOutput().simplified().split(' ');
        return fields.size() >= 3 ? fields[1].toInt() : -1; // Recv-Q of a listener: its accept queue
    };
    QTRY_COMPARE_WITH_TIMEOUT(queued(), 300, 10000);
    QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
    int answered = 0;
    for (auto &connection : burst)
        answered += connection->send(get("/server/?r=www/default/pc&do=getConfig&cfg=gonggao&_s=pc"))
                    && statusOf(connection->receiveReply(20000)) == 200;
    QCOMPARE(answered, 300);
}

void ServiceAttacksTest::anonymousRequestsAreLimitedPerAddress()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--quiet"), u("--test-captcha"), u("ABCD")}));
    const quint16 port = service.port();
    // How many of `tries` requests from one address the service answers with success.
    const auto accepted = [port](int tries, const std::function<QByteArray(int)> &request) {
        int count = 0;
        for (int i = 0; i < tries; ++i)
            count += envelopeOf(RawConnection::exchange(port, request(i))).value(u("statu")).toInt() == 1;
        return count;
    };
    // Sign-ups: five accounts an hour from one address, each with its own captcha.
    QCOMPARE(accepted(7, [port](int i) {
                 const QByteArray captcha = RawConnection::exchange(port, get("/server/?r=default/verfy&_=1&_s=pc"));
                 const QByteArray session = RawConnection::headerOf(captcha, "Set-Cookie").split(';').value(0);
                 return post(signedBody({u("r=www/user/register"), u("do=register_new"), u("f[code]=ABCD"),
                                         u("f[username]=script%1@pelorin.test").arg(i), u("f[password]=password1"),
                                         u("f[repassword]=password1"), u("union_uid=0"), u("_s=pc")}),
                             session);
             }),
             5);
    // Captchas: thirty a minute (seven taken above).
    int pictures = 0;
    for (int i = 0; i < 30; ++i)
        pictures += statusOf(RawConnection::exchange(port, get("/server/?r=default/verfy&_=1&_s=pc"))) == 200;
    QCOMPARE(pictures, 23);
    // Reports: twenty an hour; password mails, known address or not: five an hour.
    QCOMPARE(accepted(30, [](int i) { return post("r=www/default/pc&do=report&method=add&name=n" + QByteArray::number(i) + "&desc=x"); }),
             20);
    QCOMPARE(accepted(7, [](int i) {
                 return post("r=www/user/forgetpwd&do=forgetpwd&f[username]=other" + QByteArray::number(i) + "@pelorin.test&_s=pc");
             }),
             5);
}

QTEST_GUILESS_MAIN(ServiceAttacksTest)
#include "tst_ServiceAttacks.moc"
