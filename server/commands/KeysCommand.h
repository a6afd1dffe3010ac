#pragma once

#include <string>
#include <vector>

namespace server {

// keys --data DIR --database URL list|rotate: the key ring of access codes on a shared database.
int runKeysCommand(const std::vector<std::string> &arguments);
// config --data DIR [--database URL] show NAME | set NAME FILE: a configuration item, where the
// service keeps it (a file of DIR/config/, or a row of the shared database).
int runConfigCommand(const std::vector<std::string> &arguments);

} // namespace server
