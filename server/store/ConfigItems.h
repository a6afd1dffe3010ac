#pragma once

#include <QJsonDocument>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace server {

class DataDirectory;

// The configuration items an administrator edits: JSON files under DIR/config/. Every request
// looks at the file again; the parsed document is reused only while the file is unchanged
// (same inode, size and modification time), so edits take effect with the next request.
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

    explicit ConfigItems(const DataDirectory &directory);

    std::shared_ptr<const Item> get(const char *name);

    // Writes the items that are missing with neutral content (no announcements, no pop-up notice,
    // no update); existing files are left alone.
    bool writeDefaults(const std::string &currentVersion, std::string *error);

private:
    struct Cached {
        long long inode = -1;
        long long size = -1;
        long long mtimeNs = -1;
        std::shared_ptr<const Item> item;
    };

    const DataDirectory &m_directory;
    std::mutex m_mutex;
    std::unordered_map<std::string, Cached> m_cache;
};

} // namespace server
