#include "DemoService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

DemoService::DemoService()
    : m_dataDir(m_dir.path() + QStringLiteral("/data"))
{
}

DemoService::~DemoService()
{
    stop();
}

QString DemoService::executable()
{
    return QStringLiteral(PELORIN_SERVICE_EXECUTABLE);
}

QString DemoService::hashOf(const QString &magnet)
{
    return QRegularExpression(QStringLiteral("btih:([0-9a-fA-F]{40})")).match(magnet).captured(1).toLower();
}

QString DemoService::run(const QStringList &arguments, bool *ok, int timeoutMs) const
{
    QStringList full = arguments;
    full.insert(1, QStringLiteral("--data"));
    full.insert(2, m_dataDir);
    QProcess process;
    process.start(executable(), full);
    *ok = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit
          && process.exitCode() == 0;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (!*ok) {
        std::fprintf(stderr, "pelorin-service %s failed: %s\n", qPrintable(arguments.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool DemoService::makeDemo(int clipSeconds)
{
    bool ok = false;
    const QString output =
        run({QStringLiteral("demo"), QStringLiteral("--clip-seconds"), QString::number(clipSeconds)}, &ok);
    m_magnets.clear();
    QRegularExpressionMatchIterator links = QRegularExpression(QStringLiteral("magnet:\\?\\S+")).globalMatch(output);
    while (links.hasNext())
        m_magnets << links.next().captured(0);
    return ok && !m_magnets.isEmpty();
}

bool DemoService::start()
{
    stop();
    QDir().mkpath(m_dataDir);
    m_process.setProgram(executable());
    m_process.setArguments({QStringLiteral("serve"), QStringLiteral("--data"), m_dataDir, QStringLiteral("--listen"),
                            QStringLiteral("127.0.0.1:0"), QStringLiteral("--video-host"), QStringLiteral("127.0.0.1:0"),
                            QStringLiteral("--video-host"), QStringLiteral("127.0.0.1:0")});
    // The request log goes to a file, as a deployed service writes it somewhere too.
    m_process.setStandardErrorFile(m_dir.path() + QStringLiteral("/service.log"));
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    QByteArray output;
    const QDeadlineTimer deadline(15000);
    while (output.count('\n') < 3 && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        output += m_process.readAllStandardOutput();
    }
    const QString banner = QString::fromUtf8(output);
    m_hostPort = QRegularExpression(QStringLiteral("listening on http://([^/\\s]+)/server/")).match(banner).captured(1);
    m_videoHosts.clear();
    QRegularExpressionMatchIterator hosts =
        QRegularExpression(QStringLiteral("video host on http://([^/\\s]+)/")).globalMatch(banner);
    while (hosts.hasNext())
        m_videoHosts << hosts.next().captured(1);
    if (m_hostPort.isEmpty() || m_videoHosts.size() != 2) {
        std::fprintf(stderr, "the service did not start: %s\n", output.constData());
        stop();
        return false;
    }
    return true;
}

void DemoService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString DemoService::addFile(const QString &path)
{
    const QFileInfo file(path);
    const QString torrent = scratchDir() + QLatin1Char('/') + file.completeBaseName() + QStringLiteral(".torrent");
    bool ok = false;
    const QString created = run({QStringLiteral("torrent"), QStringLiteral("create"), file.absoluteFilePath(), torrent,
                                 QStringLiteral("--piece-length"), QStringLiteral("4194304")},
                                &ok);
    if (ok)
        run({QStringLiteral("library"), QStringLiteral("add"), torrent, file.absolutePath()}, &ok);
    return ok ? QRegularExpression(QStringLiteral("magnet:\\?\\S+")).match(created).captured(0) : QString();
}

bool DemoService::addUser(const QString &email, const QString &password)
{
    bool ok = false;
    run({QStringLiteral("user"), QStringLiteral("add"), email, password, QStringLiteral("--permanent-vip")}, &ok);
    return ok;
}

DemoService::Address DemoService::address(const QString &hash, int fileIndex, const QString &videoHost) const
{
    bool ok = false;
    const QString output = run({QStringLiteral("library"), QStringLiteral("address"), hash, QString::number(fileIndex),
                                QStringLiteral("--host"), videoHost},
                               &ok, 30000);
    const auto line = [&output](const char *name) {
        return QRegularExpression(QStringLiteral("^%1: (.+)$").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption)
            .match(output)
            .captured(1);
    };
    return {line("play"), line("cookie"), line("download")};
}
