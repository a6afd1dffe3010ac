#pragma once

#include <string>
#include <vector>

namespace libtorrent {
struct add_torrent_params;
}

namespace server {

// The engine's resume data of unfinished fetches, one file per info-hash in DIR/.resume/, so that
// a restart continues where the last run stopped.
class FetchResume
{
public:
    explicit FetchResume(std::string fetchDir);

    std::string dir() const;
    std::string pathOf(const std::string &hash) const;
    // The hashes that have resume data.
    std::vector<std::string> hashes() const;
    // False (and params left empty) when there is none or it does not belong to the hash.
    bool read(const std::string &hash, libtorrent::add_torrent_params *params) const;
    bool write(const std::string &hash, const std::vector<char> &bytes) const;
    void remove(const std::string &hash) const;

private:
    std::string m_fetchDir;
};

} // namespace server
