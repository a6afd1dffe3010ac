#include "app/AtomicFile.h"

#include <QSaveFile>

bool AtomicFile::write(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk, a size limit) shows in the count written:
    // a buffered flush would report it as success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (permissions && !file.setPermissions(permissions)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
