#include "server/fetch/LibraryLedger.h"

#include "server/ServiceContext.h"

namespace server {

bool LibraryLedger::admit(const LibraryResource &resource, const std::vector<LibraryStore::NewFile> &files,
                          std::string *error)
{
    return m_library.put(resource, files, ServiceContext::now(), error);
}

bool LibraryLedger::complete(const std::string &hash, std::string *)
{
    // Removed from the library meanwhile: nothing to mark, and nothing lost.
    m_library.setOrigin(hash, "fetch");
    return true;
}

} // namespace server
