#pragma once

#include "service/ServiceRequest.h"

#include <QString>

struct BTResourceFile;

// Every request the player makes to the web service, with its parameters in the order the
// service expects them.
class Endpoints
{
public:
    // Account
    static ServiceRequest login(const QString &name, const QString &password);
    static ServiceRequest logout();
    static ServiceRequest changePassword(const QString &old, const QString &fresh, const QString &again);
    static ServiceRequest retrievePassword(const QString &email);
    static ServiceRequest captcha();
    static ServiceRequest signUp(const QString &captcha, const QString &email, const QString &password,
                                 const QString &again, const QByteArray &unionUid);

    // Resources and address resolution
    static ServiceRequest fileList(const QString &resourceHash);
    static ServiceRequest fileHash(const BTResourceFile &file, const QString &mac);
    // netType is sent for every line but the main one (index 0), reload only with a netType.
    static ServiceRequest fileInfo(const BTResourceFile &file, int engineIndex, bool reload, const QString &mac);
    static ServiceRequest videoDomains();
    static ServiceRequest report(const QString &resourceHash, const QString &category);

    // Collections
    static ServiceRequest collectionList();
    static ServiceRequest collectionAdd(const QString &name, const QString &resourceHash, quint32 index);
    static ServiceRequest collectionDelete(quint32 id);

    // Play positions kept on the account
    static ServiceRequest playPositions();
    static ServiceRequest playPositionSet(const QString &resourceHash, quint32 index, int positionMs, int durationMs,
                                          qint64 time);

    // Shell
    static ServiceRequest announcements();

    // Notices
    static ServiceRequest popupNotice();
    static ServiceRequest updateInfo();

    // The engine lines of the parse page: index -> netType sent (empty for the main line).
    static QString netType(int engineIndex);
};
