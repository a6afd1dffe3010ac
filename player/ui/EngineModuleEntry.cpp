// The entry point of the engine module that the program opens at run time (EngineModule).
#include "player/ui/MpvEngineFactory.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT PlayerEngine *pelorinCreateEngine(QWidget *playPage)
{
    return MpvEngineFactory::create(playPage);
}
