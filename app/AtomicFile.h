#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Replaces a file's whole content so that a crash, a full disk or a short write never leaves a
// half-written file: the old content stays until the new one is complete on disk.
class AtomicFile
{
public:
    // permissions 0 keeps the default; otherwise they are set before any byte is written.
    static bool write(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions = {});
    // Moves a file that could not be read out of the way of the next write, as PATH.bad (or
    // PATH.bad.2 ... when that is taken), so that what it held is still there for the user.
    // False when it stays where it is.
    static bool setAside(const QString &path);
};
