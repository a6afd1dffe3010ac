#include "resources/CollectionService.h"

#include "service/ServiceReply.h"

QStringList CollectionService::listParameters()
{
    return {QStringLiteral("r=www/default/pc"), QStringLiteral("do=fav"),  QStringLiteral("method=get"),
            QStringLiteral("persize=100"),      QStringLiteral("page=1"), QStringLiteral("_s=pc")};
}

QStringList CollectionService::addParameters(const QString &name, const QString &resourceHash, quint32 index)
{
    return {QStringLiteral("r=www/default/pc"), QStringLiteral("do=fav"),
            QStringLiteral("method=add"),       QStringLiteral("name=") + name,
            QStringLiteral("hash=") + resourceHash, QStringLiteral("index=") + QString::number(index)};
}

QStringList CollectionService::deleteParameters(quint32 id)
{
    return {QStringLiteral("r=www/default/pc"), QStringLiteral("do=fav"), QStringLiteral("method=del"),
            QStringLiteral("id=") + QString::number(id), QStringLiteral("_s=pc")};
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
