#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace libtorrent {
struct add_torrent_params;
struct torrent_handle;
}

namespace server {

class ServiceContext;

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
};

// One verified piece of a fetch, shared by every reader that needs it.
struct FetchPiece
{
    std::shared_ptr<const char> bytes;
    int size = 0;
};

// The BitTorrent side of the service: one engine session, its alerts handled on a thread of its
// own, the fetches it runs and what readers need of them. Fetched resources join the library as
// soon as their metadata is known (origin "fetching", "fetch" once every piece is on disk), so
// that the usual routes, codes and video hosts serve them; while a resource is still arriving,
// video hosts read its pieces through here.
class FetchEngine
{
public:
    enum class State { Unknown, WaitingForMetadata, Fetching, Complete, Refused, Failed };

    FetchEngine(ServiceContext &context, FetchOptions options);
    ~FetchEngine();
    FetchEngine(const FetchEngine &) = delete;
    FetchEngine &operator=(const FetchEngine &) = delete;

    // Opens the session and continues the fetches that a previous run left.
    bool start(std::string *error);
    // Saves every fetch's resume data and closes the session.
    void stop();

    const FetchOptions &options() const { return m_options; }
    std::string fetchDir() const { return m_dir; }

    // Starts fetching a resource hash (40 hex digits) unless that runs already, and waits up to
    // `wait` for its metadata. *reason explains Refused and Failed.
    State request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason);
    // Starts a fetch from a magnet link, a .torrent file or a hash; *hash names it.
    bool add(const std::string &input, std::string *hash, std::string *error);

    struct Progress {
        State state = State::Unknown;
        int64_t done = 0;
        int64_t total = 0;
        int peers = 0;
        std::string reason;
    };
    Progress progress(const std::string &hash);

    struct FileLayout {
        int64_t offset = 0; // in the torrent's payload
        int64_t size = 0;
        int64_t pieceLength = 0;
        int pieceCount = 0;
    };
    bool layout(const std::string &hash, int fileIndex, FileLayout *layout);

    // Puts a file's pieces first and waits until its first piece has arrived (so that a player's
    // short probe finds bytes); false with *reason when that does not happen in time.
    bool prepareToPlay(const std::string &hash, int fileIndex, std::string *reason);

    // Readers announce the pieces they are about to need (counted, so that many readers share
    // them) and withdraw them when they move on; announced pieces get deadlines.
    void want(const std::string &hash, int first, int last);
    void unwant(const std::string &hash, int first, int last);
    // A verified piece, waiting for it until `deadline`; empty with *reason otherwise.
    FetchPiece piece(const std::string &hash, int index, std::chrono::steady_clock::time_point deadline,
                     std::string *reason);

    // Takes the fetch option at arguments[*i] (and its value, moving *i on): 1 when taken, 0 when
    // it is not a fetch option, -1 when its value is bad.
    static int parseOption(const std::vector<std::string> &arguments, size_t *i, FetchOptions *options);
    // Parses "SIZE" as bytes with an optional K, M, G or T suffix (powers of 1024).
    static bool parseSize(const std::string &text, int64_t *bytes);

private:
    struct Fetch;
    struct Session;
    void alertLoop();
    void handleAlerts();
    void periodic(std::chrono::steady_clock::time_point now);
    void onMetadata(const std::shared_ptr<Fetch> &fetch);
    void onSeeding(const std::shared_ptr<Fetch> &fetch);
    void onFlushed(const std::shared_ptr<Fetch> &fetch);
    bool makeRoom(const std::string &hash, int64_t size, std::string *reason);
    void evict(const std::string &hash);
    void drop(const std::shared_ptr<Fetch> &fetch, State state, const std::string &reason, bool deleteFiles);
    std::shared_ptr<Fetch> startFetch(const std::string &hash, libtorrent::add_torrent_params *given, std::string *reason);
    std::shared_ptr<Fetch> find(const std::string &hash);
    void connectHints(const libtorrent::torrent_handle &handle);
    void saveAllResumeData(std::chrono::milliseconds limit);
    std::string resumePath(const std::string &hash) const;
    std::string payloadDir(const std::string &hash) const;

    ServiceContext &m_context;
    FetchOptions m_options;
    std::string m_dir;
    std::unique_ptr<Session> m_session;
    std::thread m_alertThread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<Fetch>> m_fetches; // by hash
    bool m_stopping = false;
    int m_resumeSaves = 0; // saves asked for and not yet answered
};

} // namespace server
