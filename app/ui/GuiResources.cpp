#include "app/ui/GuiResources.h"

#include <QtGlobal>

static void initTranslations()
{
    Q_INIT_RESOURCE(translations);
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
