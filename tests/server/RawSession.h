#pragma once

#include "service/ServiceClient.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>

// A second client of the service with a cookie of its own, built the way the player builds its
// requests (same joining, same signature), for what one ServiceClient per process cannot do:
// a second session, requests without a cookie, bodies the player would never send.
class RawSession
{
public:
    explicit RawSession(const QString &hostPort);

    void setHostPort(const QString &hostPort) { m_hostPort = hostPort; }
    QByteArray cookie() const { return m_cookie; }
    void setCookie(const QByteArray &cookie) { m_cookie = cookie; }

    ServiceReply call(RequestMethod method, const QStringList &parameters, bool isSigned,
                      QByteArray *setCookie = nullptr);
    // Any request; returns the HTTP status (0 on a network failure), body and headers.
    int request(const QByteArray &verb, const QString &pathAndQuery, const QByteArray &body,
                QByteArray *replyBody, QList<QPair<QByteArray, QByteArray>> *headers = nullptr,
                const QByteArray &contentType = QByteArrayLiteral("application/x-www-form-urlencoded"));

private:
    QString m_hostPort;
    QNetworkAccessManager m_manager;
    QByteArray m_cookie;
};
