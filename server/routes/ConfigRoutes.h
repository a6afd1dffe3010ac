#pragma once

#include <string>
#include <vector>

namespace server {

class Router;
class ServiceContext;

// Configuration items (announcements, pop-up notice, video hosts) and update information.
void addConfigRoutes(Router &router);

// The hosts the player may fetch videos from: those this process serves, then those of the
// configuration item; *malformed tells that the item did not parse.
std::vector<std::string> videoHostList(ServiceContext &service, bool *malformed = nullptr);

// The address of a file under DIR/static/ as the player fetches it, or the text itself when it is
// already an address.
std::string staticAddress(const std::string &host, const std::string &nameOrAddress);

} // namespace server
