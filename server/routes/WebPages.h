#pragma once

#include <string>

namespace server {

class Router;

// The pages the player opens in a browser: home, tutorial, declaration and the account page
// (log in, VIP state, log out).
void addWebPages(Router &router);

std::string escapeHtml(const std::string &text);

} // namespace server
