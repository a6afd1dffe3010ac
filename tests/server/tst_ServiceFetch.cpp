// A service with --fetch against peers on 127.0.0.1 that the test starts: resources it has never
// seen become file lists, play while they arrive (subtitle files too), survive a restart (or are
// fetched ahead with library fetch), are refused for hostile names, give way to the quota, and a
// vanished peer ends in an error instead of a hung request.
#include "LocalSwarm.h"
#include "TestFiles.h"
#include "ServiceProcess.h"

#include "app/AppConfig.h"
#include "resources/AddressResolution.h"
#include "resources/BTResourceFile.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A channel of its own for each service started: a channel keeps the session cookie of its first
// answer for life.
std::unique_ptr<ServiceClient> client;

const char kBeingFetched[] = "该资源正在获取中，请稍后再试！";

ServiceReply fileList(const QString &hash)
{
    return client->call(Endpoints::fileList(hash));
}

void logInAsVip()
{
    client->call(Endpoints::logout());
    QVERIFY(client->call(Endpoints::login(u("vip@pelorin.test"), u("vip-password"))).succeeded());
}

// Both resolution steps for a file (by default file 0); the play address on the first host and
// its cookie.
bool resolve(const ServiceProcess &service, const QString &hash, QString *address, QByteArray *cookie,
             quint32 index = 0, const QString &name = u("clip.mp4"))
{
    BTResourceFile file;
    file.resourceHash = hash;
    file.resourceIndex = index;
    file.fileName = name;
    const bool resolved = ServiceProcess::resolve(*client, &file);
    *address = AddressResolution::playAddress(service.videoHosts().constFirst(), file.code);
    *cookie = file.comCookie.toUtf8();
    return resolved;
}

QStringList fetchArguments(const QStringList &peers, int pieceWaitSeconds = 3)
{
    QStringList arguments{u("--fetch"),           u("--no-dht"), u("--fetch-listen"),        u("127.0.0.1:0"),
                          u("--fetch-list-wait"), u("3"),        u("--fetch-piece-wait"), QString::number(pieceWaitSeconds)};
    for (const QString &peer : peers)
        arguments << u("--fetch-peer") << peer;
    return arguments;
}
} // namespace

class ServiceFetchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void unknownResourcesListAndPlayWhileArriving();
    void restartContinuesAFetch();
    void quotaGivesUpTheLeastRecentlyPlayed();

private:
    // Starts the service with these arguments and points the player's channel at it.
    bool startService(const QStringList &arguments);

    QTemporaryDir m_dir;
    std::unique_ptr<LocalSwarm> m_swarm;
    std::unique_ptr<ServiceProcess> m_service;
    int m_round = 0;
};

void ServiceFetchTest::initTestCase()
{
    if (!LocalSwarm::available())
        QSKIP("python3-libtorrent is not installed (tools/deps installs it)");
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void ServiceFetchTest::init()
{
    // Every case has peers and a service of its own; the previous ones are stopped here at the
    // latest (and by the destructors when the test ends).
    m_service.reset();
    m_swarm.reset();
    client = std::make_unique<ServiceClient>();
    ++m_round;
    m_swarm = std::make_unique<LocalSwarm>(m_dir.path() + QStringLiteral("/swarm%1").arg(m_round));
    m_service = std::make_unique<ServiceProcess>(m_dir.path() + QStringLiteral("/data%1").arg(m_round));
    QCOMPARE(m_service->run({u("user"), u("add"), u("vip@pelorin.test"), u("vip-password"), u("--vip")}), 0);
}

bool ServiceFetchTest::startService(const QStringList &arguments)
{
    if (!m_service->start(arguments))
        return false;
    AppConfig::setServiceHost(m_service->hostPort());
    return true;
}

void ServiceFetchTest::cleanupTestCase()
{
    m_service.reset();
    m_swarm.reset();
    client.reset();
}

void ServiceFetchTest::unknownResourcesListAndPlayWhileArriving()
{
    const QByteArray slowClip = patterned(6 << 20);
    const QString slow = m_swarm->addResource(u("slow"), slowClip);
    const QString hostile = m_swarm->addHostileResource(u("hostile"));
    // The only peer of "half" holds the first half of its clip, so it never completes; its
    // subtitle file sorts first and lies in that half.
    QByteArray subtitle;
    for (int n = 1; subtitle.size() < 30000; ++n)
        subtitle += QByteArray::number(n) + "\n00:00:00,000 --> 00:00:05,000\nline " + QByteArray::number(n) + "\n\n";
    for (const QString &copy : {u("/payload/half/"), u("/half/half/")})
        QVERIFY(writeFile(m_dir.path() + QStringLiteral("/swarm%1").arg(m_round) + copy + u("clip.chs.srt"), subtitle));
    const QByteArray halfClip = patterned(4 << 20);
    const QString half = m_swarm->addResource(u("half"), halfClip);
    QVERIFY(!slow.isEmpty() && !hostile.isEmpty() && !half.isEmpty());
    const int seeder = m_swarm->seed({u("slow"), u("hostile")}, 1500 * 1000);
    const int halfSeeder = m_swarm->seed({u("half")}, 0, true);
    QVERIFY(seeder >= 0 && halfSeeder >= 0);
    QVERIFY(startService(fetchArguments({m_swarm->address(seeder), m_swarm->address(halfSeeder)})));

    // An unknown hash becomes the video files of its resource (at once or at a later request).
    QTRY_VERIFY_WITH_TIMEOUT(fileList(slow).succeeded(), 30000);
    const QVariantList datas = fileList(slow).datas();
    QCOMPARE(datas.size(), 1);
    QCOMPARE(datas[0].toMap().value(u("name")).toString(), u("clip.mp4"));
    QCOMPARE(datas[0].toMap().value(u("file_size")).toLongLong(), qint64(slowClip.size()));

    // Nobody has this one: after the wait the player is told to come back.
    QCOMPARE(fileList(QStringLiteral("0123456789abcdef0123456789abcdef01234567")).msg(), u(kBeingFetched));

    // A range in the middle of the file, long before the fetch gets there, has the right bytes.
    logInAsVip();
    QString address;
    QByteArray cookie;
    QVERIFY(resolve(*m_service, slow, &address, &cookie));
    const auto middle = ServiceProcess::fetch(address, cookie, "bytes=4000000-4299999");
    QCOMPARE(middle.status, 206);
    QVERIFY(middle.body == slowClip.mid(4000000, 300000));

    // Hostile names: refused, and nothing of it stays on disk.
    QTRY_VERIFY_WITH_TIMEOUT(fileList(hostile).msg() != u(kBeingFetched), 30000);
    QVERIFY(!fileList(hostile).succeeded());
    QTRY_VERIFY(!QFileInfo::exists(m_service->dataDir() + u("/fetch/") + hostile));
    QVERIFY(!QFileInfo::exists(m_service->dataDir() + u("/fetch/hostile.mp4")));

    // The subtitle file of the resource still arriving is listed with its video and served whole
    // and in ranges.
    QTRY_VERIFY_WITH_TIMEOUT(fileList(half).succeeded(), 30000);
    const QVariantList halfDatas = fileList(half).datas();
    QCOMPARE(halfDatas.size(), 1);
    const QVariantList subtitles = halfDatas[0].toMap().value(u("subtitles")).toList();
    QCOMPARE(subtitles.size(), 1);
    const QVariantMap entry = subtitles[0].toMap();
    QCOMPARE(entry.value(u("name")).toString(), u("clip.chs.srt"));
    QCOMPARE(entry.value(u("lang")).toString(), u("chs"));
    QCOMPARE(entry.value(u("file_size")).toLongLong(), qint64(subtitle.size()));
    QVERIFY(resolve(*m_service, half, &address, &cookie, entry.value(u("index")).toUInt(), u("clip.chs.srt")));
    const ServiceProcess::HostReply whole = ServiceProcess::fetch(address, cookie);
    QCOMPARE(whole.status, 200);
    QVERIFY(whole.complete);
    QVERIFY(whole.body == subtitle);
    QVERIFY(ServiceProcess::fetch(address, cookie, "bytes=100-199").body == subtitle.mid(100, 100));

    // Once the address step has answered, the first bytes are there for the player's short probe,
    // even when the only peer goes away; the part it never had ends in errors, not a hang.
    QVERIFY(resolve(*m_service, half, &address, &cookie, halfDatas[0].toMap().value(u("index")).toUInt()));
    m_swarm->stop(halfSeeder);
    const auto probe = ServiceProcess::fetch(address, cookie);
    QCOMPARE(probe.status, 200);
    QVERIFY(!probe.complete);
    QVERIFY(probe.body.size() > 1024 && probe.body.size() < halfClip.size());
    QVERIFY(halfClip.startsWith(probe.body));
    QCOMPARE(ServiceProcess::fetch(address, cookie, "bytes=" + QByteArray::number(halfClip.size() - 100) + "-").status, 504);
    QVERIFY(m_service->log().contains("did not arrive in time"));
}

void ServiceFetchTest::restartContinuesAFetch()
{
    const QByteArray clip = patterned(4 << 20);
    const QString hash = m_swarm->addResource(u("resumed"), clip);
    const QString ahead = m_swarm->addResource(u("ahead"), patterned(1 << 20));
    const int seeder = m_swarm->seed({u("resumed"), u("ahead")});
    // The first run only ever sees a slow peer that goes away, so the fetch cannot end before the
    // restart however loaded the machine is; the first piece may queue behind seconds of others.
    const int slowSeeder = m_swarm->seed({u("resumed")}, 250 * 1000);
    QVERIFY(seeder >= 0 && slowSeeder >= 0);
    // Fetched ahead of time, it is in the library when the service starts.
    QByteArray printed;
    QCOMPARE(m_service->run({u("library"), u("fetch"), m_swarm->torrentPath(u("ahead")), u("--no-dht"),
                             u("--fetch-listen"), u("127.0.0.1:0"), u("--fetch-peer"), m_swarm->address(seeder)},
                            &printed),
             0);
    QVERIFY2(printed.contains(ahead.toLatin1() + "  ahead"), printed.constData());
    QVERIFY(startService(fetchArguments({m_swarm->address(slowSeeder)}, 20)));
    QVERIFY(fileList(ahead).succeeded());
    QTRY_VERIFY_WITH_TIMEOUT(fileList(hash).succeeded(), 30000);
    logInAsVip();
    QString address;
    QByteArray cookie;
    QVERIFY2(resolve(*m_service, hash, &address, &cookie), m_service->log().right(3000).constData());

    m_swarm->stop(slowSeeder);
    m_service->stop();
    QVERIFY(QFileInfo::exists(m_service->dataDir() + u("/fetch/.resume/") + hash + u(".resume")));
    QVERIFY(!m_service->log().contains("fetch: " + hash.toLatin1() + " complete"));
    const int before = m_service->log().size();
    QVERIFY(startService(fetchArguments({m_swarm->address(seeder)})));
    // It goes on from the pieces it had.
    const QRegularExpression had(u("fetch: ") + hash + u(" has (\\d+) of"));
    QTRY_VERIFY_WITH_TIMEOUT(had.match(QString::fromUtf8(m_service->log().mid(before))).hasMatch(), 30000);
    QVERIFY(had.match(QString::fromUtf8(m_service->log().mid(before))).captured(1).toInt() > 0);
    QTRY_VERIFY2_WITH_TIMEOUT(m_service->log().mid(before).contains("fetch: " + hash.toLatin1() + " complete"),
                              m_service->log().right(3000).constData(), 30000);
    QVERIFY(fileList(hash).succeeded());
    QVERIFY(readFile(m_service->dataDir() + u("/fetch/") + hash + u("/resumed/clip.mp4")) == clip);
    QVERIFY(!QFileInfo::exists(m_service->dataDir() + u("/fetch/.resume/") + hash + u(".resume")));
}

void ServiceFetchTest::quotaGivesUpTheLeastRecentlyPlayed()
{
    QStringList hashes;
    for (const QString &name : {u("first"), u("second"), u("third")})
        hashes << m_swarm->addResource(name, patterned(3 << 20));
    const int seeder = m_swarm->seed({u("first"), u("second"), u("third")});
    QVERIFY(seeder >= 0);
    // Hand-added resources do not count against the quota and are never given up.
    QVERIFY(!m_service->addClip(m_dir.path() + u("/hand%1").arg(m_round), patterned(5 << 20)).isEmpty());
    QVERIFY(startService(fetchArguments({m_swarm->address(seeder)}) << u("--fetch-quota") << u("7M")
                                                                     << u("--fetch-vip-only")));

    client->call(Endpoints::logout());
    QVERIFY(fileList(hashes[0]).msg().contains(u("VIP")));
    logInAsVip();
    for (int i = 0; i < 2; ++i) {
        QTRY_VERIFY2_WITH_TIMEOUT(fileList(hashes[i]).succeeded(), m_service->log().right(3000).constData(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(m_service->log().contains("fetch: " + hashes[i].toLatin1() + " complete"), 30000);
    }
    QString address;
    QByteArray cookie;
    QVERIFY2(resolve(*m_service, hashes[0], &address, &cookie), m_service->log().right(3000).constData());
    QTRY_VERIFY_WITH_TIMEOUT(fileList(hashes[2]).succeeded(), 30000);
    QVERIFY(m_service->log().contains("fetch: evicted " + hashes[1].toLatin1()));
    QByteArray listed;
    QCOMPARE(m_service->run({u("library"), u("list")}, &listed), 0);
    QVERIFY(listed.contains(hashes[0].toLatin1()) && listed.contains(hashes[2].toLatin1()));
    QVERIFY(!listed.contains(hashes[1].toLatin1()));
    QVERIFY(listed.contains("hand" + QByteArray::number(m_round)));
    QTRY_VERIFY(!QFileInfo::exists(m_service->dataDir() + u("/fetch/") + hashes[1]));
    QCOMPARE(ServiceProcess::fetch(address, cookie, "bytes=0-9").status, 206);
}

QTEST_GUILESS_MAIN(ServiceFetchTest)
#include "tst_ServiceFetch.moc"
