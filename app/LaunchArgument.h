#pragma once

#include <QString>
#include <QStringList>

// The resource the program was started with: `pelorin MAGNET`, `pelorin FILE.torrent`, or the
// `file://` address a file manager passes for a double-clicked torrent.
class LaunchArgument
{
public:
    // The first argument that is not an option (nor the value of "--update-failed" or "--lang"),
    // made independent of the working directory: a file address becomes a local path, a relative
    // path an absolute one. Empty when there is none.
    static QString resourceInput(const QStringList &arguments, const QString &workingDirectory);
};
