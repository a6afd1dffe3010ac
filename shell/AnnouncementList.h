#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class ServiceReply;

// The title-bar announcements: title -> link, ordered by title, shown one at a time in turn.
class AnnouncementList
{
public:
    static QString labelText(const QString &url, const QString &title);

    // Takes the entries of a successful reply; false (and no entries) for any failure.
    bool load(const ServiceReply &reply);

    bool isEmpty() const { return m_titles.isEmpty(); }
    int size() const { return m_titles.size(); }
    QString title(int index) const { return m_titles.value(index); }
    QString url(int index) const { return m_entries.value(m_titles.value(index)); }
    QString labelText(int index) const { return labelText(url(index), title(index)); }
    // The entry after index, wrapping from the last to the first.
    int next(int index) const { return m_titles.isEmpty() ? -1 : (index + 1) % m_titles.size(); }

private:
    QMap<QString, QString> m_entries;
    QStringList m_titles;
};
