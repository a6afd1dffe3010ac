#pragma once

#include "resources/BTResourceFile.h"

#include <QList>
#include <QString>

// The downloads that have not finished (running, failed or cut off by the end of the program),
// kept in DownloadRecord.dat beside PlayRecord.dat so that the next start lists them again and
// they can be resumed from their part files. An indented JSON array of {resource_hash,
// resource_index, file_name, file_size, directory}, oldest first; a download is identified by the
// file it is saved as. Written whole and atomically at every change.
class DownloadRecordStore
{
public:
    struct Record
    {
        BTResourceFile file;
        QString directory;
    };

    // More than any download page holds in practice; beyond it the oldest go.
    static constexpr int Limit = 500;

    explicit DownloadRecordStore(const QString &fileName = QStringLiteral("DownloadRecord.dat"));

    // Replaces the list with the file's: records without a resource hash, file name or directory
    // are skipped, and so are those whose download finished after all (the final file is there,
    // the part file is not). False when the file is missing or not JSON.
    bool load();
    const QList<Record> &records() const { return m_records; }

    // Adds the download at the end, replacing a record saved as the same file.
    void add(const BTResourceFile &file, const QString &directory);
    void remove(const BTResourceFile &file, const QString &directory);

private:
    int indexOf(const QString &finalPath) const;
    static QString finalPath(const BTResourceFile &file, const QString &directory);
    void save() const;

    QString m_fileName;
    QList<Record> m_records;
};
