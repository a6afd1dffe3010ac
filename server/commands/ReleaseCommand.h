#pragma once

#include <string>
#include <vector>

namespace server {

// release --data DIR PACKAGE VERSION NOTES: publishes an update in one step. Copies the package
// into DIR/static/, computes its SHA-256 and writes update.json naming the version, the notes, the
// file and its digest; players of another version then offer it.
int runReleaseCommand(const std::vector<std::string> &arguments);

} // namespace server
