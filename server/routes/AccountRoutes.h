#pragma once

#include "server/store/AccountStore.h"
#include "server/http/Reply.h"

#include <optional>
#include <string>

namespace server {

class Router;
struct RequestContext;

// Log in, log out, change and retrieve passwords, captcha, sign-up.
void addAccountRoutes(Router &router);

// Checks the rate limits and the password and binds the account to the request's session.
Reply logIn(RequestContext &context, const std::string &email, const std::string &password,
            std::optional<Account> *loggedIn);

} // namespace server
