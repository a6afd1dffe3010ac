#include "TestClient.h"
#include "app/AppConfig.h"
#include "service/ServiceClient.h"
#include "service/protocol/RequestSigner.h"

#include "ScriptedHttpServer.h"

#include <QTcpServer>
#include <QtTest>

namespace {
QByteArray md5Hex(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

const QByteArray kSalt = "7c1d0e5a9b3f48e2a6d4c0b1e9f2a3d5";
} // namespace

// The functions run in declaration order and share the process-wide cookie and User-Agent,
// which is what the first ones check.
class TestServiceClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void headersCookieAndUserAgentAcrossRequests();
    void signedOverTheSortedParametersAndTheNameEncodedAfter();
    void outcomes();

private:
    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

void TestServiceClient::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
}

void TestServiceClient::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    AppConfig::setServiceHost(m_server.hostPort());
}

void TestServiceClient::headersCookieAndUserAgentAcrossRequests()
{
    m_server.route("do=first", ScriptedResponse::json(R"({"statu":1})"));
    m_server.route(
        "do=second",
        ScriptedResponse::json(R"({"statu":1})").withHeader("Set-Cookie", "sid=abc; path=/server/; HttpOnly"));
    m_server.route("do=third", ScriptedResponse::json(R"({"statu":1})").withHeader("Set-Cookie", "sid=other"));

    QVERIFY(testClient().call(Get, {QStringLiteral("do=first")}, false).succeeded());
    QVERIFY(testClient().cookie().isEmpty()); // no Set-Cookie yet: the next request captures again
    QVERIFY(testClient().call(Get, {QStringLiteral("do=second")}, false).succeeded());
    QCOMPARE(testClient().cookie(), QByteArray("sid=abc; path=/server/; HttpOnly"));
    QVERIFY(testClient().call(Post, {QStringLiteral("do=third")}, false).succeeded());
    QCOMPARE(testClient().cookie(), QByteArray("sid=abc; path=/server/; HttpOnly")); // kept for the run

    const QList<RecordedRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 3);
    const QByteArray userAgent = "SN " + localMacAddress().toUtf8() + "/x64/Pelorin 5.0.8";

    // The first request carries no User-Agent of ours: Qt's own default goes out.
    QCOMPARE(requests[0].header("User-Agent"), QByteArray("Mozilla/5.0"));
    QVERIFY(!requests[1].hasHeader("Cookie"));
    QCOMPARE(requests[2].header("User-Agent"), userAgent);
    // Sent back byte for byte, attributes included (Qt's cookie jar would have rewritten it).
    QCOMPARE(requests[2].header("Cookie"), QByteArray("sid=abc; path=/server/; HttpOnly"));
}

void TestServiceClient::signedOverTheSortedParametersAndTheNameEncodedAfter()
{
    m_server.route("", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":1}})"));
    const QStringList parameters = {QStringLiteral("r=www/user/login"), QStringLiteral("do=login"),
                                    QStringLiteral("f[username]=U"), QStringLiteral("f[password]=P"),
                                    QStringLiteral("_s=pc")};
    QCOMPARE(testClient().call(Post, parameters, true).data().toMap().value(QStringLiteral("isvip")).toInt(), 1);

    const QByteArray sign = md5Hex("_s=pc&do=login&f[password]=P&f[username]=U&r=www/user/login&" + kSalt);
    const RecordedRequest request = m_server.requests().value(0);
    QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, "r=www/user/login&do=login&f[username]=U&f[password]=P&_s=pc&sign=" + sign);

    // Code-unit order: "_" (0x5F) sorts after upper case and before lower case.
    QCOMPARE(RequestSigner::signedText({QStringLiteral("a=1"), QStringLiteral("_s=pc"), QStringLiteral("Z=1")}),
             "Z=1&_s=pc&a=1&" + kSalt);

    m_server.clearRequests();
    // A typed hash may hold the letters "name"; only the name parameter is encoded.
    const QString hash = QStringLiteral("usernameABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    const QStringList lixian = {QStringLiteral("r=www/default/pc"),
                                QStringLiteral("cs0=lixian_qq"),
                                QStringLiteral("hash=") + hash,
                                QStringLiteral("index=3"),
                                QStringLiteral("name=影片 第1集.mp4"),
                                QStringLiteral("_mac=00:1A"),
                                QStringLiteral("_s=pc")};
    QVERIFY(testClient().call(Get, lixian, true).succeeded());
    QCOMPARE(m_server.requests().value(0).target,
             "/server/?r=www/default/pc&cs0=lixian_qq&hash=" + hash.toLatin1()
                 + "&index=3&name=%E5%BD%B1%E7%89%87%20%E7%AC%AC1%E9%9B%86.mp4&_mac=00:1A&_s=pc&sign="
                 + md5Hex(RequestSigner::signedText(lixian))); // signed over the raw name
}

void TestServiceClient::outcomes()
{
    using Outcome = ServiceReply::Outcome;
    const QString network = QStringLiteral("连接服务器失败！");
    const QString badData = QStringLiteral("服务器返回数据异常！");
    ScriptedResponse cut = ScriptedResponse::json(R"({"statu":1,"data":"long enough to be cut"})");
    cut.dropAfterBytes = 5;
    const QList<std::tuple<ScriptedResponse, Outcome, int, QString>> cases = {
        {ScriptedResponse::text("<html>oops</html>"), Outcome::BadData, 0, badData},
        {ScriptedResponse::json("{}"), Outcome::Envelope, 0, QString()},
        {ScriptedResponse::json(R"({"statu":-11,"msg":"需要VIP"})"), Outcome::Envelope, -11, QStringLiteral("需要VIP")},
        {ScriptedResponse::json(R"({"statu":1})", 500), Outcome::NetworkFailure, 0, network},
        {cut, Outcome::NetworkFailure, 0, network}};
    for (const auto &c : cases) {
        m_server.route("do=x", std::get<0>(c));
        const ServiceReply r = testClient().call(Get, {QStringLiteral("do=x")}, false);
        QCOMPARE(r.outcome(), std::get<1>(c));
        QVERIFY(!r.succeeded());
        QCOMPARE(r.statu(), std::get<2>(c));
        QCOMPARE(r.failureText(), std::get<3>(c));
    }

    // A service that accepts and never answers must not freeze the caller forever.
    m_server.route("do=x", ScriptedResponse::hang());
    const int saved = testClient().transferTimeout();
    testClient().setTransferTimeout(300);
    const ServiceReply hung = testClient().call(Get, {QStringLiteral("do=x")}, false);
    testClient().setTransferTimeout(saved);
    QCOMPARE(hung.outcome(), Outcome::NetworkFailure);

    // Nobody listening.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    AppConfig::setServiceHost(QStringLiteral("127.0.0.1:%1").arg(port));
    QCOMPARE(testClient().call(Post, {QStringLiteral("do=x")}, false).outcome(), Outcome::NetworkFailure);
}

QTEST_GUILESS_MAIN(TestServiceClient)
#include "tst_serviceclient.moc"
