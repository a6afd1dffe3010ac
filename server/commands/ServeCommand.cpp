#include "server/commands/ServeCommand.h"

#include "app/Version.h"

#include "server/commands/CommandLine.h"
#include "server/http/ConnectionBudget.h"
#include "server/fetch/FetchEngine.h"
#include "server/fetch/ResourceFetcher.h"
#include "server/fetch/WorkerFetcher.h"
#include "server/http/HttpService.h"
#include "server/ServiceContext.h"
#include "server/store/Database.h"
#include "server/routes/ServiceRoutes.h"
#include "server/video/VideoHost.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <thread>


namespace server {

bool parseCount(const std::string &text, int low, int high, int *value)
{
    char *end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < low || number > high)
        return false;
    *value = int(number);
    return true;
}

namespace {
// The host part of HOST:PORT, or 127.0.0.1 when there is none.
std::string hostOnly(const std::string &hostPort)
{
    std::string host;
    int port = 0;
    if (!parseHostPort(hostPort, &host, &port) || host.empty())
        return "127.0.0.1";
    return host;
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
    FetchOptions fetchOptions;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const int fetchOption = FetchOptions::parse(arguments, &i, &fetchOptions);
        if (fetchOption < 0) {
            std::fprintf(stderr, "serve: bad argument %s\n%s", argument.c_str(), usageText().c_str());
            return 2;
        }
        if (fetchOption > 0)
            continue;
        const bool hasValue = i + 1 < arguments.size();
        const std::string value = hasValue ? arguments[i + 1] : std::string();
        bool ok = hasValue;
        if (argument == "--data") {
            options.dataDir = value;
        } else if (argument == "--database") {
            options.databaseUrl = value;
            ok = ok && isPostgresUrl(value);
        } else if (argument == "--listen") {
            ok = ok && parseHostPort(value, &options.listenHost, &options.listenPort);
        } else if (argument == "--public-host") {
            options.publicHost = value;
        } else if (argument == "--test-captcha") {
            options.testCaptcha = value;
            ok = ok && !value.empty();
        } else if (argument == "--threads") {
            ok = ok && parseCount(value, 2, 1024, &options.threads);
        } else if (argument == "--max-connections") {
            ok = ok && parseCount(value, 16, 1000000, &options.maxConnections);
        } else if (argument == "--connections-per-address") {
            ok = ok && parseCount(value, 1, 1000000, &options.connectionsPerAddress);
        } else if (argument == "--head-timeout") {
            ok = ok && parseCount(value, 1, 3600, &options.headSeconds);
        } else if (argument == "--code-check-seconds") {
            ok = ok && parseCount(value, 0, 60, &options.codeCheckSeconds);
        } else if (argument == "--captcha-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.captchaLimit);
        } else if (argument == "--signup-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.signUpLimit);
        } else if (argument == "--report-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.reportLimit);
        } else if (argument == "--retrieval-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.retrievalLimit);
        } else if (argument == "--login-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.accountLoginLimit);
        } else if (argument == "--address-login-limit") {
            ok = ok && parseCount(value, 0, 1000000, &options.addressLoginLimit);
        } else if (argument == "--video-host") {
            std::string host;
            int port = 0;
            ok = ok && parseHostPort(value, &host, &port);
            options.videoHosts.push_back(value);
        } else if (argument == "--quiet") {
            options.logRequests = false;
            continue;
        } else if (argument == "--accel-redirect") {
            options.accelRedirect = true;
            continue;
        } else if (argument == "--no-video-hosts") {
            options.noVideoHosts = true;
            continue;
        } else if (argument == "--trusted-proxy") {
            options.trustedProxy = value;
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

    // After the mask, so that the engine's threads inherit it too.
    std::unique_ptr<FetchEngine> fetchEngine;
    std::unique_ptr<ResourceFetcher> fetcher;
    if (fetchOptions.enabled) {
        fetchEngine = std::make_unique<FetchEngine>(context, fetchOptions);
        if (!fetchEngine->start(&error)) {
            std::fprintf(stderr, "serve: %s\n", error.c_str());
            return 1;
        }
        context.setFetchEngine(fetchEngine.get());
        fetcher = std::make_unique<LocalFetcher>(*fetchEngine);
        if (context.database().shared())
            std::fprintf(stderr, "serve: WARNING: --fetch fetches in this process alone, outside the jobs that "
                                 "fetch workers share; on a shared database run fetch-worker instead\n");
        std::fprintf(stderr, "serve: fetching resources the library lacks into %s\n", fetchEngine->fetchDir().c_str());
    } else if (context.database().shared()) {
        // Fetch workers on the same database fetch for every instance, whenever one runs.
        fetcher = std::make_unique<WorkerFetcher>(context, fetchOptions);
    }
    context.setFetcher(fetcher.get());

    // Every connection may hold a socket and a file; workers, the database and logs need a few more.
    long descriptorLimit = 0;
    const int connectionCap = ConnectionBudget::connectionsThatFit(options.maxConnections, 64 + options.threads,
                                                                   &descriptorLimit);
    if (connectionCap < options.maxConnections)
        std::fprintf(stderr, "serve: at most %d connections (descriptor limit %ld)\n", connectionCap, descriptorLimit);
    ConnectionBudget connections(connectionCap, options.connectionsPerAddress);
    HttpService service(context, connections);
    addServiceRoutes(service.router());
    const int port = service.bind(options.listenHost, options.listenPort);
    if (port < 0) {
        std::fprintf(stderr, "serve: cannot listen on %s:%d\n", options.listenHost.c_str(),
                     options.listenPort);
        return 1;
    }
    std::vector<std::unique_ptr<VideoHost>> videoHosts;
    const bool defaultHosts = options.videoHosts.empty();
    std::vector<std::string> hostAddresses = defaultHosts ? ServiceOptions::defaultVideoHosts() : options.videoHosts;
    if (options.noVideoHosts)
        hostAddresses.clear();
    for (const std::string &address : hostAddresses) {
        std::string host;
        int videoPort = 0;
        parseHostPort(address, &host, &videoPort);
        auto videoHost = std::make_unique<VideoHost>(context, connections);
        const int bound = videoHost->bind(host, videoPort);
        if (bound < 0 && defaultHosts) {
            // Only hosts asked for are required; a default port in use is skipped.
            std::fprintf(stderr, "serve: WARNING: %s is in use, no video host there\n", address.c_str());
            continue;
        }
        if (bound < 0) {
            std::fprintf(stderr, "serve: cannot listen on %s for a video host\n", address.c_str());
            return 1;
        }
        // Handed to players as host:port, so a wildcard address is named as the service's host.
        const bool wildcard = host == "0.0.0.0" || host == "::";
        const std::string name = wildcard ? hostOnly(options.publicHost) : host;
        context.servedVideoHosts().push_back(
            (name.find(':') != std::string::npos ? "[" + name + "]" : name) + ":" + std::to_string(bound));
        videoHosts.push_back(std::move(videoHost));
    }
    context.sessions().purgeExpired(ServiceContext::now());
    std::printf("listening on http://%s:%d/server/\n", options.listenHost.c_str(), port);
    for (const std::string &videoHost : context.servedVideoHosts())
        std::printf("video host on http://%s/\n", videoHost.c_str());
    std::fflush(stdout);
    std::vector<std::thread> videoThreads;
    for (auto &videoHost : videoHosts)
        videoThreads.emplace_back([host = videoHost.get()] { host->run(); });

    std::thread watcher([&service, &context, &videoHosts, &fetchEngine, stopSignals] {
        for (;;) {
            const timespec oneMinute{60, 0};
            const int received = sigtimedwait(&stopSignals, nullptr, &oneMinute);
            if (received == SIGINT || received == SIGTERM)
                break;
            context.sessions().purgeExpired(ServiceContext::now());
        }
        service.stop();
        // Before the video hosts: their readers may be waiting for pieces.
        if (fetchEngine)
            fetchEngine->stop();
        for (auto &videoHost : videoHosts)
            videoHost->stop();
    });
    const bool ran = service.run();
    pthread_kill(watcher.native_handle(), SIGTERM); // ends the watcher if the server stopped by itself
    watcher.join();
    for (auto &videoHost : videoHosts)
        videoHost->stop();
    for (std::thread &thread : videoThreads)
        thread.join();
    context.setFetcher(nullptr);
    if (fetchEngine) {
        fetchEngine->stop();
        context.setFetchEngine(nullptr);
    }
    std::fprintf(stderr, "serve: stopped\n");
    return ran ? 0 : 1;
}

} // namespace server
