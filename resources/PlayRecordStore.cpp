#include "resources/PlayRecordStore.h"

#include "app/AtomicFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QVariantMap>

namespace {
const QString kHash = QStringLiteral("resource_hash");
const QString kIndex = QStringLiteral("resource_index");
const QString kFileHash = QStringLiteral("file_hash");
const QString kName = QStringLiteral("file_name");
} // namespace

PlayRecordStore::PlayRecordStore(const QString &fileName)
    : m_fileName(fileName)
{
}

bool PlayRecordStore::load()
{
    QFile file(m_fileName);
    const QByteArray content = file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray();
    const QJsonDocument document = QJsonDocument::fromJson(content);
    // What the list shows and what a later save writes must be the same records.
    m_records = document.array().toVariantList();
    m_unreadable = !document.isArray() && !content.trimmed().isEmpty();
    return document.isArray();
}

bool PlayRecordStore::setAsideUnreadable() const
{
    if (m_unreadable && QFile::exists(m_fileName) && !AtomicFile::setAside(m_fileName))
        return false;
    m_unreadable = false;
    return true;
}

BTResourceFile PlayRecordStore::at(int row) const
{
    // Members of the wrong type or elements that are not objects read as empty or 0.
    const QVariantMap record = m_records.value(row).toMap();
    BTResourceFile file;
    file.resourceHash = record.value(kHash).toString();
    file.resourceIndex = record.value(kIndex).toUInt();
    file.fileHash = record.value(kFileHash).toString();
    file.fileName = record.value(kName).toString();
    return file;
}

int PlayRecordStore::indexOf(const QString &resourceHash, quint32 resourceIndex) const
{
    for (int row = 0; row < m_records.size(); ++row) {
        const QVariantMap record = m_records.at(row).toMap();
        if (record.value(kHash).toString() == resourceHash && record.value(kIndex).toUInt() == resourceIndex)
            return row;
    }
    return -1;
}

bool PlayRecordStore::add(const BTResourceFile &file)
{
    if (indexOf(file.resourceHash, file.resourceIndex) >= 0)
        return false;
    if (m_records.size() == Limit)
        m_records.removeLast();
    m_records.prepend(QVariantMap{{kHash, file.resourceHash},
                                  {kIndex, file.resourceIndex},
                                  {kFileHash, file.fileHash},
                                  {kName, file.fileName}});
    save();
    return true;
}

bool PlayRecordStore::remove(const QString &resourceHash, quint32 resourceIndex)
{
    const int row = indexOf(resourceHash, resourceIndex);
    if (row < 0)
        return false;
    m_records.removeAt(row);
    if (m_records.isEmpty() && setAsideUnreadable())
        QFile::remove(m_fileName);
    else
        save();
    return true;
}

bool PlayRecordStore::clear()
{
    m_records.clear();
    return save();
}

QByteArray PlayRecordStore::serialized() const
{
    return QJsonDocument(QJsonArray::fromVariantList(m_records)).toJson(QJsonDocument::Indented);
}

bool PlayRecordStore::save() const
{
    return setAsideUnreadable() && AtomicFile::write(m_fileName, serialized());
}

int PlayRecordStore::randomRow(int rowCount, const QTime &now)
{
    if (rowCount <= 0)
        return -1;
    QRandomGenerator generator(quint32(QTime(0, 0).secsTo(now)));
    return int(generator.generate() % quint32(rowCount));
}
