#pragma once

#include <QString>

// A freedesktop launcher on the user's desktop that starts this executable in the working
// directory it was started from, so that Config.ini and the other local files are found again.
class DesktopShortcut
{
public:
    static QString fileName();
    static QString path();
    static QString content(const QString &executable, const QString &workingDirectory);
    static bool create();
};
