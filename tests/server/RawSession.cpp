#include "RawSession.h"

#include "service/protocol/RequestSigner.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

RawSession::RawSession(const QString &hostPort) : m_hostPort(hostPort) {}

int RawSession::request(const QByteArray &verb, const QString &pathAndQuery, const QByteArray &body,
                        QByteArray *replyBody, QList<QPair<QByteArray, QByteArray>> *headers,
                        const QByteArray &contentType)
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
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    QNetworkReply *reply = verb == "GET" ? m_manager.get(request)
                                          : m_manager.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray setCookie = reply->rawHeader("Set-Cookie");
    if (m_cookie.isEmpty() && !setCookie.isEmpty())
        m_cookie = setCookie;
    if (replyBody)
        *replyBody = reply->readAll();
    if (headers)
        *headers = reply->rawHeaderPairs();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return status;
}

ServiceReply RawSession::call(RequestMethod method, const QStringList &parameters, bool isSigned,
                              QByteArray *setCookie)
{
    QString query = parameters.join(QLatin1Char('&'));
    if (isSigned)
        query += QStringLiteral("&sign=") + RequestSigner::sign(parameters);
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    const int status = method == Get
                           ? request("GET", QStringLiteral("/server/?") + query, QByteArray(), &body, &headers)
                           : request("POST", QStringLiteral("/server/"), query.toUtf8(), &body, &headers);
    if (setCookie) {
        setCookie->clear();
        for (const auto &header : headers) {
            if (header.first.compare("Set-Cookie", Qt::CaseInsensitive) == 0)
                *setCookie = header.second;
        }
    }
    if (status != 200)
        return ServiceReply::networkFailure();
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isNull())
        return ServiceReply::badData();
    return ServiceReply::envelope(document.toVariant().toMap());
}
