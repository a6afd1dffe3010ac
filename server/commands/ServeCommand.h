#pragma once

#include <string>
#include <vector>

namespace server {

// serve --data DIR [--listen HOST:PORT] ...: runs the web service until SIGINT or SIGTERM.
int runServeCommand(const std::vector<std::string> &arguments);

// Splits "host:port" ("[v6]:port" too); false when it is not one.
bool parseHostPort(const std::string &text, std::string *host, int *port);
// A decimal number within [low, high].
bool parseCount(const std::string &text, int low, int high, int *value);

} // namespace server
