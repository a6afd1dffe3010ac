#include "server/routes/AccountRoutes.h"

#include "server/access/Captcha.h"
#include "server/http/RequestContext.h"
#include "server/http/Router.h"
#include "server/ServiceContext.h"

#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cctype>

namespace server {

namespace {
constexpr int64_t kCaptchaSeconds = 10 * 60;
constexpr int64_t kRetrievedPasswordSeconds = 24 * 3600;

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

Reply tooManyFailures(int64_t retryMs)
{
    const int64_t seconds = std::max<int64_t>(1, (retryMs + 999) / 1000);
    QJsonObject object;
    object.insert(QStringLiteral("statu"), -3);
    object.insert(QStringLiteral("msg"), QString::fromUtf8("登录失败次数过多，请%1秒后再试！").arg(seconds));
    object.insert(QStringLiteral("data"), QJsonValue());
    return Reply::envelope(object);
}

QJsonObject loginData(const Account &account, int64_t now)
{
    QJsonObject data;
    data.insert(QStringLiteral("isvip"), account.isVip(now) ? 1 : 0);
    data.insert(QStringLiteral("issvip"), account.permanentVip ? QStringLiteral("true") : QStringLiteral("false"));
    data.insert(QStringLiteral("viptime"), double(account.vipTime()));
    data.insert(QStringLiteral("username"), QString::fromStdString(account.email));
    return data;
}
} // namespace

// Shared by the player's log-in and the account web page's form.
Reply logIn(RequestContext &context, const std::string &email, const std::string &password,
            std::optional<Account> *loggedIn)
{
    if (email.empty() || password.empty())
        return Reply::failure(0, "请输入账号和密码！");
    ServiceContext &service = context.service;
    const std::string accountKey = lowered(email);
    // Each attempt takes its place in both limits before the slow hash, and keeps it if it fails,
    // so attempts sent in parallel count as they arrive.
    const int64_t nowMs = ServiceContext::nowMs();
    if (const int64_t retryMs = service.accountFailures().reserve(accountKey, nowMs))
        return tooManyFailures(retryMs);
    if (const int64_t retryMs = service.addressFailures().reserve(context.remoteAddress, nowMs)) {
        service.accountFailures().release(accountKey, nowMs);
        return tooManyFailures(retryMs);
    }

    std::optional<Account> account = service.accounts().findByEmail(email);
    int64_t pendingId = 0;
    const AccountStore::Match match = service.accounts().verify(account, password, context.now, &pendingId);
    if (match == AccountStore::Match::None)
        return Reply::failure(0, "账号或密码错误！");
    service.accountFailures().clear(accountKey);
    service.addressFailures().release(context.remoteAddress, nowMs);
    if (match == AccountStore::Match::Pending) {
        service.accounts().promotePending(account->id, pendingId);
        service.standing().forget(account->id);
    }
    else if (service.accounts().needsRehash(account->passwordHash))
        service.accounts().rehashPassword(account->id, password);
    if (!service.sessions().bindUser(context.sessionId, account->id, context.now))
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    if (loggedIn)
        *loggedIn = account;
    return Reply::success("登录成功", loginData(*account, context.now));
}

namespace {
Reply login(RequestContext &context)
{
    return logIn(context, context.parameters.value("f[username]"),
                 context.parameters.value("f[password]"), nullptr);
}

Reply logout(RequestContext &context)
{
    if (!context.service.sessions().unbind(context.sessionId))
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    return Reply::success("注销成功");
}

Reply changePassword(RequestContext &context)
{
    const std::optional<Account> &account = context.account();
    if (!account)
        return Reply::failure(-1, "请先登录！");
    const std::string oldPassword = context.parameters.value("f[password]");
    const std::string newPassword = context.parameters.value("f[newpassword]");
    const std::string repeated = context.parameters.value("f[repassword]");
    if (oldPassword.empty() || newPassword.empty() || repeated.empty())
        return Reply::failure(0, "请填写原密码和新密码！");
    if (newPassword != repeated)
        return Reply::failure(0, "两次填写的新密码不相同，请重新填写！");
    if (!AccountStore::isAcceptablePassword(newPassword))
        return Reply::failure(0, "密码长度应为6到64个字符！");

    ServiceContext &service = context.service;
    const std::string accountKey = lowered(account->email);
    const int64_t nowMs = ServiceContext::nowMs();
    if (const int64_t retryMs = service.accountFailures().reserve(accountKey, nowMs))
        return tooManyFailures(retryMs);
    if (service.accounts().verify(account, oldPassword, context.now) == AccountStore::Match::None)
        return Reply::failure(0, "原密码错误！");
    service.accountFailures().release(accountKey, nowMs);
    if (!service.accounts().setPassword(account->id, newPassword))
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    service.standing().forget(account->id);
    // Every session of the account has to log in again with the new password.
    service.sessions().unbindAllOf(account->id);
    return Reply::success("修改成功");
}

Reply retrievePassword(RequestContext &context)
{
    const std::string email = context.parameters.value("f[username]");
    if (email.empty())
        return Reply::failure(0, "请输入邮箱！");
    if (!AccountStore::isEmailShape(email))
        return Reply::failure(0, "邮箱格式不正确！");
    ServiceContext &service = context.service;
    const int64_t nowMs = ServiceContext::nowMs();
    if (service.retrievalsByAddress().reserve(context.remoteAddress, nowMs))
        return Reply::failure(0, "操作过于频繁，请稍后再试！");
    // Keyed by the address as typed, known or not: the answer must not tell which are known.
    if (service.retrievals().reserve(lowered(email), nowMs))
        return Reply::failure(0, "邮件已发送，请一分钟后再试！");

    // The current password and passwords mailed before keep working until they expire or one is
    // used, so nobody can lock an account out just by asking for a new password. An unknown
    // address costs the same hash, so that timing does not tell it apart either.
    const std::optional<Account> account = service.accounts().findByEmail(email);
    const std::string password = AccountStore::randomPassword();
    if (!account) {
        service.accounts().hash(password);
        return Reply::success("邮件发送成功");
    }
    const AccountStore::PendingResult added = service.accounts().addPendingPassword(
        account->id, password, context.now, context.now + kRetrievedPasswordSeconds);
    if (added == AccountStore::PendingResult::Failed)
        return Reply::failure(0, "服务器内部错误，请稍后再试！");
    // With enough mailed passwords waiting, no further one is made or mailed.
    if (added == AccountStore::PendingResult::Full)
        return Reply::success("邮件发送成功");
    const std::string body =
        "您好！\r\n\r\n您在Pelorin申请了找回密码，随机密码为：\r\n\r\n    " + password
        + "\r\n\r\n请在24小时内用此密码登录，并尽快修改密码。登录后原密码失效；"
          "若不是您本人的操作，请忽略本邮件，原密码仍然有效。\r\n\r\nPelorin\r\n";
    if (service.outbox().write(account->email, "Pelorin找回密码", body, context.publicHost()).empty())
        return Reply::failure(0, "邮件发送失败，请稍后再试！");
    return Reply::success("邮件发送成功");
}

Reply captcha(RequestContext &context)
{
    ServiceContext &service = context.service;
    if (const int64_t retryMs = service.captchasByAddress().reserve(context.remoteAddress, ServiceContext::nowMs())) {
        Reply reply = Reply::binary("text/plain; charset=utf-8", "429\n");
        reply.httpStatus = 429;
        reply.headers.emplace_back("Retry-After", std::to_string((retryMs + 999) / 1000));
        return reply;
    }
    const std::string text = service.options().testCaptcha.empty() ? Captcha::randomText()
                                                                   : service.options().testCaptcha;
    if (!service.sessions().setCaptcha(context.sessionId, text, context.now + kCaptchaSeconds,
                                       context.now)) {
        Reply reply = Reply::binary("text/plain; charset=utf-8", std::string());
        reply.httpStatus = 503;
        return reply;
    }
    Reply reply = Reply::binary("image/png", Captcha::render(text));
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
}

Reply signUp(RequestContext &context)
{
    const RequestParameters &parameters = context.parameters;
    const std::string code = parameters.value("f[code]");
    const std::string email = parameters.value("f[username]");
    const std::string password = parameters.value("f[password]");
    const std::string repeated = parameters.value("f[repassword]");
    std::string unionUid = parameters.has("union_uid") ? parameters.value("union_uid") : "0";

    // Checks that need no captcha come first, so a typo does not cost the user the captcha.
    if (!AccountStore::isEmailShape(email))
        return Reply::failure(0, "邮箱格式不正确！");
    if (password != repeated)
        return Reply::failure(0, "两次填写的密码不相同，请重新填写！");
    if (!AccountStore::isAcceptablePassword(password))
        return Reply::failure(0, "密码长度应为6到64个字符！");
    if (unionUid.size() > 64)
        return Reply::failure(0, "推荐人标识无效！");

    ServiceContext &service = context.service;
    const std::string expected = service.sessions().takeCaptcha(context.sessionId, context.now);
    if (!Captcha::matches(expected, code))
        return Reply::failure(-5, "验证码错误，请重新输入！");

    // Reserved before the account is made, so parallel sign-ups count too.
    const int64_t nowMs = ServiceContext::nowMs();
    if (service.signUpsByAddress().reserve(context.remoteAddress, nowMs))
        return Reply::failure(0, "注册过于频繁，请稍后再试！");
    switch (service.accounts().create(email, password, unionUid, context.now)) {
    case AccountStore::CreateResult::Created:
        return Reply::success("注册成功");
    case AccountStore::CreateResult::Duplicate:
        service.signUpsByAddress().release(context.remoteAddress, nowMs);
        return Reply::failure(0, "该邮箱已被注册！");
    case AccountStore::CreateResult::Failed:
        break;
    }
    service.signUpsByAddress().release(context.remoteAddress, nowMs);
    return Reply::failure(0, "服务器内部错误，请稍后再试！");
}
} // namespace

void addAccountRoutes(Router &router)
{
    router.add("www/user/login", "login", {Router::Post, true, Router::BodyDecoding::Raw, login});
    router.add("www/user/logout", "logout", {Router::Post, false, Router::BodyDecoding::Raw, logout});
    router.add("www/user/pwd", "pwd", {Router::Post, false, Router::BodyDecoding::Raw, changePassword});
    router.add("www/user/forgetpwd", "forgetpwd",
               {Router::Post, false, Router::BodyDecoding::Raw, retrievePassword});
    router.add("default/verfy", "", {Router::Get, false, Router::BodyDecoding::Raw, captcha});
    router.add("www/user/register", "register_new",
               {Router::Post, true, Router::BodyDecoding::Raw, signUp});
}

} // namespace server
