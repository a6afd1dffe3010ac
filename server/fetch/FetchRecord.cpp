#include "server/fetch/FetchRecord.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace server {

namespace {
// Pieces kept in memory for readers, at most this many bytes (and at least a few pieces).
constexpr int64_t kPieceCacheBytes = 64 << 20;
constexpr size_t kPieceCacheMinimum = 4;
} // namespace

FetchPiece FetchRecord::Files::read(int index, std::string *reason) const
{
    const int64_t start = int64_t(index) * pieceLength;
    const int64_t total = offsets.empty() ? 0 : offsets.back() + sizes.back();
    const int size = int(std::min<int64_t>(pieceLength, total - start));
    if (size <= 0) {
        *reason = "no piece " + std::to_string(index);
        return {};
    }
    std::shared_ptr<char> bytes(new char[size_t(size)](), std::default_delete<char[]>());
    for (size_t i = 0; i < offsets.size(); ++i) {
        const int64_t from = std::max(start, offsets[i]);
        const int64_t to = std::min(start + size, offsets[i] + sizes[i]);
        if (from >= to)
            continue;
        const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = fd < 0 ? -1 : ::pread(fd, bytes.get() + (from - start), size_t(to - from), from - offsets[i]);
        if (fd >= 0)
            ::close(fd);
        if (got != to - from) {
            *reason = "cannot read " + paths[i];
            return {};
        }
    }
    return FetchPiece{bytes, size};
}

FetchPiece FetchRecord::cached(int index)
{
    const auto found = m_cache.find(index);
    if (found == m_cache.end())
        return {};
    m_cacheOrder.erase(std::find(m_cacheOrder.begin(), m_cacheOrder.end(), index));
    m_cacheOrder.push_back(index);
    return found->second;
}

void FetchRecord::keep(int index, FetchPiece piece)
{
    if (m_cache.count(index))
        return;
    m_cacheBytes += piece.size;
    m_cache[index] = std::move(piece);
    m_cacheOrder.push_back(index);
    while (m_cacheBytes > kPieceCacheBytes && m_cacheOrder.size() > kPieceCacheMinimum) {
        const int oldest = m_cacheOrder.front();
        m_cacheOrder.pop_front();
        m_cacheBytes -= m_cache[oldest].size;
        m_cache.erase(oldest);
    }
}

void FetchRecord::clearCache()
{
    m_cache.clear();
    m_cacheOrder.clear();
    m_cacheBytes = 0;
}

} // namespace server
