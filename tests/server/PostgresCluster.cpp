#include "PostgresCluster.h"

#include <libpq-fe.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace {
bool runsAsRoot()
{
    return ::geteuid() == 0;
}

// The program with its arguments, run as postgres when we are root (initdb and postgres refuse
// root). The server also ends when the test does (parent death sends it SIGINT, a fast shutdown).
QStringList asServerUser(const QString &program, const QStringList &arguments, bool endWithTest)
{
    QStringList command{QStringLiteral("setpriv")};
    if (runsAsRoot())
        command << QStringLiteral("--reuid=postgres") << QStringLiteral("--regid=postgres")
                << QStringLiteral("--init-groups");
    if (endWithTest)
        command << QStringLiteral("--pdeathsig=INT");
    command << QStringLiteral("--") << program << arguments;
    return command;
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
} // namespace

PostgresCluster::PostgresCluster() = default;

PostgresCluster::~PostgresCluster()
{
    stop();
}

QString PostgresCluster::binDir()
{
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                                                     QDir::Name | QDir::Reversed);
    for (const QString &version : versions) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/postgres")))
            return bin;
    }
    return QString();
}

bool PostgresCluster::start(QString *error)
{
    const QString bin = binDir();
    if (bin.isEmpty()) {
        *error = QStringLiteral("PostgreSQL's server binaries are not installed (postgresql-15; tools/deps installs them)");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pelorin-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    if (runsAsRoot()) {
        const passwd *user = ::getpwnam("postgres");
        if (!user || ::chown(QFile::encodeName(m_dir->path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            *error = QStringLiteral("no postgres user to run the server as");
            return false;
        }
    }
    const QString data = m_dir->path() + QStringLiteral("/data");
    QProcess initdb;
    const QStringList init = asServerUser(bin + QStringLiteral("/initdb"),
                                          {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
                                           QStringLiteral("-U"), QStringLiteral("pelorin"), QStringLiteral("-E"),
                                           QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
                                          false);
    initdb.start(init.first(), init.mid(1));
    if (!initdb.waitForFinished(60000) || initdb.exitStatus() != QProcess::NormalExit || initdb.exitCode() != 0) {
        *error = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(initdb.readAllStandardError());
        initdb.kill();
        initdb.waitForFinished(5000);
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        const QStringList server = asServerUser(
            bin + QStringLiteral("/postgres"),
            {QStringLiteral("-D"), data, QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-k"), m_dir->path(),
             QStringLiteral("-c"), QStringLiteral("listen_addresses=127.0.0.1"), QStringLiteral("-c"),
             QStringLiteral("fsync=off"), QStringLiteral("-c"), QStringLiteral("max_connections=200"),
             QStringLiteral("-c"), QStringLiteral("shared_buffers=32MB")},
            true);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.setStandardOutputFile(m_dir->path() + QStringLiteral("/server.log"));
        m_server.start(server.first(), server.mid(1));
        if (!m_server.waitForStarted(10000))
            continue;
        QElapsedTimer waited;
        waited.start();
        const QByteArray address = url().toUtf8();
        while (waited.elapsed() < 30000 && m_server.state() == QProcess::Running) {
            if (PQping(address.constData()) == PQPING_OK)
                return true;
            QThread::msleep(50);
        }
        stop();
    }
    QFile log(m_dir->path() + QStringLiteral("/server.log"));
    log.open(QIODevice::ReadOnly);
    *error = QStringLiteral("the server did not start: ") + QString::fromLocal8Bit(log.readAll().right(2000));
    return false;
}

void PostgresCluster::stop()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    // SIGINT: a fast shutdown (clients are disconnected).
    ::kill(pid_t(m_server.processId()), SIGINT);
    if (!m_server.waitForFinished(20000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool PostgresCluster::isRunning() const
{
    return m_server.state() == QProcess::Running;
}

QString PostgresCluster::url(const QString &database) const
{
    return QStringLiteral("postgresql://pelorin@127.0.0.1:%1/%2").arg(m_port).arg(database);
}

bool PostgresCluster::execute(const QString &database, const QString &sql, QString *error)
{
    PGconn *connection = PQconnectdb(url(database).toUtf8().constData());
    bool ok = PQstatus(connection) == CONNECTION_OK;
    if (ok) {
        PGresult *result = PQexec(connection, sql.toUtf8().constData());
        ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
        PQclear(result);
    }
    if (!ok && error)
        *error = QString::fromLocal8Bit(PQerrorMessage(connection));
    PQfinish(connection);
    return ok;
}

QString PostgresCluster::createDatabase(const QString &name)
{
    return execute(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name)) ? url(name) : QString();
}
