#pragma once

#include "server/fetch/FetchEngine.h"

#include <cstdint>
#include <functional>
#include <string>

namespace server {

// One reader of a file that is still arriving: it awaits the file's pieces in order and keeps a
// window of the pieces just ahead announced to the engine, so that they come first; moving on
// (a seek is a new stream) withdraws the window, and other readers of the same pieces share them.
class FetchStream
{
public:
    FetchStream(FetchEngine &engine, std::string hash, const FetchEngine::FileLayout &layout);
    ~FetchStream();
    FetchStream(const FetchStream &) = delete;
    FetchStream &operator=(const FetchStream &) = delete;

    // Waits for the piece that holds file offset `at`; false with *reason when it does not come
    // within the engine's wait limit.
    bool waitFor(int64_t at, std::string *reason);
    // Hands [first, first + length) of the file to `write` piece by piece, awaiting each.
    using Writer = std::function<bool(const char *data, size_t size)>;
    bool send(int64_t first, int64_t length, const Writer &write, int64_t *sent, std::string *reason);

private:
    void moveWindow(int piece);

    FetchEngine &m_engine;
    std::string m_hash;
    FetchEngine::FileLayout m_layout;
    int m_lastPiece = 0;     // of the file
    int m_aheadPieces = 4;   // announced beyond the current one
    int m_windowFirst = -1;
    int m_windowLast = -1;
    int m_currentIndex = -1;
    FetchPiece m_current;
};

} // namespace server
