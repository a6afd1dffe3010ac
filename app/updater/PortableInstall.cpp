#include "app/updater/PortableInstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Checks that take long on a slow machine, but never forever.
constexpr int kUnpackTimeoutMs = 10 * 60 * 1000;
constexpr int kVersionTimeoutMs = 60 * 1000;

QString readVersion(const QString &folder)
{
    QFile file(folder + QStringLiteral("/VERSION"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(256)).trimmed();
}

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && info.isExecutable();
}

// Swaps two paths on the same file system in one step; where the file system cannot, moves the
// old one aside first and back when the second move fails.
bool exchange(const QString &fresh, const QString &installed, const QString &aside)
{
    const QByteArray a = QFile::encodeName(fresh);
    const QByteArray b = QFile::encodeName(installed);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    const QByteArray c = QFile::encodeName(aside);
    if (::rename(b.constData(), c.constData()) != 0)
        return false;
    if (::rename(a.constData(), b.constData()) == 0)
        return true;
    ::rename(c.constData(), b.constData());
    return false;
}
} // namespace

PortableInstall::PortableInstall(const QString &installDir) : m_installDir(QDir(installDir).canonicalPath()) {}

QString PortableInstall::install(const QString &archivePath)
{
    if (m_installDir.isEmpty() || readVersion(m_installDir).isEmpty())
        return tr("当前安装不是便携版，无法安装 %1").arg(QFileInfo(archivePath).fileName());
    const QFileInfo installed(m_installDir);
    const QString parent = installed.absolutePath();
    if (!QFileInfo(parent).isWritable() || !installed.isWritable())
        return tr("安装目录不可写：%1").arg(m_installDir);

    // Beside the installation: on its file system, so that the switch is a rename.
    QTemporaryDir staging(parent + QStringLiteral("/.") + installed.fileName() + QStringLiteral("-update-XXXXXX"));
    if (!staging.isValid())
        return tr("安装目录不可写：%1").arg(m_installDir);
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xzf"), archivePath, QStringLiteral("-C"), staging.path(),
                                      QStringLiteral("--no-same-owner")});
    if (!tar.waitForFinished(kUnpackTimeoutMs) || tar.exitStatus() != QProcess::NormalExit || tar.exitCode() != 0) {
        tar.kill();
        tar.waitForFinished();
        std::fputs(tar.readAllStandardError().constData(), stderr);
        return tr("安装包无法解开：%1").arg(QFileInfo(archivePath).fileName());
    }
    const QStringList top = QDir(staging.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString fresh = staging.path() + QLatin1Char('/') + top.value(0);
    if (top.size() != 1 || !QFileInfo(fresh).isDir() || QFileInfo(fresh).isSymLink())
        return tr("安装包内容不完整");
    if (const QString problem = check(fresh); !problem.isEmpty())
        return problem;
    if (!carryOver(m_installDir, fresh))
        return tr("无法保留安装目录中的文件：%1").arg(m_installDir);
    if (!exchange(fresh, m_installDir, staging.path() + QStringLiteral("/.old")))
        return tr("无法替换安装目录：%1").arg(m_installDir);
    return QString(); // the old version, now in the staging folder, goes with it
}

QString PortableInstall::check(const QString &fresh) const
{
    const QString version = readVersion(fresh);
    if (version.isEmpty() || !isProgram(fresh + QStringLiteral("/pelorin"))
        || !isProgram(fresh + QStringLiteral("/pelorin-updater")))
        return tr("安装包内容不完整");
    // A player that cannot run here (a missing library, another architecture) is not switched in.
    QProcess player;
    player.start(fresh + QStringLiteral("/pelorin"), {QStringLiteral("--version")});
    const bool ran = player.waitForFinished(kVersionTimeoutMs) && player.exitStatus() == QProcess::NormalExit
                     && player.exitCode() == 0;
    if (!ran) {
        player.kill();
        player.waitForFinished();
    }
    if (!ran || QString::fromUtf8(player.readAllStandardOutput()).trimmed() != version)
        return tr("新版本无法运行：%1").arg(version);
    return QString();
}

bool PortableInstall::carryOver(const QString &from, const QString &to) const
{
    const QStringList names =
        QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QString path = from + QLatin1Char('/') + name;
        const QString target = to + QLatin1Char('/') + name;
        const QFileInfo info(path);
        const QFileInfo there(target);
        const bool taken = there.exists() || there.isSymLink();
        if (info.isDir() && !info.isSymLink()) {
            // A folder both have is merged; otherwise what the new version brings wins.
            if (taken && (!there.isDir() || there.isSymLink()))
                continue;
            if ((!taken && !QDir().mkdir(target)) || !carryOver(path, target))
                return false;
            continue;
        }
        if (taken)
            continue;
        const QByteArray source = QFile::encodeName(path);
        const QByteArray destination = QFile::encodeName(target);
        if (info.isSymLink()) {
            char link[4096];
            const ssize_t length = ::readlink(source.constData(), link, sizeof link - 1);
            if (length < 0)
                return false;
            link[length] = 0;
            if (::symlink(link, destination.constData()) != 0)
                return false;
            continue;
        }
        // Hard links where possible: no second copy, and the files stay as they are.
        if (::link(source.constData(), destination.constData()) != 0 && !QFile::copy(path, target))
            return false;
    }
    return true;
}
