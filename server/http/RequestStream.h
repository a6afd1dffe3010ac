#pragma once

#include <httplib.h>

#include <string>

namespace server {

// One whole request, already received, as the HTTP library reads it, and the connection's socket
// to write the reply to. Reading never waits on the client: past the request there is only the
// end of the stream.
class RequestStream : public httplib::Stream
{
public:
    struct Peer {
        std::string remoteAddress;
        int remotePort = 0;
        std::string localAddress;
        int localPort = 0;
    };

    RequestStream(int fd, const Peer &peer, std::string head, const char *body, size_t bodySize,
                  int writeSeconds);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_fd; }

private:
    bool waitWritable(int milliseconds) const;

    int m_fd;
    const Peer &m_peer;
    std::string m_head;
    const char *m_body;
    size_t m_bodySize;
    size_t m_read = 0;
    int m_writeSeconds;
};

} // namespace server
