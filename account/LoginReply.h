#pragma once

#include <QDate>
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
    // "viptime" (seconds since 1970 UTC, absent reads 0) as a local date, and that date as text
    // ("%1年%2月%3日").
    static QDate vipDate(const QVariantMap &data);
    static QString vipDateText(const QVariantMap &data);
    // A date as the account shows it, in the interface language.
    static QString dateText(const QDate &date);
};
