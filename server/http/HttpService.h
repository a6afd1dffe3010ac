#pragma once

#include "server/http/ConnectionServer.h"
#include "server/http/Router.h"

#include <memory>
#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace server {

class ConnectionBudget;
class ServiceContext;

// The web service at /server/: parameters, session cookie, signature check and the route table,
// plus the files of DIR/static/ under /server/static/. One log line per request on stderr.
// Connections are accepted and requests received whole by a ConnectionServer; the HTTP library
// parses and answers them.
class HttpService
{
public:
    HttpService(ServiceContext &context, ConnectionBudget &connections);
    ~HttpService();

    // The table the routes of every part are added to before run().
    Router &router() { return m_router; }
    // Binds the listening socket; returns the port (the chosen one for port 0) or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false when it could not run.
    bool run();
    void stop();

private:
    class Library;
    bool serveRequest(const ConnectionServer::Request &request);
    void handle(const httplib::Request &request, httplib::Response &response, bool isPost);
    void serveStatic(const httplib::Request &request, httplib::Response &response);
    // For a front that serves the library files: checks a play or download address.
    void checkForFront(const httplib::Request &request, httplib::Response &response);

    ServiceContext &m_context;
    Router m_router;
    std::unique_ptr<Library> m_http;
    std::unique_ptr<ConnectionServer> m_connections;
};

} // namespace server
