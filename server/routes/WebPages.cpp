#include "server/routes/WebPages.h"

#include "server/routes/AccountRoutes.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/ServiceContext.h"

#include <QDateTime>
#include <QString>

#include <sodium.h>

namespace server {

namespace {
std::string page(const std::string &title, const std::string &body)
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>"
           + escapeHtml(title)
           + " - Pelorin</title><style>"
             "body{font-family:sans-serif;max-width:46em;margin:2em auto;padding:0 1em;color:#222;line-height:1.6}"
             "header a{color:#01bd31;text-decoration:none;margin-right:1.2em}"
             "h1{font-size:1.5em}label{display:block;margin:.6em 0 .2em}"
             "input[type=text],input[type=password]{width:18em;padding:.3em}"
             "button{margin-top:.8em;padding:.35em 1.4em;background:#01bd31;color:#fff;border:0;border-radius:3px}"
             ".error{color:#c00}.box{border:1px solid #ddd;border-radius:4px;padding:1em 1.4em}"
             "</style></head><body><header><a href=\"?r=www\">首页</a>"
             "<a href=\"?r=www/default/page&amp;p=jiaocheng\">使用教程</a>"
             "<a href=\"?r=www/default/page&amp;p=mianze\">声明</a>"
             "<a href=\"?r=www/user/login\">我的账户</a></header><main><h1>"
           + escapeHtml(title) + "</h1>" + body + "</main></body></html>\n";
}

Reply home(RequestContext &)
{
    return Reply::html(page(
        "Pelorin",
        "<p>Pelorin是一款桌面视频播放器：粘贴磁力链接、含有40位资源哈希的文字，或选择一个种子文件，"
        "即可在线播放或下载其中的视频。</p>"
        "<p>本站是Pelorin的网络服务，负责账户、收藏、公告以及资源解析。</p>"
        "<ul><li><a href=\"?r=www/default/page&amp;p=jiaocheng\">使用教程</a></li>"
        "<li><a href=\"?r=www/default/page&amp;p=mianze\">Pelorin声明</a></li>"
        "<li><a href=\"?r=www/user/login\">登录并查看VIP状态</a></li></ul>"));
}

Reply staticPage(RequestContext &context)
{
    const std::string which = context.parameters.value("p");
    if (which == "jiaocheng")
        return Reply::html(page(
            "使用教程",
            "<ol><li>启动Pelorin并登录账户（没有账户可点击“免费注册”）。</li>"
            "<li>点击主窗口的打开按钮，在解析页粘贴磁力链接或含有资源哈希的文字，"
            "也可以选择一个种子文件。</li>"
            "<li>解析成功后列出资源中的视频文件，点击播放按钮即可在线观看；"
            "永久VIP可以下载文件。</li>"
            "<li>播放中可在收藏页收藏当前资源，下次在收藏页直接播放。</li>"
            "<li>画面、声音和字幕可在右键菜单中调整；Ctrl+D隐藏窗口（老板键）。</li></ol>"));
    if (which == "mianze")
        return Reply::html(page(
            "Pelorin声明",
            "<p>Pelorin只根据用户提供的资源哈希向本服务查询并播放视频，本身不存储、不传播任何资源。</p>"
            "<p>用户应遵守所在地的法律法规，只观看和下载有权使用的内容；"
            "因用户使用资源产生的一切后果由用户自行承担。</p>"
            "<p>发现违法或不良资源，请在软件中使用“举报”功能，我们会尽快处理。</p>"
            "<p>注册时请填写本人的邮箱，忘记密码时只能通过该邮箱找回。"
            "近期内重复注册且没有正当使用的账户可能被收回。</p>"));
    return Reply::html(page("页面不存在", "<p>您访问的页面不存在。</p>"), 404);
}

std::string vipText(const Account &account, int64_t now)
{
    if (account.permanentVip)
        return "永久VIP";
    if (!account.isVip(now))
        return account.vipUntil > 0 ? "VIP已过期" : "非VIP";
    if (account.vipUntil == 0)
        return "VIP";
    const QDate date = QDateTime::fromSecsSinceEpoch(account.vipUntil).date();
    return QString::fromUtf8("VIP，到期：%1年%2月%3日")
        .arg(date.year())
        .arg(date.month())
        .arg(date.day())
        .toStdString();
}

Reply accountPage(RequestContext &context, const std::string &error)
{
    const std::string token = escapeHtml(context.service.sessions().formToken(context.sessionId));
    const std::optional<Account> &account = context.account();
    std::string body;
    if (!error.empty())
        body += "<p class=\"error\">" + escapeHtml(error) + "</p>";
    if (account) {
        body += "<div class=\"box\"><p>邮箱：" + escapeHtml(account->email) + "</p><p>VIP："
                + escapeHtml(vipText(*account, context.now)) + "</p>"
                "<form method=\"post\" action=\"./\"><input type=\"hidden\" name=\"r\" value=\"www/user/login\">"
                "<input type=\"hidden\" name=\"do\" value=\"weblogout\">"
                "<input type=\"hidden\" name=\"token\" value=\"" + token + "\">"
                "<button type=\"submit\">注销</button></form></div>"
                "<p>充值或续费VIP请联系管理员。</p>";
    } else {
        body += "<form class=\"box\" method=\"post\" action=\"./\">"
                "<input type=\"hidden\" name=\"r\" value=\"www/user/login\">"
                "<input type=\"hidden\" name=\"do\" value=\"weblogin\">"
                "<input type=\"hidden\" name=\"token\" value=\"" + token + "\">"
                "<label for=\"u\">邮箱</label><input type=\"text\" id=\"u\" name=\"f[username]\" autocomplete=\"username\">"
                "<label for=\"p\">密码</label><input type=\"password\" id=\"p\" name=\"f[password]\" autocomplete=\"current-password\">"
                "<br><button type=\"submit\">登录</button></form>"
                "<p>还没有账户？请在Pelorin中点击“免费注册”。</p>";
    }
    return Reply::html(page("我的账户", body));
}

Reply showAccount(RequestContext &context)
{
    return accountPage(context, std::string());
}

bool tokenMatches(RequestContext &context)
{
    const std::string expected = context.service.sessions().formToken(context.sessionId);
    const std::string given = context.parameters.value("token");
    return given.size() == expected.size()
           && sodium_memcmp(given.data(), expected.data(), expected.size()) == 0;
}

Reply webLogin(RequestContext &context)
{
    if (!tokenMatches(context))
        return accountPage(context, "页面已过期，请重新登录。");
    std::optional<Account> account;
    const Reply reply = logIn(context, context.parameters.value("f[username]"),
                              context.parameters.value("f[password]"), &account);
    if (!account) {
        const std::string message = reply.message.empty() ? "登录失败。" : reply.message;
        Reply shown = accountPage(context, message);
        shown.statu = reply.statu;
        return shown;
    }
    Reply redirect = Reply::redirect("?r=www/user/login");
    redirect.statu = 1;
    return redirect;
}

Reply webLogout(RequestContext &context)
{
    if (!tokenMatches(context))
        return accountPage(context, "页面已过期，请重试。");
    context.service.sessions().unbind(context.sessionId);
    Reply redirect = Reply::redirect("?r=www/user/login");
    redirect.statu = 1;
    return redirect;
}
} // namespace

std::string escapeHtml(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

void addWebPages(Router &router)
{
    router.add("", "", {Router::Get, false, Router::BodyDecoding::Raw, home});
    router.add("www", "", {Router::Get, false, Router::BodyDecoding::Raw, home});
    router.add("www/default/page", "", {Router::Get, false, Router::BodyDecoding::Raw, staticPage});
    router.add("www/user/login", "", {Router::Get, false, Router::BodyDecoding::Raw, showAccount});
    router.add("www/user/login", "weblogin", {Router::Post, false, Router::BodyDecoding::Form, webLogin});
    router.add("www/user/login", "weblogout", {Router::Post, false, Router::BodyDecoding::Form, webLogout});
}

} // namespace server
