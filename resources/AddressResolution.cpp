#include "resources/AddressResolution.h"

#include "service/ServiceReply.h"

#include <QRandomGenerator>
#include <QVariantMap>

#include <random>

QList<BTResourceFile> AddressResolution::filesFromReply(const QString &resourceHash, const ServiceReply &reply)
{
    QList<BTResourceFile> files;
    const QVariantList datas = reply.datas();
    for (const QVariant &element : datas) {
        const QVariantMap map = element.toMap();
        BTResourceFile file;
        file.resourceHash = resourceHash;
        file.resourceIndex = map.value(QStringLiteral("index")).toUInt();
        file.fileName = map.value(QStringLiteral("name")).toString();
        file.fileSize = map.value(QStringLiteral("file_size")).toULongLong();
        const QVariantList subtitles = map.value(QStringLiteral("subtitles")).toList();
        for (const QVariant &item : subtitles) {
            const QVariantMap s = item.toMap();
            bool ok = false;
            ResourceSubtitle subtitle;
            subtitle.index = s.value(QStringLiteral("index")).toUInt(&ok);
            subtitle.name = s.value(QStringLiteral("name")).toString();
            subtitle.fileSize = s.value(QStringLiteral("file_size")).toULongLong();
            subtitle.language = s.value(QStringLiteral("lang")).toString().toLower();
            if (s.contains(QStringLiteral("sub_index")))
                subtitle.subIndex = s.value(QStringLiteral("sub_index")).toLongLong();
            if (ok && !subtitle.name.isEmpty())
                file.subtitles.append(subtitle);
        }
        files.append(file);
    }
    return files;
}

void AddressResolution::applyFileHash(BTResourceFile *file, const ServiceReply &reply)
{
    const QVariantMap d = reply.data().toMap();
    file->fileHash = d.contains(QStringLiteral("hash")) ? d.value(QStringLiteral("hash")).toString() : file->resourceHash;
    file->fileIndex = d.contains(QStringLiteral("index")) ? d.value(QStringLiteral("index")).toUInt() : file->resourceIndex;
    file->size = d.contains(QStringLiteral("size")) ? d.value(QStringLiteral("size")).toULongLong() : file->fileSize;
    file->jxhash = d.value(QStringLiteral("jxhash")).toString();
}

QString AddressResolution::applyFileInfo(BTResourceFile *file, const ServiceReply &reply)
{
    const QVariantMap d = reply.data().toMap();
    file->code = d.value(QStringLiteral("code")).toString();
    file->comCookie = d.value(QStringLiteral("com_cookie")).toString();
    return d.value(QStringLiteral("field")).toString();
}

QString AddressResolution::playAddress(const QString &host, const QString &code)
{
    return QStringLiteral("http://%1/ftn_handler/%2").arg(host, code);
}

QString AddressResolution::downloadAddress(const QString &host, const QString &code, const QTime &now)
{
    QRandomGenerator generator(quint32(QTime(0, 0).secsTo(now)));
    const quint32 number = generator.generate() % 89999999u + 10000000u;
    return QStringLiteral("http://%1/%2.mp4?ver=5063&rkey=%3/").arg(host, QString::number(number), code);
}

void AddressResolution::shuffleHosts(QStringList *hosts)
{
    std::random_device device;
    std::mt19937 generator(device());
    for (int i = 1; i < hosts->size(); ++i) {
        std::uniform_int_distribution<int> pick(0, i);
        const int j = pick(generator);
        if (i != j)
            hosts->swapItemsAt(i, j);
    }
}
