#include "server/store/LibraryStore.h"

#include "server/store/Database.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace server {

namespace {
std::string extensionOf(const std::string &path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

const std::pair<const char *, const char *> kVideoTypes[] = {
    {"mp4", "video/mp4"},        {"mkv", "video/x-matroska"},
    {"avi", "video/x-msvideo"},  {"flv", "video/x-flv"},
    {"rmvb", "application/vnd.rn-realmedia-vbr"},
    {"wmv", "video/x-ms-wmv"},   {"mov", "video/quicktime"},
    {"ts", "video/mp2t"},        {"webm", "video/webm"},
    {"m4v", "video/x-m4v"},
};

const std::pair<const char *, const char *> kSubtitleTypes[] = {
    {"srt", "application/x-subrip"}, {"vtt", "text/vtt"}, {"ass", "text/x-ssa"}, {"ssa", "text/x-ssa"},
};

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

const char kFileColumns[] =
    "SELECT f.id, f.resource_id, f.file_index, f.path, f.disk_path, f.size, f.is_video, r.vip_only, r.hash, r.origin "
    "FROM library_files f JOIN resources r ON r.id = f.resource_id ";

LibraryFile fileFrom(const Statement &row)
{
    LibraryFile file;
    file.id = row.integer(0);
    file.resourceId = row.integer(1);
    file.fileIndex = int(row.integer(2));
    file.path = row.text(3);
    file.diskPath = row.text(4);
    file.size = row.integer(5);
    file.isVideo = row.integer(6) != 0;
    file.vipOnly = row.integer(7) != 0;
    file.resourceHash = row.text(8);
    file.origin = row.text(9);
    return file;
}

LibraryResource resourceFrom(const Statement &row)
{
    LibraryResource resource;
    resource.id = row.integer(0);
    resource.hash = row.text(1);
    resource.name = row.text(2);
    resource.vipOnly = row.integer(3) != 0;
    resource.origin = row.text(4);
    resource.addedAt = row.integer(5);
    return resource;
}

// Statement texts are cached by address, so each query is one literal.
const char kSelectResourceByHash[] =
    "SELECT id, hash, name, vip_only, origin, added_at FROM resources WHERE hash = ?1";
const char kSelectResources[] =
    "SELECT id, hash, name, vip_only, origin, added_at FROM resources ORDER BY added_at, id";
} // namespace

LibraryStore::LibraryStore(Database &database) : m_database(database) {}

bool LibraryStore::isVideoName(const std::string &path)
{
    const std::string extension = extensionOf(path);
    for (const auto &entry : kVideoTypes) {
        if (extension == entry.first)
            return true;
    }
    return false;
}

const char *LibraryStore::contentTypeOf(const std::string &path)
{
    const std::string extension = extensionOf(path);
    for (const auto &entry : kVideoTypes) {
        if (extension == entry.first)
            return entry.second;
    }
    for (const auto &entry : kSubtitleTypes) {
        if (extension == entry.first)
            return entry.second;
    }
    return "application/octet-stream";
}

bool LibraryStore::put(const LibraryResource &resource, const std::vector<NewFile> &files, int64_t now,
                       std::string *error, const std::function<bool(Lease &)> &guard)
{
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun()) {
        if (error)
            *error = "cannot write the database";
        return false;
    }
    if (guard && !guard(lease)) {
        if (error)
            *error = "refused by its guard";
        return false;
    }
    const std::string hash = lowered(resource.hash);
    int64_t resourceId = 0;
    {
        Statement find = lease.prepare("SELECT id FROM resources WHERE hash = ?1");
        find.bind(1, hash);
        if (find.next())
            resourceId = find.integer(0);
    }
    if (resourceId) {
        Statement update = lease.prepare(
            "UPDATE resources SET name = ?2, vip_only = ?3, origin = ?4 WHERE id = ?1");
        update.bind(1, resourceId).bind(2, resource.name).bind(3, int64_t(resource.vipOnly)).bind(4, resource.origin);
        if (!update.run()) {
            if (error)
                *error = update.error();
            return false;
        }
    } else {
        Statement insert = lease.prepare(
            "INSERT INTO resources (hash, name, vip_only, origin, added_at) VALUES (?1, ?2, ?3, ?4, ?5) RETURNING id");
        insert.bind(1, hash).bind(2, resource.name).bind(3, int64_t(resource.vipOnly)).bind(4, resource.origin).bind(5, now);
        if (!insert.next()) {
            if (error)
                *error = insert.error();
            return false;
        }
        resourceId = insert.integer(0);
        insert.run();
    }
    for (const NewFile &file : files) {
        Statement upsert = lease.prepare(
            "INSERT INTO library_files (resource_id, file_index, path, disk_path, size, is_video) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (resource_id, file_index) DO UPDATE SET "
            "path = excluded.path, disk_path = excluded.disk_path, size = excluded.size, "
            "is_video = excluded.is_video");
        upsert.bind(1, resourceId).bind(2, int64_t(file.fileIndex)).bind(3, file.path).bind(4, file.diskPath)
            .bind(5, file.size).bind(6, int64_t(isVideoName(file.path)));
        if (!upsert.run()) {
            if (error)
                *error = upsert.error();
            return false;
        }
    }
    // The same info-hash means the same file list; anything beyond it is left from nowhere.
    Statement trim = lease.prepare("DELETE FROM library_files WHERE resource_id = ?1 AND file_index >= ?2");
    trim.bind(1, resourceId).bind(2, int64_t(files.size()));
    if (!trim.run() || !transaction.commit()) {
        if (error)
            *error = "cannot write the database";
        return false;
    }
    return true;
}

bool LibraryStore::remove(const std::string &hash)
{
    Lease lease = m_database.lease();
    Statement statement = lease.prepare("DELETE FROM resources WHERE hash = ?1");
    statement.bind(1, lowered(hash));
    return statement.run() && lease.changes() > 0;
}

bool LibraryStore::setOrigin(const std::string &hash, const std::string &origin)
{
    Lease lease = m_database.lease();
    Statement statement = lease.prepare("UPDATE resources SET origin = ?2 WHERE hash = ?1");
    statement.bind(1, lowered(hash)).bind(2, origin);
    return statement.run() && lease.changes() > 0;
}

void LibraryStore::markPlayed(int64_t resourceId, int64_t now)
{
    Lease lease = m_database.lease();
    Statement statement = lease.prepare("UPDATE resources SET last_played = ?2 WHERE id = ?1");
    statement.bind(1, resourceId).bind(2, now);
    statement.run();
}

std::vector<LibraryStore::FetchedResource> LibraryStore::fetchedResources(const std::string &host)
{
    std::vector<FetchedResource> result;
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(
        host.empty() ? "SELECT r.hash, COALESCE(SUM(f.size), 0), r.last_played FROM resources r "
                       "LEFT JOIN library_files f ON f.resource_id = r.id WHERE r.origin IN ('fetch', 'fetching') "
                       "GROUP BY r.id ORDER BY r.last_played, r.added_at, r.id"
                     : "SELECT r.hash, COALESCE(SUM(f.size), 0), r.last_played FROM resources r "
                       "LEFT JOIN library_files f ON f.resource_id = r.id WHERE r.origin IN ('fetch', 'fetching') "
                       "AND (r.id IN (SELECT resource_id FROM resource_places WHERE host = ?1) "
                       "OR r.hash IN (SELECT info_hash FROM fetch_jobs WHERE host = ?1 AND state = 'fetching')) "
                       "GROUP BY r.id ORDER BY r.last_played, r.added_at, r.id");
    if (!host.empty())
        statement.bind(1, host);
    while (statement.next())
        result.push_back({statement.text(0), statement.integer(1), statement.integer(2)});
    return result;
}

std::optional<LibraryResource> LibraryStore::findResource(const std::string &hash)
{
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(kSelectResourceByHash);
    statement.bind(1, lowered(hash));
    if (!statement.next())
        return std::nullopt;
    return resourceFrom(statement);
}

std::vector<LibraryResource> LibraryStore::resources()
{
    std::vector<LibraryResource> result;
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(kSelectResources);
    while (statement.next())
        result.push_back(resourceFrom(statement));
    return result;
}

std::vector<LibraryFile> LibraryStore::files(int64_t resourceId)
{
    static const std::string sql = std::string(kFileColumns) + "WHERE f.resource_id = ?1 ORDER BY f.file_index";
    std::vector<LibraryFile> result;
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(sql.c_str());
    statement.bind(1, resourceId);
    while (statement.next())
        result.push_back(fileFrom(statement));
    return result;
}

std::optional<LibraryFile> LibraryStore::file(int64_t fileId)
{
    static const std::string sql = std::string(kFileColumns) + "WHERE f.id = ?1";
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(sql.c_str());
    statement.bind(1, fileId);
    if (!statement.next())
        return std::nullopt;
    return fileFrom(statement);
}

std::optional<LibraryFile> LibraryStore::fileAt(int64_t resourceId, int fileIndex)
{
    static const std::string sql =
        std::string(kFileColumns) + "WHERE f.resource_id = ?1 AND f.file_index = ?2";
    Lease lease = m_database.lease();
    Statement statement = lease.prepare(sql.c_str());
    statement.bind(1, resourceId).bind(2, int64_t(fileIndex));
    if (!statement.next())
        return std::nullopt;
    return fileFrom(statement);
}

} // namespace server
