#pragma once

#include <string>

namespace server {

// The service's data directory:
//   service.db        accounts, sessions, collections, reports, resource library (SQLite)
//   secret.key        random key for session cookies and tokens (owner-only)
//   config/           configuration items an administrator edits (JSON)
//   static/           files served under /server/static/ (notice images, update packages)
//   outbox/           mails the service would send, one file each
//   demo/             demo clips and torrents (made by the demo command)
class DataDirectory
{
public:
    explicit DataDirectory(std::string root);

    // Creates the directory and its folders (and the secret key) when they are missing.
    bool prepare(std::string *error);

    const std::string &root() const { return m_root; }
    std::string databasePath() const;
    std::string configPath(const std::string &name) const;
    std::string configDir() const;
    std::string staticDir() const;
    std::string outboxDir() const;
    std::string secretPath() const;

    // The 32-byte secret; valid after prepare().
    const std::string &secret() const { return m_secret; }

private:
    bool loadSecret(std::string *error);

    std::string m_root;
    std::string m_secret;
};

} // namespace server
