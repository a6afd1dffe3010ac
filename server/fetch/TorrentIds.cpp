#include "server/fetch/TorrentIds.h"

#include <libtorrent/address.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace lt = libtorrent;

namespace server {
namespace torrentids {

bool isHexHash(const std::string &text)
{
    return text.size() == 40 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string hexOf(const lt::sha1_hash &hash)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char byte : hash) {
        text += digits[(static_cast<unsigned char>(byte) >> 4) & 0xF];
        text += digits[static_cast<unsigned char>(byte) & 0xF];
    }
    return text;
}

lt::sha1_hash hashOf(const std::string &hex)
{
    char bytes[20];
    for (int i = 0; i < 20; ++i)
        bytes[i] = char(std::stoi(hex.substr(size_t(i) * 2, 2), nullptr, 16));
    return lt::sha1_hash(bytes);
}

bool endpointOf(const std::string &text, lt::tcp::endpoint *endpoint)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    lt::error_code ec;
    const lt::address address = lt::make_address(host, ec);
    const int port = std::atoi(text.c_str() + colon + 1);
    if (ec || port <= 0 || port > 65535)
        return false;
    *endpoint = lt::tcp::endpoint(address, std::uint16_t(port));
    return true;
}

bool statusOf(const lt::torrent_handle &handle, lt::torrent_status *status, lt::status_flags_t flags)
{
    try {
        *status = handle.status(flags);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

QString qPath(const std::string &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace torrentids
} // namespace server
