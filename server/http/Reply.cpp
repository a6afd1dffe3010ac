#include "server/http/Reply.h"

#include <QJsonDocument>
#include <QString>

namespace server {

Reply Reply::envelope(const QJsonObject &object)
{
    Reply reply;
    reply.statu = object.value(QStringLiteral("statu")).toInt();
    reply.message = object.value(QStringLiteral("msg")).toString().toStdString();
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
}

Reply Reply::failure(int statu, const char *msg)
{
    QJsonObject object;
    object.insert(QStringLiteral("statu"), statu);
    object.insert(QStringLiteral("msg"), QString::fromUtf8(msg));
    object.insert(QStringLiteral("data"), QJsonValue());
    return envelope(object);
}

Reply Reply::success(const char *msg, const QJsonValue &data)
{
    QJsonObject object;
    object.insert(QStringLiteral("statu"), 1);
    object.insert(QStringLiteral("msg"), QString::fromUtf8(msg));
    object.insert(QStringLiteral("data"), data);
    return envelope(object);
}

Reply Reply::successList(const char *msg, const QJsonArray &datas, const QJsonValue &data)
{
    QJsonObject object;
    object.insert(QStringLiteral("statu"), 1);
    object.insert(QStringLiteral("msg"), QString::fromUtf8(msg));
    object.insert(QStringLiteral("data"), data);
    object.insert(QStringLiteral("datas"), datas);
    return envelope(object);
}

Reply Reply::html(std::string page, int httpStatus)
{
    Reply reply;
    reply.httpStatus = httpStatus;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = std::move(page);
    reply.headers.emplace_back("Cache-Control", "no-store");
    reply.headers.emplace_back("X-Frame-Options", "DENY");
    return reply;
}

Reply Reply::binary(std::string contentType, std::string bytes)
{
    Reply reply;
    reply.contentType = std::move(contentType);
    reply.body = std::move(bytes);
    return reply;
}

Reply Reply::redirect(const std::string &location)
{
    Reply reply;
    reply.httpStatus = 303;
    reply.contentType = "text/plain; charset=utf-8";
    reply.headers.emplace_back("Location", location);
    return reply;
}

} // namespace server
