#include "app/LaunchArgument.h"
#include "app/Version.h"
#include "app/ui/StartUp.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before anything else, without a display: the updater asks a new version for it
    // before switching it in.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(PELORIN_VERSION);
        return 0;
    }

    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();

    StartUp startUp;
    startUp.setResourceInput(LaunchArgument::resourceInput(QApplication::arguments(), QDir::currentPath()));
    return startUp.run();
}
