#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// One request as it arrived on the wire.
struct RecordedRequest
{
    QByteArray method;
    QByteArray target;  // path and query as sent
    QByteArray path;
    QByteArray query;
    QList<QPair<QByteArray, QByteArray>> headers; // in the order sent, names as sent
    QByteArray body;

    bool hasHeader(const QByteArray &name) const;
    QByteArray header(const QByteArray &name) const; // first header of that name (any case)
    // Elements of the query (GET) or body (POST) split at "&", in order, not decoded.
    QList<QByteArray> parameters() const;
};

// What the server does with a request that a route matched.
struct ScriptedResponse
{
    enum class Action {
        Answer, // status, headers and body
        Drop,   // close the connection without an answer
        Hang,   // accept and never answer
    };

    Action action = Action::Answer;
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool contentLength = true; // add Content-Length: body size unless a header of the route says it
    int delayMs = 0;           // wait before answering
    int chunkSize = 0;         // send the body in chunks of this size ...
    int chunkIntervalMs = 0;   // ... this far apart
    int dropAfterBytes = -1;   // close the connection after this many body bytes

    static ScriptedResponse withType(const QByteArray &type, const QByteArray &body, int status);
    static ScriptedResponse json(const QByteArray &body, int status = 200)
    {
        return withType("application/json; charset=utf-8", body, status);
    }
    static ScriptedResponse text(const QByteArray &body, int status = 200)
    {
        return withType("text/plain; charset=utf-8", body, status);
    }
    static ScriptedResponse drop() { return withAction(Action::Drop); }
    static ScriptedResponse hang() { return withAction(Action::Hang); }
    static ScriptedResponse withAction(Action action)
    {
        ScriptedResponse r;
        r.action = action;
        return r;
    }
    ScriptedResponse &withHeader(const QByteArray &name, const QByteArray &value)
    {
        headers.append({name, value});
        return *this;
    }
};

// A scripted HTTP/1.1 server on 127.0.0.1 with an ephemeral port, for tests that must check the
// bytes on the wire or provoke faults. Runs on the thread that created it; callers wait with
// event loops (QSignalSpy::wait, QTRY_*), which is what the code under test does anyway.
class ScriptedHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest &)>;

    explicit ScriptedHttpServer(QObject *parent = nullptr);
    ~ScriptedHttpServer() override;

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    QUrl url(const QString &pathAndQuery) const { return QUrl(QStringLiteral("http://") + hostPort() + pathAndQuery); }

    // The route added last whose text occurs in the target or the body answers the request.
    // An empty text matches every request. Unmatched requests get 404.
    void route(const QByteArray &match, const ScriptedResponse &response);
    void route(const QByteArray &match, const Handler &handler) { m_routes.append({match, handler}); }
    // Serves data with HEAD, Accept-Ranges and single byte ranges (206, 416).
    void serveData(const QByteArray &match, const QByteArray &data,
                   const QByteArray &contentType = "application/octet-stream",
                   int chunkSize = 0, int chunkIntervalMs = 0);
    void clearRoutes() { m_routes.clear(); }

    QList<RecordedRequest> requests() const { return m_requests; }
    // Requests whose target or body contains match.
    QList<RecordedRequest> requestsMatching(const QByteArray &match) const;
    void clearRequests() { m_requests.clear(); }
    int openConnections() const { return m_connections.size(); }

    static ScriptedResponse rangeResponse(const RecordedRequest &request, const QByteArray &data,
                                          const QByteArray &contentType);

private:
    struct Connection;

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void processBuffer(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const RecordedRequest &request, const ScriptedResponse &response);
    void sendBody(QTcpSocket *socket, QByteArray body, int chunkSize, int intervalMs, bool closeAfter);
    ScriptedResponse answerFor(const RecordedRequest &request);

    QTcpServer m_server;
    QList<QPair<QByteArray, Handler>> m_routes;
    QList<RecordedRequest> m_requests;
    QHash<QTcpSocket *, Connection *> m_connections;
};
