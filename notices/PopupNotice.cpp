#include "notices/PopupNotice.h"

#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
QByteArray download(const QString &address, int timeoutMs)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(address, QUrl::TolerantMode));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}
} // namespace

PopupNotice PopupNotice::fetch(ServiceClient *client, int timeoutMs)
{
    PopupNotice notice;
    const ServiceReply reply = client->call(Endpoints::popupNotice());
    if (!reply.succeeded())
        return notice;
    const QVariantMap data = reply.data().toMap();
    if (data.value(QStringLiteral("enable")).toString() != QLatin1String("true"))
        return notice;
    notice.switchedOn = true;
    const QVariantList entries = data.value(QStringLiteral("datas")).toList();
    for (const QVariant &value : entries) {
        const QVariantMap entry = value.toMap();
        notice.images.append(download(entry.value(QStringLiteral("img")).toString(), timeoutMs));
        notice.links.append(entry.value(QStringLiteral("url")).toString());
    }
    return notice;
}
