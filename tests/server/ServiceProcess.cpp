#include "ServiceProcess.h"
#include "TestFiles.h"

#include "resources/AddressResolution.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>

#ifndef PELORIN_SERVICE_EXECUTABLE
#error PELORIN_SERVICE_EXECUTABLE must name the built pelorin-service
#endif

ServiceProcess::ServiceProcess(const QString &dataDir)
{
    if (dataDir.isEmpty()) {
        m_ownDir = std::make_unique<QTemporaryDir>();
        m_dataDir = m_ownDir->path() + QStringLiteral("/data");
    } else {
        m_dataDir = dataDir;
    }
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

QString ServiceProcess::executable()
{
    return QStringLiteral(PELORIN_SERVICE_EXECUTABLE);
}

bool ServiceProcess::start(const QStringList &extraArguments)
{
    stop();
    QDir().mkpath(m_dataDir);
    m_videoHosts.clear();
    QStringList arguments = extraArguments;
    if (!arguments.contains(QStringLiteral("--video-host")) && !arguments.contains(QStringLiteral("--no-video-hosts"))) {
        // Fixed ports would collide with other tests running at the same time.
        arguments << QStringLiteral("--video-host") << m_address + QStringLiteral(":0")
                  << QStringLiteral("--video-host") << m_address + QStringLiteral(":0");
    }
    const int videoHostCount = arguments.count(QStringLiteral("--video-host"));
    if (!m_database.isEmpty())
        arguments << QStringLiteral("--database") << m_database;
    m_process.setProgram(executable());
    m_process.setArguments(QStringList{QStringLiteral("serve"), QStringLiteral("--data"), m_dataDir,
                                       QStringLiteral("--listen"), m_address + QStringLiteral(":0")}
                           + arguments);
    m_process.setStandardErrorFile(m_dataDir + QStringLiteral("/service.log"), QIODevice::Append);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    // The first line on stdout names the port it listens on, one line per video host follows.
    QByteArray output;
    const QDeadlineTimer deadline(15000);
    while (output.count('\n') < 1 + videoHostCount && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        output += m_process.readAllStandardOutput();
    }
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("listening on http://%1:(\\d+)/server/").arg(QRegularExpression::escape(m_address)))
            .match(QString::fromUtf8(output));
    if (!match.hasMatch()) {
        stop();
        return false;
    }
    m_port = quint16(match.captured(1).toUInt());
    QRegularExpressionMatchIterator hosts =
        QRegularExpression(QStringLiteral("video host on http://([^/\\s]+)/")).globalMatch(QString::fromUtf8(output));
    while (hosts.hasNext())
        m_videoHosts << hosts.next().captured(1);
    if (m_videoHosts.size() != videoHostCount) {
        stop();
        return false;
    }
    return true;
}

void ServiceProcess::stop()
{
    m_process.stop(10000);
}

bool ServiceProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString ServiceProcess::hostPort() const
{
    return QStringLiteral("%1:%2").arg(m_address).arg(m_port);
}

QByteArray ServiceProcess::log() const
{
    return readFile(m_dataDir + QStringLiteral("/service.log"));
}

int ServiceProcess::run(const QStringList &arguments, QByteArray *output) const
{
    QStringList full = arguments;
    // "user --data DIR ..." as documented.
    full.insert(1, QStringLiteral("--data"));
    full.insert(2, m_dataDir);
    const QString command = arguments.value(0);
    if (!m_database.isEmpty() && command != QStringLiteral("hash") && command != QStringLiteral("torrent"))
        full << QStringLiteral("--database") << m_database;
    QProcess process;
    process.setProgram(executable());
    process.setArguments(full);
    process.start();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput() + process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QMap<QString, QByteArray> ServiceProcess::addClip(const QString &payloadDir, const QByteArray &bytes) const
{
    QMap<QString, QByteArray> printed;
    if (!writeFile(payloadDir + QStringLiteral("/clip.mp4"), bytes))
        return printed;
    const QString torrent = payloadDir + QStringLiteral(".torrent");
    QByteArray output;
    if (run({QStringLiteral("torrent"), QStringLiteral("create"), payloadDir, torrent}, &output) != 0)
        return printed;
    const QString hash =
        QRegularExpression(QStringLiteral("btih:([0-9a-f]{40})")).match(QString::fromUtf8(output)).captured(1);
    if (hash.isEmpty() || run({QStringLiteral("library"), QStringLiteral("add"), torrent, payloadDir}, &output) != 0
        || run({QStringLiteral("library"), QStringLiteral("address"), hash, QStringLiteral("0")}, &output) != 0)
        return printed;
    QRegularExpressionMatchIterator lines =
        QRegularExpression(QStringLiteral("^(\\w+): (?:http://[^/\\s]+)?(\\S+)$"), QRegularExpression::MultilineOption)
            .globalMatch(QString::fromUtf8(output));
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        printed.insert(line.captured(1), line.captured(2).toUtf8());
    }
    return printed;
}

bool ServiceProcess::resolve(ServiceClient &client, BTResourceFile *file, int line, QString *host)
{
    const ServiceReply step = client.call(Endpoints::fileHash(*file, localMacAddress()));
    AddressResolution::applyFileHash(file, step);
    const ServiceReply info = client.call(Endpoints::fileInfo(*file, line, false, localMacAddress()));
    const QString named = AddressResolution::applyFileInfo(file, info);
    if (host)
        *host = named;
    return step.succeeded() && info.succeeded() && !file->code.isEmpty() && !file->comCookie.isEmpty();
}

ServiceProcess::HostReply ServiceProcess::fetch(const QString &address, const QByteArray &cookie, const QByteArray &range,
                                                const QByteArray &verb)
{
    QNetworkRequest request{QUrl(address)};
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(60000);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    if (!range.isEmpty())
        request.setRawHeader("Range", range);
    QNetworkAccessManager manager;
    QNetworkReply *reply = verb == "GET"    ? manager.get(request)
                           : verb == "HEAD" ? manager.head(request)
                                            : manager.sendCustomRequest(request, verb);
    ServiceClient::waitForReply(reply);
    HostReply got{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                  reply->rawHeader("Content-Range"), reply->rawHeader("Content-Length"),
                  reply->error() == QNetworkReply::NoError};
    reply->deleteLater();
    return got;
}
