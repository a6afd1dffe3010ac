#pragma once

#include <string>
#include <vector>

namespace server {

class ServiceContext;
struct LibraryResource;

// library --data DIR add|list|remove|address ...
int runLibraryCommand(const std::vector<std::string> &arguments);
// hash INPUT...: the resource hash the player derives from each input.
int runHashCommand(const std::vector<std::string> &arguments);
// torrent create PAYLOAD OUT.torrent [--piece-length BYTES]
int runTorrentCommand(const std::vector<std::string> &arguments);

// Registers a torrent whose payload lies at payloadPath (the torrent's own folder or file, or
// the folder that holds it) after checking the files' sizes and piece hashes. Progress goes to
// stderr for large payloads. On success *added holds the resource.
bool addTorrentToLibrary(ServiceContext &context, const std::string &torrentPath, const std::string &payloadPath,
                         bool vipOnly, const std::string &origin, LibraryResource *added, std::string *error);

} // namespace server
