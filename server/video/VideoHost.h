#pragma once

#include "server/store/LibraryStore.h"

#include <condition_variable>
#include <functional>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace server {

class ConnectionBudget;
class ServiceContext;

// One video host: a small HTTP/1.1 server of its own that serves library files by access code,
// at the play address GET /ftn_handler/<code> (with the code's cookie) and the download address
// GET /<8 digits>.mp4?ver=5063&rkey=<code>/. Files go out with sendfile straight from the page
// cache, so the first bytes leave at once and a large file never passes through memory of ours;
// single byte ranges (with If-Range) and HEAD are answered as media players expect. One thread per
// connection; connections count against the process's budget, and a request head has to arrive
// within the head deadline. Files still being fetched go out piece by piece as they arrive.
class VideoHost
{
public:
    VideoHost(ServiceContext &context, ConnectionBudget &connections);
    ~VideoHost();
    VideoHost(const VideoHost &) = delete;
    VideoHost &operator=(const VideoHost &) = delete;

    // Binds the listening socket; returns the port (the chosen one for port 0) or -1.
    int bind(const std::string &host, int port);
    // Accepts connections until stop(); returns when every connection has ended.
    void run();
    void stop();

    // Whether a play or download target (path and query) may be served: 0 with the file, else
    // the HTTP status to refuse it with. *route names the address form for the log.
    static int authorize(ServiceContext &context, const std::string &target, const std::string &cookieHeader,
                         std::optional<LibraryFile> *file, std::string *route);

private:
    struct Request;
    void serveConnection(int fd, const std::string &address);
    // false: close the connection.
    bool answer(int fd, const Request &request);
    // A file of a resource still being fetched: its bytes go out as its pieces arrive.
    bool answerArriving(int fd, const Request &request, const LibraryFile &file, int *status, int64_t *sentBytes,
                        const std::function<void()> &log, const std::function<bool(int)> &refuse);

    ServiceContext &m_context;
    ConnectionBudget &m_budget;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::set<int> m_connections;
    bool m_stopping = false;
};

} // namespace server
