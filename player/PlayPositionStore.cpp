#include "player/PlayPositionStore.h"

#include "app/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace {
const QString kHash = QStringLiteral("resource_hash");
const QString kIndex = QStringLiteral("resource_index");
const QString kPosition = QStringLiteral("position_ms");
const QString kDuration = QStringLiteral("duration_ms");
const QString kTime = QStringLiteral("time");
const QString kPending = QStringLiteral("pending");
} // namespace

PlayPositionStore::PlayPositionStore(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_saveTimer(new QTimer(this))
{
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(SaveDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, &PlayPositionStore::save);
}

PlayPositionStore::~PlayPositionStore()
{
    save();
}

bool PlayPositionStore::load()
{
    m_entries.clear();
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        Entry entry;
        entry.hash = object.value(kHash).toString().toLower();
        entry.index = quint32(object.value(kIndex).toDouble(-1));
        entry.positionMs = object.value(kPosition).toInt();
        entry.durationMs = object.value(kDuration).toInt();
        entry.time = qint64(object.value(kTime).toDouble());
        entry.pending = object.value(kPending).toBool();
        // A forgotten position (0) only means something with the time it was forgotten.
        const bool forgotten = entry.positionMs == 0 && entry.time > 0;
        if (entry.hash.isEmpty() || object.value(kIndex).toDouble(-1) < 0
            || (entry.positionMs < MinimumMs && !forgotten) || find(entry.hash, entry.index) >= 0)
            continue;
        m_entries.append(entry);
        if (m_entries.size() == Limit)
            break;
    }
    return !document.isNull();
}

int PlayPositionStore::find(const QString &hash, quint32 index) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].index == index && m_entries[i].hash == hash)
            return i;
    }
    return -1;
}

int PlayPositionStore::resumePosition(const QString &resourceHash, quint32 resourceIndex) const
{
    const int at = find(resourceHash.toLower(), resourceIndex);
    return at < 0 ? 0 : m_entries[at].positionMs;
}

int PlayPositionStore::size() const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.positionMs > 0; }));
}

bool PlayPositionStore::countsAsFinished(int positionMs, int durationMs)
{
    if (durationMs <= 0)
        return false;
    const qint64 left = qint64(durationMs) - positionMs;
    return left <= FinishedTailMs || left * 100 <= qint64(durationMs) * FinishedPercent;
}

qint64 PlayPositionStore::now() const
{
    return m_fixedClock > 0 ? m_fixedClock : QDateTime::currentSecsSinceEpoch();
}

void PlayPositionStore::record(const QString &resourceHash, quint32 resourceIndex, int positionMs, int durationMs)
{
    if (positionMs < MinimumMs || countsAsFinished(positionMs, durationMs)) {
        forget(resourceHash, resourceIndex);
        return;
    }
    const QString hash = resourceHash.toLower();
    const int at = find(hash, resourceIndex);
    if (at == 0 && m_entries[0].positionMs == positionMs)
        return;
    put({hash, resourceIndex, positionMs, durationMs, writeTime(at), m_markPending});
    changedLocally(hash, resourceIndex);
}

void PlayPositionStore::forget(const QString &resourceHash, quint32 resourceIndex)
{
    const QString hash = resourceHash.toLower();
    const int at = find(hash, resourceIndex);
    if (at < 0 || m_entries[at].positionMs == 0)
        return;
    put({hash, resourceIndex, 0, m_entries[at].durationMs, writeTime(at), m_markPending});
    changedLocally(hash, resourceIndex);
}

qint64 PlayPositionStore::writeTime(int at) const
{
    // Two writes within a second still come in order, here and on the service.
    const qint64 clock = now();
    return at >= 0 && m_entries[at].time >= clock ? m_entries[at].time + 1 : clock;
}

void PlayPositionStore::put(const Entry &entry)
{
    const int at = find(entry.hash, entry.index);
    if (at >= 0)
        m_entries.removeAt(at);
    // Newest first; an entry from the account goes where its time puts it.
    int place = 0;
    while (place < m_entries.size() && m_entries[place].time > entry.time)
        ++place;
    m_entries.insert(place, entry);
    while (m_entries.size() > Limit)
        m_entries.removeLast();
}

void PlayPositionStore::changedLocally(const QString &hash, quint32 index)
{
    markDirty();
    emit changed(hash, index);
}

QList<PlayPositionStore::Entry> PlayPositionStore::pendingEntries() const
{
    QList<Entry> pending;
    for (const Entry &entry : m_entries)
        if (entry.pending)
            pending.append(entry);
    return pending;
}

QList<PlayPositionStore::Entry> PlayPositionStore::positions() const
{
    QList<Entry> kept;
    for (const Entry &entry : m_entries)
        if (entry.positionMs > 0)
            kept.append(entry);
    return kept;
}

void PlayPositionStore::clearPending(const QString &resourceHash, quint32 resourceIndex, qint64 time)
{
    const int at = find(resourceHash.toLower(), resourceIndex);
    if (at < 0 || !m_entries[at].pending || m_entries[at].time != time)
        return;
    m_entries[at].pending = false;
    markDirty();
}

bool PlayPositionStore::merge(const Entry &remote)
{
    Entry entry = remote;
    entry.hash = remote.hash.toLower();
    entry.pending = false;
    if (entry.hash.isEmpty() || entry.time <= 0 || (entry.positionMs > 0 && entry.positionMs < MinimumMs))
        return false;
    const int at = find(entry.hash, entry.index);
    // On a tie the local entry stays: it may be pending, and holds the same write anyway.
    if (at >= 0 && m_entries[at].time >= entry.time)
        return false;
    if (at < 0 && entry.positionMs == 0)
        return false; // nothing here to override
    put(entry);
    markDirty();
    emit changed(entry.hash, entry.index);
    return true;
}

void PlayPositionStore::markDirty()
{
    m_dirty = true;
    if (!m_saveTimer->isActive())
        m_saveTimer->start();
}

bool PlayPositionStore::save()
{
    m_saveTimer->stop();
    if (!m_dirty)
        return true;
    QJsonArray array;
    for (const Entry &entry : qAsConst(m_entries)) {
        QJsonObject object;
        object.insert(kHash, entry.hash);
        object.insert(kIndex, double(entry.index));
        object.insert(kPosition, entry.positionMs);
        object.insert(kDuration, entry.durationMs);
        object.insert(kTime, double(entry.time));
        if (entry.pending)
            object.insert(kPending, true);
        array.append(object);
    }
    // A failed write stays pending and is tried again at the next change or save.
    m_dirty = !AtomicFile::write(m_fileName, QJsonDocument(array).toJson(QJsonDocument::Indented));
    if (!m_dirty)
        emit saved();
    return !m_dirty;
}
