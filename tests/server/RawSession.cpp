#include "RawSession.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

RawSession::RawSession(const QString &hostPort) : m_hostPort(hostPort) {}

int RawSession::request(const QByteArray &verb, const QString &pathAndQuery, const QByteArray &body,
                        QByteArray *replyBody, QList<QPair<QByteArray, QByteArray>> *headers)
{
    QNetworkRequest request(
        QUrl(QStringLiteral("http://") + m_hostPort + pathAndQuery, QUrl::TolerantMode));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30000);
    if (!m_cookie.isEmpty())
        request.setRawHeader("Cookie", m_cookie);
    if (verb == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = verb == "GET" ? m_manager.get(request)
                                          : m_manager.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray setCookie = reply->rawHeader("Set-Cookie");
    if (!setCookie.isEmpty())
        m_cookie = setCookie;
    if (replyBody)
        *replyBody = reply->readAll();
    if (headers)
        *headers = reply->rawHeaderPairs();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return status;
}
