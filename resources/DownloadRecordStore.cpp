#include "resources/DownloadRecordStore.h"

#include "app/AtomicFile.h"
#include "resources/DownloadTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString kHash = QStringLiteral("resource_hash");
const QString kIndex = QStringLiteral("resource_index");
const QString kName = QStringLiteral("file_name");
const QString kSize = QStringLiteral("file_size");
const QString kDirectory = QStringLiteral("directory");
} // namespace

DownloadRecordStore::DownloadRecordStore(const QString &fileName)
    : m_fileName(fileName)
{
}

QString DownloadRecordStore::finalPath(const BTResourceFile &file, const QString &directory)
{
    return QDir::cleanPath(QFileInfo(QDir(directory).filePath(DownloadTransfer::safeFileName(file))).absoluteFilePath());
}

bool DownloadRecordStore::load()
{
    m_records.clear();
    QFile file(m_fileName);
    const QJsonDocument document =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
    for (const QJsonValue &value : document.array()) {
        const QJsonObject object = value.toObject();
        Record record;
        record.file.resourceHash = object.value(kHash).toString();
        record.file.resourceIndex = quint32(qMax(0.0, object.value(kIndex).toDouble()));
        record.file.fileName = object.value(kName).toString();
        record.file.fileSize = quint64(qMax(0.0, object.value(kSize).toDouble()));
        record.directory = object.value(kDirectory).toString();
        if (record.file.resourceHash.isEmpty() || record.file.fileName.isEmpty() || record.directory.isEmpty())
            continue;
        const QString path = finalPath(record.file, record.directory);
        if (QFileInfo(path).isFile() && !QFileInfo::exists(path + QStringLiteral(".tmp")))
            continue;
        if (indexOf(path) < 0)
            m_records.append(record);
    }
    while (m_records.size() > Limit)
        m_records.removeFirst();
    return !document.isNull();
}

int DownloadRecordStore::indexOf(const QString &path) const
{
    for (int i = 0; i < m_records.size(); ++i) {
        if (finalPath(m_records.at(i).file, m_records.at(i).directory) == path)
            return i;
    }
    return -1;
}

void DownloadRecordStore::add(const BTResourceFile &file, const QString &directory)
{
    const int existing = indexOf(finalPath(file, directory));
    if (existing >= 0)
        m_records.removeAt(existing);
    Record record;
    record.file.resourceHash = file.resourceHash;
    record.file.resourceIndex = file.resourceIndex;
    record.file.fileName = file.fileName;
    record.file.fileSize = file.fileSize;
    record.directory = directory;
    m_records.append(record);
    while (m_records.size() > Limit)
        m_records.removeFirst();
    save();
}

void DownloadRecordStore::remove(const BTResourceFile &file, const QString &directory)
{
    const int existing = indexOf(finalPath(file, directory));
    if (existing < 0)
        return;
    m_records.removeAt(existing);
    save();
}

void DownloadRecordStore::save() const
{
    if (m_records.isEmpty()) {
        QFile::remove(m_fileName);
        return;
    }
    QJsonArray array;
    for (const Record &record : m_records) {
        array.append(QJsonObject{{kHash, record.file.resourceHash},
                                 {kIndex, double(record.file.resourceIndex)},
                                 {kName, record.file.fileName},
                                 {kSize, double(record.file.fileSize)},
                                 {kDirectory, record.directory}});
    }
    // A failed write keeps the previous list; the downloads themselves go on regardless.
    AtomicFile::write(m_fileName, QJsonDocument(array).toJson(QJsonDocument::Indented));
}
