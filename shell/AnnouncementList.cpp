#include "shell/AnnouncementList.h"

#include "service/ServiceReply.h"

QString AnnouncementList::labelText(const QString &url, const QString &title)
{
    // Both come from the service: escaped, so a title shows as written and cannot break the link.
    return QStringLiteral("<a href=\"%1\" style=\"text-decoration: none; color:#01bd31;\">%2</a>")
        .arg(url.toHtmlEscaped(), title.toHtmlEscaped());
}

bool AnnouncementList::load(const ServiceReply &reply)
{
    m_entries.clear();
    m_titles.clear();
    if (!reply.succeeded())
        return false;
    const QVariantList data = reply.data().toList();
    for (const QVariant &element : data) {
        const QVariantMap entry = element.toMap();
        // A later entry with the same title replaces the link of the earlier one.
        m_entries.insert(entry.value(QStringLiteral("title")).toString(), entry.value(QStringLiteral("url")).toString());
    }
    m_titles = m_entries.keys();
    return true;
}
