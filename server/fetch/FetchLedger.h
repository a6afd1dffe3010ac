#pragma once

#include "server/store/LibraryStore.h"

#include <string>
#include <vector>

namespace server {

// Where a fetch engine writes what its fetches come to, and learns which fetched resources its disk
// holds: straight in the library for a service that fetches alone (LibraryLedger), behind the
// job's epoch for a fetch worker (JobLedger). Called with the engine's lock held.
class FetchLedger
{
public:
    enum class Outcome { Refused, Failed };

    virtual ~FetchLedger() = default;
    // The metadata came: the resource joins the library as "fetching" (in place when it is there
    // already). False with *error drops the fetch.
    virtual bool admit(const LibraryResource &resource, const std::vector<LibraryStore::NewFile> &files,
                       std::string *error) = 0;
    // Every piece is on disk. False with *error drops the fetch.
    virtual bool complete(const std::string &hash, std::string *error) = 0;
    // The fetch was refused or failed.
    virtual void ended(const std::string &hash, Outcome outcome, const std::string &reason) = 0;
    // The fetched resources on this disk, least recently played first.
    virtual std::vector<LibraryStore::FetchedResource> heldHere() = 0;
    // Gives a resource of this disk up, to stay within the quota.
    virtual void evict(const std::string &hash) = 0;
};

} // namespace server
