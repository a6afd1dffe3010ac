#pragma once

#include "server/fetch/FetchLedger.h"

namespace server {

// The ledger of a service that fetches alone: the library is all there is.
class LibraryLedger : public FetchLedger
{
public:
    explicit LibraryLedger(LibraryStore &library)
        : m_library(library)
    { }

    bool admit(const LibraryResource &resource, const std::vector<LibraryStore::NewFile> &files,
               std::string *error) override;
    bool complete(const std::string &hash, std::string *error) override;
    void ended(const std::string &, Outcome, const std::string &) override { }
    std::vector<LibraryStore::FetchedResource> heldHere() override { return m_library.fetchedResources(); }
    void evict(const std::string &hash) override { m_library.remove(hash); }

private:
    LibraryStore &m_library;
};

} // namespace server
