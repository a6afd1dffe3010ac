#include "resources/HttpResponseParser.h"

#include <algorithm>
#include <cstring>

HttpResponseParser::HttpResponseParser(Sink sink)
    : m_sink(std::move(sink))
{
}

QByteArray HttpResponseParser::header(const QByteArray &name) const
{
    for (const auto &h : m_headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

HttpResponseParser::State HttpResponseParser::feed(const char *data, qint64 size)
{
    qint64 pos = 0;
    while (pos < size && (m_state == State::Head || m_state == State::Body)) {
        qint64 used = 0;
        if (m_state == State::Head) {
            used = feedHead(data + pos, size - pos);
        } else if (m_framing == Framing::Chunked) {
            used = feedChunked(data + pos, size - pos);
        } else {
            used = m_framing == Framing::Length ? std::min(size - pos, m_contentLength - m_bodyReceived) : size - pos;
            if (!deliver(data + pos, used))
                break;
            if (m_framing == Framing::Length && m_bodyReceived == m_contentLength)
                m_state = State::Done;
        }
        if (used < 0) {
            fail();
            break;
        }
        pos += used;
    }
    return m_state;
}

HttpResponseParser::State HttpResponseParser::finish()
{
    if (m_state == State::Body && m_framing == Framing::UntilClose)
        m_state = State::Done;
    else if (m_state != State::Done)
        fail();
    return m_state;
}

qint64 HttpResponseParser::feedHead(const char *data, qint64 size)
{
    // The end of the head may straddle two reads: search from a little before the new bytes.
    const qint64 before = m_head.size();
    const qint64 taken = std::min<qint64>(size, MaxHeadSize + 4 - before);
    m_head.append(data, int(taken));
    const int end = m_head.indexOf("\r\n\r\n", int(std::max<qint64>(0, before - 3)));
    if (end < 0)
        return m_head.size() >= MaxHeadSize ? -1 : taken;
    m_head.truncate(end);
    const qint64 used = end + 4 - before;
    if (!parseHead())
        return -1;
    m_head.clear();
    return used;
}

bool HttpResponseParser::parseHead()
{
    const QList<QByteArray> lines = m_head.split('\n');
    const QByteArray statusLine = lines.first().trimmed();
    // "HTTP/1.1 200 OK": the reason phrase may be empty or missing.
    const QList<QByteArray> parts = statusLine.split(' ');
    if (!statusLine.startsWith("HTTP/1.") || parts.size() < 2 || parts.at(1).size() != 3)
        return false;
    bool ok = false;
    m_status = parts.at(1).toInt(&ok);
    if (!ok || m_status < 100)
        return false;
    m_headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (!line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t') && !m_headers.isEmpty()) {
            m_headers.last().second += ' ' + line.trimmed(); // an obsolete folded continuation
            continue;
        }
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        m_headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }

    if (m_status < 200) {
        // An interim answer (100 Continue and the like): the real one follows. A switch of
        // protocols was never asked for.
        return m_status != 101;
    }
    m_state = State::Body;
    if (m_status == 204 || m_status == 304) {
        m_state = State::Done;
        return true;
    }
    const QByteArray coding = header("Transfer-Encoding").toLower();
    if (!coding.isEmpty()) {
        // Chunked when it is the last coding; any other coding runs to the end of the connection.
        m_framing = coding.split(',').last().trimmed() == "chunked" ? Framing::Chunked : Framing::UntilClose;
        return true;
    }
    bool haveLength = false;
    for (const auto &h : m_headers) {
        if (h.first.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        const qint64 length = h.second.toLongLong(&ok);
        // Two lengths that differ leave the body's end unknown: refused rather than guessed.
        if (!ok || length < 0 || (haveLength && length != m_contentLength))
            return false;
        m_contentLength = length;
        haveLength = true;
    }
    m_framing = haveLength ? Framing::Length : Framing::UntilClose;
    if (haveLength && m_contentLength == 0)
        m_state = State::Done;
    return true;
}

qint64 HttpResponseParser::feedChunked(const char *data, qint64 size)
{
    qint64 pos = 0;
    while (pos < size && m_state == State::Body) {
        if (m_chunkStep == ChunkStep::Data) {
            const qint64 n = std::min(size - pos, m_chunkLeft);
            if (!deliver(data + pos, n))
                return pos;
            pos += n;
            m_chunkLeft -= n;
            if (m_chunkLeft == 0)
                m_chunkStep = ChunkStep::DataEnd;
            continue;
        }
        bool complete = false;
        const qint64 used = takeLine(data + pos, size - pos, &complete);
        if (used < 0)
            return -1;
        pos += used;
        if (!complete)
            break;
        if (m_chunkStep == ChunkStep::Size) {
            // "1a2b;extension=value"
            const int extension = m_line.indexOf(';');
            const QByteArray digits = (extension < 0 ? m_line : m_line.left(extension)).trimmed();
            bool ok = false;
            m_chunkLeft = digits.toLongLong(&ok, 16);
            if (!ok || digits.size() > 15 || m_chunkLeft < 0 || digits.startsWith('-') || digits.startsWith('+'))
                return -1;
            m_chunkStep = m_chunkLeft == 0 ? ChunkStep::Trailer : ChunkStep::Data;
        } else if (m_chunkStep == ChunkStep::DataEnd) {
            if (!m_line.isEmpty())
                return -1;
            m_chunkStep = ChunkStep::Size;
        } else if (m_line.isEmpty()) {
            m_state = State::Done; // the empty line after the trailer fields
        }
        m_line.clear();
    }
    return pos;
}

qint64 HttpResponseParser::takeLine(const char *data, qint64 size, bool *complete)
{
    const char *newline = static_cast<const char *>(std::memchr(data, '\n', size_t(size)));
    const qint64 used = newline ? newline - data + 1 : size;
    if (m_line.size() + used > MaxLineSize)
        return -1;
    m_line.append(data, int(used));
    *complete = newline != nullptr;
    if (*complete) {
        m_line.chop(1);
        if (m_line.endsWith('\r'))
            m_line.chop(1);
    }
    return used;
}

bool HttpResponseParser::deliver(const char *data, qint64 size)
{
    if (size <= 0)
        return true;
    m_bodyReceived += size;
    if (!m_sink(data, size)) {
        fail();
        return false;
    }
    return true;
}
