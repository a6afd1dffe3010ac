#include "app/SingleInstanceGuard.h"

#include <QDir>
#include <QStandardPaths>

QString SingleInstanceGuard::lockName()
{
    return QStringLiteral("Pelorin allowed to run only once!");
}

QString SingleInstanceGuard::defaultDirectory()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

SingleInstanceGuard::SingleInstanceGuard(const QString &directory)
    : m_lock(QDir(directory).filePath(lockName() + QStringLiteral(".lock")))
{
    // Never expire by age: the holder may run for days. A dead holder is detected by its id.
    m_lock.setStaleLockTime(0);
}

bool SingleInstanceGuard::tryAcquire()
{
    return m_lock.isLocked() || m_lock.tryLock(0);
}
