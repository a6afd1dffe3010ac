#include "notices/UpdateInfo.h"

#include "service/ServiceReply.h"

#include <QUrl>

UpdateInfo UpdateInfo::fromReply(const ServiceReply &reply)
{
    UpdateInfo info;
    if (!reply.succeeded())
        return info;
    const QVariantMap data = reply.data().toMap();
    info.serverVersion = data.value(QStringLiteral("version")).toString();
    info.description = data.value(QStringLiteral("desc")).toString();
    info.downloadUrl = QUrl::fromPercentEncoding(data.value(QStringLiteral("path")).toString().toUtf8());
    info.sha256 = data.value(QStringLiteral("sha256")).toString().trimmed().toLower().toLatin1();
    return info;
}

bool UpdateInfo::differsFrom(const QString &currentVersion) const
{
    return !serverVersion.isEmpty() && serverVersion != currentVersion;
}

QString UpdateInfo::packageFileName() const
{
    return downloadUrl.mid(downloadUrl.lastIndexOf(QLatin1Char('/')) + 1);
}
