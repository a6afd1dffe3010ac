#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QString>

// A browser-like client of the service with a cookie of its own, for requests the player never
// sends: pages, forms, bodies of any kind, made-up cookies. Keeps the latest cookie it is given.
class RawSession
{
public:
    explicit RawSession(const QString &hostPort);

    QByteArray cookie() const { return m_cookie; }
    void setCookie(const QByteArray &cookie) { m_cookie = cookie; }

    // Any request; returns the HTTP status (0 on a network failure), body and headers.
    int request(const QByteArray &verb, const QString &pathAndQuery, const QByteArray &body,
                QByteArray *replyBody, QList<QPair<QByteArray, QByteArray>> *headers = nullptr);

private:
    QString m_hostPort;
    QNetworkAccessManager m_manager;
    QByteArray m_cookie;
};
