#include "server/http/RequestFraming.h"

#include <strings.h>

namespace server {

namespace {
// The longest chunk-size line (size, extensions) or trailer line accepted.
constexpr size_t kMaxChunkLine = 1024;

std::string trimmed(const std::string &text, size_t from, size_t to)
{
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.substr(from, to - from);
}

bool nameIs(const std::string &buffer, size_t from, size_t to, const char *name)
{
    const size_t length = std::char_traits<char>::length(name);
    return to - from == length && strncasecmp(buffer.data() + from, name, length) == 0;
}
} // namespace

RequestFraming::RequestFraming(size_t maxHeadBytes, size_t maxBodyBytes)
    : m_maxHeadBytes(maxHeadBytes), m_maxBodyBytes(maxBodyBytes)
{
}

int RequestFraming::refusalStatus() const
{
    switch (m_state) {
    case State::Bad: return 400;
    case State::BodyTooLarge: return 413;
    case State::HeadTooLarge: return 431;
    case State::Unsupported: return 501;
    default: return 0;
    }
}

RequestFraming::State RequestFraming::scan(const std::string &buffer)
{
    if (m_state != State::Incomplete)
        return m_state;
    if (m_headLength == 0) {
        const size_t end = buffer.find("\r\n\r\n", m_searchFrom);
        if (end == std::string::npos) {
            m_searchFrom = buffer.size() < 3 ? 0 : buffer.size() - 3;
            if (buffer.size() > m_maxHeadBytes)
                m_state = State::HeadTooLarge;
            return m_state;
        }
        if (end + 4 > m_maxHeadBytes)
            return m_state = State::HeadTooLarge;
        m_headLength = end + 4;
        m_state = parseHead(buffer);
        if (m_state != State::Incomplete)
            return m_state;
        m_chunkAt = m_headLength;
    }
    if (m_chunked)
        return m_state = scanChunks(buffer);
    if (buffer.size() >= m_headLength + m_contentLength) {
        m_requestLength = m_headLength + m_contentLength;
        m_state = State::Complete;
    }
    return m_state;
}

RequestFraming::State RequestFraming::parseHead(const std::string &buffer)
{
    bool hasLength = false;
    bool hasCoding = false;
    size_t lineStart = buffer.find("\r\n") + 2; // past the request line
    const size_t headEnd = m_headLength - 2;
    while (lineStart < headEnd) {
        const size_t lineEnd = buffer.find("\r\n", lineStart);
        const size_t colon = buffer.find(':', lineStart);
        if (colon != std::string::npos && colon < lineEnd) {
            const std::string value = trimmed(buffer, colon + 1, lineEnd);
            if (nameIs(buffer, lineStart, colon, "Content-Length")) {
                if (value.empty() || value.size() > 15 || value.find_first_not_of("0123456789") != std::string::npos)
                    return State::Bad;
                const size_t length = std::stoull(value);
                if (hasLength && length != m_contentLength)
                    return State::Bad;
                hasLength = true;
                m_contentLength = length;
            } else if (nameIs(buffer, lineStart, colon, "Transfer-Encoding")) {
                if (hasCoding || strcasecmp(value.c_str(), "chunked") != 0)
                    return hasCoding ? State::Bad : State::Unsupported;
                hasCoding = true;
            } else if (nameIs(buffer, lineStart, colon, "Expect")) {
                m_expectsContinue = strcasecmp(value.c_str(), "100-continue") == 0;
            }
        }
        lineStart = lineEnd + 2;
    }
    // Both framings at once is how requests are smuggled past proxies.
    if (hasLength && hasCoding)
        return State::Bad;
    if (m_contentLength > m_maxBodyBytes)
        return State::BodyTooLarge;
    m_chunked = hasCoding;
    return State::Incomplete;
}

RequestFraming::State RequestFraming::scanChunks(const std::string &buffer)
{
    for (;;) {
        // Chunk sizes and line ends are not data, but they take memory all the same.
        if (buffer.size() - m_headLength > m_maxBodyBytes + m_maxHeadBytes)
            return State::BodyTooLarge;
        const size_t lineEnd = buffer.find("\r\n", m_chunkAt);
        if (lineEnd == std::string::npos)
            return buffer.size() - m_chunkAt > kMaxChunkLine ? State::Bad : State::Incomplete;
        if (lineEnd - m_chunkAt > kMaxChunkLine)
            return State::Bad;
        if (m_inTrailers) {
            // Trailer fields up to the empty line that ends the request.
            const bool last = lineEnd == m_chunkAt;
            m_chunkAt = lineEnd + 2;
            if (last) {
                m_requestLength = m_chunkAt;
                return State::Complete;
            }
            continue;
        }
        size_t size = 0;
        size_t at = m_chunkAt;
        size_t digits = 0;
        for (; at < lineEnd; ++at, ++digits) {
            const char c = buffer[at];
            int value;
            if (c >= '0' && c <= '9')
                value = c - '0';
            else if (c >= 'a' && c <= 'f')
                value = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                value = c - 'A' + 10;
            else
                break;
            if (digits >= 8)
                return State::BodyTooLarge;
            size = size * 16 + size_t(value);
        }
        if (digits == 0 || (at < lineEnd && buffer[at] != ';' && buffer[at] != ' ' && buffer[at] != '\t'))
            return State::Bad;
        if (size > m_maxBodyBytes - m_bodyBytes)
            return State::BodyTooLarge;
        if (size == 0) {
            m_inTrailers = true;
            m_chunkAt = lineEnd + 2;
            continue;
        }
        const size_t dataEnd = lineEnd + 2 + size;
        if (buffer.size() < dataEnd + 2)
            return State::Incomplete;
        if (buffer.compare(dataEnd, 2, "\r\n") != 0)
            return State::Bad;
        m_bodyBytes += size;
        m_chunkAt = dataEnd + 2;
    }
}

} // namespace server
