#pragma once

#include <QString>
#include <QVariantMap>

// What a successful login reply says about the account.
class LoginReply
{
public:
    // "isvip" 1 or "1".
    static bool isVip(const QVariantMap &data);
    // "issvip" JSON true or "true".
    static bool isPermanentVip(const QVariantMap &data);
    // "viptime" (seconds since 1970 UTC, absent reads 0) as a local date "%1年%2月%3日".
    static QString vipDateText(const QVariantMap &data);
};
