#pragma once

#include <string>
#include <vector>

namespace server {

// user --data DIR add|set|list ...: account administration from the terminal.
int runUserCommand(const std::vector<std::string> &arguments);

} // namespace server
