#include "server/ServiceRoutes.h"

#include "server/AccountRoutes.h"
#include "server/CollectionRoutes.h"
#include "server/ConfigRoutes.h"
#include "server/ResourceRoutes.h"
#include "server/WebPages.h"

namespace server {

void addServiceRoutes(Router &router)
{
    addAccountRoutes(router);
    addConfigRoutes(router);
    addCollectionRoutes(router);
    addResourceRoutes(router);
    addWebPages(router);
}

} // namespace server
