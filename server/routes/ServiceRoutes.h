#pragma once

namespace server {

class Router;

// Every route of /server/. New groups of routes are added here.
void addServiceRoutes(Router &router);

} // namespace server
