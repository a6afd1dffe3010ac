#pragma once

#include "server/store/AccountStore.h"
#include "server/http/RequestParameters.h"

#include <cstdint>
#include <optional>
#include <string>

namespace server {

class ServiceContext;

// One request as the routes see it.
struct RequestContext
{
    ServiceContext &service;
    RequestParameters parameters;
    bool isPost = false;
    std::string sessionId;
    std::string remoteAddress;
    std::string hostHeader;
    int64_t now = 0;

    RequestContext(ServiceContext &service, RequestParameters parameters);

    // host:port for addresses the service hands out.
    std::string publicHost() const;
    // The account logged in on this request's session, looked up once.
    const std::optional<Account> &account();

private:
    bool m_accountLoaded = false;
    std::optional<Account> m_account;
};

} // namespace server
