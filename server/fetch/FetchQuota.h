#pragma once

#include "server/store/LibraryStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace server {

// The fetched payload kept at most: which fetched resources a new one displaces, least recently
// played first. Resources added by hand never count.
class FetchQuota
{
public:
    // `held`: the fetched resources on this disk, least recently played first.
    FetchQuota(std::vector<LibraryStore::FetchedResource> held, int64_t quota);

    // Whether a resource of `size` bytes may be fetched; *evict names what must go to make room.
    bool makeRoom(const std::string &hash, int64_t size, std::vector<LibraryStore::FetchedResource> *evict, std::string *reason);

private:
    std::vector<LibraryStore::FetchedResource> m_held;
    int64_t m_quota;
};

} // namespace server
