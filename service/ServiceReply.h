#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// The outcome of one exchange with the web service: a network failure, a body that is not JSON,
// an exchange the user aborted, or the decoded envelope (statu, data, msg, datas).
class ServiceReply
{
public:
    enum class Outcome { Envelope, NetworkFailure, BadData, Aborted };

    static ServiceReply networkFailure();
    static ServiceReply badData();
    static ServiceReply aborted();
    static ServiceReply envelope(const QVariantMap &map);

    Outcome outcome() const { return m_outcome; }
    bool isEnvelope() const { return m_outcome == Outcome::Envelope; }
    // True only for an envelope whose statu is 1.
    bool succeeded() const;

    int statu() const;
    QString msg() const;
    QVariant data() const;
    QVariantList datas() const;
    const QVariantMap &map() const { return m_map; }

    // The words shown to the user for a failed outcome ("连接服务器失败！", "服务器返回数据异常！" in
    // the interface language, or msg as the service sent it; nothing for an abort).
    QString failureText() const;

private:
    explicit ServiceReply(Outcome outcome, const QVariantMap &map = {});

    Outcome m_outcome;
    QVariantMap m_map;
};
