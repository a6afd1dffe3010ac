#include "player/PlayPositionStore.h"

#include "app/AtomicFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {
const QString kHash = QStringLiteral("resource_hash");
const QString kIndex = QStringLiteral("resource_index");
const QString kPosition = QStringLiteral("position_ms");
const QString kDuration = QStringLiteral("duration_ms");
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
        if (entry.hash.isEmpty() || object.value(kIndex).toDouble(-1) < 0 || entry.positionMs < MinimumMs
            || find(entry.hash, entry.index) >= 0)
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

bool PlayPositionStore::countsAsFinished(int positionMs, int durationMs)
{
    if (durationMs <= 0)
        return false;
    const qint64 left = qint64(durationMs) - positionMs;
    return left <= FinishedTailMs || left * 100 <= qint64(durationMs) * FinishedPercent;
}

void PlayPositionStore::record(const QString &resourceHash, quint32 resourceIndex, int positionMs, int durationMs)
{
    if (positionMs < MinimumMs || countsAsFinished(positionMs, durationMs)) {
        forget(resourceHash, resourceIndex);
        return;
    }
    Entry entry{resourceHash.toLower(), resourceIndex, positionMs, durationMs};
    const int at = find(entry.hash, resourceIndex);
    if (at == 0 && m_entries[0].positionMs == positionMs)
        return;
    if (at >= 0)
        m_entries.removeAt(at);
    m_entries.prepend(entry);
    while (m_entries.size() > Limit)
        m_entries.removeLast();
    changed();
}

void PlayPositionStore::forget(const QString &resourceHash, quint32 resourceIndex)
{
    const int at = find(resourceHash.toLower(), resourceIndex);
    if (at < 0)
        return;
    m_entries.removeAt(at);
    changed();
}

void PlayPositionStore::changed()
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
        array.append(object);
    }
    // A failed write stays pending and is tried again at the next change or save.
    m_dirty = !AtomicFile::write(m_fileName, QJsonDocument(array).toJson(QJsonDocument::Indented));
    return !m_dirty;
}
