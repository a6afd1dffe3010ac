#include "server/routes/CollectionRoutes.h"

#include "server/store/Database.h"
#include "server/http/ParameterText.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/ServiceContext.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace server {

namespace {
constexpr int kMaxNameLength = 200;
constexpr int64_t kMaxEntriesPerAccount = 10000;

int textLength(const std::string &text)
{
    return QString::fromStdString(text).size();
}

Reply listCollections(RequestContext &context, int64_t userId)
{
    int64_t perSize = 100;
    int64_t page = 1;
    const RequestParameters &parameters = context.parameters;
    if ((parameters.has("persize") && !ParameterText::number(parameters.value("persize"), 100, &perSize))
        || (parameters.has("page") && !ParameterText::number(parameters.value("page"), 1000000, &page))
        || perSize < 1 || page < 1)
        return Reply::failure(0, "分页参数错误！");

    Lease lease = context.service.database().lease();
    int64_t total = 0;
    QJsonArray datas;
    // The page and the total in one query; only a page past the end asks for the total alone.
    Statement select = lease.prepare(
        "SELECT id, hash, file_index, name, COUNT(*) OVER () FROM collections WHERE user_id = ?1 "
        "ORDER BY id DESC LIMIT ?2 OFFSET ?3");
    select.bind(1, userId).bind(2, perSize).bind(3, (page - 1) * perSize);
    while (select.next()) {
        total = select.integer(4);
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), double(select.integer(0)));
        entry.insert(QStringLiteral("hash"), QString::fromStdString(select.text(1)));
        entry.insert(QStringLiteral("index"), double(select.integer(2)));
        entry.insert(QStringLiteral("name"), QString::fromStdString(select.text(3)));
        datas.append(entry);
    }
    if (select.failed())
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    if (datas.isEmpty() && page > 1) {
        Statement count = lease.prepare("SELECT COUNT(*) FROM collections WHERE user_id = ?1");
        count.bind(1, userId);
        if (count.next())
            total = count.integer(0);
    }
    QJsonObject data;
    data.insert(QStringLiteral("total"), double(total));
    data.insert(QStringLiteral("page"), double(page));
    data.insert(QStringLiteral("persize"), double(perSize));
    return Reply::successList("", datas, data);
}

Reply addCollection(RequestContext &context, int64_t userId)
{
    const std::string name = context.parameters.value("name");
    const std::string hash = context.parameters.value("hash");
    int64_t index = 0;
    if (name.empty())
        return Reply::failure(0, "名称不能为空！");
    if (textLength(name) > kMaxNameLength)
        return Reply::failure(0, "名称过长！");
    if (!ParameterText::resourceHash(hash) || !ParameterText::number(context.parameters.value("index"), 0x7FFFFFFF, &index))
        return Reply::failure(0, "资源参数错误！");

    Lease lease = context.service.database().lease();
    Transaction transaction(lease);
    if (!transaction.begun())
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    {
        Statement count = lease.prepare("SELECT COUNT(*) FROM collections WHERE user_id = ?1");
        count.bind(1, userId);
        if (count.next() && count.integer(0) >= kMaxEntriesPerAccount)
            return Reply::failure(0, "收藏数量已达上限！");
    }
    // Collecting the same file again keeps one entry under the newest name.
    Statement upsert = lease.prepare(
        "INSERT INTO collections (user_id, name, hash, file_index, created_at) "
        "VALUES (?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(user_id, hash, file_index) DO UPDATE SET name = excluded.name");
    if (!upsert.bind(1, userId).bind(2, name).bind(3, hash).bind(4, index).bind(5, context.now).run()
        || !transaction.commit())
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    return Reply::success("收藏成功");
}

Reply deleteCollection(RequestContext &context, int64_t userId)
{
    int64_t id = 0;
    if (!ParameterText::number(context.parameters.value("id"), INT64_MAX / 10, &id))
        return Reply::failure(0, "收藏参数错误！");
    Lease lease = context.service.database().lease();
    Statement remove = lease.prepare("DELETE FROM collections WHERE id = ?1 AND user_id = ?2");
    if (!remove.bind(1, id).bind(2, userId).run())
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    if (lease.changes() == 0)
        return Reply::failure(0, "该收藏不存在！");
    return Reply::success("删除成功");
}

Reply collections(RequestContext &context)
{
    const std::string method = context.parameters.value("method");
    const bool isList = method == "get";
    if (isList == context.isPost)
        return Reply::failure(0, "请求方式错误！");
    const std::optional<Account> &account = context.account();
    if (!account)
        return Reply::failure(-1, "请先登录！");
    if (isList)
        return listCollections(context, account->id);
    if (method == "add")
        return addCollection(context, account->id);
    if (method == "del")
        return deleteCollection(context, account->id);
    return Reply::failure(0, "未知的收藏操作！");
}

Reply report(RequestContext &context)
{
    const std::string name = context.parameters.value("name");
    const std::string category = context.parameters.value("desc");
    if (context.parameters.value("method") != "add")
        return Reply::failure(0, "未知的举报操作！");
    if (name.empty() || category.empty())
        return Reply::failure(0, "举报内容不能为空！");
    if (textLength(name) > kMaxNameLength || textLength(category) > 50)
        return Reply::failure(0, "举报内容过长！");
    if (context.service.reportsByAddress().reserve(context.remoteAddress, ServiceContext::nowMs()))
        return Reply::failure(0, "举报过于频繁，请稍后再试！");
    const std::optional<Account> &account = context.account();
    Lease lease = context.service.database().lease();
    Statement insert = lease.prepare(
        "INSERT INTO reports (user_id, name, category, address, created_at) "
        "VALUES (?1, ?2, ?3, ?4, ?5)");
    if (account)
        insert.bind(1, account->id);
    else
        insert.bindNull(1);
    if (!insert.bind(2, name).bind(3, category).bind(4, context.remoteAddress).bind(5, context.now).run())
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    return Reply::success("举报成功");
}
} // namespace

void addCollectionRoutes(Router &router)
{
    router.add("www/default/pc", "fav", {Router::Both, false, Router::BodyDecoding::Raw, collections});
    router.add("www/default/pc", "report", {Router::Post, false, Router::BodyDecoding::Raw, report});
}

} // namespace server
