#pragma once

#include <QLockFile>
#include <QString>

// Refuses a second copy of the program: a lock file shared by the user's processes. A lock left
// behind by a process that died is taken over.
class SingleInstanceGuard
{
public:
    static QString lockName();
    static QString defaultDirectory();

    explicit SingleInstanceGuard(const QString &directory = defaultDirectory());

    // True when this process now holds the lock; false while another live process holds it.
    bool tryAcquire();

private:
    QLockFile m_lock;
};
