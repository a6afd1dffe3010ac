#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace server {

class ServiceContext;

// One video host: a small HTTP/1.1 server of its own that serves library files by access code,
// at the play address GET /ftn_handler/<code> (with the code's cookie) and the download address
// GET /<8 digits>.mp4?ver=5063&rkey=<code>/. Files go out with sendfile straight from the page
// cache, so the first bytes leave at once and a large file never passes through memory of ours;
// single byte ranges and HEAD are answered as media players expect. One thread per connection.
class VideoHost
{
public:
    static constexpr int kMaxConnections = 512;

    explicit VideoHost(ServiceContext &context);
    ~VideoHost();
    VideoHost(const VideoHost &) = delete;
    VideoHost &operator=(const VideoHost &) = delete;

    // Binds the listening socket; returns the port (the chosen one for port 0) or -1.
    int bind(const std::string &host, int port);
    // Accepts connections until stop(); returns when every connection has ended.
    void run();
    void stop();

    enum class RangeKind { Whole, Partial, Unsatisfiable };
    // A Range header against a file of `size` bytes. Only one "bytes=" range is honoured; several
    // ranges or a header that does not parse are ignored (the whole file is sent), as HTTP allows.
    static RangeKind parseRange(const std::string &header, int64_t size, int64_t *first, int64_t *length);

private:
    struct Request;
    void serveConnection(int fd);
    // false: close the connection.
    bool answer(int fd, const Request &request);

    ServiceContext &m_context;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::set<int> m_connections;
    bool m_stopping = false;
};

} // namespace server
