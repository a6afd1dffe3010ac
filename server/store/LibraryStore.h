#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace server {

class Database;
class Lease;

struct LibraryFile
{
    int64_t id = 0;
    int64_t resourceId = 0;
    int fileIndex = 0;       // position in the torrent's file list
    std::string path;        // inside the torrent, "/"-joined (UTF-8)
    std::string diskPath;    // absolute
    int64_t size = 0;
    bool isVideo = false;
    bool vipOnly = false;    // of its resource
    std::string resourceHash;
    std::string origin;      // of its resource
};

struct LibraryResource
{
    int64_t id = 0;
    std::string hash; // lowercase hex
    std::string name;
    bool vipOnly = false;
    std::string origin; // "demo" for the demo content, else empty
    int64_t addedAt = 0;
};

// The resources the service can resolve, keyed by info-hash, with their files on disk.
class LibraryStore
{
public:
    explicit LibraryStore(Database &database);

    // A file is a video by its extension (mp4, mkv, avi, flv, rmvb, wmv, mov, ts, webm, m4v).
    static bool isVideoName(const std::string &path);
    // The content type a video host sends for a file name (videos and subtitle files).
    static const char *contentTypeOf(const std::string &path);

    struct NewFile {
        int fileIndex = 0;
        std::string path;
        std::string diskPath;
        int64_t size = 0;
    };
    // Adds the resource, or updates it in place when the hash is known already (same info-hash,
    // same file list), keeping its file ids so that codes issued before stay valid. A `guard`
    // runs first inside the transaction; when it returns false nothing is written.
    bool put(const LibraryResource &resource, const std::vector<NewFile> &files, int64_t now, std::string *error,
             const std::function<bool(Lease &)> &guard = nullptr);
    bool remove(const std::string &hash);
    bool setOrigin(const std::string &hash, const std::string &origin);
    // When one of its files was last asked for by a player.
    void markPlayed(int64_t resourceId, int64_t now);

    // Resources that the service fetched itself, least recently played first, with their sizes;
    // with `host`, only those whose files that host holds or fetches (a fetch worker's disk).
    struct FetchedResource {
        std::string hash;
        int64_t size = 0;
        int64_t lastPlayed = 0;
    };
    std::vector<FetchedResource> fetchedResources(const std::string &host = std::string());

    // hash in any case.
    std::optional<LibraryResource> findResource(const std::string &hash);
    std::vector<LibraryResource> resources();
    std::vector<LibraryFile> files(int64_t resourceId);
    std::optional<LibraryFile> file(int64_t fileId);
    std::optional<LibraryFile> fileAt(int64_t resourceId, int fileIndex);

private:
    Database &m_database;
};

} // namespace server
