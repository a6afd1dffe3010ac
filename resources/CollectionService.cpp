#include "resources/CollectionService.h"

#include "service/Endpoints.h"
#include "service/ServiceClient.h"
#include "service/ServiceReply.h"

CollectionService::CollectionService(ServiceClient *client)
    : m_client(client)
{
}

ServiceReply CollectionService::list(QList<Entry> *entries)
{
    const ServiceReply reply = m_client->call(Endpoints::collectionList());
    if (reply.succeeded())
        *entries = entriesFromReply(reply);
    return reply;
}

ServiceReply CollectionService::add(const QString &name, const QString &resourceHash, quint32 index)
{
    return m_client->call(Endpoints::collectionAdd(name, resourceHash, index));
}

ServiceReply CollectionService::remove(quint32 id)
{
    return m_client->call(Endpoints::collectionDelete(id));
}

QList<CollectionService::Entry> CollectionService::entriesFromReply(const ServiceReply &reply)
{
    QList<Entry> entries;
    const QVariantList datas = reply.datas();
    for (const QVariant &element : datas) {
        const QVariantMap map = element.toMap();
        Entry entry;
        entry.file.resourceHash = map.value(QStringLiteral("hash")).toString();
        entry.file.resourceIndex = map.value(QStringLiteral("index")).toUInt();
        entry.file.fileName = map.value(QStringLiteral("name")).toString();
        entry.id = map.value(QStringLiteral("id")).toUInt();
        entries.append(entry);
    }
    return entries;
}

QString CollectionService::magnetLink(const QString &resourceHash)
{
    return QStringLiteral("magnet:?xt=urn:btih:") + resourceHash;
}
