#include "NginxFront.h"

#include "RawConnection.h"
#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <unistd.h>

#ifndef PELORIN_DEPLOY_DIR
#error PELORIN_DEPLOY_DIR must name server/deploy
#endif

namespace {
const char kNginx[] = "/usr/sbin/nginx";
}

bool NginxFront::available()
{
    return QFile::exists(QLatin1String(kNginx));
}

bool NginxFront::start(const QString &dir, const QStringList &instances, quint16 front, quint16 video)
{
    QFile shipped(QStringLiteral(PELORIN_DEPLOY_DIR "/pelorin-front.conf"));
    if (!QDir().mkpath(dir) || !shipped.open(QIODevice::ReadOnly))
        return false;
    QByteArray conf = shipped.readAll();
    QByteArray servers;
    for (const QString &instance : instances)
        servers += "server " + instance.toUtf8() + " max_fails=1 fail_timeout=10s;\n    ";
    conf.replace("server 127.0.0.1:17080 max_fails=1 fail_timeout=10s;\n    ", servers);
    conf.replace("listen 80;", "listen 127.0.0.1:" + QByteArray::number(front) + ";");
    conf.replace("listen 17081;", "listen 127.0.0.1:" + QByteArray::number(video) + ";");
    const QByteArray temp = dir.toUtf8();
    const QByteArray main = (geteuid() == 0 ? QByteArray("user root;\n") : QByteArray()) + "worker_processes 1;\npid " + temp
                            + "/nginx.pid;\nerror_log " + temp + "/nginx-error.log;\nevents { worker_connections 1024; }\n"
                            "http {\n  access_log off;\n  client_body_temp_path " + temp + "/body; proxy_temp_path " + temp
                            + "/proxy;\n  fastcgi_temp_path " + temp + "/fastcgi; uwsgi_temp_path " + temp
                            + "/uwsgi; scgi_temp_path " + temp + "/scgi;\n  include pelorin-front.conf;\n}\n";
    QFile::remove(dir + QStringLiteral("/pelorin-check.inc"));
    if (!QFile::copy(QStringLiteral(PELORIN_DEPLOY_DIR "/pelorin-check.inc"), dir + QStringLiteral("/pelorin-check.inc"))
        || !writeFile(dir + QStringLiteral("/pelorin-front.conf"), conf)
        || !writeFile(dir + QStringLiteral("/nginx.conf"), main))
        return false;
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QLatin1String(kNginx), {QStringLiteral("-p"), dir, QStringLiteral("-c"), dir + QStringLiteral("/nginx.conf"),
                                            QStringLiteral("-g"), QStringLiteral("daemon off;")});
    if (!m_process.waitForStarted(5000))
        return false;
    const QByteArray probe = RawConnection::get("/server/?r=www", "Connection: close\r\n");
    for (const QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(100)) {
        if (RawConnection::statusOf(RawConnection::exchange(front, probe, "127.0.0.1", 2000)) == 200)
            return true;
    }
    return false;
}
