#pragma once

#include "server/Router.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace server {

class ServiceContext;

// The web service at /server/: parameters, session cookie, signature check and the route table,
// plus the files of DIR/static/ under /server/static/. One log line per request on stderr.
class HttpService
{
public:
    explicit HttpService(ServiceContext &context);
    ~HttpService();

    // The table the routes of every part are added to before run().
    Router &router() { return m_router; }
    // For handlers beyond /server/ (video hosts run servers of their own).
    httplib::Server &http() { return *m_http; }

    // Binds the listening socket; returns the port (the chosen one for port 0) or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false when it could not run.
    bool run();
    void stop();

private:
    void handle(const httplib::Request &request, httplib::Response &response, bool isPost);
    void serveStatic(const httplib::Request &request, httplib::Response &response);

    ServiceContext &m_context;
    Router m_router;
    std::unique_ptr<httplib::Server> m_http;
};

} // namespace server
