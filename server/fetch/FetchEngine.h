#pragma once

#include "server/fetch/FetchOptions.h"
#include "server/fetch/FetchPiece.h"

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

class FetchLedger;
class FetchRecord;
class FetchResume;
class ServiceContext;

// The BitTorrent side of the service: one engine session, its alerts handled on a thread of its
// own, the fetches it runs and what readers need of them. Fetched resources join the library as
// soon as their metadata is known (origin "fetching", "fetch" once every piece is on disk), so
// that the usual routes, codes and video hosts serve them; while a resource is still arriving,
// video hosts read its pieces through here.
class FetchEngine
{
public:
    enum class State { Unknown, WaitingForMetadata, Fetching, Complete, Refused, Failed };

    // What the fetches come to goes to `ledger` (by default straight into the library).
    FetchEngine(ServiceContext &context, FetchOptions options, FetchLedger *ledger = nullptr);
    ~FetchEngine();
    FetchEngine(const FetchEngine &) = delete;
    FetchEngine &operator=(const FetchEngine &) = delete;

    // Opens the session and (with `continueFetches`) continues the fetches that a previous run left.
    bool start(std::string *error, bool continueFetches = true);
    // Saves every fetch's resume data and closes the session.
    void stop();

    const FetchOptions &options() const { return m_options; }
    std::string fetchDir() const { return m_dir; }

    // Starts fetching a resource hash (40 hex digits) unless that runs already, and waits up to
    // `wait` for its metadata. *reason explains Refused and Failed.
    State request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason);
    // Starts a fetch from a magnet link, a .torrent file or a hash (from its resume data when an
    // earlier run left some); *hash names it.
    bool add(const std::string &input, std::string *hash, std::string *error);

    struct Progress {
        State state = State::Unknown;
        int64_t done = 0;
        int64_t total = 0;
        int peers = 0;
        std::string reason;
    };
    Progress progress(const std::string &hash);
    // Ends a fetch without a word to the ledger and deletes its files: another worker holds its
    // job now. Its readers end.
    void abandon(const std::string &hash, const std::string &reason);
    // Waits until the fetch has ended (complete, refused or failed), at most `limit`.
    void waitWhileFetching(const std::string &hash, std::chrono::milliseconds limit);

    struct FileLayout {
        int64_t offset = 0; // in the torrent's payload
        int64_t size = 0;
        int64_t pieceLength = 0;
        int pieceCount = 0;
    };
    bool layout(const std::string &hash, int fileIndex, FileLayout *layout);

    // Puts a file's pieces first (all of a small one's) and waits until its first piece has
    // arrived (so that a player's short probe finds bytes); false with *reason when that does not
    // happen in time.
    bool prepareToPlay(const std::string &hash, int fileIndex, std::string *reason);

    // Readers announce the pieces they are about to need (counted, so that many readers share
    // them) and withdraw them when they move on; announced pieces get deadlines.
    void want(const std::string &hash, int first, int last);
    void unwant(const std::string &hash, int first, int last);
    // A verified piece, waiting for it until `deadline`; empty with *reason otherwise.
    FetchPiece piece(const std::string &hash, int index, std::chrono::steady_clock::time_point deadline,
                     std::string *reason);

private:
    struct Session;
    void alertLoop();
    void handleAlerts();
    void periodic(std::chrono::steady_clock::time_point now);
    void onMetadata(const std::shared_ptr<FetchRecord> &fetch);
    void onSeeding(const std::shared_ptr<FetchRecord> &fetch);
    void onFlushed(const std::shared_ptr<FetchRecord> &fetch);
    bool makeRoom(const std::string &hash, int64_t size, std::string *reason);
    void evict(const std::string &hash);
    // `tell`: the ledger hears of a refusal or failure.
    void drop(const std::shared_ptr<FetchRecord> &fetch, State state, const std::string &reason, bool deleteFiles,
              bool tell = true);
    std::shared_ptr<FetchRecord> startFetch(const std::string &hash, libtorrent::add_torrent_params *given, std::string *reason);
    std::shared_ptr<FetchRecord> find(const std::string &hash);
    void connectHints(const libtorrent::torrent_handle &handle);
    void saveAllResumeData(std::chrono::milliseconds limit);
    std::string payloadDir(const std::string &hash) const;

    ServiceContext &m_context;
    FetchOptions m_options;
    std::string m_dir;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<FetchResume> m_resume;
    std::unique_ptr<FetchLedger> m_ownLedger;
    FetchLedger *m_ledger;
    std::thread m_alertThread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<FetchRecord>> m_fetches; // by hash
    bool m_stopping = false;
    int m_resumeSaves = 0; // saves asked for and not yet answered
};

} // namespace server
