#pragma once

#include <libtorrent/fwd.hpp>
#include <libtorrent/sha1_hash.hpp>
#include <libtorrent/socket.hpp>
#include <libtorrent/torrent_status.hpp>

#include <QString>

#include <string>

namespace server {

// Conversions between the engine's types and the service's texts.
namespace torrentids {

bool isHexHash(const std::string &text);
std::string lowered(std::string text);
std::string hexOf(const libtorrent::sha1_hash &hash);
// `hex` must be 40 hexadecimal digits.
libtorrent::sha1_hash hashOf(const std::string &hex);
// "HOST:PORT" or "[V6]:PORT".
bool endpointOf(const std::string &text, libtorrent::tcp::endpoint *endpoint);
// The engine throws when a handle's torrent has gone meanwhile (removed by another thread);
// that reads as "no status".
bool statusOf(const libtorrent::torrent_handle &handle, libtorrent::torrent_status *status,
              libtorrent::status_flags_t flags = libtorrent::status_flags_t{});
QString qPath(const std::string &path);

} // namespace torrentids
} // namespace server
