#pragma once

#include "resources/BTResourceFile.h"

#include <QList>
#include <QStringList>

class ServiceClient;
class ServiceReply;

// The user's collections on the service: requests and the entries of a list reply.
class CollectionService
{
public:
    struct Entry
    {
        BTResourceFile file; // resourceHash, resourceIndex and fileName (the name the user gave)
        quint32 id = 0;
    };

    explicit CollectionService(ServiceClient *client);

    // The account's collections (first page of 100) into *entries on success.
    ServiceReply list(QList<Entry> *entries);
    ServiceReply add(const QString &name, const QString &resourceHash, quint32 index);
    ServiceReply remove(quint32 id);

    static QList<Entry> entriesFromReply(const ServiceReply &reply);
    static QString magnetLink(const QString &resourceHash);

private:
    ServiceClient *m_client;
};
