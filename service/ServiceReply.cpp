#include "service/ServiceReply.h"

#include <QCoreApplication>

ServiceReply::ServiceReply(Outcome outcome, const QVariantMap &map)
    : m_outcome(outcome)
    , m_map(map)
{
}

ServiceReply ServiceReply::networkFailure()
{
    return ServiceReply(Outcome::NetworkFailure);
}

ServiceReply ServiceReply::badData()
{
    return ServiceReply(Outcome::BadData);
}

ServiceReply ServiceReply::aborted()
{
    return ServiceReply(Outcome::Aborted);
}

ServiceReply ServiceReply::envelope(const QVariantMap &map)
{
    return ServiceReply(Outcome::Envelope, map);
}

bool ServiceReply::succeeded() const
{
    return isEnvelope() && statu() == 1;
}

int ServiceReply::statu() const
{
    return m_map.value(QStringLiteral("statu"), 0).toInt();
}

QString ServiceReply::msg() const
{
    return m_map.value(QStringLiteral("msg"), QString()).toString();
}

QVariant ServiceReply::data() const
{
    return m_map.value(QStringLiteral("data"));
}

QVariantList ServiceReply::datas() const
{
    return m_map.value(QStringLiteral("datas")).toList();
}

QString ServiceReply::failureText() const
{
    switch (m_outcome) {
    case Outcome::NetworkFailure:
        return QCoreApplication::translate("ServiceReply", "连接服务器失败！");
    case Outcome::BadData:
        return QCoreApplication::translate("ServiceReply", "服务器返回数据异常！");
    case Outcome::Aborted:
        return QString(); // the user ended it: nothing to explain
    case Outcome::Envelope:
        break;
    }
    return msg();
}
