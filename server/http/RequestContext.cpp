#include "server/http/RequestContext.h"

#include "server/ServiceContext.h"

#include <cctype>

namespace server {

RequestContext::RequestContext(ServiceContext &serviceContext, RequestParameters requestParameters)
    : service(serviceContext), parameters(std::move(requestParameters)), now(ServiceContext::now())
{
}

std::string RequestContext::publicHost() const
{
    if (!service.options().publicHost.empty())
        return service.options().publicHost;
    // The Host header ends up in addresses and mails; only a plain host[:port] is taken.
    bool plain = !hostHeader.empty() && hostHeader.size() <= 255;
    for (char c : hostHeader) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':'
              || c == '[' || c == ']'))
            plain = false;
    }
    if (plain)
        return hostHeader;
    return service.options().listenHost + ":" + std::to_string(service.options().listenPort);
}

const std::optional<Account> &RequestContext::account()
{
    if (!m_accountLoaded) {
        m_accountLoaded = true;
        // One round trip to the database for both the session and its account.
        int64_t lastSeen = 0;
        std::optional<Account> account =
            sessionId.empty() ? std::nullopt : service.accounts().findBySession(sessionId, &lastSeen);
        if (account && service.sessions().keepAlive(sessionId, lastSeen, now))
            m_account = std::move(account);
    }
    return m_account;
}

} // namespace server
