#include "app/GuiResources.h"

#include <QtGlobal>

static void initTranslations()
{
    Q_INIT_RESOURCE(translations);
}

void initGuiResources()
{
    initTranslations();
}
