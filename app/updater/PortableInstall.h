#pragma once

#include <QCoreApplication>
#include <QString>

// Installs a portable archive over a portable installation. The archive (.tar.gz) holds one
// folder with the programs "pelorin" and "pelorin-updater" and a file "VERSION" (the version as
// one line); an installation is such a folder, unpacked anywhere the user can write.
//
// The archive is unpacked into a hidden folder beside the installation and checked (its layout,
// and that its player runs and reports the version its VERSION names); whatever the installation
// holds that the new folder does not (the user's files, when the player runs inside its folder)
// is carried over; then the two folders are exchanged in one step. A failure at any point leaves
// the old installation as it was.
class PortableInstall
{
    Q_DECLARE_TR_FUNCTIONS(PortableInstall)

public:
    explicit PortableInstall(const QString &installDir);

    // Empty on success, otherwise why nothing was installed.
    QString install(const QString &archivePath);

private:
    QString check(const QString &fresh) const;
    bool carryOver(const QString &from, const QString &to) const;

    QString m_installDir;
};
