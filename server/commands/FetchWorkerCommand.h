#pragma once

#include <string>
#include <vector>

namespace server {

// fetch-worker --database URL --fetch-dir DIR --listen HOST:PORT ...: fetches the resources the
// instances on the shared database ask for, and serves them to players, until SIGINT or SIGTERM.
int runFetchWorkerCommand(const std::vector<std::string> &arguments);

} // namespace server
