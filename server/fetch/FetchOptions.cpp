#include "server/fetch/FetchOptions.h"

#include "server/commands/ServeCommand.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace server {

namespace {
std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}
} // namespace

bool FetchOptions::parseSize(const std::string &text, int64_t *bytes)
{
    char *end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || number < 0)
        return false;
    const std::string suffix = lowered(end);
    double factor = 1;
    if (suffix == "k" || suffix == "kb" || suffix == "kib")
        factor = 1024.0;
    else if (suffix == "m" || suffix == "mb" || suffix == "mib")
        factor = 1024.0 * 1024;
    else if (suffix == "g" || suffix == "gb" || suffix == "gib")
        factor = 1024.0 * 1024 * 1024;
    else if (suffix == "t" || suffix == "tb" || suffix == "tib")
        factor = 1024.0 * 1024 * 1024 * 1024;
    else if (!suffix.empty() && suffix != "b")
        return false;
    if (number * factor > 9.0e18)
        return false;
    *bytes = int64_t(number * factor);
    return true;
}

int FetchOptions::parse(const std::vector<std::string> &arguments, size_t *i, FetchOptions *options)
{
    const std::string &argument = arguments[*i];
    if (argument == "--fetch") {
        options->enabled = true;
        return 1;
    }
    if (argument == "--no-dht") {
        options->dht = false;
        return 1;
    }
    if (argument == "--fetch-vip-only") {
        options->vipOnly = true;
        return 1;
    }
    static const char *const valued[] = {"--fetch-dir",  "--fetch-quota",     "--fetch-listen",     "--dht-bootstrap",
                                         "--tracker",    "--fetch-peer",      "--fetch-list-wait",  "--fetch-piece-wait"};
    if (std::find_if(std::begin(valued), std::end(valued), [&](const char *name) { return argument == name; })
        == std::end(valued))
        return 0;
    if (*i + 1 >= arguments.size())
        return -1;
    const std::string value = arguments[++*i];
    const auto seconds = [&value](int *target) {
        char *end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || number < 0 || number > 3600)
            return -1;
        *target = int(number);
        return 1;
    };
    if (argument == "--fetch-dir")
        options->dir = value;
    else if (argument == "--fetch-quota")
        return parseSize(value, &options->quota) ? 1 : -1;
    else if (argument == "--fetch-listen")
        options->listen = value;
    else if (argument == "--dht-bootstrap")
        options->dhtBootstrap.push_back(value);
    else if (argument == "--tracker")
        options->trackers.push_back(value);
    else if (argument == "--fetch-peer") {
        std::string host;
        int port = 0;
        if (!parseHostPort(value, &host, &port) || host.empty() || port == 0)
            return -1;
        options->peerHints.push_back(value);
    } else if (argument == "--fetch-list-wait")
        return seconds(&options->listWaitSeconds);
    else if (argument == "--fetch-piece-wait")
        return seconds(&options->pieceWaitSeconds);
    return value.empty() ? -1 : 1;
}

} // namespace server
