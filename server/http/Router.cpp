#include "server/http/Router.h"

namespace server {

void Router::add(const std::string &r, const std::string &action, Route route)
{
    m_routes[{r, action}] = std::move(route);
}

const Router::Route *Router::find(const std::string &r, const std::string &action) const
{
    const auto found = m_routes.find({r, action});
    return found == m_routes.end() ? nullptr : &found->second;
}

} // namespace server
