#include "server/fetch/FetchQuota.h"

namespace server {

FetchQuota::FetchQuota(std::vector<LibraryStore::FetchedResource> held, int64_t quota)
    : m_held(std::move(held)), m_quota(quota)
{
}

bool FetchQuota::makeRoom(const std::string &hash, int64_t size, std::vector<LibraryStore::FetchedResource> *evict, std::string *reason)
{
    if (m_quota <= 0)
        return true;
    if (size > m_quota) {
        *reason = "its " + std::to_string(size) + " bytes exceed the fetch quota";
        return false;
    }
    const std::vector<LibraryStore::FetchedResource> &fetched = m_held;
    int64_t total = size;
    for (const auto &resource : fetched)
        total += resource.hash == hash ? 0 : resource.size;
    for (const auto &resource : fetched) {
        if (total <= m_quota)
            break;
        if (resource.hash == hash)
            continue;
        evict->push_back(resource);
        total -= resource.size;
    }
    return true;
}

} // namespace server
