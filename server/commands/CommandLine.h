#pragma once

#include <string>
#include <vector>

namespace server {

// pelorin-service COMMAND ...: serve, user, library, demo, hash, torrent. Returns the exit code.
int runCommandLine(const std::vector<std::string> &arguments);

std::string usageText();

} // namespace server
