#include "player/mpv/MpvAccess.h"

#include "player/mpv/MpvPointers.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Utf8Arguments
{
    explicit Utf8Arguments(const QStringList &arguments)
    {
        bytes.reserve(arguments.size());
        for (const QString &argument : arguments)
            bytes.push_back(argument.toUtf8());
        for (const QByteArray &b : bytes)
            pointers.push_back(b.constData());
        pointers.push_back(nullptr);
    }
    std::vector<QByteArray> bytes;
    std::vector<const char *> pointers;
};

bool isReply(mpv_event_id id)
{
    return id == MPV_EVENT_GET_PROPERTY_REPLY || id == MPV_EVENT_SET_PROPERTY_REPLY || id == MPV_EVENT_COMMAND_REPLY;
}

qint64 mapInt(const mpv_node &node, const char *key)
{
    if (node.format != MPV_FORMAT_NODE_MAP)
        return -1;
    const mpv_node_list *map = node.u.list;
    for (int i = 0; i < map->num; ++i) {
        if (std::strcmp(map->keys[i], key) == 0 && map->values[i].format == MPV_FORMAT_INT64)
            return map->values[i].u.int64;
    }
    return -1;
}

} // namespace

struct MpvAccess::Channel
{
    ~Channel()
    {
        mpv_set_wakeup_callback(client, nullptr, nullptr);
        mpv_destroy(client);
    }

    static void wakeup(void *context) { static_cast<Channel *>(context)->signal(); }

    void signal()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            signalled = true;
        }
        woken.notify_one();
    }

    mpv_handle *client = nullptr;
    quint64 lastId = 0;
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
    std::atomic_bool wanted{false};
    std::function<void()> service;
    bool servicing = false;
};

MpvAccess MpvAccess::overOwnClient(mpv_handle *core)
{
    mpv_handle *client = core ? mpv_create_client(core, nullptr) : nullptr;
    MpvAccess access(client);
    if (!client)
        return access;
    access.m_channel = std::make_shared<Channel>();
    access.m_channel->client = client;
    // Only replies are wanted here; the core's own events go to the core handle's owner.
    for (int id = MPV_EVENT_NONE + 1; id <= MPV_EVENT_HOOK; ++id) {
        if (!isReply(mpv_event_id(id)) && id != MPV_EVENT_SHUTDOWN)
            mpv_request_event(client, mpv_event_id(id), 0);
    }
    mpv_set_wakeup_callback(client, &Channel::wakeup, access.m_channel.get());
    return access;
}

void MpvAccess::setWaitService(std::function<void()> service) const
{
    if (m_channel)
        m_channel->service = std::move(service);
}

void MpvAccess::serviceWanted() const
{
    if (!m_channel)
        return;
    m_channel->wanted = true;
    m_channel->signal();
}

int MpvAccess::await(quint64 id, const std::function<void(const mpv_event &)> &take) const
{
    Channel &channel = *m_channel;
    for (;;) {
        for (;;) {
            const mpv_event *event = mpv_wait_event(channel.client, 0);
            if (event->event_id == MPV_EVENT_NONE)
                break;
            if (event->event_id == MPV_EVENT_SHUTDOWN)
                return MPV_ERROR_UNINITIALIZED;
            if (event->reply_userdata == id && isReply(event->event_id)) {
                if (take)
                    take(*event);
                return event->error;
            }
        }
        if (!channel.servicing && channel.service && channel.wanted.exchange(false)) {
            channel.servicing = true;
            channel.service();
            channel.servicing = false;
            continue;
        }
        std::unique_lock<std::mutex> lock(channel.mutex);
        channel.woken.wait(lock, [&channel] { return channel.signalled; });
        channel.signalled = false;
    }
}

int MpvAccess::setProperty(const char *name, mpv_format format, void *data) const
{
    if (!m_channel)
        return mpv_set_property(m_handle, name, format, data);
    const quint64 id = ++m_channel->lastId;
    const int rc = mpv_set_property_async(m_handle, id, name, format, data);
    return rc < 0 ? rc : await(id, nullptr);
}

int MpvAccess::getProperty(const char *name, mpv_format format,
                           const std::function<void(const mpv_event_property &)> &take) const
{
    if (!m_channel) {
        // Room for any of the formats used here: a string pointer, flag, int64 or double.
        union {
            char *string;
            int flag;
            int64_t integer;
            double number;
        } value{};
        const int rc = mpv_get_property(m_handle, name, format, &value);
        if (rc >= 0) {
            mpv_event_property property{name, format, &value};
            take(property);
            if (format == MPV_FORMAT_STRING)
                mpv_free(value.string);
        }
        return rc;
    }
    const quint64 id = ++m_channel->lastId;
    const int rc = mpv_get_property_async(m_handle, id, name, format);
    if (rc < 0)
        return rc;
    return await(id, [&take, format](const mpv_event &event) {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        if (event.error >= 0 && property && property->format == format && property->data)
            take(*property);
    });
}

bool MpvAccess::setString(const char *name, const QString &value) const
{
    const QByteArray bytes = value.toUtf8();
    const char *text = bytes.constData();
    return setProperty(name, MPV_FORMAT_STRING, &text) >= 0;
}

bool MpvAccess::setFlag(const char *name, bool value) const
{
    int flag = value ? 1 : 0;
    return setProperty(name, MPV_FORMAT_FLAG, &flag) >= 0;
}

bool MpvAccess::setInt(const char *name, qint64 value) const
{
    int64_t v = value;
    return setProperty(name, MPV_FORMAT_INT64, &v) >= 0;
}

bool MpvAccess::setDouble(const char *name, double value) const
{
    return setProperty(name, MPV_FORMAT_DOUBLE, &value) >= 0;
}

bool MpvAccess::setStringList(const char *name, const QStringList &values) const
{
    // A node list keeps each item whole; the string form would split items at commas.
    std::vector<QByteArray> bytes;
    bytes.reserve(values.size());
    for (const QString &value : values)
        bytes.push_back(value.toUtf8());
    std::vector<mpv_node> items(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        items[i].format = MPV_FORMAT_STRING;
        items[i].u.string = const_cast<char *>(bytes[i].constData());
    }
    mpv_node_list list;
    list.num = static_cast<int>(items.size());
    list.values = items.data();
    list.keys = nullptr;
    mpv_node node;
    node.format = MPV_FORMAT_NODE_ARRAY;
    node.u.list = &list;
    return setProperty(name, MPV_FORMAT_NODE, &node) >= 0;
}

QString MpvAccess::string(const char *name) const
{
    QString text;
    getProperty(name, MPV_FORMAT_STRING, [&text](const mpv_event_property &property) {
        if (const char *value = *static_cast<char *const *>(property.data))
            text = QString::fromUtf8(value);
    });
    return text;
}

bool MpvAccess::flag(const char *name, bool fallback) const
{
    bool value = fallback;
    getProperty(name, MPV_FORMAT_FLAG, [&value](const mpv_event_property &property) {
        value = *static_cast<const int *>(property.data) != 0;
    });
    return value;
}

qint64 MpvAccess::integer(const char *name, qint64 fallback, bool *ok) const
{
    qint64 value = fallback;
    bool good = false;
    getProperty(name, MPV_FORMAT_INT64, [&](const mpv_event_property &property) {
        value = *static_cast<const int64_t *>(property.data);
        good = true;
    });
    if (ok)
        *ok = good;
    return value;
}

double MpvAccess::number(const char *name, double fallback, bool *ok) const
{
    double value = fallback;
    bool good = false;
    getProperty(name, MPV_FORMAT_DOUBLE, [&](const mpv_event_property &property) {
        value = *static_cast<const double *>(property.data);
        good = true;
    });
    if (ok)
        *ok = good;
    return value;
}

int MpvAccess::command(const QStringList &arguments) const
{
    Utf8Arguments args(arguments);
    if (!m_channel)
        return mpv_command(m_handle, args.pointers.data());
    const quint64 id = ++m_channel->lastId;
    const int rc = mpv_command_async(m_handle, id, args.pointers.data());
    return rc < 0 ? rc : await(id, nullptr);
}

qint64 MpvAccess::commandReturningInt(const QStringList &arguments, const char *key, int *error) const
{
    Utf8Arguments args(arguments);
    qint64 value = -1;
    int rc = 0;
    if (!m_channel) {
        MpvNodeResult result;
        rc = mpv_command_ret(m_handle, args.pointers.data(), &result.node);
        if (rc >= 0) {
            result.filled = true;
            value = mapInt(result.node, key);
        }
    } else {
        const quint64 id = ++m_channel->lastId;
        rc = mpv_command_async(m_handle, id, args.pointers.data());
        if (rc >= 0) {
            rc = await(id, [&value, key](const mpv_event &event) {
                if (event.error >= 0 && event.data)
                    value = mapInt(static_cast<const mpv_event_command *>(event.data)->result, key);
            });
        }
    }
    if (error)
        *error = rc;
    return rc < 0 ? -1 : value;
}
