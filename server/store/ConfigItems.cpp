#include "server/store/ConfigItems.h"

#include "server/store/DataDirectory.h"
#include "server/store/Database.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include <chrono>
#include <cstdio>
#include <sys/stat.h>

namespace server {

namespace {
// How long an instance goes on with an item of the shared database before reading it again.
constexpr long long kSharedFreshMs = 1000;

long long steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

ConfigItems::ConfigItems(const DataDirectory &directory, Database *shared) : m_directory(directory), m_shared(shared) {}

std::shared_ptr<const ConfigItems::Item> ConfigItems::parse(const std::string &where, const QByteArray *bytes)
{
    auto item = std::make_shared<Item>();
    if (!bytes) {
        item->state = State::Missing;
        return item;
    }
    QJsonParseError error{};
    item->document = QJsonDocument::fromJson(*bytes, &error);
    item->state = item->document.isNull() ? State::Malformed : State::Ok;
    if (item->state == State::Malformed)
        std::fprintf(stderr, "config: %s: %s at offset %d\n", where.c_str(), error.errorString().toUtf8().constData(),
                     error.offset);
    return item;
}

std::shared_ptr<const ConfigItems::Item> ConfigItems::getShared(const char *name)
{
    const long long nowMs = steadyMs();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_cache.find(name);
        if (found != m_cache.end() && nowMs - found->second.readMs < kSharedFreshMs)
            return found->second.item;
    }
    QByteArray bytes;
    bool missing = false;
    if (!read(name, &bytes, &missing)) {
        // The database did not answer: the last item read, if any, rather than none.
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_cache.find(name);
        if (found != m_cache.end())
            return found->second.item;
        missing = true;
    }
    auto item = parse(std::string("database item ") + name, missing ? nullptr : &bytes);
    std::lock_guard<std::mutex> lock(m_mutex);
    Cached &cached = m_cache[name];
    cached.readMs = nowMs;
    cached.item = item;
    return item;
}

bool ConfigItems::read(const std::string &name, QByteArray *bytes, bool *missing)
{
    *missing = false;
    if (m_shared) {
        Lease lease = m_shared->lease();
        Statement select = lease.prepare("SELECT body FROM config_items WHERE name = ?1");
        select.bind(1, name);
        if (select.next()) {
            *bytes = QByteArray::fromStdString(select.text(0));
            return true;
        }
        *missing = !select.failed();
        return !select.failed();
    }
    QFile file(QString::fromStdString(m_directory.configPath(name)));
    if (!file.open(QIODevice::ReadOnly)) {
        *missing = !file.exists();
        return *missing;
    }
    *bytes = file.readAll();
    return true;
}

bool ConfigItems::put(const std::string &name, const QByteArray &bytes, std::string *error)
{
    if (m_shared) {
        Lease lease = m_shared->lease();
        Statement upsert = lease.prepare(
            "INSERT INTO config_items (name, body) VALUES (?1, ?2) ON CONFLICT (name) DO UPDATE SET body = excluded.body");
        if (upsert.bind(1, name).bind(2, bytes.toStdString()).run())
            return true;
        if (error)
            *error = "cannot write the item " + name + ": " + upsert.error();
        return false;
    }
    const QString path = QString::fromStdString(m_directory.configPath(name));
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = "cannot write " + path.toStdString();
    return false;
}

std::shared_ptr<const ConfigItems::Item> ConfigItems::get(const char *name)
{
    if (m_shared)
        return getShared(name);
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

    QFile file(QString::fromStdString(path));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    auto item = parse(path, file.isOpen() ? &bytes : nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cache[name] = Cached{(long long)info.st_ino, (long long)info.st_size, mtimeNs, 0, item};
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
        if (m_shared) {
            // Instances starting together: the first one's defaults stay.
            Lease lease = m_shared->lease();
            Statement insert = lease.prepare(
                "INSERT INTO config_items (name, body) VALUES (?1, ?2) ON CONFLICT (name) DO NOTHING");
            if (!insert.bind(1, std::string(entry.first)).bind(2, entry.second.toJson().toStdString()).run()) {
                if (error)
                    *error = std::string("cannot write the item ") + entry.first;
                return false;
            }
            continue;
        }
        if (QFile::exists(QString::fromStdString(m_directory.configPath(entry.first))))
            continue;
        if (!put(entry.first, entry.second.toJson(), error))
            return false;
    }
    return true;
}

} // namespace server
