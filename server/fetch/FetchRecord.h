#pragma once

#include "server/fetch/FetchEngine.h"
#include "server/fetch/FetchPiece.h"

#include <libtorrent/torrent_handle.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace server {

// What the engine knows of one fetch: its torrent, how far it has come, and the pieces that
// readers have had read lately. Guarded by the engine's mutex.
class FetchRecord
{
public:
    using Clock = std::chrono::steady_clock;

    // Where the payload lies on disk, file by file.
    struct Files {
        int64_t pieceLength = 0;
        std::vector<int64_t> offsets;
        std::vector<int64_t> sizes;
        std::vector<std::string> paths;
        // Piece `index` read from the files (once all of them are written); empty with *reason
        // when that fails.
        FetchPiece read(int index, std::string *reason) const;
    };

    std::string hash;
    libtorrent::torrent_handle handle;
    FetchEngine::State state = FetchEngine::State::WaitingForMetadata;
    std::string reason;
    Clock::time_point since = Clock::now();
    Clock::time_point lastResumeSave = Clock::now();
    Files files;
    int pieceCount = 0;
    std::vector<char> passed;          // pieces that passed their check
    std::set<int> reading;             // reads asked of the engine
    std::map<int, std::string> readErrors;
    std::map<int, int> wanted;         // pieces readers announced, with their count
    bool flushing = false;             // every piece is there; waiting for the disk

    FetchPiece cached(int index);
    // Keeps a piece read for readers; the oldest ones go beyond the cache's size.
    void keep(int index, FetchPiece piece);
    void clearCache();

private:
    std::map<int, FetchPiece> m_cache;
    std::deque<int> m_cacheOrder;
    int64_t m_cacheBytes = 0;
};

} // namespace server
