#include "app/updater/Updater.h"

#include "app/SingleInstanceGuard.h"
#include "app/updater/PackageInstallerHandOver.h"
#include "app/updater/PortableInstall.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstdio>

Updater::Updater(const QString &installDir, const QString &lockDir, const QString &workingDir)
    : m_installDir(installDir)
    , m_lockDir(lockDir)
    , m_workingDir(workingDir)
{
}

int Updater::run(const QString &packagePath)
{
    QString failure;
    {
        // Held while installing, so that no player starts from a folder being switched.
        SingleInstanceGuard guard(m_lockDir);
        const QDeadlineTimer deadline(m_exitWaitMs);
        while (!guard.tryAcquire()) {
            if (deadline.hasExpired()) {
                std::fprintf(stderr, "pelorin-updater: the player is still running; nothing installed\n");
                return 1;
            }
            QThread::msleep(100);
        }
        failure = install(packagePath);
        if (failure.isEmpty())
            QFile::remove(packagePath);
        else
            std::fprintf(stderr, "pelorin-updater: %s\n", qPrintable(failure));
    }
    return startPlayer(failure) && failure.isEmpty() ? 0 : 1;
}

QString Updater::install(const QString &packagePath)
{
    const QString name = QFileInfo(packagePath).fileName();
    if (!QFileInfo(packagePath).isFile())
        return tr("找不到安装包：%1").arg(packagePath);
    if (name.endsWith(QLatin1String(".tar.gz")) || name.endsWith(QLatin1String(".tgz")))
        return PortableInstall(m_installDir).install(packagePath);
    if (name.endsWith(QLatin1String(".deb")))
        return PackageInstallerHandOver::install(packagePath);
    return tr("不支持的安装包：%1").arg(name);
}

bool Updater::startPlayer(const QString &failure)
{
    QStringList arguments;
    if (!failure.isEmpty())
        arguments << QStringLiteral("--update-failed") << tr("更新失败！") + failure;
    // By path, not by the inherited folder: when the player ran inside its installation, that
    // folder is now the old one.
    if (QProcess::startDetached(m_installDir + QStringLiteral("/pelorin"), arguments, m_workingDir))
        return true;
    std::fprintf(stderr, "pelorin-updater: cannot start %s/pelorin\n", qPrintable(m_installDir));
    return false;
}
