#pragma once

#include <QCoreApplication>
#include <QString>

// pelorin-updater: waits until the player has exited, installs the package the player downloaded
// into the installation it runs from, and starts the player again (the new version, or the old one
// with the reason the update failed).
class Updater
{
    Q_DECLARE_TR_FUNCTIONS(Updater)

public:
    Updater(const QString &installDir, const QString &lockDir, const QString &workingDir);

    // Returns the process exit status.
    int run(const QString &packagePath);

private:
    // Empty on success, otherwise why the package was not installed.
    QString install(const QString &packagePath);
    bool startPlayer(const QString &failure);

    QString m_installDir;
    QString m_lockDir;
    QString m_workingDir;
    // How long the player may take to exit before the update is given up.
    int m_exitWaitMs = 120000;
};
