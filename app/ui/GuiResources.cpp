#include "app/ui/GuiResources.h"

#include <QtGlobal>

// Qt's own Chinese texts (assets/) and the program's English (translations/).
static void initTranslations()
{
    Q_INIT_RESOURCE(translations);
    Q_INIT_RESOURCE(pelorin_i18n);
}

// The images that the style sheets of every window name (rendered from assets/).
static void initImages()
{
    Q_INIT_RESOURCE(pelorin_assets);
}

void initGuiResources()
{
    initTranslations();
    initImages();
}
