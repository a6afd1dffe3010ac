#include "server/fetch/FetchEngine.h"

#include "app/Version.h"

#include "server/fetch/FetchQuota.h"
#include "server/fetch/LibraryLedger.h"
#include "server/fetch/FetchResume.h"
#include "server/fetch/FetchRecord.h"
#include "server/fetch/TorrentIds.h"
#include "server/http/LogText.h"
#include "server/ServiceContext.h"
#include "server/fetch/TorrentMeta.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/magnet_uri.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lt = libtorrent;

namespace server {

using namespace torrentids;

namespace {
using Clock = std::chrono::steady_clock;

// Deadlines of announced pieces are this far apart, so that they arrive in play order.
constexpr int kDeadlineStepMs = 150;
// Files up to this size are wanted whole when a player asks for them (subtitle files are).
constexpr int64_t kWholeFileBytes = 8 * 1024 * 1024;
constexpr auto kResumeInterval = std::chrono::seconds(60);
constexpr auto kPeriodicInterval = std::chrono::seconds(5);

const char *const kFetchingOrigin = "fetching";
const char *const kFetchedOrigin = "fetch";

} // namespace

struct FetchEngine::Session
{
    explicit Session(lt::session_params params) : session(std::move(params)) {}
    lt::session session;
};

FetchEngine::FetchEngine(ServiceContext &context, FetchOptions options, FetchLedger *ledger)
    : m_context(context), m_options(std::move(options)), m_ledger(ledger)
{
    if (!m_ledger) {
        m_ownLedger = std::make_unique<LibraryLedger>(context.library());
        m_ledger = m_ownLedger.get();
    }
    m_dir = m_options.dir.empty() ? context.directory().root() + "/fetch" : m_options.dir;
    m_resume = std::make_unique<FetchResume>(m_dir);
}

FetchEngine::~FetchEngine()
{
    stop();
}

std::string FetchEngine::payloadDir(const std::string &hash) const
{
    return m_dir + "/" + hash;
}

bool FetchEngine::start(std::string *error, bool continueFetches)
{
    if (!QDir().mkpath(qPath(m_dir + "/.resume"))) {
        *error = "cannot create " + m_dir;
        return false;
    }
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::status | lt::alert_category::storage
                                                    | lt::alert_category::error | lt::alert_category::piece_progress);
    pack.set_str(lt::settings_pack::listen_interfaces, m_options.listen);
    pack.set_str(lt::settings_pack::user_agent, std::string("Pelorin/") + PELORIN_VERSION);
    pack.set_bool(lt::settings_pack::enable_dht, m_options.dht);
    if (!m_options.dhtBootstrap.empty()) {
        std::string nodes;
        for (const std::string &node : m_options.dhtBootstrap)
            nodes += (nodes.empty() ? "" : ",") + node;
        pack.set_str(lt::settings_pack::dht_bootstrap_nodes, nodes);
    }
    // A service has no business announcing itself on the local network or opening router ports.
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_int(lt::settings_pack::stop_tracker_timeout, 1);
    // A fetch is what the machine is for: TCP out, since uTP yields to every other transfer by
    // design (uTP peers can still connect in).
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    // Given peers usually share one address (several on one machine), and are worth trying
    // again soon after a failed attempt.
    if (!m_options.peerHints.empty()) {
        pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
        pack.set_int(lt::settings_pack::min_reconnect_time, 2);
    }
    try {
        m_session = std::make_unique<Session>(lt::session_params(std::move(pack)));
    } catch (const std::exception &problem) {
        *error = std::string("cannot start the fetch engine: ") + problem.what();
        return false;
    }

    // Fetches that a previous run left, first with their resume data...
    std::set<std::string> resumed;
    const std::vector<std::string> hashes = continueFetches ? m_resume->hashes() : std::vector<std::string>();
    for (const std::string &hash : hashes) {
        lt::add_torrent_params params;
        if (!m_resume->read(hash, &params))
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string reason;
        if (startFetch(hash, &params, &reason))
            resumed.insert(hash);
        else
            LogText::print("fetch: cannot resume " + hash + ": " + reason);
    }
    // ...then those that joined the library without resume data, by their hash.
    for (const LibraryResource &resource : m_context.library().resources()) {
        if (!continueFetches || resource.origin != kFetchingOrigin || resumed.count(resource.hash))
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string reason;
        if (!startFetch(resource.hash, nullptr, &reason))
            LogText::print("fetch: cannot resume " + resource.hash + ": " + reason);
    }
    if (!m_fetches.empty())
        LogText::print("fetch: continuing " + std::to_string(m_fetches.size()) + " fetches");
    m_alertThread = std::thread([this] { alertLoop(); });
    return true;
}

void FetchEngine::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || !m_session)
            return;
        m_stopping = true;
        m_changed.notify_all();
    }
    m_session->session.post_session_stats(); // wakes the alert thread
    if (m_alertThread.joinable())
        m_alertThread.join();
    m_session.reset();
}

// Peers given on the command line are tried at once and again now and then: the engine does not
// come back by itself to a given peer that it could not use the first time.
void FetchEngine::connectHints(const lt::torrent_handle &handle)
{
    for (const std::string &hint : m_options.peerHints) {
        lt::tcp::endpoint endpoint;
        if (endpointOf(hint, &endpoint))
            handle.connect_peer(endpoint);
    }
}

std::shared_ptr<FetchRecord> FetchEngine::find(const std::string &hash)
{
    const auto found = m_fetches.find(lowered(hash));
    return found == m_fetches.end() ? nullptr : found->second;
}

// With m_mutex held.
std::shared_ptr<FetchRecord> FetchEngine::startFetch(const std::string &hash, lt::add_torrent_params *given,
                                                            std::string *reason)
{
    lt::add_torrent_params params;
    if (given)
        params = std::move(*given);
    else
        params.info_hashes.v1 = hashOf(hash);
    const bool named = params.ti != nullptr;
    if (!named) {
        int pending = 0;
        for (const auto &entry : m_fetches)
            pending += entry.second->state == State::WaitingForMetadata;
        if (pending >= m_options.maxPending) {
            *reason = "too many fetches wait for metadata";
            return nullptr;
        }
    }
    // Each fetch has a folder of its own, which the engine never writes outside of (it mends
    // hostile names itself); a torrent refused for its names is deleted with its folder. Holding
    // the download back until the names are checked would make the engine drop its seeds.
    params.save_path = payloadDir(hash);
    params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    for (const std::string &tracker : m_options.trackers) {
        if (std::find(params.trackers.begin(), params.trackers.end(), tracker) == params.trackers.end())
            params.trackers.push_back(tracker);
    }
    lt::error_code ec;
    lt::torrent_handle handle = m_session->session.add_torrent(std::move(params), ec);
    if (ec) {
        *reason = ec.message();
        return nullptr;
    }
    connectHints(handle);
    auto fetch = std::make_shared<FetchRecord>();
    fetch->hash = hash;
    fetch->handle = handle;
    m_fetches[hash] = fetch;
    if (named) {
        onMetadata(fetch);
    } else {
        handle.save_resume_data(lt::torrent_handle::save_info_dict);
        ++m_resumeSaves;
    }
    return fetch;
}

FetchEngine::State FetchEngine::request(const std::string &hash, std::chrono::milliseconds wait, std::string *reason)
{
    if (!isHexHash(hash)) {
        *reason = "not a hash the engine can fetch";
        return State::Refused;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_stopping)
        return State::Unknown;
    std::shared_ptr<FetchRecord> fetch = find(hash);
    // Fetched before, and removed from the library since: fetched anew.
    if (fetch && fetch->state == State::Complete && !m_context.library().findResource(hash)) {
        m_fetches.erase(lowered(hash));
        fetch = nullptr;
    }
    if (!fetch) {
        fetch = startFetch(lowered(hash), nullptr, reason);
        if (!fetch)
            return State::Failed;
        LogText::print("fetch: started " + lowered(hash));
    }
    m_changed.wait_for(lock, wait, [&] { return fetch->state != State::WaitingForMetadata || m_stopping; });
    *reason = fetch->reason;
    return fetch->state;
}

bool FetchEngine::add(const std::string &input, std::string *hash, std::string *error)
{
    lt::add_torrent_params params;
    if (isHexHash(input)) {
        params.info_hashes.v1 = hashOf(input);
    } else if (input.rfind("magnet:", 0) == 0) {
        lt::error_code ec;
        params = lt::parse_magnet_uri(input, ec);
        if (ec || params.info_hashes.v1.is_all_zeros()) {
            *error = "not a magnet link with a BitTorrent v1 hash";
            return false;
        }
    } else {
        TorrentMeta meta;
        QString problem;
        if (!meta.load(qPath(input), &problem)) {
            *error = problem.toStdString();
            return false;
        }
        lt::error_code ec;
        auto info = std::make_shared<lt::torrent_info>(input, ec);
        if (ec) {
            *error = ec.message();
            return false;
        }
        params.ti = info;
    }
    *hash = hexOf(params.ti ? params.ti->info_hashes().v1 : params.info_hashes.v1);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const std::shared_ptr<FetchRecord> known = find(*hash)) {
        if (known->state == State::WaitingForMetadata || known->state == State::Fetching)
            return true;
        m_fetches.erase(*hash); // ended before: fetched anew
    }
    lt::add_torrent_params resumed;
    if (m_resume->read(*hash, &resumed))
        params = std::move(resumed);
    const std::optional<LibraryResource> known = m_context.library().findResource(*hash);
    if (known && known->origin != kFetchingOrigin) {
        *error = "the library holds " + *hash + " already";
        return false;
    }
    return startFetch(*hash, &params, error) != nullptr;
}

FetchEngine::Progress FetchEngine::progress(const std::string &hash)
{
    Progress progress;
    lt::torrent_handle handle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::shared_ptr<FetchRecord> fetch = find(hash);
        if (!fetch)
            return progress;
        progress.state = fetch->state;
        progress.reason = fetch->reason;
        handle = fetch->handle;
    }
    lt::torrent_status status;
    if (handle.is_valid() && statusOf(handle, &status)) {
        progress.done = status.total_wanted_done;
        progress.total = status.total_wanted;
        progress.peers = status.num_peers;
    }
    return progress;
}

void FetchEngine::abandon(const std::string &hash, const std::string &reason)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::shared_ptr<FetchRecord> fetch = find(hash);
    if (!fetch)
        return;
    drop(fetch, State::Failed, reason, true, false);
    m_fetches.erase(fetch->hash);
    LogText::print("fetch: gave up " + fetch->hash + ": " + reason);
}

void FetchEngine::waitWhileFetching(const std::string &hash, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, limit, [&] {
        const std::shared_ptr<FetchRecord> fetch = find(hash);
        return m_stopping || !fetch
               || (fetch->state != State::WaitingForMetadata && fetch->state != State::Fetching);
    });
}

bool FetchEngine::layout(const std::string &hash, int fileIndex, FileLayout *layout)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::shared_ptr<FetchRecord> fetch = find(hash);
    if (!fetch || fetch->pieceCount == 0 || fileIndex < 0 || size_t(fileIndex) >= fetch->files.offsets.size())
        return false;
    layout->offset = fetch->files.offsets[size_t(fileIndex)];
    layout->size = fetch->files.sizes[size_t(fileIndex)];
    layout->pieceLength = fetch->files.pieceLength;
    layout->pieceCount = fetch->pieceCount;
    return true;
}

bool FetchEngine::prepareToPlay(const std::string &hash, int fileIndex, std::string *reason)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::shared_ptr<FetchRecord> fetch = find(hash);
    if (m_stopping) {
        *reason = "the service is stopping";
        return false;
    }
    if (!fetch || fetch->state == State::Complete)
        return true; // the library serves it from disk
    if (fetch->state != State::Fetching || size_t(fileIndex) >= fetch->files.offsets.size()) {
        *reason = fetch->reason.empty() ? "the resource is not being fetched" : fetch->reason;
        return false;
    }
    const int64_t offset = fetch->files.offsets[size_t(fileIndex)];
    const int64_t size = fetch->files.sizes[size_t(fileIndex)];
    if (size == 0)
        return true;
    const int first = int(offset / fetch->files.pieceLength);
    const int last = int((offset + size - 1) / fetch->files.pieceLength);
    fetch->handle.file_priority(lt::file_index_t(fileIndex), lt::top_priority);
    // Containers often keep their index at the end: it is asked for right after the start.
    if (!fetch->passed[size_t(first)])
        fetch->handle.set_piece_deadline(lt::piece_index_t(first), 0);
    if (last != first && !fetch->passed[size_t(last)])
        fetch->handle.set_piece_deadline(lt::piece_index_t(last), kDeadlineStepMs);
    // A small file (a subtitle file) is read whole at once: all of its pieces come first.
    if (size <= kWholeFileBytes) {
        for (int piece = first + 1; piece < last; ++piece) {
            if (!fetch->passed[size_t(piece)])
                fetch->handle.set_piece_deadline(lt::piece_index_t(piece), (piece - first + 1) * kDeadlineStepMs);
        }
    }
    const auto deadline = Clock::now() + std::chrono::seconds(m_options.pieceWaitSeconds);
    const bool arrived = m_changed.wait_until(lock, deadline, [&] {
        return m_stopping || fetch->state != State::Fetching || fetch->passed[size_t(first)];
    });
    if (fetch->state == State::Complete)
        return true;
    if (!arrived || fetch->state != State::Fetching || m_stopping) {
        *reason = fetch->state != State::Fetching ? fetch->reason
                                                   : "its first piece did not arrive within "
                                                         + std::to_string(m_options.pieceWaitSeconds) + " s";
        return false;
    }
    return true;
}

void FetchEngine::want(const std::string &hash, int first, int last)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::shared_ptr<FetchRecord> fetch = find(hash);
    if (!fetch || fetch->state != State::Fetching || m_stopping)
        return;
    for (int piece = std::max(first, 0); piece <= last && piece < fetch->pieceCount; ++piece) {
        if (fetch->wanted[piece]++ == 0 && !fetch->passed[size_t(piece)])
            fetch->handle.set_piece_deadline(lt::piece_index_t(piece), (piece - first) * kDeadlineStepMs);
    }
}

void FetchEngine::unwant(const std::string &hash, int first, int last)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::shared_ptr<FetchRecord> fetch = find(hash);
    if (!fetch || m_stopping)
        return;
    for (int piece = std::max(first, 0); piece <= last; ++piece) {
        const auto found = fetch->wanted.find(piece);
        if (found == fetch->wanted.end() || --found->second > 0)
            continue;
        fetch->wanted.erase(found);
        if (fetch->state == State::Fetching && !fetch->passed[size_t(piece)])
            fetch->handle.reset_piece_deadline(lt::piece_index_t(piece));
    }
}

FetchPiece FetchEngine::piece(const std::string &hash, int index, Clock::time_point deadline, std::string *reason)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool asked = false;
    for (;;) {
        const std::shared_ptr<FetchRecord> fetch = find(hash);
        if (!fetch || m_stopping) {
            *reason = "the fetch has ended";
            return {};
        }
        if (index < 0 || index >= fetch->pieceCount) {
            *reason = "no piece " + std::to_string(index);
            return {};
        }
        if (fetch->state == State::Complete) {
            // Every piece is on disk and the engine has let go of the files.
            const FetchRecord::Files files = fetch->files;
            lock.unlock();
            return files.read(index, reason);
        }
        if (fetch->state != State::Fetching) {
            *reason = fetch->reason;
            return {};
        }
        const FetchPiece cached = fetch->cached(index);
        if (cached.bytes)
            return cached;
        const auto failed = fetch->readErrors.find(index);
        if (failed != fetch->readErrors.end()) {
            *reason = "cannot read piece " + std::to_string(index) + ": " + failed->second;
            fetch->readErrors.erase(failed);
            return {};
        }
        if (fetch->passed[size_t(index)] && fetch->reading.insert(index).second)
            fetch->handle.read_piece(lt::piece_index_t(index));
        else if (!asked && !fetch->passed[size_t(index)] && fetch->wanted.count(index) == 0)
            fetch->handle.set_piece_deadline(lt::piece_index_t(index), 0);
        asked = true;
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            const lt::torrent_handle handle = fetch->handle;
            lock.unlock();
            lt::torrent_status status;
            const int peers = handle.is_valid() && statusOf(handle, &status) ? status.num_peers : 0;
            *reason = "piece " + std::to_string(index) + " of " + hash + " did not arrive in time ("
                      + std::to_string(peers) + " peers)";
            return {};
        }
    }
}

void FetchEngine::alertLoop()
{
    auto nextPeriodic = Clock::now() + kPeriodicInterval;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                break;
        }
        m_session->session.wait_for_alert(kPeriodicInterval);
        handleAlerts();
        const auto now = Clock::now();
        if (now >= nextPeriodic) {
            periodic(now);
            nextPeriodic = now + kPeriodicInterval;
        }
    }
    saveAllResumeData(std::chrono::seconds(5));
}

void FetchEngine::handleAlerts()
{
    std::vector<lt::alert *> alerts;
    m_session->session.pop_alerts(&alerts);
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto fetchOf = [this](const lt::torrent_handle &handle) -> std::shared_ptr<FetchRecord> {
        for (const auto &entry : m_fetches) {
            if (entry.second->handle == handle)
                return entry.second;
        }
        return nullptr;
    };
    for (lt::alert *alert : alerts) {
        if (auto *piece = lt::alert_cast<lt::piece_finished_alert>(alert)) {
            const auto fetch = fetchOf(piece->handle);
            const int index = int(static_cast<int>(piece->piece_index));
            if (fetch && index >= 0 && index < int(fetch->passed.size()))
                fetch->passed[size_t(index)] = 1;
        } else if (auto *read = lt::alert_cast<lt::read_piece_alert>(alert)) {
            const auto fetch = fetchOf(read->handle);
            if (!fetch)
                continue;
            const int index = static_cast<int>(read->piece);
            fetch->reading.erase(index);
            if (read->error) {
                fetch->readErrors[index] = read->error.message();
                continue;
            }
            boost::shared_array<char> buffer = read->buffer;
            fetch->keep(index, FetchPiece{std::shared_ptr<const char>(buffer.get(), [buffer](const char *) {}), read->size});
        } else if (auto *metadata = lt::alert_cast<lt::metadata_received_alert>(alert)) {
            if (const auto fetch = fetchOf(metadata->handle))
                onMetadata(fetch);
        } else if (auto *checked = lt::alert_cast<lt::torrent_checked_alert>(alert)) {
            const auto fetch = fetchOf(checked->handle);
            if (fetch && fetch->state == State::Fetching) {
                lt::torrent_status status;
                if (!statusOf(fetch->handle, &status, lt::torrent_handle::query_pieces))
                    continue;
                int have = 0;
                for (int i = 0; i < fetch->pieceCount && i < status.pieces.size(); ++i) {
                    fetch->passed[size_t(i)] = status.pieces.get_bit(lt::piece_index_t(i)) ? 1 : 0;
                    have += fetch->passed[size_t(i)];
                }
                LogText::print("fetch: " + fetch->hash + " has " + std::to_string(have) + " of "
                               + std::to_string(fetch->pieceCount) + " pieces");
                if (status.is_seeding)
                    onSeeding(fetch);
            }
        } else if (auto *finished = lt::alert_cast<lt::torrent_finished_alert>(alert)) {
            const auto fetch = fetchOf(finished->handle);
            lt::torrent_status status;
            if (fetch && fetch->state == State::Fetching && statusOf(fetch->handle, &status) && status.is_seeding)
                onSeeding(fetch);
        } else if (auto *flushed = lt::alert_cast<lt::cache_flushed_alert>(alert)) {
            if (const auto fetch = fetchOf(flushed->handle))
                onFlushed(fetch);
        } else if (auto *saved = lt::alert_cast<lt::save_resume_data_alert>(alert)) {
            --m_resumeSaves;
            const auto fetch = fetchOf(saved->handle);
            // A late answer for a fetch that has ended must not bring its resume data back.
            if (fetch && (fetch->state == State::WaitingForMetadata || fetch->state == State::Fetching)
                && !fetch->flushing) {
                if (!m_resume->write(fetch->hash, lt::write_resume_data_buf(saved->params)))
                    LogText::print("fetch: cannot write the resume data of " + fetch->hash);
            }
        } else if (lt::alert_cast<lt::save_resume_data_failed_alert>(alert)) {
            --m_resumeSaves;
        } else if (auto *failed = lt::alert_cast<lt::torrent_error_alert>(alert)) {
            if (const auto fetch = fetchOf(failed->handle)) {
                LogText::print("fetch: " + fetch->hash + " failed: " + failed->message());
                drop(fetch, State::Failed, failed->error.message(), false);
            }
        } else if (auto *fileError = lt::alert_cast<lt::file_error_alert>(alert)) {
            if (const auto fetch = fetchOf(fileError->handle)) {
                LogText::print("fetch: " + fetch->hash + " failed: " + fileError->message());
                drop(fetch, State::Failed, fileError->error.message(), false);
            }
        } else if (auto *deleted = lt::alert_cast<lt::torrent_deleted_alert>(alert)) {
            // The engine deletes a fetch's files, not the folder of its own it was given.
            const std::string hash = hexOf(deleted->info_hashes.v1);
            if (!find(hash) || find(hash)->state != State::Fetching)
                QDir().rmdir(qPath(payloadDir(hash)));
        }
    }
    m_changed.notify_all();
}

// With m_mutex held.
void FetchEngine::onMetadata(const std::shared_ptr<FetchRecord> &fetch)
{
    if (fetch->state != State::WaitingForMetadata)
        return;
    std::shared_ptr<const lt::torrent_info> info;
    try {
        info = fetch->handle.torrent_file();
    } catch (const std::exception &) {
    }
    if (!info)
        return;
    // Checked as the library checks torrents it is given, on the bytes as they came: the
    // engine's own file names are already mended and would hide a hostile torrent.
    const lt::span<const char> section = info->info_section();
    const QByteArray torrent = QByteArrayLiteral("d4:info") + QByteArray(section.data(), int(section.size()))
                               + QByteArrayLiteral("e");
    TorrentMeta meta;
    QString problem;
    if (!meta.parse(torrent, &problem) || meta.infoHash.toStdString() != fetch->hash) {
        LogText::print("fetch: refused " + fetch->hash + ": " + problem.toStdString());
        drop(fetch, State::Refused, problem.toStdString(), true);
        return;
    }
    const lt::file_storage &files = info->files();
    if (files.num_files() != int(meta.files.size())) {
        drop(fetch, State::Refused, "the file list cannot be read", true);
        return;
    }
    LibraryStore &library = m_context.library();
    const auto known = library.findResource(fetch->hash);
    if (!known || known->origin != kFetchingOrigin) {
        std::string reason;
        if (!makeRoom(fetch->hash, meta.totalSize, &reason)) {
            LogText::print("fetch: refused " + fetch->hash + ": " + reason);
            drop(fetch, State::Refused, reason, true);
            return;
        }
    }
    LibraryResource resource;
    resource.hash = fetch->hash;
    resource.name = meta.name.toStdString();
    resource.origin = kFetchingOrigin;
    std::vector<LibraryStore::NewFile> newFiles;
    const std::string savePath = payloadDir(fetch->hash);
    fetch->files.offsets.clear();
    fetch->files.sizes.clear();
    fetch->files.paths.clear();
    for (const lt::file_index_t index : files.file_range()) {
        LibraryStore::NewFile file;
        file.fileIndex = static_cast<int>(index);
        file.path = meta.files[size_t(file.fileIndex)].joinedPath.toStdString();
        file.diskPath = QDir::cleanPath(qPath(files.file_path(index, savePath))).toStdString();
        file.size = files.file_size(index);
        newFiles.push_back(file);
        fetch->files.offsets.push_back(files.file_offset(index));
        fetch->files.sizes.push_back(file.size);
        fetch->files.paths.push_back(file.diskPath);
    }
    std::string error;
    if (!m_ledger->admit(resource, newFiles, &error)) {
        drop(fetch, State::Failed, "cannot add it to the library: " + error, true, false);
        return;
    }
    fetch->files.pieceLength = info->piece_length();
    fetch->pieceCount = info->num_pieces();
    fetch->passed.assign(size_t(fetch->pieceCount), 0);
    fetch->state = State::Fetching;
    fetch->handle.set_flags(lt::torrent_flags::sequential_download);
    fetch->handle.save_resume_data(lt::torrent_handle::save_info_dict);
    ++m_resumeSaves;
    LogText::print("fetch: " + fetch->hash + " is \"" + resource.name + "\", " + std::to_string(files.num_files())
                   + " files, " + std::to_string(meta.totalSize) + " bytes");
}

// With m_mutex held.
void FetchEngine::onSeeding(const std::shared_ptr<FetchRecord> &fetch)
{
    if (fetch->flushing)
        return;
    // Pieces may pass their check before they reach the disk; the library reads the files
    // directly, so they join it once the engine has written everything.
    fetch->flushing = true;
    fetch->handle.flush_cache();
}

// With m_mutex held.
void FetchEngine::onFlushed(const std::shared_ptr<FetchRecord> &fetch)
{
    if (!fetch->flushing || fetch->state != State::Fetching)
        return;
    std::string error;
    if (!m_ledger->complete(fetch->hash, &error)) {
        drop(fetch, State::Failed, error, true, false);
        return;
    }
    m_resume->remove(fetch->hash);
    m_session->session.remove_torrent(fetch->handle);
    fetch->handle = lt::torrent_handle();
    fetch->state = State::Complete;
    fetch->clearCache();
    LogText::print("fetch: " + fetch->hash + " complete");
}

// With m_mutex held.
void FetchEngine::drop(const std::shared_ptr<FetchRecord> &fetch, State state, const std::string &reason,
                       bool deleteFiles, bool tell)
{
    if (fetch->handle.is_valid())
        m_session->session.remove_torrent(fetch->handle, deleteFiles ? lt::session::delete_files : lt::remove_flags_t{});
    fetch->handle = lt::torrent_handle();
    fetch->state = state;
    fetch->reason = reason;
    fetch->since = Clock::now();
    fetch->clearCache();
    m_resume->remove(fetch->hash);
    if (tell && (state == State::Refused || state == State::Failed))
        m_ledger->ended(fetch->hash,
                        state == State::Refused ? FetchLedger::Outcome::Refused : FetchLedger::Outcome::Failed, reason);
    m_changed.notify_all();
}

// With m_mutex held.
bool FetchEngine::makeRoom(const std::string &hash, int64_t size, std::string *reason)
{
    if (m_options.quota <= 0)
        return true;
    std::vector<LibraryStore::FetchedResource> evicted;
    if (!FetchQuota(m_ledger->heldHere(), m_options.quota).makeRoom(hash, size, &evicted, reason))
        return false;
    for (const auto &resource : evicted) {
        LogText::print("fetch: evicted " + resource.hash + " (" + std::to_string(resource.size)
                       + " bytes, least recently played) to make room for " + hash);
        evict(resource.hash);
    }
    return true;
}

// With m_mutex held.
void FetchEngine::evict(const std::string &hash)
{
    const std::shared_ptr<FetchRecord> fetch = find(hash);
    const bool inSession = fetch && fetch->handle.is_valid();
    if (fetch) {
        drop(fetch, State::Failed, "removed to keep within the fetch quota", true, false);
        m_fetches.erase(hash);
    }
    m_ledger->evict(hash);
    if (!inSession)
        QDir(qPath(payloadDir(hash))).removeRecursively();
}

void FetchEngine::periodic(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_fetches.begin(); entry != m_fetches.end();) {
        const std::shared_ptr<FetchRecord> fetch = entry->second;
        const auto age = now - fetch->since;
        const auto limit = std::chrono::minutes(m_options.pendingMinutes);
        if (fetch->state == State::WaitingForMetadata && age > limit) {
            LogText::print("fetch: gave up " + fetch->hash + ": no metadata");
            drop(fetch, State::Failed, "no metadata", true);
            entry = m_fetches.erase(entry);
            continue;
        }
        // Refusals and failures are remembered for a while, then a request may try again.
        if ((fetch->state == State::Refused || fetch->state == State::Failed) && age > limit) {
            entry = m_fetches.erase(entry);
            continue;
        }
        if (fetch->handle.is_valid())
            connectHints(fetch->handle);
        if (fetch->state == State::Fetching && !fetch->flushing && now - fetch->lastResumeSave > kResumeInterval) {
            fetch->handle.save_resume_data(lt::torrent_handle::save_info_dict | lt::torrent_handle::only_if_modified);
            ++m_resumeSaves;
            fetch->lastResumeSave = now;
        }
        ++entry;
    }
}

void FetchEngine::saveAllResumeData(std::chrono::milliseconds limit)
{
    m_session->session.pause();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto &entry : m_fetches) {
            const std::shared_ptr<FetchRecord> &fetch = entry.second;
            if (fetch->handle.is_valid() && !fetch->flushing
                && (fetch->state == State::WaitingForMetadata || fetch->state == State::Fetching)) {
                fetch->handle.save_resume_data(lt::torrent_handle::save_info_dict
                                               | lt::torrent_handle::flush_disk_cache);
                ++m_resumeSaves;
                if (fetch->state == State::Fetching)
                    LogText::print("fetch: " + fetch->hash + " stops with "
                                   + std::to_string(std::count(fetch->passed.begin(), fetch->passed.end(), 1))
                                   + " of " + std::to_string(fetch->pieceCount) + " pieces");
            }
        }
    }
    const auto deadline = Clock::now() + limit;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_resumeSaves <= 0)
                break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            LogText::print("fetch: resume data of some fetches not saved in time");
            break;
        }
        m_session->session.wait_for_alert(left);
        handleAlerts();
    }
}

} // namespace server
