#pragma once

#include <QString>
#include <QStringList>

// The MD5 signature that the web service checks: a sorted copy of the parameters plus the salt,
// joined with "&". The reference service links this too, so both sides cannot drift apart.
class RequestSigner
{
public:
    static QString salt();
    static QByteArray signedText(const QStringList &parameters);
    static QString sign(const QStringList &parameters);
};
