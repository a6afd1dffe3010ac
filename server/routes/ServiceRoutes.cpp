#include "server/routes/ServiceRoutes.h"

#include "server/routes/AccountRoutes.h"
#include "server/routes/CollectionRoutes.h"
#include "server/routes/ConfigRoutes.h"
#include "server/routes/PlayPositionRoutes.h"
#include "server/routes/ResourceRoutes.h"
#include "server/routes/WebPages.h"

namespace server {

void addServiceRoutes(Router &router)
{
    addAccountRoutes(router);
    addConfigRoutes(router);
    addCollectionRoutes(router);
    addPlayPositionRoutes(router);
    addResourceRoutes(router);
    addWebPages(router);
}

} // namespace server
