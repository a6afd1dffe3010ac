#include "resources/VideoDomainList.h"

#include "app/AppConfig.h"
#include "app/AtomicFile.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QDate>
#include <QFile>
#include <QTextStream>

QStringList VideoDomainList::load(ServiceClient *client, const QString &fileName)
{
    QStringList hosts;
    const uint today = uint(QDate::currentDate().dayOfYear());
    if (today == AppConfig::latestRequestVideoDomainsDayOfYear()) {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&file);
            in.setCodec("UTF-8");
            while (!in.atEnd())
                hosts.append(in.readLine());
        }
        return hosts;
    }

    AppConfig::setLatestRequestVideoDomainsDayOfYear(today);
    const ServiceReply reply = client->call(Endpoints::videoDomains());
    if (!reply.isEnvelope())
        return hosts;
    hosts = reply.data().toStringList();
    QByteArray content;
    for (const QString &host : qAsConst(hosts))
        content += host.toUtf8() + '\n';
    AtomicFile::write(fileName, content);
    return hosts;
}
