#pragma once

#include <string>

namespace server {

class Router;

// Configuration items (announcements, pop-up notice, video hosts) and update information.
void addConfigRoutes(Router &router);

// The address of a file under DIR/static/ as the player fetches it, or the text itself when it is
// already an address.
std::string staticAddress(const std::string &host, const std::string &nameOrAddress);

} // namespace server
