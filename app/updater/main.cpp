// pelorin-updater PACKAGE: started by the player, beside which it is installed, with the path of
// the package it downloaded; installs it once the player has exited and starts the player again.
#include "app/InterfaceLanguage.h"
#include "app/SingleInstanceGuard.h"
#include "app/updater/Updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: pelorin-updater PACKAGE\n", stderr);
        return 2;
    }
    // The player passes its interface language on: what goes wrong is shown in its window.
    InterfaceLanguage::apply(
        InterfaceLanguage::forRun({}, qEnvironmentVariable(InterfaceLanguage::EnvironmentVariable), QString()));
    Updater updater(QCoreApplication::applicationDirPath(), SingleInstanceGuard::defaultDirectory(),
                    QDir::currentPath());
    return updater.run(QDir::fromNativeSeparators(arguments.at(1)));
}
