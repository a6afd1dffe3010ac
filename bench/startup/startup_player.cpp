// The player's own start-up (exactly as its main runs it) with the shown-probe. The first argument
// is the directory for the single-instance lock, so that a player running on the machine is not in
// the way.
#include "ShownProbe.h"

#include "app/ui/StartUp.h"

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    ShownProbe probe;
    StartUp::prepareApplication();

    StartUp startUp(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    return startUp.run();
}
