#include "account/LoginReply.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

bool LoginReply::isVip(const QVariantMap &data)
{
    return data.value(QStringLiteral("isvip")).toUInt() == 1;
}

bool LoginReply::isPermanentVip(const QVariantMap &data)
{
    return data.value(QStringLiteral("issvip")).toString() == QLatin1String("true");
}

QDate LoginReply::vipDate(const QVariantMap &data)
{
    const qint64 seconds = data.value(QStringLiteral("viptime"), 0).toLongLong();
    return QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().date();
}

QString LoginReply::vipDateText(const QVariantMap &data)
{
    return dateText(vipDate(data));
}

QString LoginReply::dateText(const QDate &date)
{
    return QCoreApplication::translate("LoginReply", "%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
}
