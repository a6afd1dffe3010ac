#pragma once

#include <QByteArray>
#include <QJsonDocument>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace server {

class Database;
class DataDirectory;

// The configuration items an administrator edits: JSON files under DIR/config/. Every request
// looks at the file again; the parsed document is reused only while the file is unchanged
// (same inode, size and modification time), so edits take effect with the next request.
// On a database that several instances share, the items are rows of it instead (each instance
// reads them again after at most a second), so that every instance answers alike.
class ConfigItems
{
public:
    static constexpr const char *kAnnouncements = "announcements.json";
    static constexpr const char *kPopup = "popup.json";
    static constexpr const char *kUpdate = "update.json";
    static constexpr const char *kVideoHosts = "video_hosts.json";

    enum class State { Ok, Missing, Malformed };
    struct Item {
        State state = State::Missing;
        QJsonDocument document;
    };

    ConfigItems(const DataDirectory &directory, Database *shared = nullptr);

    std::shared_ptr<const Item> get(const char *name);
    // The item's bytes as they are kept (empty with *missing when there is none).
    bool read(const std::string &name, QByteArray *bytes, bool *missing);
    // Replaces an item whole.
    bool put(const std::string &name, const QByteArray &bytes, std::string *error);

    // Writes the items that are missing with neutral content (no announcements, no pop-up notice,
    // no update); existing files are left alone.
    bool writeDefaults(const std::string &currentVersion, std::string *error);

private:
    std::shared_ptr<const Item> parse(const std::string &where, const QByteArray *bytes);
    std::shared_ptr<const Item> getShared(const char *name);

    struct Cached {
        long long inode = -1;
        long long size = -1;
        long long mtimeNs = -1;
        long long readMs = 0; // shared items: when the row was read
        std::shared_ptr<const Item> item;
    };

    const DataDirectory &m_directory;
    Database *m_shared;
    std::mutex m_mutex;
    std::unordered_map<std::string, Cached> m_cache;
};

} // namespace server
