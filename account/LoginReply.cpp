#include "account/LoginReply.h"

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

QString LoginReply::vipDateText(const QVariantMap &data)
{
    const qint64 seconds = data.value(QStringLiteral("viptime"), 0).toLongLong();
    const QDate date = QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().date();
    return QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
}
