#include "server/routes/ResourceRoutes.h"

#include "server/routes/ConfigRoutes.h"
#include "server/fetch/ResourceFetcher.h"
#include "server/http/LogText.h"
#include "server/http/ParameterText.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/library/SubtitleMatch.h"
#include "server/ServiceContext.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <sodium.h>

#include <atomic>
#include <chrono>
#include <map>
#include <vector>
#include <cstdlib>

namespace server {

namespace {
// Codes without reload=1 are the same for one file and account within a window, so that
// players that ask again keep one address; each is valid for two to three windows, long enough
// for a long film to be watched with pauses and seeks.
constexpr int64_t kCodeWindowSeconds = 6 * 3600;
constexpr int64_t kCodeWindows = 3;

// The lines of the player's engine box.
const char *const kNetTypes[] = {"dianxin", "yidong", "wangtong", "liantong", "tietong", "changcheng"};

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Videos, and the subtitle files matched to one of them, go through the two steps alike.
bool isServable(LibraryStore &library, const LibraryFile &file)
{
    return file.isVideo || SubtitleMatch::isMatched(library.files(file.resourceId), file.fileIndex);
}

// A resource the library lacks is fetched when the service does that; the reply waits a while for
// its file list. What others fetch is found only through its hash, as anything in the library.
std::optional<Reply> fetchForList(RequestContext &context, const std::string &hash)
{
    ResourceFetcher *fetcher = context.service.fetcher();
    if (!fetcher || !fetcher->available())
        return Reply::failure(0, "该资源暂未收录！");
    if (fetcher->options().vipOnly && !(context.account() && context.account()->isVip(context.now)))
        return Reply::failure(0, "该资源暂未收录，获取新资源仅限VIP会员！");
    std::string reason;
    const FetchEngine::State state =
        fetcher->request(hash, std::chrono::seconds(fetcher->options().listWaitSeconds), &reason);
    if (context.service.library().findResource(hash))
        return std::nullopt;
    switch (state) {
    case FetchEngine::State::Refused:
        LogText::print("fetch: " + hash + " refused: " + reason);
        return Reply::failure(0, "该资源无法获取（文件名不安全或超出服务器容量）！");
    case FetchEngine::State::Failed:
        LogText::print("fetch: " + hash + " failed: " + reason);
        return Reply::failure(0, "该资源获取失败，请稍后再试！");
    default:
        return Reply::failure(0, "该资源正在获取中，请稍后再试！");
    }
}

Reply fileList(RequestContext &context)
{
    const std::string hash = context.parameters.value("hash");
    if (!ParameterText::resourceHash(hash))
        return Reply::failure(0, "资源hash格式错误！");
    LibraryStore &library = context.service.library();
    std::optional<LibraryResource> resource = library.findResource(hash);
    if (!resource) {
        if (std::optional<Reply> refusal = fetchForList(context, hash))
            return *refusal;
        resource = library.findResource(hash);
        if (!resource)
            return Reply::failure(0, "该资源暂未收录！");
    }
    QJsonArray datas;
    const std::vector<LibraryFile> files = library.files(resource->id);
    const std::map<int, std::vector<SubtitleMatch::Subtitle>> subtitles = SubtitleMatch::match(files);
    for (const LibraryFile &file : files) {
        if (!file.isVideo)
            continue;
        QJsonObject entry;
        entry.insert(QStringLiteral("index"), file.fileIndex);
        entry.insert(QStringLiteral("name"), QString::fromStdString(file.path));
        entry.insert(QStringLiteral("file_size"), double(file.size));
        const auto found = subtitles.find(file.fileIndex);
        if (found != subtitles.end()) {
            // Older players read the three fields above only.
            QJsonArray list;
            for (const SubtitleMatch::Subtitle &subtitle : found->second) {
                QJsonObject item;
                item.insert(QStringLiteral("index"), subtitle.index);
                item.insert(QStringLiteral("name"), QString::fromStdString(subtitle.path));
                item.insert(QStringLiteral("file_size"), double(subtitle.size));
                item.insert(QStringLiteral("lang"), QString::fromStdString(subtitle.lang));
                if (subtitle.subIndex >= 0)
                    item.insert(QStringLiteral("sub_index"), subtitle.subIndex);
                list.append(item);
            }
            entry.insert(QStringLiteral("subtitles"), list);
        }
        datas.append(entry);
    }
    return Reply::successList("", datas);
}

Reply fileHash(RequestContext &context)
{
    const std::optional<Account> &account = context.account();
    if (!account)
        return Reply::failure(-1, "请先登录！");
    const std::string hash = context.parameters.value("hash");
    int64_t index = 0;
    if (!ParameterText::resourceHash(hash) || !ParameterText::number(context.parameters.value("index"), INT32_MAX, &index))
        return Reply::failure(0, "请求参数错误！");
    LibraryStore &library = context.service.library();
    const std::optional<LibraryResource> resource = library.findResource(hash);
    if (!resource)
        return Reply::failure(0, "该资源暂未收录！");
    const std::optional<LibraryFile> file = library.fileAt(resource->id, int(index));
    if (!file || !isServable(library, *file))
        return Reply::failure(0, "该视频文件不存在！");
    if (resource->vipOnly && !account->isVip(context.now))
        return Reply::failure(-11, "该资源仅限VIP会员观看，请先开通VIP！");

    const AccessTokens &tokens = context.service.tokens();
    const std::string ownHash = tokens.fileHash(resource->hash, file->fileIndex);
    QJsonObject data;
    data.insert(QStringLiteral("hash"), QString::fromStdString(ownHash));
    data.insert(QStringLiteral("index"), file->fileIndex);
    data.insert(QStringLiteral("size"), double(file->size));
    data.insert(QStringLiteral("jxhash"),
                QString::fromStdString(tokens.jxhash(file->id, file->fileIndex, file->size, ownHash)));
    return Reply::success("", data);
}

Reply fileAddress(RequestContext &context)
{
    const std::optional<Account> &account = context.account();
    if (!account)
        return Reply::failure(-1, "请先登录！");
    const RequestParameters &parameters = context.parameters;
    int64_t index = 0;
    int64_t size = 0;
    if (!ParameterText::number(parameters.value("index"), INT32_MAX, &index)
        || !ParameterText::number(parameters.value("size"), INT64_MAX, &size))
        return Reply::failure(0, "请求参数错误！");
    const AccessTokens &tokens = context.service.tokens();
    const int64_t fileId =
        tokens.fileOfJxhash(parameters.value("jxhash"), int(index), size, parameters.value("hash"));
    if (!fileId)
        return Reply::failure(0, "视频文件校验失败，请重新解析资源！");
    const std::optional<LibraryFile> file = context.service.library().file(fileId);
    if (!file || !isServable(context.service.library(), *file) || file->size != size)
        return Reply::failure(0, "该视频文件已不存在，请重新解析资源！");
    // Checked again here: the session may have changed accounts since the first step.
    if (file->vipOnly && !account->isVip(context.now))
        return Reply::failure(-11, "该资源仅限VIP会员观看，请先开通VIP！");

    const bool lineChosen = parameters.has("netType");
    if (lineChosen) {
        const std::string line = trimmed(parameters.value("netType"));
        bool known = false;
        for (const char *name : kNetTypes)
            known = known || line == name;
        if (!known)
            return Reply::failure(0, "未知的线路！");
        if (!account->isVip(context.now))
            return Reply::failure(0, "vip专线仅限VIP会员使用！");
    }
    const bool reload = parameters.value("reload") == "1";
    if (reload && !account->permanentVip)
        return Reply::failure(0, "重新加载仅限永久VIP会员使用！");
    if (file->origin == "fetch" || file->origin == "fetching")
        context.service.library().markPlayed(file->resourceId, context.now);

    bool malformed = false;
    const std::vector<std::string> hosts = videoHostList(context.service, &malformed);
    ResourceFetcher *fetcher = context.service.fetcher();
    // A fetched file may be on one host only: the fetch worker that holds it, or holds its job.
    std::string field = fetcher && file->origin == "fetch" ? fetcher->placeOf(*file) : std::string();
    if (hosts.empty() && field.empty() && file->origin != "fetching")
        return Reply::failure(0, "暂无可用的视频服务器，请稍后再试！");
    static std::atomic<unsigned> nextHost{0};
    if (field.empty() && !hosts.empty())
        field = hosts[nextHost.fetch_add(1, std::memory_order_relaxed) % hosts.size()];

    AccessTokens::Grant grant;
    grant.fileId = file->id;
    grant.accountId = account->id;
    grant.epoch = uint32_t(account->codeEpoch);
    grant.vipLine = lineChosen;
    if (reload) {
        grant.expires = context.now + kCodeWindows * kCodeWindowSeconds;
        randombytes_buf(&grant.nonce, sizeof grant.nonce);
    } else {
        grant.expires = (context.now / kCodeWindowSeconds + kCodeWindows) * kCodeWindowSeconds;
    }
    const std::string code = tokens.issueCode(grant);
    if (file->origin == "fetching") {
        // The player probes the host for a moment only: the file's first piece has to be there.
        std::string reason;
        std::string holder;
        if (!fetcher || !fetcher->prepareToPlay(*file, code, tokens.cookieFor(code), &holder, &reason)) {
            LogText::print("fetch: " + file->resourceHash + " cannot be played yet: "
                           + (fetcher ? reason : std::string("fetching is off")));
            return Reply::failure(0, "该资源正在获取中，请稍后再试！");
        }
        if (!holder.empty())
            field = holder;
        if (field.empty())
            return Reply::failure(0, "暂无可用的视频服务器，请稍后再试！");
    }
    QJsonObject data;
    data.insert(QStringLiteral("code"), QString::fromStdString(code));
    data.insert(QStringLiteral("com_cookie"), QString::fromStdString(tokens.cookieFor(code)));
    data.insert(QStringLiteral("field"), QString::fromStdString(field));
    return Reply::success("", data);
}
} // namespace

void addResourceRoutes(Router &router)
{
    router.add("www/default/pc", "getNewHashFileList", {Router::Get, true, Router::BodyDecoding::Raw, fileList});
    router.add("www/default/pc", "lixian_qq", {Router::Get, true, Router::BodyDecoding::Raw, fileHash});
    router.add("www/default/pc", "qqlixian_gethttp", {Router::Get, true, Router::BodyDecoding::Raw, fileAddress});
}

} // namespace server
