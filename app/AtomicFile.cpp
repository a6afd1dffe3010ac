#include "app/AtomicFile.h"

#include <QFile>
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

bool AtomicFile::setAside(const QString &path)
{
    for (int n = 1; n <= 100; ++n) {
        const QString aside = path + (n == 1 ? QStringLiteral(".bad") : QStringLiteral(".bad.%1").arg(n));
        if (!QFile::exists(aside))
            return QFile::rename(path, aside);
    }
    return false;
}
