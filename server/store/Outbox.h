#pragma once

#include <string>

namespace server {

// No mail server is reachable from where the service runs, so mails are written as files to
// DIR/outbox/ (one RFC 5322 message each, owner-only), for an administrator or a mail relay to pick
// up and deliver.
class Outbox
{
public:
    explicit Outbox(std::string directory);

    // Writes one message; returns its path, or empty on failure.
    std::string write(const std::string &to, const std::string &subject, const std::string &body,
                      const std::string &fromHost) const;

private:
    std::string m_directory;
};

} // namespace server
