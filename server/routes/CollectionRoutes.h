#pragma once

namespace server {

class Router;

// Collections (do=fav) per account, and resource reports (do=report).
void addCollectionRoutes(Router &router);

} // namespace server
