#include "server/ServiceContext.h"

#include <sodium.h>

#include <chrono>

namespace server {

ServiceContext::ServiceContext(ServiceOptions options)
    : m_options(std::move(options)),
      m_directory(m_options.dataDir),
      m_accountFailures(m_options.accountLoginLimit, 60 * 1000),
      m_addressFailures(m_options.addressLoginLimit, 60 * 1000),
      m_retrievals(1, 60 * 1000),
      m_captchasByAddress(m_options.captchaLimit, 60 * 1000),
      m_signUpsByAddress(m_options.signUpLimit, 3600 * 1000),
      m_reportsByAddress(m_options.reportLimit, 3600 * 1000),
      m_retrievalsByAddress(m_options.retrievalLimit, 3600 * 1000)
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
    m_database = std::make_unique<Database>(m_directory.databasePath());
    if (!m_database->open(error))
        return false;
    m_sessions = std::make_unique<SessionStore>(*m_database, m_directory.secret());
    m_accounts = std::make_unique<AccountStore>(*m_database);
    m_config = std::make_unique<ConfigItems>(m_directory);
    m_outbox = std::make_unique<Outbox>(m_directory.outboxDir());
    m_library = std::make_unique<LibraryStore>(*m_database);
    m_tokens = std::make_unique<AccessTokens>(m_directory.secret());
    m_standing = std::make_unique<AccountStanding>(*m_accounts, int64_t(m_options.codeCheckSeconds) * 1000);
    return true;
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
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace server
