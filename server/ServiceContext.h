#pragma once

#include "server/access/AccessTokens.h"
#include "server/access/AccountStanding.h"
#include "server/store/AccountStore.h"
#include "server/store/ConfigItems.h"
#include "server/store/DataDirectory.h"
#include "server/store/Database.h"
#include "server/store/LibraryStore.h"
#include "server/store/Outbox.h"
#include "server/store/RateLimit.h"
#include "server/store/SharedKeys.h"
#include "server/store/SessionStore.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace server {

struct ServiceOptions
{
    std::string dataDir;
    // postgresql://... for a database shared by several instances; empty: SQLite in dataDir.
    std::string databaseUrl;
    std::string listenHost = "127.0.0.1";
    int listenPort = 17080;
    // host:port used in addresses the service hands out (images, packages); by default the Host
    // header of the request.
    std::string publicHost;
    // When set, every captcha carries this text instead of a random one (tests only).
    std::string testCaptcha;
    int threads = 64;
    // Connections open at once over every port, and from one client address; the first is
    // lowered at start to what the descriptor limit allows.
    int maxConnections = 4096;
    int connectionsPerAddress = 64;
    // From the first byte of a request to the end of its head (and again for its body).
    int headSeconds = 10;
    // How long a video host trusts what it read about a code's account (revocation delay).
    int codeCheckSeconds = 30;
    int accountLoginLimit = 5;  // failed log-ins per account per minute
    int addressLoginLimit = 20; // failed log-ins per address per minute
    int captchaLimit = 30;      // captcha pictures per address per minute
    int signUpLimit = 5;        // accounts made per address per hour
    int reportLimit = 20;       // reports per address per hour
    int retrievalLimit = 5;     // password mails asked for per address per hour
    bool logRequests = true;
    // Behind a front (nginx): the front's address, whose X-Real-IP names the client; and whether
    // /server/accel/ checks codes for the front, which then sends the files itself.
    std::string trustedProxy;
    bool accelRedirect = false;
    bool noVideoHosts = false;
    // host:port of each video host this process serves; empty: the defaults below.
    std::vector<std::string> videoHosts;
    static std::vector<std::string> defaultVideoHosts() { return {"127.0.0.1:17081", "127.0.0.1:17082"}; }
};

class FetchEngine;
class ResourceFetcher;

// Everything the routes share: the data directory, the database and the stores on it.
class ServiceContext
{
public:
    explicit ServiceContext(ServiceOptions options);

    // Prepares the data directory, opens and upgrades the database.
    bool open(std::string *error);

    const ServiceOptions &options() const { return m_options; }
    DataDirectory &directory() { return m_directory; }
    Database &database() { return *m_database; }
    SessionStore &sessions() { return *m_sessions; }
    AccountStore &accounts() { return *m_accounts; }
    ConfigItems &config() { return *m_config; }
    Outbox &outbox() { return *m_outbox; }
    LibraryStore &library() { return *m_library; }
    // Re-reads the key ring of a shared database when it is due.
    const AccessTokens &tokens();
    AccountStanding &standing() { return *m_standing; }
    RateLimit &accountFailures() { return *m_accountFailures; }
    RateLimit &addressFailures() { return *m_addressFailures; }
    RateLimit &retrievals() { return *m_retrievals; }
    // What one client address may do without an account, so that scripts cannot fill the database.
    RateLimit &captchasByAddress() { return *m_captchasByAddress; }
    RateLimit &signUpsByAddress() { return *m_signUpsByAddress; }
    RateLimit &reportsByAddress() { return *m_reportsByAddress; }
    RateLimit &retrievalsByAddress() { return *m_retrievalsByAddress; }

    // Video hosts that this process serves itself, listed before those of the configuration item.
    std::vector<std::string> &servedVideoHosts() { return m_servedVideoHosts; }

    // The engine that fetches resources in this process (serve --fetch, fetch-worker), whose
    // pieces the video hosts read; null otherwise.
    FetchEngine *fetchEngine() const { return m_fetchEngine; }
    void setFetchEngine(FetchEngine *engine) { m_fetchEngine = engine; }
    // How the routes get resources the library lacks fetched (this engine, or fetch workers);
    // null when nothing fetches.
    ResourceFetcher *fetcher() const { return m_fetcher; }
    void setFetcher(ResourceFetcher *fetcher) { m_fetcher = fetcher; }

    static int64_t now();
    // Wall-clock milliseconds, comparable between machines (rate limits kept in a shared database).
    static int64_t nowMs();

private:
    ServiceOptions m_options;
    DataDirectory m_directory;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<SessionStore> m_sessions;
    std::unique_ptr<AccountStore> m_accounts;
    std::unique_ptr<ConfigItems> m_config;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<LibraryStore> m_library;
    std::unique_ptr<AccessTokens> m_tokens;
    std::unique_ptr<AccountStanding> m_standing;
    bool reloadKeyRing(std::string *error);

    std::unique_ptr<RateLimit> m_accountFailures;
    std::unique_ptr<RateLimit> m_addressFailures;
    std::unique_ptr<RateLimit> m_retrievals;
    std::unique_ptr<RateLimit> m_captchasByAddress;
    std::unique_ptr<RateLimit> m_signUpsByAddress;
    std::unique_ptr<RateLimit> m_reportsByAddress;
    std::unique_ptr<RateLimit> m_retrievalsByAddress;
    std::unique_ptr<SharedKeys> m_sharedKeys;
    std::mutex m_ringMutex;
    int64_t m_ringLoadedAt = 0;
    std::vector<std::string> m_servedVideoHosts;
    FetchEngine *m_fetchEngine = nullptr;
    ResourceFetcher *m_fetcher = nullptr;
};

} // namespace server
