// The player's own ServiceClient against a started pelorin-service: what the end-to-end tests
// cannot reach — sessions, signatures, accounts and their limits, captcha, foreign collections,
// reports, the web form's token, hostile requests and the request log.
#include "RawConnection.h"
#include "RawSession.h"
#include "ServiceProcess.h"

#include "app/AppConfig.h"
#include "service/protocol/RequestSigner.h"
#include "TestClient.h"
#include "service/ServiceClient.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const char kTestCaptcha[] = "K7MW";

QStringList logInParameters(const QString &user, const QString &password)
{
    return {u("r=www/user/login"), u("do=login"), u("f[username]=") + user,
            u("f[password]=") + password, u("_s=pc")};
}

ServiceReply logIn(const QString &user, const QString &password)
{
    return testClient().call(Post, logInParameters(user, password), true);
}

ServiceReply logOut()
{
    return testClient().call(Post, {u("r=www/user/logout"), u("do=logout"), u("_s=pc")}, false);
}

// A configuration item, or the update information for an empty name; signed as the player does.
QStringList configParameters(const QString &item = QString())
{
    if (item.isEmpty())
        return {u("r=www/default/pc"), u("do=getUpdateInfo"), u("_s=pc")};
    return {u("r=www/default/pc"), u("do=getConfig"), u("cfg=") + item, u("_s=pc")};
}

ServiceReply config(const QString &item = QString())
{
    return testClient().call(Get, configParameters(item), item == u("video_domain"));
}

QStringList listParameters()
{
    return {u("r=www/default/pc"), u("do=fav"), u("method=get"), u("persize=100"), u("page=1"), u("_s=pc")};
}

QStringList addParameters(const QString &name, const QString &hash, int index)
{
    return {u("r=www/default/pc"), u("do=fav"), u("method=add"), u("name=") + name,
            u("hash=") + hash, u("index=") + QString::number(index)};
}

QStringList deleteParameters(qint64 id)
{
    return {u("r=www/default/pc"), u("do=fav"), u("method=del"), u("id=") + QString::number(id), u("_s=pc")};
}

QStringList registerParameters(const QString &code, const QString &email, const QString &password,
                               const QString &repeated, const QString &unionUid)
{
    return {u("r=www/user/register"), u("do=register_new"), u("f[code]=") + code,
            u("f[username]=") + email, u("f[password]=") + password,
            u("f[repassword]=") + repeated, u("union_uid=") + unionUid, u("_s=pc")};
}

QByteArray fetchCaptcha(ServiceClient &client = testClient())
{
    QNetworkReply *reply = client.send(Get, {u("r=default/verfy"), u("_=1"), u("_s=pc")}, false);
    ServiceClient::waitForReply(reply);
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body;
}

QString hashOf(char c)
{
    return QString(40, QLatin1Char(c));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// Rows of a query on the service's database, opened read-only beside the running service.
QList<QStringList> queryDatabase(const QString &path, const char *sql)
{
    QList<QStringList> rows;
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            rows << QStringList();
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                rows.last() << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, c)));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}
} // namespace

class ServiceProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void firstReplySetsTheSessionCookie();
    void configurationItems();
    void signedEndpointsRefuseWrongSignatures();
    void logInBindsTheSessionOfTheFirstCookie();
    void passwordsRoundTrip();
    void signUpWithCaptcha();
    void collectionsBelongToOneAccount();
    void reportsAreStoredWithTheAccount();
    void passwordChangeAndRetrieval();
    void webPages();
    void survivesHostileRequests();
    void rateLimitsFailedLogInsAndKeepsSessionsAcrossRestarts();
    void requestLogNamesRoutesNeverPasswords();

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
    QVERIFY(testClient().cookie().isEmpty());
    QVERIFY(config(u("gonggao")).succeeded());
    const QByteArray cookie = testClient().cookie();
    QVERIFY2(cookie.startsWith("pelorin_sid="), cookie.constData());
    QVERIFY(cookie.contains("HttpOnly"));

    // The cookie comes back verbatim, attributes included, and is recognised: no new cookie.
    QNetworkReply *reply = testClient().send(Get, configParameters(u("gonggao")), false);
    ServiceClient::waitForReply(reply);
    QVERIFY(reply->rawHeader("Set-Cookie").isEmpty());
    reply->deleteLater();

    // A made-up id is not a session and gets a fresh cookie.
    QByteArray forged = cookie;
    forged[20] = forged[20] == 'a' ? 'b' : 'a';
    RawSession forger(m_service->hostPort());
    forger.setCookie(forged);
    QCOMPARE(forger.request("GET", u("/server/?r=www/default/pc&do=getUpdateInfo&_s=pc"), QByteArray(), nullptr), 200);
    QVERIFY(forger.cookie().startsWith("pelorin_sid="));
    QVERIFY(forger.cookie().left(76) != forged.left(76));
}

void ServiceProtocolTest::configurationItems()
{
    const QString configDir = m_service->dataDir() + u("/config/");
    const QByteArray image = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'i');
    QVERIFY(writeFile(m_service->dataDir() + u("/static/notice 1.png"), image));
    QVERIFY(writeFile(configDir + u("update.json"),
                      u("{\"version\":\"5.0.9.0\",\"desc\":\"修复若干问题\",\"path\":\"Pelorin Setup 5.0.9.exe\"}").toUtf8()));
    // The player percent-decodes the path, so a blank in the package name arrives as %20.
    QCOMPARE(config().data().toMap().value(u("path")).toString(),
             u("http://%1/server/static/Pelorin%20Setup%205.0.9.exe").arg(m_service->hostPort()));

    // Static files are served as they are, and nothing outside their folder.
    RawSession plain(m_service->hostPort());
    QByteArray served;
    QCOMPARE(plain.request("GET", u("/server/static/notice%201.png"), QByteArray(), &served), 200);
    QCOMPARE(served, image);
    QCOMPARE(plain.request("GET", u("/server/static/..%2Fservice.db"), QByteArray(), &served), 404);

    // A broken file is refused, not fatal.
    QVERIFY(writeFile(configDir + u("announcements.json"), "[{\"title\": \"unfinished"));
    const ServiceReply broken = config(u("gonggao"));
    QVERIFY(broken.isEnvelope());
    QCOMPARE(broken.statu(), 0);
    QCOMPARE(broken.msg(), u("配置项格式错误！"));
    QVERIFY(writeFile(configDir + u("announcements.json"), "[]"));
    QVERIFY(writeFile(configDir + u("update.json"), "{\"version\":\"5.0.8.0\",\"desc\":\"\",\"path\":\"\"}"));
}

void ServiceProtocolTest::signedEndpointsRefuseWrongSignatures()
{
    // Sent unsigned where the player signs.
    for (const QStringList &parameters : {logInParameters(u("alice@pelorin.test"), u("alice+pw%41 一")), configParameters(u("video_domain"))}) {
        const ServiceReply refused = testClient().call(parameters.contains(u("do=login")) ? Post : Get, parameters, false);
        QVERIFY(refused.isEnvelope());
        QVERIFY(refused.statu() != 1);
        QCOMPARE(refused.msg(), u("请求签名错误！"));
    }

    // A signature over other parameters, in another case, with a parameter added after signing, empty.
    RawSession raw(m_service->hostPort());
    const QStringList parameters = logInParameters(u("alice@pelorin.test"), u("alice+pw%41 一"));
    const QString joined = parameters.join(QLatin1Char('&'));
    const QString sign = RequestSigner::sign(parameters);
    for (const QString &tampered : {joined + u("&sign=") + RequestSigner::sign(logInParameters(u("alice@pelorin.test"), u("other"))),
                                    joined + u("&sign=") + sign.toUpper(), joined + u("&extra=1&sign=") + sign,
                                    joined + u("&sign=")}) {
        QByteArray body;
        raw.request("POST", u("/server/"), tampered.toUtf8(), &body);
        const QJsonObject answer = QJsonDocument::fromJson(body).object();
        QVERIFY2(answer.value(u("statu")).toInt() == -2, qPrintable(tampered));
        QCOMPARE(answer.value(u("msg")).toString(), u("请求签名错误！"));
    }
    // The same request, signed as the player signs it, is accepted; the sign may stand anywhere.
    ServiceClient signer;
    QVERIFY(signer.call(Post, parameters, true).succeeded());
    QByteArray body;
    raw.request("POST", u("/server/"), (parameters[0] + u("&sign=") + sign + u("&") + parameters.mid(1).join(QLatin1Char('&'))).toUtf8(), &body);
    QCOMPARE(QJsonDocument::fromJson(body).object().value(u("statu")).toInt(), 1);
}

void ServiceProtocolTest::logInBindsTheSessionOfTheFirstCookie()
{
    const ServiceReply notYet = testClient().call(Get, listParameters(), false);
    QCOMPARE(notYet.statu(), -1);
    QCOMPARE(notYet.msg(), u("请先登录！"));

    const ServiceReply alice = logIn(u("alice@pelorin.test"), u("alice+pw%41 一"));
    QVERIFY2(alice.succeeded(), qPrintable(alice.failureText()));
    QCOMPARE(QDateTime::fromSecsSinceEpoch(alice.data().toMap().value(u("viptime")).toLongLong()).date(), QDate(2031, 5, 17));
    QVERIFY(testClient().call(Get, listParameters(), false).succeeded());

    // Another cookie is another session: not logged in.
    ServiceClient other;
    QCOMPARE(other.call(Get, listParameters(), false).statu(), -1);

    // "isvip issvip", as a log-in on the other session reports it.
    const auto standing = [&](const QString &user, const QString &password) {
        const ServiceReply reply = other.call(Post, logInParameters(user, password), true);
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
    QVERIFY(testClient().call(Get, listParameters(), false).succeeded());
}

void ServiceProtocolTest::passwordsRoundTrip()
{
    const QStringList passwords = {u("a+b+c+d"), u("%41%42%43"), u("!#$()*,-./:;<>?@[]^_`{|}~\"'\\"),
                                   u("x'); DROP TABLE users;--")};
    for (int i = 0; i < passwords.size(); ++i) {
        const QString email = u("p%1+tag@pelorin.test").arg(i);
        addUser(email, passwords[i]);
        const ServiceReply reply = logIn(email, passwords[i]);
        QVERIFY2(reply.succeeded(), qPrintable(passwords[i] + u(": ") + reply.failureText()));
    }
    // "+" is not a blank and %XX in a POST value is not decoded.
    QCOMPARE(logIn(u("p0+tag@pelorin.test"), u("a b c d")).statu(), 0);
    QCOMPARE(logIn(u("p1+tag@pelorin.test"), u("ABCABC")).statu(), 0);
    QVERIFY(logOut().succeeded());
}

void ServiceProtocolTest::signUpWithCaptcha()
{
    QVERIFY(fetchCaptcha().startsWith("\x89PNG\r\n\x1a\n"));
    const QString email = u("new+user@pelorin.test");
    const QString password = u("注册 pass+%");
    const auto signUp = [&](const QString &code, const QString &address, ServiceClient &client = testClient()) {
        return client.call(Post, registerParameters(code, address, password, password, u("abc")), true);
    };
    QCOMPARE(signUp(u("AAAA"), email).statu(), -5);
    // The captcha is used up by the failed attempt.
    QCOMPARE(signUp(u(kTestCaptcha), email).statu(), -5);

    // A mistake that needs no captcha does not use it up; the captcha is compared ignoring case.
    fetchCaptcha();
    QCOMPARE(signUp(u(kTestCaptcha), u("not-an-email")).msg(), u("邮箱格式不正确！"));
    const ServiceReply reply = signUp(u(kTestCaptcha).toLower(), email);
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
    // The names in the collection of a session, newest first.
    const auto names = [](ServiceClient &session = testClient()) {
        QStringList values;
        for (const QVariant &entry : session.call(Get, listParameters(), false).map().value(u("datas")).toList())
            values << entry.toMap().value(u("name")).toString();
        return values;
    };
    QVERIFY(logIn(u("alice@pelorin.test"), u("alice+pw%41 一")).succeeded());
    const QString injection = u("x'); DROP TABLE users;--");
    QVERIFY(testClient().call(Post, addParameters(injection, hashOf('a'), 0), false).succeeded());
    // "&" splits the parameter as the player sends it: the name ends before it.
    QVERIFY(testClient().call(Post, addParameters(u("中文 名字 +%41&"), hashOf('B'), 3), false).succeeded());
    QCOMPARE(testClient().call(Post, addParameters(QString(), hashOf('d'), 1), false).msg(), u("名称不能为空！"));
    QCOMPARE(testClient().call(Post, addParameters(u("bad"), u("short"), 1), false).statu(), 0);
    const QVariantList entries = testClient().call(Get, listParameters(), false).map().value(u("datas")).toList();
    QCOMPARE(names(), QStringList({u("中文 名字 +%41"), injection}));
    const qint64 injectionId = entries[1].toMap().value(u("id")).toLongLong();

    // Another account on another session sees and deletes none of it.
    ServiceClient bob;
    QVERIFY(bob.call(Post, logInParameters(u("bob@pelorin.test"), u("bob-password")), true).succeeded());
    QCOMPARE(names(bob).size(), 0);
    const ServiceReply refused = bob.call(Post, deleteParameters(injectionId), false);
    QCOMPARE(refused.statu(), 0);
    QCOMPARE(refused.msg(), u("该收藏不存在！"));
    QVERIFY(bob.call(Post, addParameters(u("bob's"), hashOf('a'), 0), false).succeeded());
    QCOMPARE(names().size(), 2);

    // The same session switching accounts switches collections.
    QVERIFY(logOut().succeeded());
    QVERIFY(logIn(u("bob@pelorin.test"), u("bob-password")).succeeded());
    QCOMPARE(names(), QStringList({u("bob's")}));
}

void ServiceProtocolTest::reportsAreStoredWithTheAccount()
{
    const auto report = [](const QString &name, const QString &category) {
        return QStringList{u("r=www/default/pc"), u("do=report"), u("method=add"), u("name=") + name, u("desc=") + category, u("_s=pc")};
    };
    // Logged in as bob since the previous test. The player does not wait for this reply.
    QNetworkReply *sent = testClient().send(Post, report(hashOf('e'), u("反动")), false);
    ServiceClient::waitForReply(sent);
    sent->deleteLater();
    ServiceClient anonymous;
    QVERIFY(anonymous.call(Post, report(u("x'); DROP TABLE reports;--"), u("血腥")), false).succeeded());
    const QList<QStringList> rows = queryDatabase(
        m_service->dataDir() + u("/service.db"),
        "SELECT COALESCE(u.email, 'NULL'), r.name, r.category, r.address FROM reports r "
        "LEFT JOIN users u ON u.id = r.user_id ORDER BY r.id");
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0], QStringList({u("bob@pelorin.test"), hashOf('e'), u("反动"), u("127.0.0.1")}));
    QCOMPARE(rows[1], QStringList({u("NULL"), u("x'); DROP TABLE reports;--"), u("血腥"), u("127.0.0.1")}));
}

void ServiceProtocolTest::passwordChangeAndRetrieval()
{
    auto change = [](const QString &old, const QString &fresh) {
        return testClient().call(Post, {u("r=www/user/pwd"), u("do=pwd"), u("f[password]=") + old,
                                          u("f[newpassword]=") + fresh, u("f[repassword]=") + fresh, u("_s=pc")},
                                   false);
    };
    ServiceClient elsewhere;
    QVERIFY(elsewhere.call(Post, logInParameters(u("bob@pelorin.test"), u("bob-password")), true).succeeded());

    QCOMPARE(change(u("wrong-old"), u("new+pass%20中")).msg(), u("原密码错误！"));
    QCOMPARE(change(u("bob-password"), u("short")).statu(), 0);
    QVERIFY(change(u("bob-password"), u("new+pass%20中")).succeeded());
    m_passwordsUsed << u("new+pass%20中");
    // Every session of the account is logged out.
    QCOMPARE(testClient().call(Get, listParameters(), false).statu(), -1);
    QCOMPARE(elsewhere.call(Get, listParameters(), false).statu(), -1);
    QCOMPARE(logIn(u("bob@pelorin.test"), u("bob-password")).statu(), 0);
    QVERIFY(logIn(u("bob@pelorin.test"), u("new+pass%20中")).succeeded());

    auto retrieve = [](const QString &email) {
        return testClient().call(Post, {u("r=www/user/forgetpwd"), u("do=forgetpwd"), u("f[username]=") + email, u("_s=pc")}, false);
    };
    // Known and unknown addresses get the same answer; only a known one gets a mail.
    const ServiceReply ghost = retrieve(u("ghost@pelorin.test"));
    const ServiceReply carol = retrieve(u("carol@pelorin.test"));
    QVERIFY(ghost.succeeded() && carol.succeeded());
    QCOMPARE(ghost.msg(), carol.msg());
    QCOMPARE(retrieve(u("carol@pelorin.test")).statu(), 0); // once a minute
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
    QVERIFY(logOut().succeeded());
}

void ServiceProtocolTest::webPages()
{
    RawSession browser(m_service->hostPort());
    QByteArray page;
    QCOMPARE(browser.request("GET", u("/server/?r=www/default/page&p=nothing"), QByteArray(), &page), 404);

    // The account page's form posts like a browser: "+" is a blank, the rest %XX-encoded.
    QCOMPARE(browser.request("GET", u("/server/?r=www/user/login"), QByteArray(), &page), 200);
    const QRegularExpressionMatch token =
        QRegularExpression(u("name=\"token\" value=\"([0-9a-f]+)\"")).match(QString::fromUtf8(page));
    QVERIFY(token.hasMatch());
    const QByteArray form = "r=www/user/login&do=weblogin&token=" + token.captured(1).toLatin1()
                            + "&f%5Busername%5D=alice%40pelorin.test&f%5Bpassword%5D="
                            + QUrl::toPercentEncoding(u("alice+pw%41")) + "+" + QUrl::toPercentEncoding(u("一"));
    QCOMPARE(browser.request("POST", u("/server/"), form, &page), 303);
    QCOMPARE(browser.request("GET", u("/server/?r=www/user/login"), QByteArray(), &page), 200);
    QVERIFY2(page.contains("alice@pelorin.test"), page.constData());
    // A form without the page's token is refused.
    QCOMPARE(browser.request("POST", u("/server/"), "r=www/user/login&do=weblogout&token=00", &page), 200);
    QVERIFY(page.contains(u("页面已过期").toUtf8()));
    QCOMPARE(browser.request("GET", u("/server/?r=www/user/login"), QByteArray(), &page), 200);
    QVERIFY(page.contains("alice@pelorin.test"));
}

void ServiceProtocolTest::survivesHostileRequests()
{
    const quint16 port = m_service->port();
    QCOMPARE(RawConnection::statusOf(RawConnection::exchange(port, "GARBAGE\r\n\r\n")), 400);
    QCOMPARE(RawConnection::statusOf(RawConnection::exchange(port, "GET /server/?r=www HTTP/9.9 extra\r\n\r\n")), 400);
    // Clients that go away mid-request.
    for (const QByteArray &cut : {QByteArray("GET /server/?r=www HTTP/1.1\r\nHost: 127.0.0.1\r\n"),
                                  QByteArray("POST /server/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\nr=www/user/login&do=lo"),
                                  RawConnection::get("/server/?r=default/verfy&_=1&_s=pc")}) {
        RawConnection connection;
        QVERIFY(connection.open(port) && connection.send(cut));
    }

    RawSession raw(m_service->hostPort());
    QByteArray body;
    raw.request("GET", u("/server/?r=www/default/pc&do=report&name=%FF%FE&desc=x"), QByteArray(), &body);
    QCOMPARE(QJsonDocument::fromJson(body).object().value(u("msg")).toString(), u("请求方式错误！"));
    raw.request("POST", u("/server/"), "r=www/default/pc&do=report&method=add&name=\xff\xfe&desc=x", &body);
    QCOMPARE(QJsonDocument::fromJson(body).object().value(u("msg")).toString(), u("请求参数编码错误！"));
    const ServiceReply unknown = testClient().call(Get, {u("r=www/default/pc"), u("do=nothing"), u("_s=pc")}, false);
    QCOMPARE(unknown.statu(), 0);
    QCOMPARE(unknown.msg(), u("未知的请求！"));

    QVERIFY(m_service->isRunning());
    QVERIFY(config(u("gonggao")).succeeded());
}

void ServiceProtocolTest::rateLimitsFailedLogInsAndKeepsSessionsAcrossRestarts()
{
    // Per account: five failures in a minute block even the right password.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(logIn(u("dave@pelorin.test"), u("wrong-%1").arg(i)).statu(), 0);
    ServiceReply blocked = logIn(u("dave@pelorin.test"), u("dave-password"));
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
    QVERIFY(testClient().call(Post, addParameters(u("erin's"), hashOf('f'), 2), false).succeeded());
    QVERIFY(restartService());
    QNetworkReply *reply = testClient().send(Get, listParameters(), false);
    ServiceClient::waitForReply(reply);
    QVERIFY(reply->rawHeader("Set-Cookie").isEmpty());
    const ServiceReply list = ServiceClient::decode(reply);
    reply->deleteLater();
    QVERIFY(list.succeeded());
    QCOMPARE(list.map().value(u("datas")).toList().value(0).toMap().value(u("name")).toString(), u("erin's"));
}

void ServiceProtocolTest::requestLogNamesRoutesNeverPasswords()
{
    // A route made up to forge log lines stays on one line.
    RawSession raw(m_service->hostPort());
    QByteArray body;
    raw.request("GET", u("/server/?r=x%0AGET%20forged:line%20statu=1%200.01ms&_s=pc"), QByteArray(), &body);
    QTRY_VERIFY(m_service->log().contains("GET (unknown) statu=0 "));
    const QByteArray log = m_service->log();
    QVERIFY(!log.contains("\nGET forged:line"));
    QVERIFY(QRegularExpression(u("^POST www/user/login:login statu=1 \\d+\\.\\d\\dms$"), QRegularExpression::MultilineOption)
                .match(QString::fromUtf8(log)).hasMatch());
    QVERIFY(!log.contains("f[password]"));
    for (const QString &password : qAsConst(m_passwordsUsed))
        QVERIFY2(!log.contains(password.toUtf8()), qPrintable(password));
}

QTEST_GUILESS_MAIN(ServiceProtocolTest)
#include "tst_ServiceProtocol.moc"
