#include "server/ServiceContext.h"

#include <sodium.h>

#include "server/store/RateLimiter.h"
#include "server/store/SqlRateLimiter.h"

#include <chrono>
#include <cstdio>

namespace server {

ServiceContext::ServiceContext(ServiceOptions options)
    : m_options(std::move(options)), m_directory(m_options.dataDir)
{
}

bool ServiceContext::open(std::string *error)
{
    if (sodium_init() < 0) {
        if (error)
            *error = "libsodium cannot start";
        return false;
    }
    if (!m_directory.prepare(error))
        return false;
    m_database = makeDatabase(m_options.databaseUrl, m_directory.root());
    if (!m_database->open(error))
        return false;
    std::string secret = m_directory.secret();
    if (m_database->shared()) {
        m_sharedKeys = std::make_unique<SharedKeys>(*m_database);
        if (!m_sharedKeys->secret("service", &secret, error))
            return false;
    }
    // One limit for every instance on a shared database; in memory for the one on a SQLite file.
    const auto limit = [this](const char *bucket, int count, int64_t windowMs) -> std::unique_ptr<RateLimit> {
        if (m_database->shared())
            return std::make_unique<SqlRateLimiter>(*m_database, bucket, count, windowMs);
        return std::make_unique<RateLimiter>(count, windowMs);
    };
    m_accountFailures = limit("login-account", m_options.accountLoginLimit, 60 * 1000);
    m_addressFailures = limit("login-address", m_options.addressLoginLimit, 60 * 1000);
    m_retrievals = limit("retrieval-email", 1, 60 * 1000);
    m_captchasByAddress = limit("captcha-address", m_options.captchaLimit, 60 * 1000);
    m_signUpsByAddress = limit("signup-address", m_options.signUpLimit, 3600 * 1000);
    m_reportsByAddress = limit("report-address", m_options.reportLimit, 3600 * 1000);
    m_retrievalsByAddress = limit("retrieval-address", m_options.retrievalLimit, 3600 * 1000);
    m_sessions = std::make_unique<SessionStore>(*m_database, secret);
    m_accounts = std::make_unique<AccountStore>(*m_database);
    m_config = std::make_unique<ConfigItems>(m_directory, m_database->shared() ? m_database.get() : nullptr);
    m_outbox = std::make_unique<Outbox>(m_directory.outboxDir());
    m_library = std::make_unique<LibraryStore>(*m_database);
    m_tokens = std::make_unique<AccessTokens>(secret);
    if (m_sharedKeys && !reloadKeyRing(error))
        return false;
    m_standing = std::make_unique<AccountStanding>(*m_accounts, int64_t(m_options.codeCheckSeconds) * 1000);
    return true;
}

bool ServiceContext::reloadKeyRing(std::string *error)
{
    std::vector<SharedKeys::CodeKey> keys;
    std::string problem;
    if (!m_sharedKeys->codeKeys(now(), &keys, &problem)) {
        if (error)
            *error = problem;
        return false;
    }
    std::vector<AccessTokens::RingKey> ring;
    for (const SharedKeys::CodeKey &key : keys)
        ring.push_back({key.id, key.secret, key.signsFrom});
    m_tokens->setRing(ring);
    m_ringLoadedAt = now();
    return true;
}

const AccessTokens &ServiceContext::tokens()
{
    if (m_sharedKeys) {
        std::unique_lock<std::mutex> lock(m_ringMutex, std::try_to_lock);
        // One request reloads; the others go on with the ring they have.
        if (lock.owns_lock() && now() - m_ringLoadedAt >= SharedKeys::kReloadSeconds) {
            std::string problem;
            if (!reloadKeyRing(&problem)) {
                m_ringLoadedAt = now();
                std::fprintf(stderr, "keys: %s\n", problem.c_str());
            }
        }
    }
    return *m_tokens;
}

int64_t ServiceContext::now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t ServiceContext::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace server
