// The start-up baseline: a minimal Qt Widgets program that shows one main window.
#include "ShownProbe.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ShownProbe probe;
    QMainWindow window;
    window.resize(902, 572); // the size of the player's main window
    window.show();
    return QApplication::exec();
}
