#pragma once

#include <QString>
#include <QStringList>

class ServiceClient;

// The video hosts to try: fetched from the service once a day and kept in the file VideoDomain
// (one host a line) for the other starts of that day.
class VideoDomainList
{
public:
    // Today's list: from the file when it was fetched today already, else from the service (the
    // day is stored first, so a failed fetch is not retried until tomorrow).
    static QStringList load(ServiceClient *client, const QString &fileName = QStringLiteral("VideoDomain"));
};
