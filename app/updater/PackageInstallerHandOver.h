#pragma once

#include <QCoreApplication>
#include <QString>

// Hands a .deb to the desktop's package installer, which asks the user to confirm (and for the
// password it needs); the updater itself never asks for one.
class PackageInstallerHandOver
{
    Q_DECLARE_TR_FUNCTIONS(PackageInstallerHandOver)

public:
    // Waits until the installer has finished. Empty on success, otherwise why it was not installed.
    static QString install(const QString &packagePath);
};
