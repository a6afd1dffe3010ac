// The kept positions and the account's: pending writes, the merge, and the exchange with a
// scripted service (its failures included).
#include "ScriptedHttpServer.h"
#include "TestFiles.h"

#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "player/PlayPositionStore.h"
#include "resources/AccountPositions.h"
#include "service/ServiceClient.h"

#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
const QString kOther = QStringLiteral("89abcdef0123456789abcdef0123456789abcdef");

PlayPositionStore::Entry remote(const QString &hash, quint32 index, int position, qint64 time)
{
    PlayPositionStore::Entry e;
    e.hash = hash;
    e.index = index;
    e.positionMs = position;
    e.durationMs = 3600000;
    e.time = time;
    return e;
}
} // namespace

class TestAccountPositions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pendingAndTimeSurviveTheFileAndOldFilesRead();
    void mergeTakesTheNewerWrite();
    void serviceExchangeWithFailures();

private:
    QTemporaryDir m_dir;
};

void TestAccountPositions::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestAccountPositions::pendingAndTimeSurviveTheFileAndOldFilesRead()
{
    // A file written before times were kept: its positions still resume, not pending.
    QVERIFY(writeFile(QStringLiteral("old.dat"), R"([{"resource_hash":"AB","resource_index":2,)"
                                                 R"("position_ms":60000,"duration_ms":3600000}])"));
    PlayPositionStore store(QStringLiteral("old.dat"));
    QVERIFY(store.load());
    QCOMPARE(store.resumePosition(QStringLiteral("ab"), 2), 60000);
    QVERIFY(store.pendingEntries().isEmpty());

    // Written while marking: pending with its time, also after a reload; a forgotten position
    // stays as a pending 0 that does not count as kept.
    store.setClock(1000);
    store.setMarkPending(true);
    store.record(QStringLiteral("AB"), 3, 70000, 3600000);
    store.forget(QStringLiteral("ab"), 2);
    QVERIFY(store.save());
    QVERIFY(store.load());
    QCOMPARE(store.size(), 1);
    QCOMPARE(store.resumePosition(QStringLiteral("ab"), 2), 0);
    const QList<PlayPositionStore::Entry> pending = store.pendingEntries();
    QCOMPARE(pending.size(), 2);
    QCOMPARE(pending[0].time, 1000);
    QVERIFY(readFile(QStringLiteral("old.dat")).contains("\"pending\": true"));

    // A reply about an older write leaves the newer one pending.
    store.setClock(1005);
    store.record(QStringLiteral("ab"), 3, 80000, 3600000);
    store.clearPending(QStringLiteral("ab"), 3, 1000);
    QCOMPARE(store.pendingEntries().size(), 2);
    store.clearPending(QStringLiteral("ab"), 3, 1005);
    store.clearPending(QStringLiteral("ab"), 2, 1000);
    QVERIFY(store.pendingEntries().isEmpty());
}

void TestAccountPositions::mergeTakesTheNewerWrite()
{
    PlayPositionStore store(QStringLiteral("merge.dat"));
    store.setClock(2000);
    store.record(kHash, 0, 60000, 3600000);
    store.record(kHash, 1, 60000, 3600000);
    // Older, equal and newer writes of the account.
    QVERIFY(!store.merge(remote(kHash, 0, 90000, 1999)));
    QVERIFY(!store.merge(remote(kHash, 0, 90000, 2000)));
    QVERIFY(store.merge(remote(kHash, 1, 120000, 2001)));
    QCOMPARE(store.resumePosition(kHash, 0), 60000);
    QCOMPARE(store.resumePosition(kHash, 1), 120000);
    // A file only the account knows; its 0 (finished elsewhere) overrides an older local position.
    QVERIFY(store.merge(remote(kOther, 4, 30000, 1500)));
    QCOMPARE(store.resumePosition(kOther, 4), 30000);
    QVERIFY(store.merge(remote(kHash, 0, 0, 2100)));
    QCOMPARE(store.resumePosition(kHash, 0), 0);
    // A local forget newer than the account's position holds against it.
    store.setClock(2200);
    store.forget(kHash, 1);
    QVERIFY(!store.merge(remote(kHash, 1, 120000, 2150)));
    QCOMPARE(store.resumePosition(kHash, 1), 0);
    // Newest first by time; nothing merged is pending.
    const QList<PlayPositionStore::Entry> kept = store.positions();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept[0].hash, kOther);
    QVERIFY(store.pendingEntries().isEmpty());
}

void TestAccountPositions::serviceExchangeWithFailures()
{
    ScriptedHttpServer server;
    QVERIFY(server.listen());
    AppConfig::setServiceHost(server.hostPort());
    ServiceClient client;
    AccountSession session(&client);
    PlayPositionStore store(QStringLiteral("account.dat"));
    AccountPositions account(&client, &session, &store);
    account.setRetryInterval(200);

    // Logged out: nothing goes to the service, nothing is pending.
    store.record(kHash, 0, 50000, 3600000);
    QVERIFY(store.save());
    QVERIFY(store.pendingEntries().isEmpty());

    const qint64 future = QDateTime::currentSecsSinceEpoch() + 1000;
    server.route("do=login", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":"1","issvip":true}})"));
    server.route("do=playpos", ScriptedResponse::json(QStringLiteral(
        R"({"statu":1,"datas":[{"hash":"%1","index":0,"position":600000,"duration":3600000,"time":%2},)"
        R"({"hash":"not a hash","index":1,"position":5,"time":1},)"
        R"({"hash":"%3","index":2,"position":70000,"duration":3600000,"time":%2}]})").arg(kHash).arg(future).arg(kOther).toUtf8()));
    server.route("method=set", ScriptedResponse::json(R"({"statu":1})"));
    QSignalSpy merged(&account, &AccountPositions::merged);
    QVERIFY(session.logIn(QStringLiteral("a@b.test"), QStringLiteral("pw"), false).succeeded());
    QVERIFY(merged.wait(5000));
    QCOMPARE(store.resumePosition(kHash, 0), 600000);
    QCOMPARE(store.resumePosition(kOther, 2), 70000);
    QCOMPARE(store.resumePosition(QStringLiteral("not a hash"), 1), 0);

    // A write goes up with its time once it is on disk.
    QSignalSpy allSent(&account, &AccountPositions::allSent);
    store.record(kOther, 2, 80000, 3600000);
    QVERIFY(store.save());
    QTRY_VERIFY(!server.requestsMatching("position=80000").isEmpty());
    const RecordedRequest set = server.requestsMatching("position=80000").first();
    QCOMPARE(set.method, QByteArray("POST"));
    for (const QByteArray &p : {QByteArray("hash=") + kOther.toLatin1(), QByteArray("index=2"),
                                QByteArray("duration=3600000"), QByteArray("method=set")})
        QVERIFY2(set.parameters().contains(p), set.body.constData());
    QTRY_VERIFY(store.pendingEntries().isEmpty());

    // The service unreachable: the write stays pending, on disk too, until it answers again.
    server.route("method=set", ScriptedResponse::drop());
    store.forget(kOther, 2);
    QVERIFY(store.save());
    QTRY_VERIFY(server.requestsMatching("position=0").size() >= 2); // tried again
    QCOMPARE(store.pendingEntries().size(), 1);
    QVERIFY(readFile(QStringLiteral("account.dat")).contains("\"pending\": true"));
    allSent.clear();
    server.route("method=set", ScriptedResponse::json(R"({"statu":1})"));
    QTRY_VERIFY(store.pendingEntries().isEmpty());
    QTRY_VERIFY(!allSent.isEmpty());
    QVERIFY(!readFile(QStringLiteral("account.dat")).contains("\"pending\": true"));

    // A refusal that would repeat (bad parameters) is not tried again.
    server.route("method=set", ScriptedResponse::json(R"({"statu":0,"msg":"请求参数错误！"})"));
    store.record(kOther, 3, 90000, 3600000);
    QVERIFY(store.save());
    QTRY_VERIFY(store.pendingEntries().isEmpty());
}

QTEST_GUILESS_MAIN(TestAccountPositions)
#include "tst_accountpositions.moc"
