#pragma once

#include "resources/BTResourceFile.h"

#include <QString>
#include <QTime>
#include <QVariantList>

// The files that were opened, newest first, kept in PlayRecord.dat (an indented JSON array of
// {resource_hash, resource_index, file_hash, file_name}). A record is identified by its resource
// hash and index.
class PlayRecordStore
{
public:
    static constexpr int Limit = 100;

    explicit PlayRecordStore(const QString &fileName = QStringLiteral("PlayRecord.dat"));

    // Replaces the list with the file's; false (and an empty list) when the file does not open or
    // is not a JSON array. Such a file is set aside (AtomicFile::setAside) before it is written.
    bool load();

    int size() const { return m_records.size(); }
    BTResourceFile at(int row) const;
    int indexOf(const QString &resourceHash, quint32 resourceIndex) const;

    // Puts the file at the top unless it is listed already; drops the oldest when exactly at the
    // limit. Returns false when the file was listed already (nothing changed).
    bool add(const BTResourceFile &file);
    // Removes the first record of that identity; the file goes when the list is empty.
    bool remove(const QString &resourceHash, quint32 resourceIndex);
    // Writes the empty list.
    bool clear();

    // Written whole and atomically, so a crash or a full disk never loses the old records.
    bool save() const;
    QByteArray serialized() const;

    // The row a random play picks: seeded with the seconds since midnight, so two plays within one
    // second pick the same row.
    static int randomRow(int rowCount, const QTime &now);

private:
    // False when an unreadable file is in the way and cannot be set aside.
    bool setAsideUnreadable() const;

    QString m_fileName;
    QVariantList m_records;
    mutable bool m_unreadable = false; // the file holds something that did not load
};
