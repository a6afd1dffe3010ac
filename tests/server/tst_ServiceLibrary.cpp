// The player's own ServiceClient and plain HTTP against a started pelorin-service with demo
// content, for what the end-to-end tests cannot reach: refused hashes and tokens, the VIP rules,
// the video hosts' cookie, range boundaries and refused codes, and damaged library payloads.
#include "ServiceProcess.h"
#include "TestFiles.h"

#include "app/AppConfig.h"
#include "server/access/AccessTokens.h"
#include "TestClient.h"
#include "resources/AddressResolution.h"
#include "resources/BTResourceFile.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const char kFirstClip[] = "01 彩色 测试图 与 音调.mp4";

ServiceReply logIn(const QString &user, const QString &password)
{
    testClient().call(Endpoints::logout());
    return testClient().call(Endpoints::login(user, password));
}

ServiceReply fileList(const QString &hash)
{
    return testClient().call(Endpoints::fileList(hash));
}

// The two resolution steps as the player sends them; stepOf fills the file from the first.
ServiceReply lixian(const QString &hash, quint32 index, const QString &name)
{
    BTResourceFile file;
    file.resourceHash = hash;
    file.resourceIndex = index;
    file.fileName = name;
    return testClient().call(Endpoints::fileHash(file, localMacAddress()));
}

BTResourceFile stepOf(const ServiceReply &reply)
{
    BTResourceFile file;
    AddressResolution::applyFileHash(&file, reply);
    return file;
}

// Lines by the parse page's index: 0 main, 1 dianxin, 2 yidong, 3 wangtong, 4 liantong.
ServiceReply gethttp(const BTResourceFile &file, int line = 0, bool reload = false)
{
    return testClient().call(Endpoints::fileInfo(file, line, reload, localMacAddress()));
}

QString codeOf(const ServiceReply &reply)
{
    return reply.data().toMap().value(u("code")).toString();
}

// A refusal the player can show: an envelope that is not a success, with a reason.
bool refused(const ServiceReply &reply)
{
    return reply.isEnvelope() && reply.statu() != 1 && !reply.msg().isEmpty();
}

const auto fetch = [](const QString &address, const QByteArray &cookie = QByteArray(),
                      const QByteArray &range = QByteArray(), const QByteArray &verb = "GET") {
    return ServiceProcess::fetch(address, cookie, range, verb);
};
using Fetched = ServiceProcess::HostReply;

QStringList magnetHashes(const QByteArray &output)
{
    QStringList hashes;
    QRegularExpressionMatchIterator links =
        QRegularExpression(QStringLiteral("^magnet:\\?xt=urn:btih:([0-9a-f]{40})&dn=\\S+$"),
                           QRegularExpression::MultilineOption)
            .globalMatch(QString::fromUtf8(output));
    while (links.hasNext())
        hashes << links.next().captured(1);
    return hashes;
}
} // namespace

class ServiceLibraryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void resolutionStepsFollowThePlayersOrder();
    void vipRulesOfBothSteps();
    void playAddressNeedsItsCookieAndServesExactRanges();
    void subtitleFilesAreListedWithTheirVideos();
    void forgedExpiredAndForeignCodesAreRefused();
    void codesOfAChangedAccountStopWorking();
    void libraryAddChecksThePayload();

private:
    QString payloadPath(const QString &relative) const;
    // Logs in (as the permanent VIP unless told) and resolves the first clip on `line`; fills the
    // code and cookie.
    void resolveFirstClip(QString *code, QByteArray *cookie, const QString &account = u("demo@pelorin.test"),
                          const QString &password = u("demo1234"), int line = 0);

    QTemporaryDir m_workingDir;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_collection; // info-hash of the demo collection
    QString m_vipOnly;    // of the VIP-only resource
    QString m_series;     // of the demo series, which carries subtitle files
};

QString ServiceLibraryTest::payloadPath(const QString &relative) const
{
    return m_service->dataDir() + u("/demo/payload/") + relative;
}

void ServiceLibraryTest::initTestCase()
{
    QVERIFY(m_workingDir.isValid());
    QVERIFY(QDir::setCurrent(m_workingDir.path()));
    m_service = std::make_unique<ServiceProcess>(m_workingDir.path() + u("/service-data"));
    QDir().mkpath(m_service->dataDir());
    QByteArray output;
    QCOMPARE(m_service->run({u("demo"), u("--clip-seconds"), u("2")}, &output), 0);
    const QStringList hashes = magnetHashes(output);
    QVERIFY2(hashes.size() == 4, output.constData()); // the collection and the VIP file first
    m_collection = hashes[0];
    m_vipOnly = hashes[1];
    m_series = hashes[2];
    QCOMPARE(m_service->run({u("user"), u("add"), u("vip@pelorin.test"), u("vip-password"), u("--vip")}, &output), 0);
    // Hosts read a code's account again after a second here (30 s by default).
    QVERIFY(m_service->start({u("--quiet"), u("--code-check-seconds"), u("1")}));
    AppConfig::setServiceHost(m_service->hostPort());
}

void ServiceLibraryTest::cleanupTestCase()
{
    m_service.reset();
}

void ServiceLibraryTest::resolutionStepsFollowThePlayersOrder()
{
    // The player keeps the hash as typed; unknown and malformed ones are refused.
    QCOMPARE(fileList(m_collection.toUpper()).datas(), fileList(m_collection).datas());
    QVERIFY(refused(fileList(QString(40, QLatin1Char('a')))));
    QVERIFY(refused(fileList(u("not-a-hash"))));
    testClient().call(Endpoints::logout());
    QVERIFY(refused(lixian(m_collection, 0, u(kFirstClip))));
    QVERIFY(logIn(u("demo@pelorin.test"), u("demo1234")).succeeded());
    const ServiceReply reply = lixian(m_collection.toUpper(), 0, u(kFirstClip));
    QVERIFY2(reply.succeeded(), qPrintable(reply.msg()));
    const BTResourceFile step = stepOf(reply);
    QCOMPARE(qint64(step.size), QFileInfo(payloadPath(u("Pelorin 演示合集/") + u(kFirstClip))).size());
    // The text file and files beyond the list are not videos of the resource.
    QVERIFY(lixian(m_collection, 2, u("说明.txt")).statu() != 1);
    QVERIFY(lixian(m_collection, 7, u("x.mp4")).statu() != 1);
    // Without reload the same code comes back, so a player asking twice keeps its address.
    const QString code = codeOf(gethttp(step));
    QVERIFY(!code.isEmpty());
    QCOMPARE(codeOf(gethttp(step)), code);

    // The token binds the file's hash, index and size.
    BTResourceFile changed = step;
    changed.size += 1;
    QVERIFY(refused(gethttp(changed)));
    changed = step;
    changed.fileIndex = 1;
    QVERIFY(refused(gethttp(changed)));
    changed = step;
    changed.jxhash[20] = changed.jxhash[20] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QVERIFY(refused(gethttp(changed)));
}

void ServiceLibraryTest::vipRulesOfBothSteps()
{
    QVERIFY(logIn(u("demo@pelorin.test"), u("demo1234")).succeeded());
    const BTResourceFile vipStep = stepOf(lixian(m_vipOnly, 0, u("Pelorin VIP 演示.mp4")));
    QVERIFY(!vipStep.jxhash.isEmpty());
    const BTResourceFile step = stepOf(lixian(m_collection, 0, u(kFirstClip)));
    // The permanent VIP: reload=1 issues a fresh code each time.
    const QString reloaded = codeOf(gethttp(step, 2, true));
    QVERIFY(!reloaded.isEmpty());
    QVERIFY(reloaded != codeOf(gethttp(step, 2, true)));

    // (A VIP-only resource refused to an account without VIP: the end-to-end resources test.)
    QVERIFY(logIn(u("free@pelorin.test"), u("free1234")).succeeded());
    // A token fetched by a VIP does not help the next account of the session.
    QCOMPARE(gethttp(vipStep).statu(), -11);
    QVERIFY(gethttp(step).succeeded());
    QVERIFY(refused(gethttp(step, 1)));
    QVERIFY(gethttp(step, 4, true).statu() != 1);
    // A VIP that is not permanent has the VIP lines but no reload.
    QVERIFY(logIn(u("vip@pelorin.test"), u("vip-password")).succeeded());
    QVERIFY(gethttp(step, 3).succeeded());
    QVERIFY(refused(gethttp(step, 3, true)));
    testClient().call(Endpoints::logout());
    QVERIFY(gethttp(step).statu() != 1);
}

void ServiceLibraryTest::resolveFirstClip(QString *code, QByteArray *cookie, const QString &account,
                                          const QString &password, int line)
{
    QVERIFY(logIn(account, password).succeeded());
    const QVariantMap info = gethttp(stepOf(lixian(m_collection, 0, u(kFirstClip))), line).data().toMap();
    *code = info.value(u("code")).toString();
    *cookie = info.value(u("com_cookie")).toString().toUtf8();
    QVERIFY(!code->isEmpty());
}

void ServiceLibraryTest::playAddressNeedsItsCookieAndServesExactRanges()
{
    QString code;
    QByteArray cookie;
    resolveFirstClip(&code, &cookie);
    const QByteArray clip = readFile(payloadPath(u("Pelorin 演示合集/") + u(kFirstClip)));
    QVERIFY(clip.size() > 100000);
    for (const QString &host : m_service->videoHosts()) {
        QCOMPARE(fetch(AddressResolution::playAddress(host, code)).status, 403);
        QCOMPARE(fetch(AddressResolution::playAddress(host, code), "pelorin_ftn=00112233445566778899aabbccddeeff").status, 403);
        // Among other cookies, as an engine may send it.
        QCOMPARE(fetch(AddressResolution::playAddress(host, code), "a=b; " + cookie + "; c=d", "bytes=0-9").status, 206);
        const Fetched head = fetch(AddressResolution::playAddress(host, code), cookie, QByteArray(), "HEAD");
        QCOMPARE(head.status, 200);
        QCOMPARE(head.contentLength, QByteArray::number(clip.size()));
        QVERIFY(head.body.isEmpty());
    }

    // Ranges are byte exact at their boundaries.
    const qint64 size = clip.size();
    const QString address = AddressResolution::playAddress(m_service->videoHosts().constFirst(), code);
    struct Case {
        QByteArray range;
        qint64 first;
        qint64 length;
    };
    const Case cases[] = {
        {"bytes=0-1024", 0, 1025},
        {"bytes=" + QByteArray::number(size - 1) + "-" + QByteArray::number(size - 1), size - 1, 1},
        {"bytes=" + QByteArray::number(size - 300) + "-", size - 300, 300},
        {"bytes=-500", size - 500, 500},
        {"bytes=" + QByteArray::number(size - 10) + "-" + QByteArray::number(size + 1000), size - 10, 10},
        {"bytes=-" + QByteArray::number(size + 5), 0, size},
    };
    for (const Case &range : cases) {
        const Fetched part = fetch(address, cookie, range.range);
        QCOMPARE(part.status, 206);
        QCOMPARE(part.contentRange,
                 "bytes " + QByteArray::number(range.first) + "-" + QByteArray::number(range.first + range.length - 1)
                     + "/" + QByteArray::number(size));
        QVERIFY2(part.body == clip.mid(int(range.first), int(range.length)), range.range.constData());
    }
    const Fetched beyond = fetch(address, cookie, "bytes=" + QByteArray::number(size) + "-");
    QCOMPARE(beyond.status, 416);
    QCOMPARE(beyond.contentRange, "bytes */" + QByteArray::number(size));
    QCOMPARE(fetch(address, cookie, "bytes=-0").status, 416);
    QCOMPARE(fetch(address, cookie, "bytes=9-2").status, 416);
    // (Several ranges get the whole file once: the attacks test.)
}

void ServiceLibraryTest::subtitleFilesAreListedWithTheirVideos()
{
    // Each video lists the subtitle files matched to it; one without any has no such field.
    QMap<QString, QVariantList> subtitlesOf;
    QStringList bare;
    for (const QVariant &item : fileList(m_series).datas()) {
        const QVariantMap entry = item.toMap();
        const QString name = entry.value(u("name")).toString().section(QLatin1Char('/'), -1);
        if (entry.contains(u("subtitles")))
            subtitlesOf.insert(name, entry.value(u("subtitles")).toList());
        else
            bare.append(name);
    }
    QCOMPARE(bare, QStringList{u("演示剧 第10集.mp4")});
    const QVariantList first = subtitlesOf.value(u("演示剧 第1集.mp4"));
    const QVariantList second = subtitlesOf.value(u("演示剧 第2集.mp4"));
    QCOMPARE(first.size(), 2);
    QCOMPARE(second.size(), 1);
    const QVariantMap chinese = first[0].toMap();
    QCOMPARE(chinese.value(u("name")).toString(), u("演示剧 第1集.chs.srt"));
    QCOMPARE(chinese.value(u("lang")).toString(), u("chs"));
    QCOMPARE(first[1].toMap().value(u("lang")).toString(), u("eng"));
    QCOMPARE(second[0].toMap().value(u("name")).toString(), u("Subs/演示剧 第2集.ass"));
    QCOMPARE(second[0].toMap().value(u("lang")).toString(), QString());
    const QByteArray bytes = readFile(payloadPath(u("Pelorin 演示剧集/") + chinese.value(u("name")).toString()));
    QCOMPARE(chinese.value(u("file_size")).toLongLong(), qint64(bytes.size()));
    QVERIFY(QTextCodec::codecForName("GB18030")->toUnicode(bytes).contains(u("中文字幕测试")));
    QVERIFY(!bytes.contains(u("中文字幕测试").toUtf8()));
    // (Served through both steps and a video host as a video is: the player's subtitle test.)
}

void ServiceLibraryTest::forgedExpiredAndForeignCodesAreRefused()
{
    QString code;
    QByteArray cookie;
    resolveFirstClip(&code, &cookie);
    const QString host = m_service->videoHosts().constLast();
    QString forged = code;
    forged[10] = forged[10] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(fetch(AddressResolution::playAddress(host, forged), cookie).status, 403);
    QCOMPARE(fetch(AddressResolution::playAddress(host, code.left(code.size() - 2)), cookie).status, 403);

    // Codes made with the service's own key: one expired, one for a file that is not there.
    const QString secretPath = m_service->dataDir() + u("/secret.key");
    QCOMPARE(QFile(secretPath).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    const server::AccessTokens tokens(readFile(secretPath).toStdString());
    server::AccessTokens::Grant grant;
    QCOMPARE(tokens.checkCode(code.toStdString(), QDateTime::currentSecsSinceEpoch(), &grant),
             server::AccessTokens::Check::Valid);
    // Each with its own cookie.
    const auto statusWith = [&](const server::AccessTokens &key, const std::string &issued) {
        return fetch(AddressResolution::playAddress(host, QString::fromStdString(issued)), QByteArray::fromStdString(key.cookieFor(issued))).status;
    };
    server::AccessTokens::Grant expired = grant;
    expired.expires = QDateTime::currentSecsSinceEpoch() - 1;
    const std::string expiredCode = tokens.issueCode(expired);
    QCOMPARE(statusWith(tokens, expiredCode), 403);
    server::AccessTokens::Grant missing = grant;
    missing.fileId = 999999;
    QCOMPARE(statusWith(tokens, tokens.issueCode(missing)), 404);
    // Another installation's key; the cookie of one code does not open another.
    const server::AccessTokens foreign(std::string(32, 'k'));
    QCOMPARE(statusWith(foreign, foreign.issueCode(grant)), 403);
    QCOMPARE(fetch(AddressResolution::playAddress(host, QString::fromStdString(expiredCode)), cookie).status, 403);

    // Nothing but library files, and only by code.
    for (const char *path : {"/service.db", "/secret.key", "/ftn_handler/../service.db", "/ftn_handler/%2E%2E%2Fservice.db"}) {
        const Fetched refused = fetch(QStringLiteral("http://%1%2").arg(host, QLatin1String(path)));
        QVERIFY2(refused.status == 404 || refused.status == 403, path);
    }
    QCOMPARE(fetch(AddressResolution::playAddress(host, code), cookie, QByteArray(), "DELETE").status, 405);
}

void ServiceLibraryTest::codesOfAChangedAccountStopWorking()
{
    const QString host = m_service->videoHosts().constFirst();
    const QString account = u("revoked@pelorin.test");
    QCOMPARE(m_service->run({u("user"), u("add"), account, u("first-password"), u("--vip")}), 0);
    // A working code for a VIP line; its status at the host.
    QString code;
    QByteArray cookie;
    const auto status = [&] { return fetch(AddressResolution::playAddress(host, code), cookie, "bytes=0-0").status; };
    const auto issue = [&](const QString &password) {
        resolveFirstClip(&code, &cookie, account, password, 1);
        // Hosts look at a refused account again only after a second.
        QTRY_COMPARE_WITH_TIMEOUT(status(), 206, 10000);
    };

    // Losing VIP ends it (the change is made by another process on the same data directory).
    issue(u("first-password"));
    QCOMPARE(m_service->run({u("user"), u("set"), account, u("--no-vip")}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(status(), 403, 20000);
    // A password changed through the service ends it at once.
    QCOMPARE(m_service->run({u("user"), u("set"), account, u("--vip")}), 0);
    issue(u("first-password"));
    QVERIFY(testClient().call(Endpoints::changePassword(u("first-password"), u("second-password"), u("second-password"))).succeeded());
    QCOMPARE(status(), 403);
    // So does removing the account.
    issue(u("second-password"));
    QCOMPARE(m_service->run({u("user"), u("remove"), account}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(status(), 403, 20000);
    testClient().call(Endpoints::logout());
}

void ServiceLibraryTest::libraryAddChecksThePayload()
{
    const QString root = m_workingDir.path() + u("/payload");
    const QString folder = root + u("/My Show");
    const QByteArray episode = patterned(700000);
    QVERIFY(writeFile(folder + u("/第1集.mkv"), episode));
    const QString torrent = m_workingDir.path() + u("/my show.torrent");
    QByteArray output;
    QCOMPARE(m_service->run({u("torrent"), u("create"), folder, torrent, u("--piece-length"), u("65536")}, &output), 0);
    // Payload given as the folder that holds the torrent's folder.
    QVERIFY2(m_service->run({u("library"), u("add"), torrent, root}, &output) == 0, output.constData());

    // A changed byte, a changed length, files that are not there.
    QByteArray damaged = episode;
    damaged[300000] = char(damaged[300000] ^ 1);
    QVERIFY(writeFile(folder + u("/第1集.mkv"), damaged));
    QCOMPARE(m_service->run({u("library"), u("add"), torrent, root}, &output), 1);
    QVERIFY2(output.contains("piece 4"), output.constData());
    QVERIFY(writeFile(folder + u("/第1集.mkv"), episode.left(1000)));
    QCOMPARE(m_service->run({u("library"), u("add"), torrent, root}, &output), 1);
    QCOMPARE(m_service->run({u("library"), u("add"), torrent, m_workingDir.path() + u("/elsewhere")}, &output), 1);
}

QTEST_GUILESS_MAIN(ServiceLibraryTest)
#include "tst_ServiceLibrary.moc"
