// The entry point of the casting module that the program opens at run time (RendererModule).
#include "player/upnp/UpnpRendererDiscovery.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT RendererDiscovery *pelorinCreateRendererDiscovery(QObject *parent)
{
    return new UpnpRendererDiscovery(parent);
}
