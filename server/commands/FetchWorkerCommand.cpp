#include "server/commands/FetchWorkerCommand.h"

#include "server/ServiceContext.h"
#include "server/commands/CommandLine.h"
#include "server/commands/ServeCommand.h"
#include "server/fetch/FetchEngine.h"
#include "server/fetch/FetchWorker.h"
#include "server/fetch/JobLedger.h"
#include "server/http/ConnectionBudget.h"
#include "server/store/FetchJobs.h"
#include "server/video/VideoHost.h"

#include <sodium.h>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

namespace server {

namespace {
std::string randomId()
{
    unsigned char bytes[8];
    randombytes_buf(bytes, sizeof bytes);
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (unsigned char byte : bytes) {
        id += digits[byte >> 4];
        id += digits[byte & 15];
    }
    return id;
}

int usage(const std::string &problem)
{
    std::fprintf(stderr, "fetch-worker: %s\n%s", problem.c_str(), usageText().c_str());
    return 2;
}
} // namespace

int runFetchWorkerCommand(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    FetchOptions fetchOptions;
    std::string listen = "127.0.0.1:17090";
    int leaseSeconds = 15;
    int maxJobs = 16;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--fetch")
            return usage("--fetch belongs to serve");
        const int fetchOption = FetchOptions::parse(arguments, &i, &fetchOptions);
        if (fetchOption < 0)
            return usage("bad argument " + argument);
        if (fetchOption > 0)
            continue;
        if (argument == "--quiet") {
            options.logRequests = false;
            continue;
        }
        const bool hasValue = i + 1 < arguments.size();
        const std::string value = hasValue ? arguments[++i] : std::string();
        bool ok = hasValue;
        if (argument == "--database")
            options.databaseUrl = value;
        else if (argument == "--listen")
            listen = value;
        else if (argument == "--public-host")
            options.publicHost = value;
        else if (argument == "--lease-seconds")
            ok = ok && parseCount(value, 2, 3600, &leaseSeconds);
        else if (argument == "--fetch-jobs")
            ok = ok && parseCount(value, 1, 1000, &maxJobs);
        else if (argument == "--connections-per-address")
            ok = ok && parseCount(value, 1, 1000000, &options.connectionsPerAddress);
        else
            ok = false;
        if (!ok)
            return usage("bad argument " + argument);
    }
    if (!isPostgresUrl(options.databaseUrl))
        return usage("--database postgresql://... is required (on a SQLite file, serve --fetch fetches)");
    if (fetchOptions.dir.empty())
        return usage("--fetch-dir DIR is required");
    if (!parseHostPort(listen, &options.listenHost, &options.listenPort))
        return usage("bad --listen " + listen);
    const bool wildcard = options.listenHost == "0.0.0.0" || options.listenHost == "::" || options.listenHost.empty();
    if (wildcard && options.publicHost.empty())
        return usage("--public-host HOST:PORT is required with a wildcard --listen: players are sent there");

    // The worker keeps nothing of its own beside the fetches; the rest is in the database.
    options.dataDir = fetchOptions.dir + "/.worker";
    options.noVideoHosts = true;
    fetchOptions.enabled = true;
    ServiceContext context(options);
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "fetch-worker: %s\n", error.c_str());
        return 1;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    long descriptorLimit = 0;
    const int connectionCap = ConnectionBudget::connectionsThatFit(options.maxConnections, 64 + 64, &descriptorLimit);
    ConnectionBudget connections(connectionCap, options.connectionsPerAddress);
    VideoHost videoHost(context, connections);
    const int port = videoHost.bind(options.listenHost, options.listenPort);
    if (port < 0) {
        std::fprintf(stderr, "fetch-worker: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    const std::string host = !options.publicHost.empty()
        ? options.publicHost
        : (options.listenHost.find(':') != std::string::npos ? "[" + options.listenHost + "]" : options.listenHost)
            + ":" + std::to_string(port);

    FetchJobs jobs(context.database());
    JobLedger ledger(jobs, context.library(), host);
    FetchEngine engine(context, fetchOptions, &ledger);
    if (!engine.start(&error, false)) {
        std::fprintf(stderr, "fetch-worker: %s\n", error.c_str());
        return 1;
    }
    context.setFetchEngine(&engine);
    FetchWorker::Settings settings;
    settings.id = randomId() + "@" + host;
    settings.host = host;
    settings.leaseMs = int64_t(leaseSeconds) * 1000;
    settings.maxJobs = maxJobs;
    FetchWorker worker(engine, jobs, ledger, context.library(), settings);
    worker.adoptLeftovers(engine.fetchDir());

    std::printf("fetch worker %s on http://%s/, fetching into %s\n", settings.id.c_str(), host.c_str(),
                engine.fetchDir().c_str());
    std::fflush(stdout);
    std::thread videoThread([&videoHost] { videoHost.run(); });
    std::thread watcher([&worker, stopSignals] {
        int received = 0;
        while (received != SIGINT && received != SIGTERM)
            received = sigwaitinfo(&stopSignals, nullptr);
        worker.stop();
    });
    worker.run();
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    // Readers waiting for pieces end with the engine; the jobs go back to the queue once the
    // engine has saved what it has.
    engine.stop();
    videoHost.stop();
    videoThread.join();
    context.setFetchEngine(nullptr);
    worker.releaseAll();
    std::fprintf(stderr, "fetch-worker: stopped\n");
    return 0;
}

} // namespace server
