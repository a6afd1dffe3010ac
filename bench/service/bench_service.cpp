// Throughput and p99 latency of the reference service under wrk (10 s, 16 connections each):
// the announcements endpoint and a logged-in collection list, with the session cookie the player
// would send, on SQLite and on PostgreSQL in the same run. Baseline: nginx serving the same
// announcements reply as a static file.
#include "BenchGoals.h"

#include "app/AppConfig.h"
#include "service/ServiceClient.h"

#include "PostgresCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

struct WrkResult {
    bool ok = false;
    double requestsPerSecond = 0;
    double p99Ms = 0;
    qint64 requests = 0;
    qint64 errors = 0; // socket errors and non-2xx/3xx replies
};

double toMs(const QString &value, const QString &unit)
{
    const double number = value.toDouble();
    if (unit == u("us"))
        return number / 1000.0;
    if (unit == u("s"))
        return number * 1000.0;
    if (unit == u("m"))
        return number * 60000.0;
    return number;
}

WrkResult runWrk(const QString &url, const QByteArray &cookie)
{
    QStringList arguments = {u("-t2"), u("-c16"), u("-d10s"), u("--latency")};
    if (!cookie.isEmpty())
        arguments << u("-H") << u("Cookie: ") + QString::fromUtf8(cookie);
    arguments << url;
    QProcess wrk;
    wrk.start(u("wrk"), arguments);
    WrkResult result;
    if (!wrk.waitForFinished(60000) || wrk.exitCode() != 0) {
        wrk.kill();
        wrk.waitForFinished();
        std::fprintf(stderr, "wrk failed: %s\n", wrk.readAllStandardError().constData());
        return result;
    }
    const QString output = QString::fromUtf8(wrk.readAllStandardOutput());
    const auto rps = QRegularExpression(u("Requests/sec:\\s+([0-9.]+)")).match(output);
    const auto p99 = QRegularExpression(u("\\s99%\\s+([0-9.]+)(us|ms|s|m)")).match(output);
    const auto total = QRegularExpression(u("(\\d+) requests in")).match(output);
    const auto non2xx = QRegularExpression(u("Non-2xx or 3xx responses: (\\d+)")).match(output);
    const auto socket = QRegularExpression(u("Socket errors: connect (\\d+), read (\\d+), write (\\d+), timeout (\\d+)")).match(output);
    result.ok = rps.hasMatch() && p99.hasMatch();
    result.requestsPerSecond = rps.captured(1).toDouble();
    result.p99Ms = toMs(p99.captured(1), p99.captured(2));
    result.requests = total.captured(1).toLongLong();
    result.errors = non2xx.captured(1).toLongLong();
    for (int i = 1; i <= 4 && socket.hasMatch(); ++i)
        result.errors += socket.captured(i).toLongLong();
    return result;
}

void print(const char *name, const WrkResult &result)
{
    std::printf("%-28s requests/s=%.0f p99=%.2fms requests=%lld errors=%lld\n", name,
                result.requestsPerSecond, result.p99Ms, (long long)result.requests,
                (long long)result.errors);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
struct Measured {
    bool ok = false;
    WrkResult announcements;
    WrkResult collections;
    QByteArray announcementsReply; // as the service sent it
};

// Starts the service on `database` (empty: SQLite in the data directory), logs in as the player
// does, collects a few entries, and runs wrk against both endpoints.
Measured measure(const QString &name, const QString &workDir, const QString &database)
{
    Measured measured;
    const QString data = workDir + u("/data-") + name;
    const QString executable = u(PELORIN_SERVICE_EXECUTABLE);
    QStringList shared;
    if (!database.isEmpty())
        shared << u("--database") << database;
    QProcess user;
    user.start(executable, QStringList{u("user"), u("--data"), data} + shared
                               + QStringList{u("add"), u("bench@pelorin.test"), u("bench-password"), u("--vip")});
    user.waitForFinished(60000);
    QDir().mkpath(data + u("/config"));
    const QString announcementsPath = workDir + u("/announcements-") + name + u(".json");
    QFile announcements(announcementsPath);
    announcements.open(QIODevice::WriteOnly);
    announcements.write(u("[{\"title\":\"欢迎使用Pelorin\",\"url\":\"http://www.example/\"},"
                          "{\"title\":\"新版本5.0.8上线\",\"url\":\"http://www.example/news\"},"
                          "{\"title\":\"收藏功能说明\",\"url\":\"http://www.example/help\"}]").toUtf8());
    announcements.close();
    QProcess config;
    config.start(executable, QStringList{u("config"), u("--data"), data} + shared
                                 + QStringList{u("set"), u("announcements.json"), announcementsPath});
    config.waitForFinished(60000);

    QProcess service;
    service.setStandardErrorFile(workDir + u("/service-") + name + u(".log"));
    service.start(executable, QStringList{u("serve"), u("--data"), data, u("--listen"), u("127.0.0.1:0")} + shared);
    QByteArray banner;
    while (!banner.contains('\n') && service.waitForReadyRead(15000))
        banner += service.readAllStandardOutput();
    const auto port = QRegularExpression(u(":(\\d+)/server/")).match(QString::fromUtf8(banner));
    if (!port.hasMatch()) {
        std::fprintf(stderr, "the service (%s) did not start\n", qPrintable(name));
        stopProcess(service);
        return measured;
    }
    const QString host = u("127.0.0.1:") + port.captured(1);
    AppConfig::setServiceHost(host);
    // Log in the way the player does, and collect a few entries to list.
    ServiceClient client;
    const QStringList announcementParameters = {u("r=www/default/pc"), u("do=getConfig"), u("cfg=gonggao"), u("_s=pc")};
    client.call(Get, announcementParameters, false);
    const ServiceReply login = client.call(
        Post, {u("r=www/user/login"), u("do=login"), u("f[username]=bench@pelorin.test"),
               u("f[password]=bench-password"), u("_s=pc")}, true);
    if (!login.succeeded()) {
        std::fprintf(stderr, "log-in failed (%s): %s\n", qPrintable(name), qPrintable(login.failureText()));
        stopProcess(service);
        return measured;
    }
    for (int i = 0; i < 20; ++i)
        client.call(Post, {u("r=www/default/pc"), u("do=fav"), u("method=add"),
                                   u("name=收藏 %1").arg(i), u("hash=") + QString(40, QLatin1Char('a' + i % 26)),
                                   u("index=%1").arg(i)}, false);
    const QStringList listParameters = {u("r=www/default/pc"), u("do=fav"), u("method=get"), u("persize=100"), u("page=1"), u("_s=pc")};
    const ServiceReply list = client.call(Get, listParameters, false);
    if (!list.succeeded() || list.datas().size() != 20) {
        std::fprintf(stderr, "collection list failed (%s)\n", qPrintable(name));
        stopProcess(service);
        return measured;
    }
    const QByteArray cookie = client.cookie();
    QNetworkReply *sample = client.send(Get, announcementParameters, false);
    ServiceClient::waitForReply(sample);
    measured.announcementsReply = sample->readAll();
    sample->deleteLater();

    const QString base = u("http://") + host + u("/server/?");
    measured.announcements = runWrk(base + announcementParameters.join(QLatin1Char('&')), cookie);
    print(qPrintable(name + u(": announcements")), measured.announcements);
    measured.collections = runWrk(base + listParameters.join(QLatin1Char('&')), cookie);
    print(qPrintable(name + u(": collection list")), measured.collections);
    stopProcess(service);
    measured.ok = measured.announcements.ok && measured.collections.ok;
    return measured;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    QFile::setPermissions(work.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                           | QFileDevice::ReadOther | QFileDevice::ExeOther
                                           | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    QDir::setCurrent(work.path());
    std::printf("bench_service: wrk -t2 -c16 -d10s --latency, 127.0.0.1, player's session cookie; "
                "the service on SQLite, then on PostgreSQL (a cluster of its own on 127.0.0.1)\n");
    const Measured sqlite = measure(u("SQLite"), work.path(), QString());
    PostgresCluster cluster;
    QString problem;
    Measured postgres;
    if (cluster.start(&problem)) {
        const QString url = cluster.createDatabase(u("bench"));
        postgres = measure(u("PostgreSQL"), work.path(), url);
        cluster.stop();
    } else {
        std::fprintf(stderr, "PostgreSQL not measured: %s\n", qPrintable(problem));
    }

    // Baseline: nginx with the announcements reply as a file.
    const QString root = work.path() + u("/www");
    QDir().mkpath(root + u("/server"));
    QFile replyFile(root + u("/server/announcements.json"));
    replyFile.open(QIODevice::WriteOnly);
    replyFile.write(sqlite.announcementsReply);
    replyFile.close();
    const quint16 nginxPort = freePort();
    QFile conf(work.path() + u("/nginx.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral(
                   "worker_processes 2;\npid %1/nginx.pid;\nerror_log %1/nginx-error.log;\n"
                   "events { worker_connections 256; }\n"
                   "http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 100000;\n"
                   "  client_body_temp_path %1/nginx-body; proxy_temp_path %1/nginx-proxy;\n"
                   "  fastcgi_temp_path %1/nginx-fastcgi; uwsgi_temp_path %1/nginx-uwsgi; scgi_temp_path %1/nginx-scgi;\n"
                   "  server { listen 127.0.0.1:%2; root %3; default_type application/json; } }\n")
                   .arg(work.path())
                   .arg(nginxPort)
                   .arg(root)
                   .toUtf8());
    conf.close();
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::ForwardedChannels);
    nginx.start(u("/usr/sbin/nginx"), {u("-p"), work.path(), u("-c"), work.path() + u("/nginx.conf"), u("-g"), u("daemon off;")});
    const bool nginxStarted = nginx.waitForStarted(5000);
    QThread::msleep(500);
    WrkResult baseline;
    if (nginxStarted && nginx.state() == QProcess::Running) {
        baseline = runWrk(u("http://127.0.0.1:%1/server/announcements.json").arg(nginxPort), QByteArray());
        print("nginx static (baseline)", baseline);
    }
    stopProcess(nginx);
    if (baseline.ok && baseline.requestsPerSecond > 0)
        std::printf("ratio=%.3f (announcements requests/s, SQLite service/nginx)\n",
                    sqlite.announcements.requestsPerSecond / baseline.requestsPerSecond);
    if (postgres.ok && sqlite.ok)
        std::printf("ratio=%.3f (collection list requests/s, PostgreSQL/SQLite; announcements %.3f)\n",
                    postgres.collections.requestsPerSecond / sqlite.collections.requestsPerSecond,
                    postgres.announcements.requestsPerSecond / sqlite.announcements.requestsPerSecond);
    const double least = BenchGoals::ServiceRequestsPerSecond;
    const bool goal = sqlite.ok && sqlite.announcements.requestsPerSecond >= least && sqlite.announcements.errors == 0
                      && (!postgres.ok || (postgres.announcements.requestsPerSecond >= least && postgres.announcements.errors == 0));
    std::printf("goal announcements >= %.0f requests/s with zero errors (both back ends): %s\n", least, goal ? "met" : "missed");
    return sqlite.ok && postgres.ok ? 0 : 1;
}
