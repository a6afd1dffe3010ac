#pragma once

#include <cstddef>
#include <string>

namespace server {

// Where one HTTP/1.1 request ends in the bytes received so far, found before any of it is handed
// to the HTTP library, so that a request is only served once it is whole and within the limits:
// the head (request line and headers together) and the body, chunked or not.
class RequestFraming
{
public:
    enum class State {
        Incomplete,
        Complete,
        Bad,          // 400: framing that cannot be trusted (both lengths, bad chunk sizes)
        BodyTooLarge, // 413
        HeadTooLarge, // 431
        Unsupported,  // 501: a transfer coding other than chunked
    };

    RequestFraming(size_t maxHeadBytes, size_t maxBodyBytes);

    // Looks at `buffer`, which starts with the request and only grows between calls (scanning
    // resumes where it stopped).
    State scan(const std::string &buffer);

    State state() const { return m_state; }
    bool headComplete() const { return m_headLength > 0; }
    size_t headLength() const { return m_headLength; }
    // Head and body, valid when Complete.
    size_t requestLength() const { return m_requestLength; }
    bool expectsContinue() const { return m_expectsContinue; }
    // The HTTP status that answers a refused request, or 0.
    int refusalStatus() const;

private:
    State parseHead(const std::string &buffer);
    State scanChunks(const std::string &buffer);

    size_t m_maxHeadBytes;
    size_t m_maxBodyBytes;
    State m_state = State::Incomplete;
    size_t m_searchFrom = 0;
    size_t m_headLength = 0;
    size_t m_requestLength = 0;
    bool m_chunked = false;
    size_t m_contentLength = 0;
    bool m_expectsContinue = false;
    // Chunked bodies: where the next chunk's size line starts, the data so far, trailers.
    size_t m_chunkAt = 0;
    size_t m_bodyBytes = 0;
    bool m_inTrailers = false;
};

} // namespace server
