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
};
