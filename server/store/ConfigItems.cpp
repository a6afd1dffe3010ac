#include "server/store/ConfigItems.h"

#include "server/store/DataDirectory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>
#include <sys/stat.h>

namespace server {

ConfigItems::ConfigItems(const DataDirectory &directory) : m_directory(directory) {}

std::shared_ptr<const ConfigItems::Item> ConfigItems::get(const char *name)
{
    const std::string path = m_directory.configPath(name);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        static const auto missing = std::make_shared<const Item>();
        return missing;
    }
    const long long mtimeNs = (long long)info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_cache.find(name);
        if (found != m_cache.end() && found->second.inode == (long long)info.st_ino
            && found->second.size == (long long)info.st_size && found->second.mtimeNs == mtimeNs)
            return found->second.item;
    }

    auto item = std::make_shared<Item>();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        item->state = State::Missing;
    } else {
        QJsonParseError error{};
        item->document = QJsonDocument::fromJson(file.readAll(), &error);
        item->state = item->document.isNull() ? State::Malformed : State::Ok;
        if (item->state == State::Malformed)
            std::fprintf(stderr, "config: %s: %s at offset %d\n", path.c_str(),
                         error.errorString().toUtf8().constData(), error.offset);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cache[name] = Cached{(long long)info.st_ino, (long long)info.st_size, mtimeNs, item};
    return item;
}

bool ConfigItems::writeDefaults(const std::string &currentVersion, std::string *error)
{
    QJsonObject popup;
    popup.insert(QStringLiteral("enable"), false);
    popup.insert(QStringLiteral("items"), QJsonArray());
    QJsonObject update;
    update.insert(QStringLiteral("version"), QString::fromStdString(currentVersion));
    update.insert(QStringLiteral("desc"), QString());
    update.insert(QStringLiteral("path"), QString());

    const std::pair<const char *, QJsonDocument> defaults[] = {
        {kAnnouncements, QJsonDocument(QJsonArray())},
        {kPopup, QJsonDocument(popup)},
        {kUpdate, QJsonDocument(update)},
        {kVideoHosts, QJsonDocument(QJsonArray())},
    };
    for (const auto &entry : defaults) {
        const QString path = QString::fromStdString(m_directory.configPath(entry.first));
        if (QFile::exists(path))
            continue;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(entry.second.toJson()) < 0 || !file.commit()) {
            if (error)
                *error = "cannot write " + path.toStdString();
            return false;
        }
    }
    return true;
}

} // namespace server
