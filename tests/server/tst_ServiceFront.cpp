// The deployment in server/deploy/: nginx in front of the service, sending library files itself
// after the service has checked each code. Runs nginx from the Debian package on 127.0.0.1.
#include "NginxFront.h"
#include "RawConnection.h"
#include "TestFiles.h"
#include "ServiceProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {
QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray())
{
    return RawConnection::get(target, "Connection: close\r\n" + extraHeaders);
}
constexpr auto statusOf = &RawConnection::statusOf;
constexpr auto bodyOf = &RawConnection::bodyOf;
} // namespace

class ServiceFrontTest : public QObject
{
    Q_OBJECT

private slots:
    void nginxServesFilesTheServiceAllows();
};

void ServiceFrontTest::nginxServesFilesTheServiceAllows()
{
    if (!NginxFront::available())
        QSKIP("nginx is not installed (tools/deps installs nginx-light)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ServiceProcess service(dir.path() + u("/data"));
    QVERIFY(service.start({u("--trusted-proxy"), u("127.0.0.1"), u("--accel-redirect"), u("--no-video-hosts")}));

    // A library file with a blank and Chinese letters in its path, and a code for it.
    const QString payload = dir.path() + u("/payload 片");
    const QByteArray clip = patterned(300000);
    const QMap<QString, QByteArray> printed = service.addClip(payload, clip);
    const QByteArray play = printed.value(u("play")), download = printed.value(u("download"));
    const QByteArray cookie = "Cookie: " + printed.value(u("cookie")) + "\r\n";
    QVERIFY(!play.isEmpty() && !download.isEmpty());

    // The shipped configuration, on this test's ports.
    const quint16 front = RawConnection::freePort();
    const quint16 video = RawConnection::freePort();
    NginxFront nginx;
    QVERIFY(nginx.start(dir.path() + u("/nginx"), {service.hostPort()}, front, video));

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
}

QTEST_GUILESS_MAIN(ServiceFrontTest)
#include "tst_ServiceFront.moc"
