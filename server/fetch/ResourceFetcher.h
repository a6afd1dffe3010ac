#pragma once

#include "server/fetch/FetchEngine.h"
#include "server/store/LibraryStore.h"

#include <chrono>
#include <string>

namespace server {

// How the routes get resources fetched that the library lacks: by an engine in this process
// (LocalFetcher, serve --fetch) or by fetch workers that take jobs from the shared database
// (WorkerFetcher).
class ResourceFetcher
{
public:
    virtual ~ResourceFetcher() = default;

    virtual const FetchOptions &options() const = 0;
    // Whether anything fetches now.
    virtual bool available() = 0;
    // Starts fetching the hash unless that runs already and waits up to `wait` for its metadata
    // (the resource is in the library then). *reason explains Refused and Failed.
    virtual FetchEngine::State request(const std::string &hash, std::chrono::milliseconds wait,
                                       std::string *reason) = 0;
    // Before the address of a file that is still arriving goes to a player: its first piece is
    // there, so that the player's short probe finds bytes. *host names the video host that
    // serves it, when that is not one of the usual ones. False with *reason when it cannot be
    // played yet. `code` and `cookie` are the player's.
    virtual bool prepareToPlay(const LibraryFile &file, const std::string &code, const std::string &cookie,
                               std::string *host, std::string *reason) = 0;
    // The host that holds a finished fetched file, empty when the usual hosts do.
    virtual std::string placeOf(const LibraryFile &file) = 0;
};

// The engine of this process.
class LocalFetcher : public ResourceFetcher
{
public:
    explicit LocalFetcher(FetchEngine &engine)
        : m_engine(engine)
    { }

    const FetchOptions &options() const override { return m_engine.options(); }
    bool available() override { return true; }
    FetchEngine::State request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason) override
    {
        return m_engine.request(hash, wait, reason);
    }
    bool prepareToPlay(const LibraryFile &file, const std::string &, const std::string &, std::string *,
                       std::string *reason) override
    {
        return m_engine.prepareToPlay(file.resourceHash, file.fileIndex, reason);
    }
    std::string placeOf(const LibraryFile &) override { return std::string(); }

private:
    FetchEngine &m_engine;
};

} // namespace server
