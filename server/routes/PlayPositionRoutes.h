#pragma once

namespace server {

class Router;

// An account's play positions: the list (do=playpos) and one written (do=playpos, method=set).
void addPlayPositionRoutes(Router &router);

} // namespace server
