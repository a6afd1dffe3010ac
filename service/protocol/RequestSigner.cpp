#include "service/protocol/RequestSigner.h"

#include <QCryptographicHash>

#include <algorithm>

QString RequestSigner::salt()
{
    return QStringLiteral("7c1d0e5a9b3f48e2a6d4c0b1e9f2a3d5");
}

QByteArray RequestSigner::signedText(const QStringList &parameters)
{
    QStringList sorted = parameters;
    // QString's operator< compares UTF-16 code units, case-sensitively.
    std::sort(sorted.begin(), sorted.end());
    sorted.append(salt());
    return sorted.join(QLatin1Char('&')).toUtf8();
}

QString RequestSigner::sign(const QStringList &parameters)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(signedText(parameters), QCryptographicHash::Md5).toHex());
}
