#include "server/routes/ConfigRoutes.h"

#include "server/store/ConfigItems.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/ServiceContext.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>

namespace server {

namespace {
Reply itemProblem(const ConfigItems::Item &item)
{
    if (item.state == ConfigItems::State::Missing)
        return Reply::failure(0, "该配置项不存在！");
    return Reply::failure(0, "配置项格式错误！");
}

QString textOf(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 15);
    return QString();
}

Reply announcements(RequestContext &context)
{
    const auto item = context.service.config().get(ConfigItems::kAnnouncements);
    if (item->state != ConfigItems::State::Ok)
        return itemProblem(*item);
    if (!item->document.isArray())
        return Reply::failure(0, "配置项格式错误！");
    QJsonArray list;
    for (const QJsonValue &value : item->document.array()) {
        const QJsonObject entry = value.toObject();
        const QString title = textOf(entry.value(QStringLiteral("title")));
        if (title.isEmpty())
            continue;
        QJsonObject out;
        out.insert(QStringLiteral("title"), title);
        out.insert(QStringLiteral("url"), textOf(entry.value(QStringLiteral("url"))));
        list.append(out);
    }
    return Reply::success("", list);
}

Reply popup(RequestContext &context)
{
    const auto item = context.service.config().get(ConfigItems::kPopup);
    if (item->state != ConfigItems::State::Ok)
        return itemProblem(*item);
    const QJsonObject config = item->document.object();
    const QJsonValue enable = config.value(QStringLiteral("enable"));
    const bool enabled = enable.toBool(false) || enable.toString() == QStringLiteral("true");
    const std::string host = context.publicHost();
    QJsonArray datas;
    if (enabled) {
        for (const QJsonValue &value : config.value(QStringLiteral("items")).toArray()) {
            const QJsonObject entry = value.toObject();
            const std::string image = textOf(entry.value(QStringLiteral("image"))).toStdString();
            if (image.empty())
                continue;
            QJsonObject out;
            out.insert(QStringLiteral("img"), QString::fromStdString(staticAddress(host, image)));
            out.insert(QStringLiteral("url"), textOf(entry.value(QStringLiteral("url"))));
            datas.append(out);
        }
    }
    QJsonObject data;
    data.insert(QStringLiteral("enable"), enabled ? QStringLiteral("true") : QStringLiteral("false"));
    data.insert(QStringLiteral("datas"), datas);
    return Reply::success("", data);
}

Reply videoDomains(RequestContext &context)
{
    bool malformed = false;
    const std::vector<std::string> list = videoHostList(context.service, &malformed);
    if (malformed)
        return Reply::failure(0, "配置项格式错误！");
    QJsonArray hosts;
    for (const std::string &host : list)
        hosts.append(QString::fromStdString(host));
    return Reply::success("", hosts);
}

Reply getConfig(RequestContext &context)
{
    const std::string cfg = context.parameters.value("cfg");
    if (cfg == "gonggao")
        return announcements(context);
    if (cfg == "tanchuang")
        return popup(context);
    if (cfg == "video_domain") {
        // The player signs this one; the others are sent unsigned.
        if (!context.parameters.signatureMatches())
            return Reply::failure(-2, "请求签名错误！");
        return videoDomains(context);
    }
    return Reply::failure(0, "该配置项不存在！");
}

Reply updateInfo(RequestContext &context)
{
    const auto item = context.service.config().get(ConfigItems::kUpdate);
    if (item->state != ConfigItems::State::Ok)
        return itemProblem(*item);
    const QJsonObject config = item->document.object();
    const QString version = textOf(config.value(QStringLiteral("version"))).trimmed();
    if (version.isEmpty())
        return Reply::failure(0, "暂无更新信息！");
    QJsonObject data;
    data.insert(QStringLiteral("version"), version);
    data.insert(QStringLiteral("desc"), textOf(config.value(QStringLiteral("desc"))));
    const std::string path = textOf(config.value(QStringLiteral("path"))).toStdString();
    data.insert(QStringLiteral("path"),
                QString::fromStdString(path.empty() ? path : staticAddress(context.publicHost(), path)));
    // Players refuse a package that does not match (so a mistyped digest refuses every package
    // rather than turning the check off); one without a digest is taken as it comes.
    const QString sha256 = textOf(config.value(QStringLiteral("sha256"))).trimmed().toLower();
    if (!sha256.isEmpty())
        data.insert(QStringLiteral("sha256"), sha256);
    return Reply::success("", data);
}
} // namespace

std::vector<std::string> videoHostList(ServiceContext &service, bool *malformed)
{
    std::vector<std::string> hosts = service.servedVideoHosts();
    const auto item = service.config().get(ConfigItems::kVideoHosts);
    if (malformed)
        *malformed = item->state == ConfigItems::State::Malformed;
    for (const QJsonValue &value : item->document.array()) {
        const std::string host = value.toString().trimmed().toStdString();
        if (!host.empty() && std::find(hosts.begin(), hosts.end(), host) == hosts.end())
            hosts.push_back(host);
    }
    return hosts;
}

std::string staticAddress(const std::string &host, const std::string &nameOrAddress)
{
    if (nameOrAddress.find("://") != std::string::npos)
        return nameOrAddress;
    return "http://" + host + "/server/static/"
           + QUrl::toPercentEncoding(QString::fromStdString(nameOrAddress)).toStdString();
}

void addConfigRoutes(Router &router)
{
    // The signature of cfg=video_domain is checked by the handler, since the route is shared.
    router.add("www/default/pc", "getConfig", {Router::Get, false, Router::BodyDecoding::Raw, getConfig});
    router.add("www/default/pc", "getUpdateInfo",
               {Router::Get, false, Router::BodyDecoding::Raw, updateInfo});
}

} // namespace server
