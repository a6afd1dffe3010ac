#pragma once

#include "resources/BTResourceFile.h"

#include <QList>
#include <QStringList>

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

    static QStringList listParameters();
    static QStringList addParameters(const QString &name, const QString &resourceHash, quint32 index);
    static QStringList deleteParameters(quint32 id);
    static QList<Entry> entriesFromReply(const ServiceReply &reply);
    static QString magnetLink(const QString &resourceHash);
};
