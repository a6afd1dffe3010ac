#include "app/ui/StartUp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();

    StartUp startUp;
    return startUp.run();
}
