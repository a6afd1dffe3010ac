#pragma once

#include "server/http/ConnectionBudget.h"
#include "server/http/RequestFraming.h"
#include "server/http/RequestStream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace server {

// Accepts connections and receives each request whole before a worker sees it. One thread holds
// every connection that is idle or still sending (epoll), with a deadline for the request head
// and body and limits on their size, so slow or idle clients cost a descriptor and a buffer but
// never a worker; workers only run requests that are complete, however many connections wait.
class ConnectionServer
{
public:
    struct Settings {
        int workers = 64;
        size_t maxHeadBytes = 16 * 1024;
        size_t maxBodyBytes = 64 * 1024;
        int headSeconds = 10;  // from the first byte of a request to its last
        int idleSeconds = 5;   // between requests on a kept-alive connection
        int writeSeconds = 10; // a reader that takes nothing for this long is dropped
    };

    struct Request {
        int fd;
        const RequestStream::Peer &peer;
        const std::string &bytes; // the request starts here; more may follow it
        size_t headLength;
        size_t length;
        int writeSeconds;
    };
    // Answers one request; false closes the connection.
    using Handler = std::function<bool(const Request &request)>;

    ConnectionServer(ConnectionBudget &budget, Settings settings, Handler handler);
    ~ConnectionServer();
    ConnectionServer(const ConnectionServer &) = delete;
    ConnectionServer &operator=(const ConnectionServer &) = delete;

    // A listening socket with a backlog of 512; returns its port (the chosen one for port 0) or -1.
    static int openListener(const std::string &host, int port, int *fd);
    // The remote address of an accepted socket, IPv4-mapped addresses as plain IPv4.
    static RequestStream::Peer peerOf(int fd);

    int bind(const std::string &host, int port);
    int listenFd() const { return m_listenFd; }
    // Serves until stop(); false when it could not run.
    bool run();
    void stop();

private:
    struct Connection;
    using Clock = std::chrono::steady_clock;

    void acceptAll();
    void receive(Connection *connection);
    void dispatch(Connection *connection);
    void refuse(Connection *connection, int status);
    void closeConnection(Connection *connection);
    void expire();
    void work();
    void serve(Connection *connection);

    ConnectionBudget &m_budget;
    const Settings m_settings;
    const Handler m_handler;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    int m_epollFd = -1;
    std::atomic<bool> m_stopping{false};
    bool m_acceptPaused = false;
    Clock::time_point m_resumeAccepting;
    std::unordered_set<Connection *> m_waiting; // event thread only

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::deque<Connection *> m_ready;    // complete requests for the workers
    std::vector<Connection *> m_returned; // kept-alive connections back from the workers
    std::vector<std::thread> m_workers;
};

} // namespace server
