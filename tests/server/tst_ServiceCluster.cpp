// The deployment in server/deploy/: nginx in front of the service, sending library files itself
// after the service has checked each code; several service instances on one PostgreSQL database,
// where what one instance does is seen by the other and losing one under load loses no
// acknowledged write. The database is a cluster the test starts; nginx (the Debian package) and the
// instances listen on 127.0.0.1 only.
#include "NginxFront.h"
#include "PostgresCluster.h"
#include "TestFiles.h"
#include "RawConnection.h"
#include "ServiceProcess.h"

#include "resources/AddressResolution.h"
#include "resources/BTResourceFile.h"
#include "service/Endpoints.h"
#include "service/ServiceReply.h"
#include "service/protocol/RequestSigner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <atomic>
#include <map>
#include <set>
#include <signal.h>
#include <sqlite3.h>
#include <thread>

namespace {
QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray())
{
    return RawConnection::get(target, "Connection: close\r\n" + extraHeaders);
}
constexpr auto statusOf = &RawConnection::statusOf;
constexpr auto bodyOf = &RawConnection::bodyOf;

// The player's requests over plain sockets, so that several run at once on threads of their own;
// signed and encoded as the player's service channel does, with one session cookie.
class PlayerChannel
{
public:
    explicit PlayerChannel(quint16 port) : m_port(port) {}

    // The reply's JSON, or an empty object when no HTTP reply with JSON came (*status says which).
    QJsonObject call(const ServiceRequest &request, int *status = nullptr)
    {
        QStringList parameters = request.parameters;
        const QString signature = RequestSigner::sign(parameters);
        for (QString &parameter : parameters) {
            if (parameter.startsWith(u("name=")))
                parameter = u("name=") + QString::fromLatin1(QUrl::toPercentEncoding(parameter.mid(5)));
        }
        QString query = parameters.join(QLatin1Char('&'));
        if (request.isSigned)
            query += u("&sign=") + signature;
        QByteArray head = "Host: 127.0.0.1\r\nConnection: close\r\nUser-Agent: SN 00:00:00:00:00:00/Linux Pelorin 5.0.8.0\r\n"
                          "X-Requested-With: XMLHttpRequest\r\n";
        if (!m_cookie.isEmpty())
            head += "Cookie: " + m_cookie + "\r\n";
        const QByteArray bytes = request.method == Get
                                     ? "GET /server/?" + query.toUtf8() + " HTTP/1.1\r\n" + head + "\r\n"
                                     : "POST /server/ HTTP/1.1\r\n" + head
                                           + "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                                           + QByteArray::number(query.toUtf8().size()) + "\r\n\r\n" + query.toUtf8();
        const QByteArray reply = RawConnection::exchange(m_port, bytes, "127.0.0.1", 15000);
        if (status)
            *status = statusOf(reply);
        const QByteArray cookie = RawConnection::headerOf(reply, "Set-Cookie");
        if (m_cookie.isEmpty() && !cookie.isEmpty())
            m_cookie = cookie.left(cookie.indexOf(';'));
        return QJsonDocument::fromJson(bodyOf(reply)).object();
    }
    static bool ok(const QJsonObject &reply) { return reply.value(u("statu")).toInt() == 1; }

    // The two address steps of a library file; the code's play address path and cookie.
    bool resolve(const QString &hash, QByteArray *path, QByteArray *cookie, QString *host = nullptr)
    {
        BTResourceFile file;
        file.resourceHash = hash;
        file.fileName = u("clip.mp4");
        const QJsonObject step = call(Endpoints::fileHash(file, u("00:00:00:00:00:00")));
        AddressResolution::applyFileHash(&file, ServiceReply::envelope(step.toVariantMap()));
        const QJsonObject info = call(Endpoints::fileInfo(file, 0, false, u("00:00:00:00:00:00")));
        const QString field = AddressResolution::applyFileInfo(&file, ServiceReply::envelope(info.toVariantMap()));
        *path = "/ftn_handler/" + file.code.toUtf8();
        *cookie = file.comCookie.toUtf8();
        if (host)
            *host = field;
        return ok(step) && !cookie->isEmpty() && !file.code.isEmpty();
    }

private:
    quint16 m_port;
    QByteArray m_cookie;
};

} // namespace

class ServiceClusterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nginxServesFilesTheServiceAllows();
    void instancesShareTheLogInLimit();
    void losingAnInstanceUnderLoadLosesNoAcknowledgedWrite();

private:
    QTemporaryDir m_dir;
    PostgresCluster m_cluster;
    NginxFront m_nginx;
};

void ServiceClusterTest::initTestCase()
{
    // Without the server binaries only the front's case runs.
    QString problem;
    QVERIFY2(PostgresCluster::binDir().isEmpty() || m_cluster.start(&problem), qPrintable(problem));
}

void ServiceClusterTest::cleanupTestCase()
{
    m_nginx.stop();
    m_cluster.stop();
}

void ServiceClusterTest::nginxServesFilesTheServiceAllows()
{
    if (!NginxFront::available())
        QSKIP("nginx is not installed (tools/deps installs nginx-light)");
    ServiceProcess service(m_dir.path() + u("/front"));
    QVERIFY(service.start({u("--trusted-proxy"), u("127.0.0.1"), u("--accel-redirect"), u("--no-video-hosts")}));

    // A library file with a blank and Chinese letters in its path, and a code for it.
    const QString payload = m_dir.path() + u("/payload 片");
    const QByteArray clip = patterned(300000);
    const QMap<QString, QByteArray> printed = service.addClip(payload, clip);
    const QByteArray play = printed.value(u("play"));
    const QByteArray download = printed.value(u("download"));
    const QByteArray cookie = "Cookie: " + printed.value(u("cookie")) + "\r\n";
    QVERIFY(!play.isEmpty() && !download.isEmpty());

    // The shipped configuration, on this test's ports.
    const quint16 front = RawConnection::freePort();
    const quint16 video = RawConnection::freePort();
    QVERIFY(m_nginx.start(m_dir.path() + u("/front-nginx"), {service.hostPort()}, front, video));

    // The player's requests pass through; the service sees the client behind the front.
    QByteArray reply;
    const QByteArray config = RawConnection::exchange(front, get("/server/?r=www/default/pc&do=getConfig&cfg=gonggao&_s=pc"));
    QCOMPARE(QJsonDocument::fromJson(bodyOf(config)).object().value(u("statu")).toInt(), 1);
    const QByteArray report = "r=www/default/pc&do=report&method=add&name=n&desc=x";
    reply = RawConnection::exchange(front, "POST /server/ HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                                               + QByteArray::number(report.size()) + "\r\n\r\n" + report,
                                    "127.0.0.7");
    QCOMPARE(QJsonDocument::fromJson(bodyOf(reply)).object().value(u("statu")).toInt(), 1);
    sqlite3 *database = nullptr;
    QCOMPARE(sqlite3_open_v2((service.dataDir() + u("/service.db")).toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    sqlite3_stmt *select = nullptr;
    QCOMPARE(sqlite3_prepare_v2(database, "SELECT address FROM reports", -1, &select, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(select), SQLITE_ROW);
    const QByteArray address = reinterpret_cast<const char *>(sqlite3_column_text(select, 0));
    sqlite3_finalize(select);
    sqlite3_close(database);
    QCOMPARE(address, QByteArray("127.0.0.7"));

    // Files come from nginx once the service has said yes: ranges, 416, the download form.
    reply = RawConnection::exchange(video, get(play, cookie + "Range: bytes=1000-1099\r\n"));
    QCOMPARE(statusOf(reply), 206);
    QCOMPARE(bodyOf(reply), clip.mid(1000, 100));
    QVERIFY(reply.contains("Content-Type: video/mp4"));
    QCOMPARE(statusOf(RawConnection::exchange(video, get(play, cookie + "Range: bytes=300000-\r\n"))), 416);
    reply = RawConnection::exchange(video, get(download));
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(bodyOf(reply), clip);
    // Without the cookie, with a forged code, or anywhere else: refused.
    QCOMPARE(statusOf(RawConnection::exchange(video, get(play))), 403);
    QByteArray forged = play;
    forged[20] = forged[20] == '0' ? '1' : '0';
    QCOMPARE(statusOf(RawConnection::exchange(video, get(forged, cookie))), 403);
    QCOMPARE(statusOf(RawConnection::exchange(video, get("/_pelorin_files" + payload.toUtf8().toPercentEncoding("/") + "/clip.mp4"))), 404);
    // The check address through the service's own front location never leads to a file.
    reply = RawConnection::exchange(front, get("/server/accel" + play, cookie));
    QVERIFY(!reply.toLower().contains("x-accel-redirect"));
    QVERIFY(bodyOf(reply).size() < 100);
    QVERIFY(service.log().contains("GET accel:video:play http=200"));
    m_nginx.stop();
}

void ServiceClusterTest::instancesShareTheLogInLimit()
{
    if (!m_cluster.isRunning())
        QSKIP("PostgreSQL's server binaries are not installed (tools/deps installs postgresql-15)");
    const QString url = m_cluster.createDatabase(u("shared"));
    QVERIFY(!url.isEmpty());
    ServiceProcess one(m_dir.path() + u("/one")), two(m_dir.path() + u("/two"));
    one.setDatabase(url);
    two.setDatabase(url);
    QVERIFY(one.start() && two.start());
    QCOMPARE(one.run({u("user"), u("add"), u("a@pelorin.test"), u("secret-a"), u("--vip")}), 0);

    // Wrong passwords in parallel over both instances are evaluated at most the limit's 5 times.
    std::atomic<int> evaluated{0}, limited{0};
    std::vector<std::thread> attempts;
    for (int i = 0; i < 14; ++i)
        attempts.emplace_back([&, i] {
            PlayerChannel attacker(i % 2 ? one.port() : two.port());
            const QJsonObject reply = attacker.call(Endpoints::login(u("a@pelorin.test"), u("wrong-password")));
            const int statu = reply.value(u("statu")).toInt();
            evaluated += statu == 0;
            limited += statu == -3;
        });
    for (auto &attempt : attempts)
        attempt.join();
    QVERIFY2(evaluated.load() <= 5, qPrintable(QString::number(evaluated.load())));
    QCOMPARE(evaluated.load() + limited.load(), 14);

    // Sessions bound and codes minted by one instance that hold on the other: the load test.
}

void ServiceClusterTest::losingAnInstanceUnderLoadLosesNoAcknowledgedWrite()
{
    if (!NginxFront::available() || !m_cluster.isRunning())
        QSKIP("nginx or PostgreSQL's server binaries are not installed (tools/deps installs them)");
    const QString url = m_cluster.createDatabase(u("load"));
    QVERIFY(!url.isEmpty());
    const QStringList behindFront = {u("--trusted-proxy"), u("127.0.0.1"), u("--accel-redirect"), u("--no-video-hosts"),
                                     u("--connections-per-address"), u("1024"), u("--quiet")};
    ServiceProcess one(m_dir.path() + u("/load-one")), two(m_dir.path() + u("/load-two"));
    one.setDatabase(url);
    two.setDatabase(url);
    QVERIFY(one.start(behindFront) && two.start(behindFront));
    const quint16 front = RawConnection::freePort(), video = RawConnection::freePort();
    QVERIFY(m_nginx.start(m_dir.path() + u("/nginx"), {one.hostPort(), two.hostPort()}, front, video));
    const QString hosts = m_dir.path() + u("/hosts.json");
    QVERIFY(writeFile(hosts, "[\"127.0.0.1:" + QByteArray::number(video) + "\"]"));
    QCOMPARE(one.run({u("config"), u("set"), u("video_hosts.json"), hosts}), 0);
    const QByteArray clip = patterned(1 << 20);
    QVERIFY(!one.addClip(m_dir.path() + u("/load-payload"), clip).isEmpty());
    QByteArray listed;
    QCOMPARE(one.run({u("library"), u("list")}, &listed), 0);
    const QString resource = QString::fromLatin1(listed.left(40));
    constexpr int kClients = 4;
    for (int i = 0; i < kClients; ++i)
        QCOMPARE(one.run({u("user"), u("add"), u("load%1@pelorin.test").arg(i), u("password%1").arg(i), u("--vip")}), 0);

    // Each client logs in, collects and removes entries, lists files, resolves and reads ranges,
    // for about 30 s; one instance is killed at mid-time.
    QMutex mutex;
    std::map<QString, int> failures;   // by kind
    std::map<QString, int> requests;   // by kind
    std::vector<std::set<int>> kept(kClients), removed(kClients); // acknowledged writes
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> killedAt{-1}, lastFailureAt{-1};
    const auto count = [&](const QString &kind, bool ok) {
        QMutexLocker lock(&mutex);
        ++requests[kind];
        if (!ok) {
            ++failures[kind];
            lastFailureAt = clock.elapsed();
        }
    };
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            PlayerChannel player(front);
            const QString email = u("load%1@pelorin.test").arg(c), password = u("password%1").arg(c);
            std::map<int, int> idOfIndex;
            for (int round = 0; clock.elapsed() < 30000; ++round) {
                if (round % 8 == 0)
                    count(u("login (POST)"), PlayerChannel::ok(player.call(Endpoints::login(email, password))));
                const bool added = PlayerChannel::ok(player.call(Endpoints::collectionAdd(u("entry"), resource, quint32(round))));
                count(u("collection add (POST)"), added);
                const QJsonObject list = player.call(Endpoints::collectionList());
                count(u("collection list (GET)"), PlayerChannel::ok(list));
                for (const QJsonValue &entry : list.value(u("datas")).toArray())
                    idOfIndex[entry.toObject().value(u("index")).toInt()] = entry.toObject().value(u("id")).toInt();
                {
                    QMutexLocker lock(&mutex);
                    if (added)
                        kept[size_t(c)].insert(round);
                }
                // Every other entry is removed again one round later.
                if (round % 2 == 1 && idOfIndex.count(round - 1)) {
                    const bool deleted = PlayerChannel::ok(player.call(Endpoints::collectionDelete(quint32(idOfIndex[round - 1]))));
                    count(u("collection delete (POST)"), deleted);
                    QMutexLocker lock(&mutex);
                    if (deleted) {
                        kept[size_t(c)].erase(round - 1);
                        removed[size_t(c)].insert(round - 1);
                    }
                }
                count(u("file list (GET)"), PlayerChannel::ok(player.call(Endpoints::fileList(resource))));
                QByteArray path, cookie;
                QString host;
                const bool resolved = player.resolve(resource, &path, &cookie, &host);
                count(u("resolution (GET)"), resolved && host == u("127.0.0.1:%1").arg(video));
                if (resolved) {
                    const int from = (round * 65536) % (clip.size() - 65536);
                    const QByteArray reply = RawConnection::exchange(
                        video, get(path, "Range: bytes=" + QByteArray::number(from) + "-" + QByteArray::number(from + 65535)
                                             + "\r\nCookie: " + cookie + "\r\n"));
                    count(u("ranged read (GET)"), statusOf(reply) == 206 && bodyOf(reply) == clip.mid(from, 65536));
                }
            }
        });
    while (clock.elapsed() < 15000)
        QTest::qWait(50);
    ::kill(pid_t(one.processId()), SIGKILL);
    killedAt = clock.elapsed();
    for (auto &client : clients)
        client.join();
    m_nginx.stop();

    // Every acknowledged write is there, read back from the instance that lived.
    int lost = 0, checked = 0;
    for (int c = 0; c < kClients; ++c) {
        PlayerChannel reader(two.port());
        QVERIFY(PlayerChannel::ok(reader.call(Endpoints::login(u("load%1@pelorin.test").arg(c), u("password%1").arg(c)))));
        std::set<int> present;
        for (int page = 1; page < 100; ++page) {
            const ServiceRequest list{Get, {u("r=www/default/pc"), u("do=fav"), u("method=get"), u("persize=100"),
                                            u("page=%1").arg(page), u("_s=pc")}, false};
            const QJsonArray datas = reader.call(list).value(u("datas")).toArray();
            for (const QJsonValue &entry : datas)
                present.insert(entry.toObject().value(u("index")).toInt());
            if (datas.isEmpty())
                break;
        }
        for (int index : kept[size_t(c)]) {
            ++checked;
            lost += !present.count(index);
        }
        for (int index : removed[size_t(c)]) {
            ++checked;
            lost += present.count(index) ? 1 : 0;
        }
    }
    int total = 0, failed = 0, getFailures = 0;
    QString table;
    for (const auto &entry : requests) {
        const int bad = failures.count(entry.first) ? failures[entry.first] : 0;
        total += entry.second;
        failed += bad;
        if (entry.first.contains(u("(GET)")))
            getFailures += bad;
        table += u("\n  %1: %2 requests, %3 failed").arg(entry.first).arg(entry.second).arg(bad);
    }
    const double recovery = lastFailureAt < killedAt ? 0.0 : (lastFailureAt - killedAt) / 1000.0;
    qInfo("kill -9 of one of two instances at %.1f s of %.1f s: %d requests, %d failed; acknowledged writes checked %d, "
          "lost %d; every request succeeded again %.2f s after the kill%s",
          killedAt / 1000.0, clock.elapsed() / 1000.0, total, failed, checked, lost, recovery, qPrintable(table));
    QCOMPARE(lost, 0);
    QCOMPARE(getFailures, 0);
    QVERIFY(total > 100);
}

QTEST_GUILESS_MAIN(ServiceClusterTest)
#include "tst_ServiceCluster.moc"
