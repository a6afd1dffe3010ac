#include "server/fetch/FetchStream.h"

#include <algorithm>
#include <chrono>

namespace server {

namespace {
// How much of the file beyond the current piece is asked for ahead of the reader.
constexpr int64_t kReadAheadBytes = 16 << 20;
} // namespace

FetchStream::FetchStream(FetchEngine &engine, std::string hash, const FetchEngine::FileLayout &layout)
    : m_engine(engine), m_hash(std::move(hash)), m_layout(layout)
{
    const int64_t end = m_layout.offset + std::max<int64_t>(m_layout.size, 1) - 1;
    m_lastPiece = int(end / m_layout.pieceLength);
    m_aheadPieces = int(std::max<int64_t>(4, kReadAheadBytes / m_layout.pieceLength));
}

FetchStream::~FetchStream()
{
    if (m_windowFirst >= 0)
        m_engine.unwant(m_hash, m_windowFirst, m_windowLast);
}

void FetchStream::moveWindow(int piece)
{
    const int last = std::min(piece + m_aheadPieces, m_lastPiece);
    if (piece == m_windowFirst && last == m_windowLast)
        return;
    // The new window is announced before the old one is withdrawn, so shared pieces keep theirs.
    m_engine.want(m_hash, piece, last);
    if (m_windowFirst >= 0)
        m_engine.unwant(m_hash, m_windowFirst, m_windowLast);
    m_windowFirst = piece;
    m_windowLast = last;
}

bool FetchStream::waitFor(int64_t at, std::string *reason)
{
    const int index = int((m_layout.offset + at) / m_layout.pieceLength);
    if (index == m_currentIndex)
        return true;
    moveWindow(index);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_engine.options().pieceWaitSeconds);
    FetchPiece piece = m_engine.piece(m_hash, index, deadline, reason);
    if (!piece.bytes)
        return false;
    m_current = std::move(piece);
    m_currentIndex = index;
    return true;
}

bool FetchStream::send(int64_t first, int64_t length, const Writer &write, int64_t *sent, std::string *reason)
{
    int64_t position = first;
    const int64_t end = first + length;
    while (position < end) {
        if (!waitFor(position, reason))
            return false;
        const int64_t pieceStart = int64_t(m_currentIndex) * m_layout.pieceLength;
        const int64_t within = m_layout.offset + position - pieceStart;
        const int64_t count = std::min<int64_t>(m_current.size - within, end - position);
        if (count <= 0) {
            *reason = "piece " + std::to_string(m_currentIndex) + " is shorter than the file says";
            return false;
        }
        if (!write(m_current.bytes.get() + within, size_t(count))) {
            *reason = "the client went away";
            return false;
        }
        position += count;
        *sent += count;
    }
    return true;
}

} // namespace server
