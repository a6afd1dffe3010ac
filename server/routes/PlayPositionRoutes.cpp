#include "server/routes/PlayPositionRoutes.h"

#include "server/http/ParameterText.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/ServiceContext.h"
#include "server/store/PlayPositions.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <algorithm>

namespace server {

namespace {
// A player's clock may run a little ahead; beyond that a time would win over every later write.
constexpr int64_t kClockSlackSeconds = 60;
// Ten years in milliseconds: no position or duration is longer.
constexpr int64_t kLongestMs = int64_t(10) * 365 * 24 * 3600 * 1000;

Reply listPositions(RequestContext &context, int64_t userId)
{
    const std::optional<std::vector<PlayPositions::Entry>> entries = PlayPositions(context.service.database()).list(userId);
    if (!entries)
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    QJsonArray datas;
    for (const PlayPositions::Entry &entry : *entries) {
        QJsonObject item;
        item.insert(QStringLiteral("hash"), QString::fromStdString(entry.hash));
        item.insert(QStringLiteral("index"), entry.fileIndex);
        item.insert(QStringLiteral("position"), double(entry.positionMs));
        item.insert(QStringLiteral("duration"), double(entry.durationMs));
        item.insert(QStringLiteral("time"), double(entry.writtenAt));
        datas.append(item);
    }
    return Reply::successList("", datas);
}

Reply setPosition(RequestContext &context, int64_t userId)
{
    const RequestParameters &parameters = context.parameters;
    PlayPositions::Entry entry;
    entry.hash = parameters.value("hash");
    int64_t index = 0;
    int64_t time = 0;
    if (!ParameterText::hexHash(entry.hash) || !ParameterText::number(parameters.value("index"), INT32_MAX, &index)
        || !ParameterText::number(parameters.value("position"), kLongestMs, &entry.positionMs)
        || !ParameterText::number(parameters.value("duration"), kLongestMs, &entry.durationMs)
        || !ParameterText::number(parameters.value("time"), INT64_MAX / 10, &time))
        return Reply::failure(0, "请求参数错误！");
    entry.fileIndex = int(index);
    entry.writtenAt = std::min(time, context.now + kClockSlackSeconds);
    // An older write loses silently: for the player it is done either way.
    if (PlayPositions(context.service.database()).put(userId, entry) == PlayPositions::PutResult::Failed)
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    return Reply::success("保存成功");
}

Reply playPositions(RequestContext &context)
{
    const std::optional<Account> &account = context.account();
    if (!account)
        return Reply::failure(-1, "请先登录！");
    const std::string method = context.parameters.value("method");
    if (!context.isPost && (method.empty() || method == "get"))
        return listPositions(context, account->id);
    if (context.isPost && method == "set")
        return setPosition(context, account->id);
    return Reply::failure(0, "请求参数错误！");
}
} // namespace

void addPlayPositionRoutes(Router &router)
{
    router.add("www/default/pc", "playpos", {Router::Both, true, Router::BodyDecoding::Raw, playPositions});
}

} // namespace server
