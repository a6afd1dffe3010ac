// The player's own ServiceClient against a started pelorin-service, for what the end-to-end tests
// cannot reach: sessions, signatures, VIP standing, account limits, captcha, foreign collections,
// the web form's token, the static folder, an update published in one step ("release" copies the
// package there and names it with its SHA-256), hostile requests, and a request log without passwords
// or lines forged by a request.
#include "RawConnection.h"
#include "TestFiles.h"
#include "ServiceProcess.h"

#include "app/AppConfig.h"
#include "notices/UpdateInfo.h"
#include "service/protocol/RequestSigner.h"
#include "TestClient.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const char kTestCaptcha[] = "K7MW";

ServiceReply logIn(const QString &user, const QString &password)
{
    return testClient().call(Endpoints::login(user, password));
}

QNetworkReply *send(const ServiceRequest &request, ServiceClient &client = testClient())
{
    return client.send(request.method, request.parameters, request.isSigned);
}

QByteArray fetchCaptcha(ServiceClient &client = testClient())
{
    QNetworkReply *reply = send(Endpoints::captcha(), client);
    ServiceClient::waitForReply(reply);
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body;
}

QString hashOf(char c)
{
    return QString(40, QLatin1Char(c));
}

// A browser-like client on plain TCP for requests the player never sends; keeps the latest cookie.
struct Browser {
    quint16 port;
    QByteArray cookie;
    int request(const QByteArray &verb, const QByteArray &target, const QByteArray &body, QByteArray *replyBody = nullptr)
    {
        QByteArray head = verb + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!cookie.isEmpty())
            head += "Cookie: " + cookie + "\r\n";
        if (verb == "POST")
            head += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray reply = RawConnection::exchange(port, head + "\r\n" + body);
        if (!RawConnection::headerOf(reply, "Set-Cookie").isEmpty())
            cookie = RawConnection::headerOf(reply, "Set-Cookie");
        if (replyBody)
            *replyBody = RawConnection::bodyOf(reply);
        return RawConnection::statusOf(reply);
    }
    QString message(const QByteArray &verb, const QByteArray &target, const QByteArray &body)
    {
        QByteArray reply;
        request(verb, target, body, &reply);
        return QJsonDocument::fromJson(reply).object().value(u("msg")).toString();
    }
};
} // namespace

class ServiceProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void firstReplySetsTheSessionCookie();
    void signedEndpointsRefuseWrongSignatures();
    void logInBindsTheSessionOfTheFirstCookie();
    void signUpWithCaptcha();
    void collectionsBelongToOneAccount();
    void playPositionsFollowTheAccount();
    void passwordChangeAndRetrieval();
    void formsNeedTheirPagesToken();
    void staticFilesAndBrokenConfiguration();
    void releasePublishesThePackageWithItsDigest();
    void hostileParametersAreRefused();
    void rateLimitsFailedLogInsAndKeepsSessionsAcrossRestarts();
    void requestLogHoldsNoPasswordsAndNoForgedLines();

private:
    void addUser(const QString &email, const QString &password, const QStringList &flags = {});
    bool restartService();

    QTemporaryDir m_workingDir;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_passwordsUsed;
};

void ServiceProtocolTest::addUser(const QString &email, const QString &password, const QStringList &flags)
{
    QByteArray output;
    const int code = m_service->run(QStringList{u("user"), u("add"), email, password} + flags, &output);
    QVERIFY2(code == 0, output.constData());
    m_passwordsUsed << password;
}

bool ServiceProtocolTest::restartService()
{
    m_service->stop();
    if (!m_service->start({u("--test-captcha"), u(kTestCaptcha), u("--address-login-limit"), u("12")}))
        return false;
    AppConfig::setServiceHost(m_service->hostPort());
    return true;
}

void ServiceProtocolTest::initTestCase()
{
    // Config.ini (and with it the service host) lives in the working directory.
    QVERIFY(m_workingDir.isValid());
    QVERIFY(QDir::setCurrent(m_workingDir.path()));
    m_service = std::make_unique<ServiceProcess>(m_workingDir.path() + u("/service-data"));
    QDir().mkpath(m_service->dataDir());
    addUser(u("alice@pelorin.test"), u("alice+pw%41 一"), {u("--vip-until"), u("2031-05-17")});
    addUser(u("bob@pelorin.test"), u("bob-password"), {u("--permanent-vip")});
    addUser(u("carol@pelorin.test"), u("carol-password"));
    addUser(u("dave@pelorin.test"), u("dave-password"));
    addUser(u("erin@pelorin.test"), u("erin-password"));
    QVERIFY(restartService());
}

void ServiceProtocolTest::cleanupTestCase()
{
    m_service.reset();
}

void ServiceProtocolTest::firstReplySetsTheSessionCookie()
{
    QVERIFY(testClient().call(Endpoints::updateInfo()).succeeded());
    const QByteArray cookie = testClient().cookie();
    QVERIFY2(cookie.startsWith("pelorin_sid=") && cookie.contains("HttpOnly"), cookie.constData());

    // The cookie comes back verbatim, attributes included, and is recognised: no new cookie.
    QNetworkReply *reply = send(Endpoints::updateInfo());
    ServiceClient::waitForReply(reply);
    QVERIFY(reply->rawHeader("Set-Cookie").isEmpty());
    reply->deleteLater();

    // A made-up id is not a session and gets a fresh cookie.
    QByteArray forged = cookie;
    forged[20] = forged[20] == 'a' ? 'b' : 'a';
    Browser forger{m_service->port(), forged};
    QCOMPARE(forger.request("GET", "/server/?r=www/default/pc&do=getUpdateInfo&_s=pc", QByteArray()), 200);
    QVERIFY(forger.cookie.startsWith("pelorin_sid=") && forger.cookie.left(76) != forged.left(76));
}

void ServiceProtocolTest::signedEndpointsRefuseWrongSignatures()
{
    const QStringList parameters = Endpoints::login(u("alice@pelorin.test"), u("alice+pw%41 一")).parameters;
    QCOMPARE(testClient().call(Post, parameters, false).msg(), u("请求签名错误！"));

    // A signature over other parameters, in another case, with a parameter added after signing, empty.
    Browser raw{m_service->port(), {}};
    const QString joined = parameters.join(QLatin1Char('&'));
    const QString sign = RequestSigner::sign(parameters);
    for (const QString &tampered : {joined + u("&sign=") + RequestSigner::sign(Endpoints::login(u("alice@pelorin.test"), u("other")).parameters),
                                    joined + u("&sign=") + sign.toUpper(), joined + u("&extra=1&sign=") + sign,
                                    joined + u("&sign=")})
        QVERIFY2(raw.message("POST", "/server/", tampered.toUtf8()) == u("请求签名错误！"), qPrintable(tampered));
    // Signed as the player signs it, the sign may stand anywhere.
    QByteArray body;
    raw.request("POST", "/server/", (parameters[0] + u("&sign=") + sign + u("&") + parameters.mid(1).join(QLatin1Char('&'))).toUtf8(), &body);
    QCOMPARE(QJsonDocument::fromJson(body).object().value(u("statu")).toInt(), 1);
}

void ServiceProtocolTest::logInBindsTheSessionOfTheFirstCookie()
{
    QCOMPARE(testClient().call(Endpoints::collectionList()).msg(), u("请先登录！"));
    const ServiceReply alice = logIn(u("alice@pelorin.test"), u("alice+pw%41 一"));
    QVERIFY2(alice.succeeded(), qPrintable(alice.failureText()));
    QCOMPARE(QDateTime::fromSecsSinceEpoch(alice.data().toMap().value(u("viptime")).toLongLong()).date(), QDate(2031, 5, 17));
    QVERIFY(testClient().call(Endpoints::collectionList()).succeeded());
    // Another cookie is another session: not logged in.
    ServiceClient other;
    QCOMPARE(other.call(Endpoints::collectionList()).statu(), -1);

    // "isvip issvip", as a log-in on the other session reports it.
    const auto standing = [&](const QString &user, const QString &password) {
        const ServiceReply reply = other.call(Endpoints::login(user, password));
        return reply.succeeded() ? u("%1 %2").arg(reply.data().toMap().value(u("isvip")).toInt())
                                       .arg(reply.data().toMap().value(u("issvip")).toString())
                                 : reply.failureText();
    };
    QCOMPARE(standing(u("bob@pelorin.test"), u("bob-password")), u("1 true"));
    QCOMPARE(standing(u("carol@pelorin.test"), u("carol-password")), u("0 false"));
    // VIP changes made by the administrator show at the next log-in; an expired date is no VIP.
    QCOMPARE(m_service->run({u("user"), u("set"), u("carol@pelorin.test"), u("--vip")}), 0);
    QCOMPARE(standing(u("carol@pelorin.test"), u("carol-password")), u("1 false"));
    QCOMPARE(m_service->run({u("user"), u("set"), u("carol@pelorin.test"), u("--vip-until"), u("2001-01-01")}), 0);
    QCOMPARE(standing(u("carol@pelorin.test"), u("carol-password")), u("0 false"));
    QCOMPARE(m_service->run({u("user"), u("add"), u("carol@pelorin.test"), u("another-password")}), 1);

    // Wrong password and unknown account look the same; a failed log-in does not end the one before.
    QCOMPARE(logIn(u("alice@pelorin.test"), u("alice+pw%41 二")).msg(), u("账号或密码错误！"));
    QCOMPARE(logIn(u("nobody@pelorin.test"), u("whatever1")).msg(), u("账号或密码错误！"));
    QVERIFY(testClient().call(Endpoints::collectionList()).succeeded());
}

void ServiceProtocolTest::signUpWithCaptcha()
{
    QVERIFY(fetchCaptcha().startsWith("\x89PNG\r\n\x1a\n"));
    const QString password = u("注册 pass+%");
    const auto signUp = [&](const QString &code, const QString &email, ServiceClient &client = testClient()) {
        return client.call(Endpoints::signUp(code, email, password, password, "abc"));
    };
    QCOMPARE(signUp(u("AAAA"), u("new+user@pelorin.test")).statu(), -5);
    // The captcha is used up by the failed attempt.
    QCOMPARE(signUp(u(kTestCaptcha), u("new+user@pelorin.test")).statu(), -5);
    // A mistake that needs no captcha does not use it up; the captcha is compared ignoring case.
    fetchCaptcha();
    QCOMPARE(signUp(u(kTestCaptcha), u("not-an-email")).msg(), u("邮箱格式不正确！"));
    const ServiceReply reply = signUp(u(kTestCaptcha).toLower(), u("new+user@pelorin.test"));
    QVERIFY2(reply.succeeded(), qPrintable(reply.failureText()));
    m_passwordsUsed << password;
    // One account per e-mail, whatever its case.
    fetchCaptcha();
    QCOMPARE(signUp(u(kTestCaptcha), u("NEW+User@pelorin.test")).msg(), u("该邮箱已被注册！"));
    // A captcha belongs to the session that fetched it.
    ServiceClient other;
    QVERIFY(!fetchCaptcha(other).isEmpty());
    QCOMPARE(signUp(u(kTestCaptcha), u("third@pelorin.test")).statu(), -5);
    QVERIFY(signUp(u(kTestCaptcha), u("third@pelorin.test"), other).succeeded());
}

void ServiceProtocolTest::collectionsBelongToOneAccount()
{
    const auto entries = [](ServiceClient &session = testClient()) {
        return session.call(Endpoints::collectionList()).map().value(u("datas")).toList();
    };
    QVERIFY(logIn(u("alice@pelorin.test"), u("alice+pw%41 一")).succeeded());
    const QString injection = u("x'); DROP TABLE users;--");
    QVERIFY(testClient().call(Endpoints::collectionAdd(injection, hashOf('a'), 0)).succeeded());
    // "&" splits the parameter as the player sends it: the name ends before it.
    QVERIFY(testClient().call(Endpoints::collectionAdd(u("中文 +%41&"), hashOf('B'), 0)).succeeded());
    QCOMPARE(testClient().call(Endpoints::collectionAdd(QString(), hashOf('d'), 0)).msg(), u("名称不能为空！"));
    QCOMPARE(testClient().call(Endpoints::collectionAdd(u("bad"), u("short"), 0)).statu(), 0);
    const QVariantList mine = entries();
    QCOMPARE(mine.size(), 2);
    QCOMPARE(mine[0].toMap().value(u("name")).toString(), u("中文 +%41"));
    QCOMPARE(mine[1].toMap().value(u("name")).toString(), injection);
    // Pages of one: the total comes with every page, and with a page past the end.
    for (int page = 1; page <= 3; ++page) {
        ServiceRequest list = Endpoints::collectionList();
        list.parameters.replaceInStrings(u("persize=100"), u("persize=1"));
        list.parameters.replaceInStrings(u("page=1"), u("page=%1").arg(page));
        const ServiceReply reply = testClient().call(list);
        QCOMPARE(reply.datas().size(), page <= 2 ? 1 : 0);
        QCOMPARE(reply.data().toMap().value(u("total")).toInt(), 2);
    }

    // Another account on another session sees and deletes none of it.
    ServiceClient bob;
    QVERIFY(bob.call(Endpoints::login(u("bob@pelorin.test"), u("bob-password"))).succeeded());
    QCOMPARE(entries(bob).size(), 0);
    QCOMPARE(bob.call(Endpoints::collectionDelete(mine[1].toMap().value(u("id")).toUInt())).msg(), u("该收藏不存在！"));
    QVERIFY(bob.call(Endpoints::collectionAdd(u("bob's"), hashOf('a'), 0)).succeeded());
    QCOMPARE(entries().size(), 2);
    // The same session switching accounts switches collections.
    QVERIFY(testClient().call(Endpoints::logout()).succeeded());
    QVERIFY(logIn(u("bob@pelorin.test"), u("bob-password")).succeeded());
    QCOMPARE(entries().value(0).toMap().value(u("name")).toString(), u("bob's"));
}

void ServiceProtocolTest::playPositionsFollowTheAccount()
{
    // Signed as the player sends them; the player's own builders are not needed here.
    const auto set = [](const QString &hash, int index, qint64 position, qint64 time) {
        return ServiceRequest{Post,
                              {u("r=www/default/pc"), u("do=playpos"), u("method=set"), u("hash=") + hash,
                               u("index=%1").arg(index), u("position=%1").arg(position), u("duration=600000"),
                               u("time=%1").arg(time), u("_s=pc")},
                              true};
    };
    const ServiceRequest list{Get, {u("r=www/default/pc"), u("do=playpos"), u("_s=pc")}, true};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    testClient().call(Endpoints::logout());
    QCOMPARE(testClient().call(list).statu(), -1);
    QCOMPARE(testClient().call(set(hashOf('a'), 0, 1000, now)).msg(), u("请先登录！"));

    QVERIFY(logIn(u("dave@pelorin.test"), u("dave-password")).succeeded());
    QVERIFY(testClient().call(set(hashOf('A'), 2, 61000, now - 100)).succeeded());
    // A queued write made before it changes nothing; a clock far ahead counts as the service's now.
    QVERIFY(testClient().call(set(hashOf('a'), 2, 5000, now - 200)).succeeded());
    QVERIFY(testClient().call(set(hashOf('b'), 0, 0, now + 86400)).succeeded());
    QCOMPARE(testClient().call(set(u("short"), 0, 1, now)).msg(), u("请求参数错误！"));
    QCOMPARE(testClient().call(set(hashOf('c'), -1, 1, now)).statu(), 0);
    ServiceRequest unsignedList = list;
    unsignedList.isSigned = false;
    QVERIFY(testClient().call(unsignedList).statu() != 1);

    const QVariantList entries = testClient().call(list).datas();
    QCOMPARE(entries.size(), 2);
    const QVariantMap newest = entries[0].toMap();
    QCOMPARE(newest.value(u("hash")).toString(), hashOf('b').toLower());
    QCOMPARE(newest.value(u("position")).toLongLong(), 0);
    QVERIFY(newest.value(u("time")).toLongLong() <= QDateTime::currentSecsSinceEpoch() + 60);
    const QVariantMap kept = entries[1].toMap();
    QCOMPARE(kept.value(u("hash")).toString(), hashOf('a'));
    QCOMPARE(kept.value(u("index")).toInt(), 2);
    QCOMPARE(kept.value(u("position")).toLongLong(), 61000);
    QCOMPARE(kept.value(u("duration")).toLongLong(), 600000);
    QCOMPARE(kept.value(u("time")).toLongLong(), now - 100);

    ServiceClient other;
    QVERIFY(other.call(Endpoints::login(u("erin@pelorin.test"), u("erin-password"))).succeeded());
    QVERIFY(other.call(list).succeeded());
    QCOMPARE(other.call(list).datas().size(), 0);
    // The next case starts where the collections left the player's session.
    QVERIFY(logIn(u("bob@pelorin.test"), u("bob-password")).succeeded());
}

void ServiceProtocolTest::passwordChangeAndRetrieval()
{
    auto change = [](const QString &old, const QString &fresh) {
        return testClient().call(Endpoints::changePassword(old, fresh, fresh));
    };
    ServiceClient elsewhere;
    QVERIFY(elsewhere.call(Endpoints::login(u("bob@pelorin.test"), u("bob-password"))).succeeded());
    QCOMPARE(change(u("wrong-old"), u("new+pass%20中")).msg(), u("原密码错误！"));
    QCOMPARE(change(u("bob-password"), u("short")).statu(), 0);
    QVERIFY(change(u("bob-password"), u("new+pass%20中")).succeeded());
    m_passwordsUsed << u("new+pass%20中");
    // Every session of the account is logged out.
    QCOMPARE(testClient().call(Endpoints::collectionList()).statu(), -1);
    QCOMPARE(elsewhere.call(Endpoints::collectionList()).statu(), -1);
    QCOMPARE(logIn(u("bob@pelorin.test"), u("bob-password")).statu(), 0);

    auto retrieve = [](const QString &email) {
        return testClient().call(Endpoints::retrievePassword(email));
    };
    // Known and unknown addresses get the same answer; only a known one gets a mail, once a minute.
    const ServiceReply ghost = retrieve(u("ghost@pelorin.test"));
    QVERIFY(ghost.succeeded());
    QCOMPARE(retrieve(u("carol@pelorin.test")).msg(), ghost.msg());
    QCOMPARE(retrieve(u("carol@pelorin.test")).statu(), 0);
    const QDir outbox(m_service->dataDir() + u("/outbox"));
    const QStringList mails = outbox.entryList({u("*.eml")}, QDir::Files);
    QCOMPARE(mails.size(), 1);
    QFile mailFile(outbox.filePath(mails[0]));
    QVERIFY(mailFile.open(QIODevice::ReadOnly));
    QVERIFY(!(mailFile.permissions() & QFileDevice::ReadOther));
    const QString mail = QString::fromUtf8(mailFile.readAll());
    const QRegularExpressionMatch match = QRegularExpression(u("随机密码为：\\s+(\\S{10})\\s")).match(mail);
    QVERIFY2(match.hasMatch(), qPrintable(mail));
    // Until the mailed password is used the old one still works; then only the mailed one does.
    QVERIFY(logIn(u("carol@pelorin.test"), u("carol-password")).succeeded());
    QVERIFY(logIn(u("carol@pelorin.test"), match.captured(1)).succeeded());
    QCOMPARE(logIn(u("carol@pelorin.test"), u("carol-password")).statu(), 0);
    QVERIFY(testClient().call(Endpoints::logout()).succeeded());
}

void ServiceProtocolTest::formsNeedTheirPagesToken()
{
    // The account page's form posts like a browser: "+" is a blank, the rest %XX-encoded.
    Browser browser{m_service->port(), {}};
    QByteArray page;
    QCOMPARE(browser.request("GET", "/server/?r=www/user/login", QByteArray(), &page), 200);
    const QRegularExpressionMatch token =
        QRegularExpression(u("name=\"token\" value=\"([0-9a-f]+)\"")).match(QString::fromUtf8(page));
    QVERIFY(token.hasMatch());
    const QByteArray form = "r=www/user/login&do=weblogin&token=" + token.captured(1).toLatin1()
                            + "&f%5Busername%5D=alice%40pelorin.test&f%5Bpassword%5D="
                            + QUrl::toPercentEncoding(u("alice+pw%41")) + "+" + QUrl::toPercentEncoding(u("一"));
    QCOMPARE(browser.request("POST", "/server/", form), 303);
    // A form without the page's token is refused.
    QCOMPARE(browser.request("POST", "/server/", "r=www/user/login&do=weblogout&token=00", &page), 200);
    QVERIFY(page.contains(u("页面已过期").toUtf8()));
    QCOMPARE(browser.request("GET", "/server/?r=www/user/login", QByteArray(), &page), 200);
    QVERIFY2(page.contains("alice@pelorin.test"), page.constData());
}

void ServiceProtocolTest::staticFilesAndBrokenConfiguration()
{
    const QByteArray image = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'i');
    QVERIFY(writeFile(m_service->dataDir() + u("/static/notice 1.png"), image));
    Browser plain{m_service->port(), {}};
    QByteArray served;
    QCOMPARE(plain.request("GET", "/server/static/notice%201.png", QByteArray(), &served), 200);
    QCOMPARE(served, image);
    QCOMPARE(plain.request("GET", "/server/static/..%2Fservice.db", QByteArray()), 404);
    // A broken file is refused, not fatal.
    QVERIFY(writeFile(m_service->dataDir() + u("/config/announcements.json"), "[{\"title\": \"unfinished"));
    const ServiceReply broken = testClient().call(Endpoints::announcements());
    QCOMPARE(broken.statu(), 0);
    QCOMPARE(broken.msg(), u("配置项格式错误！"));
    QVERIFY(writeFile(m_service->dataDir() + u("/config/announcements.json"), "[]"));
}

void ServiceProtocolTest::releasePublishesThePackageWithItsDigest()
{
    // A second release of the same version replaces the first.
    const QString package = m_workingDir.path() + u("/packages/Pelorin 5.0.9.0.tar.gz");
    for (const QByteArray &content : {QByteArray(3 << 20, 'a'), QByteArray("the second build")}) {
        QVERIFY(writeFile(package, content));
        QCOMPARE(m_service->run({u("release"), package, u("5.0.9.0"), u("修复若干问题\n新增更新校验")}), 0);
        const UpdateInfo info = UpdateInfo::fromReply(testClient().call(Endpoints::updateInfo()));
        QCOMPARE(info.description, u("修复若干问题\n新增更新校验"));
        QCOMPARE(info.downloadUrl, u("http://%1/server/static/Pelorin 5.0.9.0.tar.gz").arg(m_service->hostPort()));
        QCOMPARE(info.sha256, QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        QCOMPARE(readFile(m_service->dataDir() + u("/static/Pelorin 5.0.9.0.tar.gz")), content);
    }

    // Refused without a change: a missing package, missing words.
    QCOMPARE(m_service->run({u("release"), m_workingDir.path() + u("/missing.tar.gz"), u("5.1"), u("x")}), 2);
    QCOMPARE(m_service->run({u("release"), package, u("5.1")}), 2);
    QCOMPARE(UpdateInfo::fromReply(testClient().call(Endpoints::updateInfo())).serverVersion, u("5.0.9.0"));
}

void ServiceProtocolTest::hostileParametersAreRefused()
{
    QCOMPARE(RawConnection::statusOf(RawConnection::exchange(m_service->port(), "GARBAGE\r\n\r\n")), 400);
    Browser raw{m_service->port(), {}};
    QCOMPARE(raw.message("GET", "/server/?r=www/default/pc&do=report&name=%FF%FE&desc=x", QByteArray()), u("请求方式错误！"));
    QCOMPARE(raw.message("POST", "/server/", "r=www/default/pc&do=report&method=add&name=\xff\xfe&desc=x"), u("请求参数编码错误！"));
    QCOMPARE(raw.message("GET", "/server/?r=www/default/pc&do=nothing&_s=pc", QByteArray()), u("未知的请求！"));
    QVERIFY(m_service->isRunning());
}

void ServiceProtocolTest::rateLimitsFailedLogInsAndKeepsSessionsAcrossRestarts()
{
    // Per account: five failures in a minute block even the right password.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(logIn(u("dave@pelorin.test"), u("wrong-%1").arg(i)).statu(), 0);
    const ServiceReply blocked = logIn(u("dave@pelorin.test"), u("dave-password"));
    QCOMPARE(blocked.statu(), -3);
    QVERIFY2(blocked.msg().startsWith(u("登录失败次数过多")), qPrintable(blocked.msg()));
    // Per address (12 a minute for this service): other accounts from here are blocked too.
    bool addressBlocked = false;
    for (int i = 0; i < 14 && !addressBlocked; ++i)
        addressBlocked = logIn(u("unknown%1@pelorin.test").arg(i), u("whatever")).statu() == -3;
    QVERIFY(addressBlocked);
    QCOMPARE(logIn(u("erin@pelorin.test"), u("erin-password")).statu(), -3);

    // The limits live in memory; log-ins live in the database and survive a restart, and the
    // cookie the player keeps stays valid.
    QVERIFY(restartService());
    QVERIFY(logIn(u("erin@pelorin.test"), u("erin-password")).succeeded());
    QVERIFY(restartService());
    QNetworkReply *reply = send(Endpoints::collectionList());
    ServiceClient::waitForReply(reply);
    QVERIFY(reply->rawHeader("Set-Cookie").isEmpty());
    QVERIFY(ServiceClient::decode(reply).succeeded());
    reply->deleteLater();
}

void ServiceProtocolTest::requestLogHoldsNoPasswordsAndNoForgedLines()
{
    // Line breaks and terminal controls in a target, to the service and to a video host, forge no line.
    const int before = m_service->log().size();
    const quint16 video = RawConnection::portOf(m_service->videoHosts().value(0));
    RawConnection::exchange(m_service->port(), RawConnection::get("/server/?r=x%0AGET%20forged%20statu=1&do=%1B%5B2J"));
    RawConnection::exchange(m_service->port(), RawConnection::get("/server%0Aforged/\x1b[31m"));
    RawConnection::exchange(video, "G\x1b]0;title\x07\nforged-host /ftn_handler/00 HTTP/1.1\r\nHost: x\r\n\r\n");
    RawConnection::exchange(video, "GET /\x1b[2J\nforged-line HTTP/1.1\r\n\r\n");
    QTRY_VERIFY(m_service->log().mid(before).count('\n') >= 4);

    // Routes are logged; the password of any request never is (requests so far: the whole test).
    const QRegularExpression loggedIn(u("^POST www/user/login:login statu=1 \\d+\\.\\d\\dms$"), QRegularExpression::MultilineOption);
    QVERIFY(loggedIn.match(QString::fromUtf8(m_service->log())).hasMatch());
    const QByteArray log = m_service->log();
    QVERIFY(!log.contains("f[password]"));
    for (const QString &password : qAsConst(m_passwordsUsed))
        QVERIFY2(!log.contains(password.toUtf8()), qPrintable(password));
    for (const QByteArray &line : log.split('\n')) {
        QVERIFY2(!line.startsWith("forged") && !line.startsWith("GET forged"), line.constData());
        for (const char c : line)
            QVERIFY2(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, line.toPercentEncoding().constData());
    }
    QVERIFY(log.mid(before).contains("\\x1b"));
}

QTEST_GUILESS_MAIN(ServiceProtocolTest)
#include "tst_ServiceProtocol.moc"
