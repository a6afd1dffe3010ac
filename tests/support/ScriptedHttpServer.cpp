#include "ScriptedHttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

struct ScriptedHttpServer::Connection
{
    QByteArray buffer;
    bool busy = false; // answering or hanging: later requests wait
};

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

QList<QByteArray> RecordedRequest::parameters() const
{
    const QByteArray text = method == "POST" ? body : query;
    return text.isEmpty() ? QList<QByteArray>() : text.split('&');
}

ScriptedResponse ScriptedResponse::withType(const QByteArray &type, const QByteArray &body, int status)
{
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    r.headers.append({"Content-Type", type});
    return r;
}

// The listening socket is parented so that the server can be moved to a thread of its own.
ScriptedHttpServer::ScriptedHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(this)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::onNewConnection);
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    m_server.close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete m_connections.take(socket);
        delete socket;
    }
}

void ScriptedHttpServer::route(const QByteArray &match, const ScriptedResponse &response)
{
    route(match, [response](const RecordedRequest &) { return response; });
}

void ScriptedHttpServer::serveData(const QByteArray &match, const QByteArray &data,
                                   const QByteArray &contentType, int chunkSize, int chunkIntervalMs)
{
    route(match, [data, contentType, chunkSize, chunkIntervalMs](const RecordedRequest &request) {
        ScriptedResponse r = rangeResponse(request, data, contentType);
        r.chunkSize = chunkSize;
        r.chunkIntervalMs = chunkIntervalMs;
        return r;
    });
}

QList<RecordedRequest> ScriptedHttpServer::requestsMatching(const QByteArray &match) const
{
    QList<RecordedRequest> found;
    for (const RecordedRequest &r : m_requests) {
        if (r.target.contains(match) || r.body.contains(match))
            found.append(r);
    }
    return found;
}

ScriptedResponse ScriptedHttpServer::rangeResponse(const RecordedRequest &request, const QByteArray &data,
                                                   const QByteArray &contentType)
{
    ScriptedResponse r;
    r.headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    r.headers.append(qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes")));
    const qint64 size = data.size();
    qint64 first = 0;
    qint64 last = size - 1;
    const QByteArray range = request.header("Range").trimmed();
    if (range.startsWith("bytes=")) {
        const QByteArray spec = range.mid(6);
        const int dash = spec.indexOf('-');
        bool ok = dash >= 0;
        if (ok && dash == 0) {
            const qint64 suffix = spec.mid(1).toLongLong(&ok);
            first = qMax<qint64>(0, size - suffix);
        } else if (ok) {
            first = spec.left(dash).toLongLong(&ok);
            if (ok && dash + 1 < spec.size())
                last = qMin(size - 1, spec.mid(dash + 1).toLongLong(&ok));
        }
        if (!ok || first >= size || first > last) {
            r.status = 416;
            r.headers.append({"Content-Range", "bytes */" + QByteArray::number(size)});
            return r;
        }
        r.status = 206;
        r.headers.append({"Content-Range", "bytes " + QByteArray::number(first) + '-'
                                               + QByteArray::number(last) + '/' + QByteArray::number(size)});
    }
    r.headers.append({"Content-Length", QByteArray::number(last - first + 1)});
    r.contentLength = false;
    if (request.method != "HEAD")
        r.body = data.mid(int(first), int(last - first + 1));
    return r;
}

void ScriptedHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        m_connections.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_connections.take(socket);
            socket->deleteLater();
        });
    }
}

void ScriptedHttpServer::onReadyRead(QTcpSocket *socket)
{
    Connection *c = m_connections.value(socket);
    if (!c)
        return;
    c->buffer += socket->readAll();
    processBuffer(socket);
}

void ScriptedHttpServer::processBuffer(QTcpSocket *socket)
{
    Connection *c = m_connections.value(socket);
    while (c && !c->busy) {
        const int headerEnd = c->buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = c->buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        const int question = request.target.indexOf('?');
        request.path = question < 0 ? request.target : request.target.left(question);
        request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        const int bodyLength = request.header("Content-Length").toInt();
        const int total = headerEnd + 4 + bodyLength;
        if (c->buffer.size() < total)
            return;
        request.body = c->buffer.mid(headerEnd + 4, bodyLength);
        c->buffer.remove(0, total);

        m_requests.append(request);
        const ScriptedResponse response = answerFor(request);
        c->busy = true;
        if (response.action == ScriptedResponse::Action::Hang)
            return;
        QPointer<QTcpSocket> guard(socket);
        auto answer = [this, guard, request, response] {
            if (guard)
                respond(guard, request, response);
        };
        if (response.delayMs > 0) {
            QTimer::singleShot(response.delayMs, this, answer);
            return;
        }
        answer();
        c = m_connections.value(socket);
    }
}

ScriptedResponse ScriptedHttpServer::answerFor(const RecordedRequest &request)
{
    for (int i = m_routes.size() - 1; i >= 0; --i) {
        const QByteArray &match = m_routes.at(i).first;
        if (match.isEmpty() || request.target.contains(match) || request.body.contains(match))
            return m_routes.at(i).second(request);
    }
    return ScriptedResponse::text("not found", 404);
}

static QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

void ScriptedHttpServer::respond(QTcpSocket *socket, const RecordedRequest &request,
                                 const ScriptedResponse &response)
{
    if (response.action == ScriptedResponse::Action::Drop) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                      + "\r\n";
    bool hasLength = false;
    for (const auto &h : response.headers) {
        head += h.first + ": " + h.second + "\r\n";
        hasLength = hasLength || h.first.compare("Content-Length", Qt::CaseInsensitive) == 0;
    }
    if (response.contentLength && !hasLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "\r\n";
    socket->write(head);

    QByteArray body = request.method == "HEAD" ? QByteArray() : response.body;
    // A client that asked to close gets the end of the connection after the answer.
    bool closeAfter = request.header("Connection").toLower() == "close";
    if (response.dropAfterBytes >= 0 && response.dropAfterBytes < body.size()) {
        body.truncate(response.dropAfterBytes);
        closeAfter = true;
    }
    sendBody(socket, body, response.chunkSize, response.chunkIntervalMs, closeAfter);
}

void ScriptedHttpServer::sendBody(QTcpSocket *socket, QByteArray body, int chunkSize, int intervalMs,
                                  bool closeAfter)
{
    const bool chunked = chunkSize > 0 && body.size() > chunkSize;
    const QByteArray now = chunked ? body.left(chunkSize) : body;
    socket->write(now);
    if (chunked) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(intervalMs, this, [this, guard, rest = body.mid(chunkSize), chunkSize, intervalMs,
                                              closeAfter] {
            if (guard)
                sendBody(guard, rest, chunkSize, intervalMs, closeAfter);
        });
        return;
    }
    if (closeAfter) {
        socket->disconnectFromHost(); // after what was written has gone out
        return;
    }
    if (Connection *c = m_connections.value(socket)) {
        c->busy = false;
        if (!c->buffer.isEmpty())
            QTimer::singleShot(0, this, [this, guard = QPointer<QTcpSocket>(socket)] {
                if (guard)
                    processBuffer(guard);
            });
    }
}
