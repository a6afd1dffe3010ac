#include "server/commands/LibraryCommand.h"

#include "server/commands/CommandLine.h"
#include "server/fetch/FetchEngine.h"
#include "server/ServiceContext.h"
#include "server/fetch/TorrentBuilder.h"
#include "server/fetch/TorrentMeta.h"
#include "server/library/SubtitleMatch.h"

#include "resources/protocol/ResourceInput.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <unistd.h>

namespace server {

namespace {
int usage(const char *command, const std::string &problem)
{
    std::fprintf(stderr, "%s: %s\n%s", command, problem.c_str(), usageText().c_str());
    return 2;
}

QString fromLocal(const std::string &text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// Progress on the terminal: one line rewritten in place, or a line per tenth when stderr is a file.
HashProgress terminalProgress(const std::string &label, qint64 threshold)
{
    const bool terminal = ::isatty(STDERR_FILENO);
    auto last = std::make_shared<int>(-1);
    return [label, threshold, terminal, last](qint64 done, qint64 total) {
        if (total < threshold || total <= 0)
            return;
        const int percent = int(done * 100 / total);
        const int step = terminal ? percent : percent / 10 * 10;
        if (step == *last)
            return;
        *last = step;
        std::fprintf(stderr, "%s%s: %d%% (%lld of %lld MiB)%s", terminal ? "\r" : "", label.c_str(), percent,
                     static_cast<long long>(done >> 20), static_cast<long long>(total >> 20),
                     terminal && done < total ? "" : "\n");
        std::fflush(stderr);
    };
}

bool openContext(ServiceContext &context, const char *command)
{
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "%s: %s\n", command, error.c_str());
        return false;
    }
    return true;
}

std::string vipText(bool vipOnly)
{
    return vipOnly ? "  VIP only" : "";
}

// library fetch: fetches ahead of time, with progress on stderr, until the resource has joined
// the library. Interrupted, it leaves resume data that the next fetch or serve --fetch continues.
int fetchIntoLibrary(ServiceContext &context, FetchOptions options, const std::string &input)
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    options.enabled = true;
    FetchEngine engine(context, options);
    std::string error;
    std::string hash;
    // Only this resource: others may be fetched by a service on the same folder.
    if (!engine.start(&error, false) || !engine.add(input, &hash, &error)) {
        std::fprintf(stderr, "library: %s\n", error.c_str());
        return 1;
    }
    const HashProgress show = terminalProgress("fetching " + hash, 0);
    for (;;) {
        const FetchEngine::Progress progress = engine.progress(hash);
        if (progress.state == FetchEngine::State::Complete) {
            const std::optional<LibraryResource> resource = context.library().findResource(hash);
            std::printf("%s  %s\n", hash.c_str(), resource ? resource->name.c_str() : "");
            return 0;
        }
        if (progress.state == FetchEngine::State::Refused || progress.state == FetchEngine::State::Failed
            || progress.state == FetchEngine::State::Unknown) {
            std::fprintf(stderr, "library: %s not fetched: %s\n", hash.c_str(), progress.reason.c_str());
            return 1;
        }
        if (progress.state == FetchEngine::State::WaitingForMetadata)
            std::fprintf(stderr, "fetching %s: waiting for its metadata (%d peers)\n", hash.c_str(), progress.peers);
        else
            show(progress.done, std::max<int64_t>(progress.total, 1));
        engine.waitWhileFetching(hash, std::chrono::seconds(1));
        const timespec now{0, 0};
        const int received = sigtimedwait(&stopSignals, nullptr, &now);
        if (received == SIGINT || received == SIGTERM) {
            std::fprintf(stderr, "library: interrupted; the fetch continues at the next fetch or serve --fetch\n");
            return 130;
        }
    }
}
} // namespace

bool addTorrentToLibrary(ServiceContext &context, const std::string &torrentPath, const std::string &payloadPath,
                         bool vipOnly, const std::string &origin, LibraryResource *added, std::string *error)
{
    TorrentMeta meta;
    QString problem;
    if (!meta.load(fromLocal(torrentPath), &problem)) {
        *error = problem.toStdString();
        return false;
    }
    // Where the files are: PAYLOAD/NAME/... or PAYLOAD/... (single file: PAYLOAD/NAME or PAYLOAD).
    const QFileInfo payload(fromLocal(payloadPath));
    QStringList roots;
    if (meta.singleFile) {
        roots << payload.absoluteFilePath() + QLatin1Char('/') + meta.name;
        if (payload.isFile())
            roots << payload.absoluteFilePath();
    } else {
        roots << payload.absoluteFilePath() + QLatin1Char('/') + meta.name << payload.absoluteFilePath();
    }
    std::vector<std::string> diskPaths;
    std::vector<qint64> lengths;
    for (const QString &root : roots) {
        diskPaths.clear();
        lengths.clear();
        bool all = true;
        for (const TorrentFile &file : meta.files) {
            const QString path = meta.singleFile ? root : root + QLatin1Char('/') + file.joinedPath;
            const QFileInfo info(path);
            if (!info.isFile()) {
                all = false;
                break;
            }
            diskPaths.push_back(QFile::encodeName(info.canonicalFilePath()).toStdString());
            lengths.push_back(file.length);
        }
        if (all)
            break;
        diskPaths.clear();
    }
    if (diskPaths.empty()) {
        *error = "the files of \"" + meta.name.toStdString() + "\" are not in " + payloadPath;
        return false;
    }
    for (size_t i = 0; i < diskPaths.size(); ++i) {
        const qint64 size = QFileInfo(QFile::decodeName(QByteArray::fromStdString(diskPaths[i]))).size();
        if (size != lengths[i]) {
            *error = diskPaths[i] + " has " + std::to_string(size) + " bytes, the torrent says "
                     + std::to_string(lengths[i]);
            return false;
        }
    }
    const QByteArray pieces = hashPieces(diskPaths, lengths, meta.pieceLength,
                                         terminalProgress("verifying " + meta.name.toStdString(), 64 << 20),
                                         &problem);
    if (pieces.isEmpty() && meta.totalSize > 0) {
        *error = problem.toStdString();
        return false;
    }
    if (pieces != meta.pieces) {
        int bad = 0;
        while (bad < meta.pieceCount() && pieces.mid(bad * 20, 20) == meta.pieces.mid(bad * 20, 20))
            ++bad;
        const qint64 offset = qint64(bad) * meta.pieceLength;
        std::string where;
        for (const TorrentFile &file : meta.files) {
            if (offset >= file.offset && offset < file.offset + qMax<qint64>(file.length, 1))
                where = file.joinedPath.toStdString();
        }
        *error = "piece " + std::to_string(bad) + " does not match the torrent (in " + where + ")";
        return false;
    }

    LibraryResource resource;
    resource.hash = meta.infoHash.toStdString();
    resource.name = meta.name.toStdString();
    resource.vipOnly = vipOnly;
    resource.origin = origin;
    std::vector<LibraryStore::NewFile> files;
    for (size_t i = 0; i < meta.files.size(); ++i) {
        LibraryStore::NewFile file;
        file.fileIndex = int(i);
        file.path = meta.files[i].joinedPath.toStdString();
        file.diskPath = diskPaths[i];
        file.size = meta.files[i].length;
        files.push_back(file);
    }
    if (!context.library().put(resource, files, ServiceContext::now(), error))
        return false;
    if (added)
        *added = *context.library().findResource(resource.hash);
    return true;
}

int runLibraryCommand(const std::vector<std::string> &arguments)
{
    std::string dataDir;
    std::string databaseUrl;
    std::string host = ServiceOptions::defaultVideoHosts().front();
    bool vipOnly = false;
    FetchOptions fetchOptions;
    std::vector<std::string> words;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const int fetchOption = FetchOptions::parse(arguments, &i, &fetchOptions);
        if (fetchOption < 0)
            return usage("library", "bad value after " + argument);
        if (fetchOption > 0)
            continue;
        if (argument == "--data" || argument == "--host" || argument == "--database") {
            if (i + 1 >= arguments.size())
                return usage("library", "missing value after " + argument);
            (argument == "--data" ? dataDir : argument == "--host" ? host : databaseUrl) = arguments[++i];
            if (argument == "--database" && !isPostgresUrl(databaseUrl))
                return usage("library", "--database takes a postgresql:// address");
        } else if (argument == "--vip-only") {
            vipOnly = true;
        } else if (argument.rfind("--", 0) == 0) {
            return usage("library", "unknown option " + argument);
        } else {
            words.push_back(argument);
        }
    }
    if (dataDir.empty())
        return usage("library", "--data DIR is required");
    if (words.empty())
        return usage("library", "add, list, remove, address or fetch?");
    ServiceOptions options;
    options.dataDir = dataDir;
    options.databaseUrl = databaseUrl;
    ServiceContext context(options);
    if (!openContext(context, "library"))
        return 1;
    LibraryStore &library = context.library();
    const std::string &command = words[0];

    if (command == "add") {
        if (words.size() != 3)
            return usage("library", "add takes FILE.torrent PAYLOAD_DIR");
        LibraryResource resource;
        std::string error;
        if (!addTorrentToLibrary(context, words[1], words[2], vipOnly, std::string(), &resource, &error)) {
            std::fprintf(stderr, "library: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s  %s%s\n%s\n", resource.hash.c_str(), resource.name.c_str(), vipText(resource.vipOnly).c_str(),
                    TorrentBuilder::magnetLink(QString::fromStdString(resource.hash),
                                               QString::fromStdString(resource.name))
                        .toUtf8()
                        .constData());
        return 0;
    }
    if (command == "list") {
        for (const LibraryResource &resource : library.resources()) {
            std::printf("%s  %s%s%s\n", resource.hash.c_str(), resource.name.c_str(), vipText(resource.vipOnly).c_str(),
                        resource.origin.empty() ? "" : ("  (" + resource.origin + ")").c_str());
            const std::vector<LibraryFile> files = library.files(resource.id);
            // Subtitle files are listed with the videos they are matched to.
            std::map<int, std::string> videosOf;
            for (const auto &entry : SubtitleMatch::match(files)) {
                for (const SubtitleMatch::Subtitle &subtitle : entry.second) {
                    for (int index : {subtitle.index, subtitle.subIndex}) {
                        if (index >= 0)
                            videosOf[index] += (videosOf[index].empty() ? "" : ", ") + std::to_string(entry.first);
                    }
                }
            }
            for (const LibraryFile &file : files) {
                const auto matched = videosOf.find(file.fileIndex);
                const std::string note = file.isVideo              ? std::string()
                                         : matched != videosOf.end() ? "  (subtitle of " + matched->second + ")"
                                                                     : std::string("  (not listed)");
                std::printf("    %d  %s  %lld bytes%s\n", file.fileIndex, file.path.c_str(),
                            static_cast<long long>(file.size), note.c_str());
            }
        }
        return 0;
    }
    if (command == "remove") {
        if (words.size() != 2)
            return usage("library", "remove takes HASH");
        if (!library.remove(words[1])) {
            std::fprintf(stderr, "library: no resource %s\n", words[1].c_str());
            return 1;
        }
        return 0;
    }
    if (command == "address") {
        // For administrators: try a video host by hand, e.g. with curl.
        if (words.size() != 3)
            return usage("library", "address takes HASH INDEX");
        const std::optional<LibraryResource> resource = library.findResource(words[1]);
        const std::optional<LibraryFile> file =
            resource ? library.fileAt(resource->id, std::atoi(words[2].c_str())) : std::nullopt;
        if (!file || !file->isVideo) {
            std::fprintf(stderr, "library: no video file %s of %s\n", words[2].c_str(), words[1].c_str());
            return 1;
        }
        AccessTokens::Grant grant;
        grant.fileId = file->id;
        grant.expires = ServiceContext::now() + 24 * 3600;
        const std::string code = context.tokens().issueCode(grant);
        std::printf("play: http://%s/ftn_handler/%s\ncookie: %s\ndownload: http://%s/%08d.mp4?ver=5063&rkey=%s/\n",
                    host.c_str(), code.c_str(), context.tokens().cookieFor(code).c_str(), host.c_str(),
                    10000000 + int(file->id % 89999999), code.c_str());
        return 0;
    }
    if (command == "fetch") {
        if (words.size() != 2)
            return usage("library", "fetch takes MAGNET, FILE.torrent or HASH");
        return fetchIntoLibrary(context, fetchOptions, words[1]);
    }
    return usage("library", "unknown library command " + command);
}

int runHashCommand(const std::vector<std::string> &arguments)
{
    std::vector<std::string> inputs;
    for (size_t i = 0; i < arguments.size(); ++i) {
        // Taken for the sake of scripts that pass it to every command; nothing is read from it.
        if (arguments[i] == "--data" && i + 1 < arguments.size())
            ++i;
        else
            inputs.push_back(arguments[i]);
    }
    if (inputs.empty())
        return usage("hash", "give one or more inputs");
    for (const std::string &argument : inputs) {
        const QString input = QString::fromLocal8Bit(argument.c_str(), int(argument.size()));
        std::printf("%s\n", resourceHashFromInput(input).toUtf8().constData());
    }
    return 0;
}

int runTorrentCommand(const std::vector<std::string> &arguments)
{
    std::vector<std::string> words;
    qint64 pieceLength = TorrentBuilder::defaultPieceLength;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--piece-length" && i + 1 < arguments.size()) {
            pieceLength = std::atoll(arguments[++i].c_str());
        } else if (arguments[i] == "--data" && i + 1 < arguments.size()) {
            ++i; // as with hash: accepted, not needed
        } else if (arguments[i].rfind("--", 0) == 0) {
            return usage("torrent", "unknown option " + arguments[i]);
        } else {
            words.push_back(arguments[i]);
        }
    }
    if (words.size() != 3 || words[0] != "create")
        return usage("torrent", "torrent create PAYLOAD OUT.torrent");
    QString error;
    const QByteArray torrent = TorrentBuilder::build(fromLocal(words[1]), pieceLength,
                                                     terminalProgress("hashing", 64 << 20), &error);
    QSaveFile out(fromLocal(words[2]));
    if (torrent.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(torrent) != torrent.size() || !out.commit()) {
        std::fprintf(stderr, "torrent: %s\n",
                     (error.isEmpty() ? QStringLiteral("cannot write %1").arg(out.fileName()) : error).toUtf8().constData());
        return 1;
    }
    TorrentMeta meta;
    meta.parse(torrent, nullptr);
    std::printf("%s\n", TorrentBuilder::magnetLink(meta.infoHash, meta.name).toUtf8().constData());
    return 0;
}

} // namespace server
