#include "app/DesktopShortcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString DesktopShortcut::fileName()
{
    // The same in every language, so that a shortcut made again replaces the one there.
    return QStringLiteral("Pelorin-观影神器.desktop"); // untranslated: a file name
}

QString DesktopShortcut::path()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)).filePath(fileName());
}

static QString quotedExec(const QString &executable)
{
    QString escaped = executable;
    for (const char c : {'\\', '"', '`', '$'})
        escaped.replace(QLatin1Char(c), QString(QLatin1Char('\\')) + QLatin1Char(c));
    return QString(QLatin1Char('"')) + escaped + QLatin1Char('"');
}

QString DesktopShortcut::content(const QString &executable, const QString &workingDirectory)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.0\n"
                          "Name=%3\n"
                          "Comment=Pelorin\n"
                          "Exec=%1\n"
                          "Path=%2\n"
                          "Icon=pelorin\n"
                          "Terminal=false\n"
                          "Categories=AudioVideo;Video;Player;\n")
        .arg(quotedExec(executable), workingDirectory,
             QCoreApplication::translate("DesktopShortcut", "Pelorin-观影神器"));
}

bool DesktopShortcut::create()
{
    const QString target = path();
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content(QCoreApplication::applicationFilePath(), QDir::currentPath()).toUtf8());
    if (!file.commit())
        return false;
    // Desktops launch only launchers that are marked executable.
    return QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner
                                             | QFileDevice::ExeUser);
}
