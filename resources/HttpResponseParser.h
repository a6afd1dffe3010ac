#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <functional>

// Reads one HTTP/1.x answer as it arrives from a connection: the status line and headers, then a
// body framed by Content-Length, chunked transfer coding or the end of the connection. The body is
// handed to a sink straight from the caller's buffer, so that a large file is not copied on its
// way from the socket to the disk.
class HttpResponseParser
{
public:
    enum class State { Head, Body, Done, Failed };
    // Called with each piece of the body in order; false stops the parser (it fails).
    using Sink = std::function<bool(const char *data, qint64 size)>;

    // A GET that asks for no body, e.g. a HEAD, would need its own framing; this reads GETs only.
    explicit HttpResponseParser(Sink sink);

    // Takes the next bytes of the connection. Returns the state after them; bytes after the end of
    // the answer are ignored.
    State feed(const char *data, qint64 size);
    // The connection ended: an answer framed by its end is complete now, any other is cut short.
    State finish();

    State state() const { return m_state; }
    // Valid once the head has been read (state Body or Done).
    int status() const { return m_status; }
    // The first header of that name (any case), without surrounding white space; empty when absent.
    QByteArray header(const QByteArray &name) const;
    // The body's length from Content-Length; -1 when the answer gives none or is chunked.
    qint64 contentLength() const { return m_framing == Framing::Length ? m_contentLength : -1; }
    qint64 bodyReceived() const { return m_bodyReceived; }

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    qint64 feedHead(const char *data, qint64 size);
    bool parseHead();
    qint64 feedChunked(const char *data, qint64 size);
    bool deliver(const char *data, qint64 size);
    // Collects one CRLF-terminated line into m_line; returns the bytes used, or -1 on a line too long.
    qint64 takeLine(const char *data, qint64 size, bool *complete);
    void fail() { m_state = State::Failed; }

    Sink m_sink;
    State m_state = State::Head;
    Framing m_framing = Framing::UntilClose;
    ChunkStep m_chunkStep = ChunkStep::Size;
    QByteArray m_head;
    QByteArray m_line;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    int m_status = 0;
    qint64 m_contentLength = 0;
    qint64 m_bodyReceived = 0;
    qint64 m_chunkLeft = 0;
    static constexpr int MaxHeadSize = 64 * 1024;
    static constexpr int MaxLineSize = 4096;
};
