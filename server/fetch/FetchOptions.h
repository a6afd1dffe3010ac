#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace server {

// How the service fetches resources that its library does not hold.
struct FetchOptions
{
    bool enabled = false;
    std::string dir;   // where payloads and resume data go; empty: DATA/fetch
    int64_t quota = 0; // bytes of fetched payload kept at most; 0: no limit
    // The engine's listening interfaces, "HOST:PORT[,HOST:PORT...]".
    std::string listen = "0.0.0.0:6881,[::]:6881";
    bool dht = true;
    std::vector<std::string> dhtBootstrap; // HOST:PORT; empty: the engine's public routers
    std::vector<std::string> trackers;     // announced for every fetch
    std::vector<std::string> peerHints;    // HOST:PORT given to every fetch (tests, benchmarks)
    bool vipOnly = false;
    int listWaitSeconds = 15;  // how long a file list waits for a resource's metadata
    int pieceWaitSeconds = 60; // how long a read waits for one piece before it fails
    int maxPending = 64;       // fetches waiting for metadata at once
    int pendingMinutes = 30;   // a fetch without metadata is given up after this long

    // Takes the fetch option at arguments[*i] (and its value, moving *i on): 1 when taken, 0 when
    // it is not a fetch option, -1 when its value is bad.
    static int parse(const std::vector<std::string> &arguments, size_t *i, FetchOptions *options);
    // Parses "SIZE" as bytes with an optional K, M, G or T suffix (powers of 1024).
    static bool parseSize(const std::string &text, int64_t *bytes);
};

} // namespace server
