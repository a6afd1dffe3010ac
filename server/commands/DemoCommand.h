#pragma once

#include <string>
#include <vector>

namespace server {

// demo --data DIR [--clip-seconds N] [--ffmpeg PATH] [--public-host HOST:PORT]: a ready library
// with demo clips, accounts and configuration; prints the magnet links. Running it again leaves
// one consistent library.
int runDemoCommand(const std::vector<std::string> &arguments);

} // namespace server
