#include "app/updater/PackageInstallerHandOver.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

QString PackageInstallerHandOver::install(const QString &packagePath)
{
    // Installers that show the package and wait for the user come first.
    const struct
    {
        const char *program;
        const char *option;
    } installers[] = {
        {"gdebi-gtk", ""},
        {"qapt-deb-installer", ""},
        {"gnome-software", "--local-filename="},
        {"plasma-discover", ""},
    };
    for (const auto &installer : installers) {
        const QString program = QStandardPaths::findExecutable(QLatin1String(installer.program));
        if (program.isEmpty())
            continue;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, {QLatin1String(installer.option) + packagePath});
        if (!process.waitForStarted())
            return tr("无法启动软件包安装程序：%1").arg(program);
        process.waitForFinished(-1);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return tr("软件包未安装：%1").arg(packagePath);
        return QString();
    }
    return tr("未找到软件包安装程序，请手动安装：%1").arg(packagePath);
}
