// The player's own start-up (as its main does) with the shown-probe. The first argument is the
// directory for the single-instance lock, so that a player running on the machine is not in the way.
#include "ShownProbe.h"

#include "app/GuiResources.h"
#include "app/StartUp.h"

#include <QFont>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    ShownProbe probe;
    std::setlocale(LC_NUMERIC, "C");
    initGuiResources();
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));

    StartUp startUp(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    return startUp.run();
}
