#include "server/ServeCommand.h"

#include "server/CommandLine.h"
#include "server/HttpService.h"
#include "server/ServiceContext.h"
#include "server/ServiceRoutes.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <thread>

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "0"
#endif

namespace server {

namespace {
bool parseCount(const std::string &text, int low, int high, int *value)
{
    char *end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < low || number > high)
        return false;
    *value = int(number);
    return true;
}
} // namespace

bool parseHostPort(const std::string &text, std::string *host, int *port)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string name = text.substr(0, colon);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (!parseCount(text.substr(colon + 1), 0, 65535, port))
        return false;
    *host = name;
    return true;
}

int runServeCommand(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const std::string value = hasValue ? arguments[i + 1] : std::string();
        bool ok = hasValue;
        if (argument == "--data") {
            options.dataDir = value;
        } else if (argument == "--listen") {
            ok = ok && parseHostPort(value, &options.listenHost, &options.listenPort);
        } else if (argument == "--public-host") {
            options.publicHost = value;
        } else if (argument == "--test-captcha") {
            options.testCaptcha = value;
            ok = ok && !value.empty();
        } else if (argument == "--threads") {
            ok = ok && parseCount(value, 2, 1024, &options.threads);
        } else if (argument == "--login-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.accountLoginLimit);
        } else if (argument == "--address-login-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.addressLoginLimit);
        } else if (argument == "--quiet") {
            options.logRequests = false;
            continue;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "serve: bad argument %s\n%s", argument.c_str(), usageText().c_str());
            return 2;
        }
        ++i;
    }
    if (options.dataDir.empty()) {
        std::fprintf(stderr, "serve: --data DIR is required\n%s", usageText().c_str());
        return 2;
    }

    ServiceContext context(options);
    std::string error;
    if (!context.open(&error) || !context.config().writeDefaults(PELORIN_VERSION, &error)) {
        std::fprintf(stderr, "serve: %s\n", error.c_str());
        return 1;
    }
    if (!options.testCaptcha.empty())
        std::fprintf(stderr, "serve: WARNING: every captcha is \"%s\" (--test-captcha); never use "
                             "this outside tests\n",
                     options.testCaptcha.c_str());

    // Signals are taken by one thread of ours; the server's threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    HttpService service(context);
    addServiceRoutes(service.router());
    const int port = service.bind(options.listenHost, options.listenPort);
    if (port < 0) {
        std::fprintf(stderr, "serve: cannot listen on %s:%d\n", options.listenHost.c_str(),
                     options.listenPort);
        return 1;
    }
    context.sessions().purgeExpired(ServiceContext::now());
    std::printf("listening on http://%s:%d/server/\n", options.listenHost.c_str(), port);
    std::fflush(stdout);

    std::thread watcher([&service, &context, stopSignals] {
        for (;;) {
            const timespec tenMinutes{600, 0};
            const int received = sigtimedwait(&stopSignals, nullptr, &tenMinutes);
            if (received == SIGINT || received == SIGTERM)
                break;
            context.sessions().purgeExpired(ServiceContext::now());
        }
        service.stop();
    });
    const bool ran = service.run();
    pthread_kill(watcher.native_handle(), SIGTERM); // ends the watcher if the server stopped by itself
    watcher.join();
    std::fprintf(stderr, "serve: stopped\n");
    return ran ? 0 : 1;
}

} // namespace server
