#include "service/Endpoints.h"

#include "resources/BTResourceFile.h"

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}

ServiceRequest pc(RequestMethod method, QStringList parameters, bool isSigned)
{
    parameters.prepend(u("r=www/default/pc"));
    return {method, parameters, isSigned};
}
} // namespace

ServiceRequest Endpoints::login(const QString &name, const QString &password)
{
    return {Post,
            {u("r=www/user/login"), u("do=login"), u("f[username]=") + name, u("f[password]=") + password, u("_s=pc")},
            true};
}

ServiceRequest Endpoints::logout()
{
    return {Post, {u("r=www/user/logout"), u("do=logout"), u("_s=pc")}, false};
}

ServiceRequest Endpoints::changePassword(const QString &old, const QString &fresh, const QString &again)
{
    return {Post,
            {u("r=www/user/pwd"), u("do=pwd"), u("f[password]=") + old, u("f[newpassword]=") + fresh,
             u("f[repassword]=") + again, u("_s=pc")},
            false};
}

ServiceRequest Endpoints::retrievePassword(const QString &email)
{
    return {Post, {u("r=www/user/forgetpwd"), u("do=forgetpwd"), u("f[username]=") + email, u("_s=pc")}, false};
}

ServiceRequest Endpoints::captcha()
{
    return {Get, {u("r=default/verfy"), u("_=1"), u("_s=pc")}, false};
}

ServiceRequest Endpoints::signUp(const QString &captcha, const QString &email, const QString &password,
                                 const QString &again, const QByteArray &unionUid)
{
    return {Post,
            {u("r=www/user/register"), u("do=register_new"), u("f[code]=") + captcha, u("f[username]=") + email,
             u("f[password]=") + password, u("f[repassword]=") + again,
             QString::fromUtf8(QByteArrayLiteral("union_uid=") + unionUid), u("_s=pc")},
            true};
}

ServiceRequest Endpoints::fileList(const QString &resourceHash)
{
    return pc(Get, {u("do=getNewHashFileList"), u("hash=") + resourceHash, u("_s=pc")}, true);
}

ServiceRequest Endpoints::fileHash(const BTResourceFile &file, const QString &mac)
{
    return pc(Get,
              {u("cs0=lixian_qq"), u("hash=") + file.resourceHash, u("index=") + QString::number(file.resourceIndex),
               u("name=") + file.fileName, u("_mac=") + mac, u("_s=pc")},
              true);
}

ServiceRequest Endpoints::fileInfo(const BTResourceFile &file, int engineIndex, bool reload, const QString &mac)
{
    QStringList parameters = {u("cs0=qqlixian_gethttp"),
                              u("hash=") + file.fileHash,
                              u("index=") + QString::number(file.fileIndex),
                              u("jxhash=") + file.jxhash,
                              u("size=") + QString::number(file.size)};
    if (engineIndex != 0) {
        parameters << u("netType=") + netType(engineIndex);
        if (reload)
            parameters << u("reload=1");
    }
    parameters << u("_mac=") + mac << u("_s=pc");
    return pc(Get, parameters, true);
}

ServiceRequest Endpoints::videoDomains()
{
    return pc(Get, {u("do=getConfig"), u("cfg=video_domain"), u("_s=pc")}, true);
}

ServiceRequest Endpoints::report(const QString &resourceHash, const QString &category)
{
    return pc(Post, {u("do=report"), u("method=add"), u("name=") + resourceHash, u("desc=") + category, u("_s=pc")},
              false);
}

ServiceRequest Endpoints::collectionList()
{
    return pc(Get, {u("do=fav"), u("method=get"), u("persize=100"), u("page=1"), u("_s=pc")}, false);
}

ServiceRequest Endpoints::collectionAdd(const QString &name, const QString &resourceHash, quint32 index)
{
    return pc(Post,
              {u("do=fav"), u("method=add"), u("name=") + name, u("hash=") + resourceHash,
               u("index=") + QString::number(index)},
              false);
}

ServiceRequest Endpoints::collectionDelete(quint32 id)
{
    return pc(Post, {u("do=fav"), u("method=del"), u("id=") + QString::number(id), u("_s=pc")}, false);
}

ServiceRequest Endpoints::playPositions()
{
    return pc(Get, {u("do=playpos"), u("_s=pc")}, true);
}

ServiceRequest Endpoints::playPositionSet(const QString &resourceHash, quint32 index, int positionMs, int durationMs,
                                          qint64 time)
{
    return pc(Post,
              {u("do=playpos"), u("method=set"), u("hash=") + resourceHash, u("index=") + QString::number(index),
               u("position=") + QString::number(positionMs), u("duration=") + QString::number(durationMs),
               u("time=") + QString::number(time), u("_s=pc")},
              true);
}

ServiceRequest Endpoints::announcements()
{
    return pc(Get, {u("do=getConfig"), u("cfg=gonggao"), u("_s=pc")}, false);
}

ServiceRequest Endpoints::popupNotice()
{
    return pc(Get, {u("do=getConfig"), u("cfg=tanchuang"), u("_s=pc")}, false);
}

ServiceRequest Endpoints::updateInfo()
{
    return pc(Get, {u("do=getUpdateInfo"), u("_s=pc")}, false);
}

QString Endpoints::netType(int engineIndex)
{
    // The trailing blank of the last line is what the service knows it by.
    static const QStringList values = {QString(),      u("dianxin"),  u("yidong"),     u("wangtong"),
                                       u("liantong"), u("tietong"), u("changcheng ")};
    return values.value(engineIndex);
}
