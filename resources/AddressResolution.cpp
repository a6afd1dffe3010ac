#include "resources/AddressResolution.h"

#include "service/ServiceReply.h"

#include <QRandomGenerator>
#include <QVariantMap>

#include <random>

QStringList AddressResolution::engineNames()
{
    return {QStringLiteral("主力引擎"),      QStringLiteral("vip专线[电信]"), QStringLiteral("vip专线[移动]"),
            QStringLiteral("vip专线[网通]"), QStringLiteral("vip专线[联通]"), QStringLiteral("vip专线[铁通]"),
            QStringLiteral("vip专线[长城]")};
}

QString AddressResolution::netType(int engineIndex)
{
    // The trailing blank of the last line is what the service knows it by.
    static const QStringList values = {QString(),
                                       QStringLiteral("dianxin"),
                                       QStringLiteral("yidong"),
                                       QStringLiteral("wangtong"),
                                       QStringLiteral("liantong"),
                                       QStringLiteral("tietong"),
                                       QStringLiteral("changcheng ")};
    return values.value(engineIndex);
}

QStringList AddressResolution::fileListParameters(const QString &resourceHash)
{
    return {QStringLiteral("r=www/default/pc"), QStringLiteral("do=getNewHashFileList"),
            QStringLiteral("hash=") + resourceHash, QStringLiteral("_s=pc")};
}

QStringList AddressResolution::fileHashParameters(const BTResourceFile &file, const QString &mac)
{
    return {QStringLiteral("r=www/default/pc"),
            QStringLiteral("cs0=lixian_qq"),
            QStringLiteral("hash=") + file.resourceHash,
            QStringLiteral("index=") + QString::number(file.resourceIndex),
            QStringLiteral("name=") + file.fileName,
            QStringLiteral("_mac=") + mac,
            QStringLiteral("_s=pc")};
}

QStringList AddressResolution::fileInfoParameters(const BTResourceFile &file, int engineIndex, bool reload,
                                                  const QString &mac)
{
    QStringList parameters = {QStringLiteral("r=www/default/pc"),
                              QStringLiteral("cs0=qqlixian_gethttp"),
                              QStringLiteral("hash=") + file.fileHash,
                              QStringLiteral("index=") + QString::number(file.fileIndex),
                              QStringLiteral("jxhash=") + file.jxhash,
                              QStringLiteral("size=") + QString::number(file.size)};
    if (engineIndex != 0) {
        parameters << QStringLiteral("netType=") + netType(engineIndex);
        if (reload)
            parameters << QStringLiteral("reload=1");
    }
    parameters << QStringLiteral("_mac=") + mac << QStringLiteral("_s=pc");
    return parameters;
}

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
