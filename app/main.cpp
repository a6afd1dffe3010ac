#include "app/GuiResources.h"
#include "app/StartUp.h"

#include <QApplication>
#include <QFont>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    // The media engine parses numbers in the C locale and refuses to start otherwise.
    std::setlocale(LC_NUMERIC, "C");
    initGuiResources();
    // One face for every text, so that the fixed-size labels of the forms hold their texts.
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));

    StartUp startUp;
    return startUp.run();
}
