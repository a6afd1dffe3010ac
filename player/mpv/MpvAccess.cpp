#include "player/mpv/MpvAccess.h"

#include "player/mpv/MpvPointers.h"

#include <cstring>
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

} // namespace

bool MpvAccess::setString(const char *name, const QString &value) const
{
    return mpv_set_property_string(m_handle, name, value.toUtf8().constData()) >= 0;
}

bool MpvAccess::setFlag(const char *name, bool value) const
{
    int flag = value ? 1 : 0;
    return mpv_set_property(m_handle, name, MPV_FORMAT_FLAG, &flag) >= 0;
}

bool MpvAccess::setInt(const char *name, qint64 value) const
{
    int64_t v = value;
    return mpv_set_property(m_handle, name, MPV_FORMAT_INT64, &v) >= 0;
}

bool MpvAccess::setDouble(const char *name, double value) const
{
    return mpv_set_property(m_handle, name, MPV_FORMAT_DOUBLE, &value) >= 0;
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
    return mpv_set_property(m_handle, name, MPV_FORMAT_NODE, &node) >= 0;
}

QString MpvAccess::string(const char *name) const
{
    MpvStringPtr text(mpv_get_property_string(m_handle, name));
    return text ? QString::fromUtf8(text.get()) : QString();
}

bool MpvAccess::flag(const char *name, bool fallback) const
{
    int value = 0;
    if (mpv_get_property(m_handle, name, MPV_FORMAT_FLAG, &value) < 0)
        return fallback;
    return value != 0;
}

qint64 MpvAccess::integer(const char *name, qint64 fallback, bool *ok) const
{
    int64_t value = 0;
    const bool good = mpv_get_property(m_handle, name, MPV_FORMAT_INT64, &value) >= 0;
    if (ok)
        *ok = good;
    return good ? value : fallback;
}

double MpvAccess::number(const char *name, double fallback, bool *ok) const
{
    double value = 0;
    const bool good = mpv_get_property(m_handle, name, MPV_FORMAT_DOUBLE, &value) >= 0;
    if (ok)
        *ok = good;
    return good ? value : fallback;
}

int MpvAccess::command(const QStringList &arguments) const
{
    Utf8Arguments args(arguments);
    return mpv_command(m_handle, args.pointers.data());
}

qint64 MpvAccess::commandReturningInt(const QStringList &arguments, const char *key, int *error) const
{
    Utf8Arguments args(arguments);
    MpvNodeResult result;
    const int rc = mpv_command_ret(m_handle, args.pointers.data(), &result.node);
    if (error)
        *error = rc;
    if (rc < 0)
        return -1;
    result.filled = true;
    if (result.node.format != MPV_FORMAT_NODE_MAP)
        return -1;
    const mpv_node_list *map = result.node.u.list;
    for (int i = 0; i < map->num; ++i) {
        if (std::strcmp(map->keys[i], key) == 0 && map->values[i].format == MPV_FORMAT_INT64)
            return map->values[i].u.int64;
    }
    return -1;
}
