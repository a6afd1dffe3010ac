#include "app/LaunchArgument.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString LaunchArgument::resourceInput(const QStringList &arguments, const QString &workingDirectory)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--update-failed") || argument == QLatin1String("--lang")) {
            ++i;
            continue;
        }
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
            return QUrl(argument).toLocalFile();
        if (argument.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive))
            return argument;
        // The running copy that gets the path has a working directory of its own.
        const QFileInfo file(QDir(workingDirectory), argument);
        if (file.isFile() || argument.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive))
            return QDir::cleanPath(file.absoluteFilePath());
        return argument;
    }
    return QString();
}
