#pragma once

#include "server/http/Reply.h"

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace server {

struct RequestContext;

// The route table of /server/: a route is the value of "r" plus the action, which is the value of
// "do", else of "cs0", else empty. Sub-choices (cfg=, method=, p=) are up to the handler.
class Router
{
public:
    enum Methods : unsigned { Get = 1, Post = 2, Both = 3 };
    // How a POST body is decoded: as the player sends it (raw) or as a browser form.
    enum class BodyDecoding { Raw, Form };

    using Handler = std::function<Reply(RequestContext &)>;

    struct Route {
        unsigned methods = Both;
        bool signedRequest = false;
        BodyDecoding bodyDecoding = BodyDecoding::Raw;
        Handler handler;
    };

    void add(const std::string &r, const std::string &action, Route route);
    const Route *find(const std::string &r, const std::string &action) const;

    // The action of a request as the table keys it.
    template <typename Parameters>
    static std::string actionOf(const Parameters &parameters)
    {
        if (parameters.has("do"))
            return parameters.value("do");
        return parameters.value("cs0");
    }

private:
    std::map<std::pair<std::string, std::string>, Route> m_routes;
};

} // namespace server
