// The stores on both back ends (SQLite in a temporary folder, PostgreSQL in a cluster the test
// starts): what several instances on one database must agree on, and what a broken connection does.
#include "PostgresCluster.h"

#include "server/access/AccessTokens.h"
#include "server/store/AccountStore.h"
#include "server/store/ConfigItems.h"
#include "server/store/DataDirectory.h"
#include "server/store/FetchJobs.h"
#include "server/store/LibraryStore.h"
#include "server/store/PlayPositions.h"
#include "server/store/SessionStore.h"
#include "server/store/SharedKeys.h"
#include "server/store/SqlRateLimiter.h"
#include "server/store/postgres/PostgresDatabase.h"
#include "server/store/sqlite/SqliteDatabase.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sodium.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

using namespace server;

namespace {
// Runs run(0) ... run(count - 1) at once, each on a thread of its own, and waits for them all.
void together(int count, const std::function<void(int)> &run)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(run, i);
    for (auto &thread : threads)
        thread.join();
}
} // namespace

class StoreBackendsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void accountsAndSessions_data() { backends(); }
    void accountsAndSessions();
    void libraryKeepsFileIds_data() { backends(); }
    void libraryKeepsFileIds();
    void fetchJobHasOneHolderAndFencesLateWrites_data() { backends(); }
    void fetchJobHasOneHolderAndFencesLateWrites();
    void rateLimitIsOneAcrossInstances_data() { backends(); }
    void rateLimitIsOneAcrossInstances();
    void playPositionsKeepTheNewest_data() { backends(); }
    void playPositionsKeepTheNewest();
    void keyRingRotates_data() { backends(); }
    void keyRingRotates();
    void configItemsShared();
    void instancesStartingTogetherMigrateOnce();
    void brokenConnectionIsRetriedOrDiscarded();

private:
    void backends();
    // Two handles on one new database, as two instances would have.
    bool twoInstances(std::unique_ptr<Database> *first, std::unique_ptr<Database> *second);
    bool needPostgres();

    QTemporaryDir m_dir;
    PostgresCluster m_cluster;
    QString m_clusterProblem;
    int m_databases = 0;
};

void StoreBackendsTest::initTestCase()
{
    QVERIFY(sodium_init() >= 0);
    if (!m_cluster.start(&m_clusterProblem))
        qWarning("PostgreSQL cases skipped: %s", qPrintable(m_clusterProblem));
}

void StoreBackendsTest::cleanupTestCase()
{
    m_cluster.stop();
}

void StoreBackendsTest::backends()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

bool StoreBackendsTest::needPostgres()
{
    if (m_cluster.isRunning())
        return true;
    // Only where the server binaries are missing; tools/deps installs them.
    if (PostgresCluster::binDir().isEmpty())
        return false;
    qFatal("PostgreSQL is installed but did not start: %s", qPrintable(m_clusterProblem));
}

bool StoreBackendsTest::twoInstances(std::unique_ptr<Database> *first, std::unique_ptr<Database> *second)
{
    const QString name = QStringLiteral("db%1").arg(++m_databases);
    std::string error;
    if (QTest::currentDataTag() && QByteArray(QTest::currentDataTag()) == "postgresql") {
        const QString url = m_cluster.createDatabase(name);
        if (url.isEmpty())
            return false;
        *first = std::make_unique<PostgresDatabase>(url.toStdString());
        *second = std::make_unique<PostgresDatabase>(url.toStdString());
    } else {
        const std::string path = (m_dir.path() + QLatin1Char('/') + name + QStringLiteral(".db")).toStdString();
        *first = std::make_unique<SqliteDatabase>(path);
        *second = std::make_unique<SqliteDatabase>(path);
    }
    const bool opened = (*first)->open(&error) && (*second)->open(&error);
    if (!opened)
        qWarning("%s", error.c_str());
    return opened;
}

#define BACKEND()                                                                                                      \
    QFETCH(bool, postgres);                                                                                            \
    if (postgres && !needPostgres())                                                                                   \
        QSKIP("PostgreSQL's server binaries are not installed");                                                      \
    std::unique_ptr<Database> one, two;                                                                                \
    QVERIFY(twoInstances(&one, &two))

void StoreBackendsTest::accountsAndSessions()
{
    BACKEND();
    AccountStore accountsOne(*one), accountsTwo(*two);
    int64_t id = 0;
    QCOMPARE(accountsOne.create("Mixed@Example.org", "secret1", "0", 100, &id), AccountStore::CreateResult::Created);
    QVERIFY(id > 0);
    QCOMPARE(accountsTwo.create("mixed@example.ORG", "secret2", "0", 100), AccountStore::CreateResult::Duplicate);
    const auto found = accountsTwo.findByEmail("MIXED@example.org");
    QVERIFY(found);
    QCOMPARE(found->id, id);
    QCOMPARE(found->email, std::string("Mixed@Example.org"));
    QCOMPARE(accountsTwo.verify(found, "secret1", 100), AccountStore::Match::Password);
    // Mailed passwords: a new one does not cancel those before it; a few wait at most.
    for (const char *mailed : {"mailed-1", "mailed-2", "mailed-3"})
        QCOMPARE(accountsOne.addPendingPassword(id, mailed, 100, 1000), AccountStore::PendingResult::Added);
    QCOMPARE(accountsTwo.addPendingPassword(id, "mailed-4", 100, 1000), AccountStore::PendingResult::Full);
    int64_t pending = 0;
    QCOMPARE(accountsTwo.verify(found, "mailed-1", 200, &pending), AccountStore::Match::Pending);
    QCOMPARE(accountsTwo.verify(found, "mailed-2", 1001), AccountStore::Match::None);
    // Using one makes it the password, ends the others and the codes issued so far.
    QVERIFY(accountsTwo.promotePending(id, pending));
    const auto promoted = accountsOne.findById(id);
    QCOMPARE(accountsOne.verify(promoted, "mailed-1", 200), AccountStore::Match::Password);
    QCOMPARE(accountsOne.verify(promoted, "mailed-2", 200), AccountStore::Match::None);
    QCOMPARE(promoted->codeEpoch, found->codeEpoch + 1);
    // Extending VIP keeps codes (taking it away ends them: the library test).
    QVERIFY(accountsOne.setVip(id, true, false, 0));
    QVERIFY(accountsTwo.findById(id)->isVip(300));
    QCOMPARE(accountsTwo.findById(id)->codeEpoch, promoted->codeEpoch);

    // A session bound by one instance is the same session on the other; a captcha is taken once.
    const std::string secret(32, 's');
    SessionStore sessionsOne(*one, secret), sessionsTwo(*two, secret);
    const std::string sid = sessionsOne.newId();
    QVERIFY(sessionsTwo.isValid(sid));
    QVERIFY(!SessionStore(*two, std::string(32, 'o')).isValid(sid));
    QVERIFY(!sessionsTwo.isValid(sid.substr(0, 63)));
    QCOMPARE(SessionStore::idFromCookieHeader("other=1; pelorin_sid=" + sid + " ; x=y"), sid);
    QCOMPARE(SessionStore::idFromCookieHeader("xpelorin_sid=abc"), std::string());
    QVERIFY(sessionsOne.bindUser(sid, id, 1000));
    QCOMPARE(sessionsTwo.userOf(sid, 1010), id);
    QVERIFY(sessionsOne.setCaptcha(sid, "ABCD", 2000, 1010));
    std::atomic<int> taken{0};
    together(4, [&](int i) { taken += (i % 2 ? sessionsOne : sessionsTwo).takeCaptcha(sid, 1020) == "ABCD"; });
    QCOMPARE(taken.load(), 1);
    // A captcha expires; sessions that only held one go after that, log-ins stay.
    const std::string captchaOnly = sessionsTwo.newId();
    QVERIFY(sessionsTwo.setCaptcha(captchaOnly, "EFGH", 2000, 1000));
    QCOMPARE(sessionsOne.takeCaptcha(captchaOnly, 2001), std::string());
    QVERIFY(sessionsOne.setCaptcha(sid, "IJKL", 2000, 1030));
    QVERIFY(sessionsTwo.setCaptcha(captchaOnly, "MNPQ", 2000, 1030));
    QCOMPARE(sessionsOne.purgeExpired(1500), 0);
    QCOMPARE(sessionsTwo.purgeExpired(2001), 1);
    QCOMPARE(sessionsOne.userOf(sid, 2001), id);
    QVERIFY(sessionsTwo.unbindAllOf(id));
    QCOMPARE(sessionsOne.userOf(sid, 1030), int64_t(0));
    QVERIFY(accountsTwo.remove(id));
    QVERIFY(!accountsOne.findById(id));
}

void StoreBackendsTest::libraryKeepsFileIds()
{
    BACKEND();
    LibraryStore libraryOne(*one), libraryTwo(*two);
    LibraryResource resource;
    resource.hash = "ABCDEF0123456789ABCDEF0123456789ABCDEF01";
    resource.name = "演示";
    resource.origin = "fetching";
    std::vector<LibraryStore::NewFile> files = {{0, "a.mp4", "/x/a.mp4", 10}, {1, "b.txt", "/x/b.txt", 5}};
    std::string error;
    QVERIFY2(libraryOne.put(resource, files, 100, &error), error.c_str());
    const auto stored = libraryTwo.findResource(resource.hash);
    QVERIFY(stored);
    QCOMPARE(stored->hash, std::string("abcdef0123456789abcdef0123456789abcdef01"));
    QCOMPARE(stored->name, resource.name);
    const auto before = libraryTwo.files(stored->id);
    QCOMPARE(int(before.size()), 2);
    QVERIFY(before[0].isVideo && !before[1].isVideo);
    files[0].size = 11;
    files.pop_back();
    QVERIFY(libraryTwo.put(resource, files, 200, &error));
    const auto after = libraryOne.files(stored->id);
    QCOMPARE(int(after.size()), 1);
    QCOMPARE(after[0].id, before[0].id);
    QCOMPARE(after[0].size, int64_t(11));
    const auto fetched = libraryOne.fetchedResources();
    QCOMPARE(int(fetched.size()), 1);
    QCOMPARE(fetched[0].size, int64_t(11));
    QVERIFY(libraryTwo.remove(resource.hash));
    QVERIFY(!libraryOne.file(before[0].id));
}

void StoreBackendsTest::fetchJobHasOneHolderAndFencesLateWrites()
{
    BACKEND();
    FetchJobs jobsA(*one), jobsB(*two);
    LibraryStore library(*one);
    const std::string hash = "00112233445566778899aabbccddeeff00112233";
    const int64_t lease = 5000;
    QVERIFY(jobsA.request(hash, 1000, 60000));
    QCOMPARE(jobsB.request(hash, 1001, 60000)->state, FetchJobs::State::Waiting);
    QCOMPARE(jobsA.pendingCount(), 1);
    const auto claimA = jobsA.claim("A", "hostA:1", 1000, lease);
    QVERIFY(claimA);
    QCOMPARE(claimA->hash, hash);
    QVERIFY(!jobsB.claim("B", "hostB:1", 2000, lease));

    LibraryResource resource;
    resource.hash = hash;
    resource.name = "r";
    resource.origin = "fetching";
    const auto putBy = [&](const FetchJobs::Job &claim, const std::string &path) {
        std::string error;
        return library.put(resource, {{0, "a.mp4", path, 10}}, 1, &error,
                           [&](Lease &lease) { return FetchJobs::fence(lease, hash, claim.epoch, 3000); });
    };
    QVERIFY(putBy(*claimA, "/a/a.mp4"));
    QCOMPARE(jobsA.pendingCount(), 0);
    QCOMPARE(jobsA.renew(hash, claimA->epoch, 3000, lease), FetchJobs::Renewal::Renewed);

    // A's lease lapses (stopped, say): B takes the job with a higher epoch, and everything A
    // writes with its old one afterwards is refused.
    const auto claimB = jobsB.claim("B", "hostB:1", 9000, lease);
    QVERIFY(claimB);
    QVERIFY(claimB->epoch > claimA->epoch);
    QVERIFY(putBy(*claimB, "/b/a.mp4"));
    QCOMPARE(jobsA.renew(hash, claimA->epoch, 9001, lease), FetchJobs::Renewal::Lost);
    QVERIFY(!putBy(*claimA, "/a/a.mp4"));
    QVERIFY(!jobsA.complete(hash, claimA->epoch, "hostA:1", 9002));
    QVERIFY(!jobsA.end(hash, claimA->epoch, FetchJobs::State::Failed, "late", 9002));
    const auto stored = library.findResource(hash);
    QVERIFY(stored);
    QCOMPARE(library.files(stored->id).at(0).diskPath, std::string("/b/a.mp4"));
    QCOMPARE(jobsA.job(hash)->host, std::string("hostB:1"));
    QCOMPARE(int(library.fetchedResources("hostB:1").size()), 1);
    QCOMPARE(int(library.fetchedResources("hostA:1").size()), 0);

    // Finished: no job any more, an ordinary library entry placed at B.
    QVERIFY(jobsB.complete(hash, claimB->epoch, "hostB:1", 9500));
    QVERIFY(!jobsA.job(hash));
    QCOMPARE(library.findResource(hash)->origin, std::string("fetch"));
    QCOMPARE(jobsA.placeOf(stored->id), std::string("hostB:1"));
    QVERIFY(!jobsA.removePlaced(hash, "hostA:1"));
    QVERIFY(jobsB.removePlaced(hash, "hostB:1"));
    QVERIFY(!library.findResource(hash));

    // A refusal is kept for a while, then a request tries again.
    const std::string refused = "ffeeddccbbaa99887766554433221100ffeeddcc";
    jobsA.request(refused, 10000, 60000);
    const auto claimR = jobsA.claim("A", "hostA:1", 10000, lease);
    QVERIFY(claimR && jobsA.end(refused, claimR->epoch, FetchJobs::State::Refused, "names", 10000));
    QCOMPARE(jobsB.request(refused, 20000, 60000)->state, FetchJobs::State::Refused);
    QCOMPARE(jobsB.request(refused, 80000, 60000)->state, FetchJobs::State::Waiting);
    QVERIFY(jobsA.release(refused, jobsA.claim("A", "hostA:1", 80000, lease)->epoch, 80001));
    QCOMPARE(jobsA.job(refused)->state, FetchJobs::State::Waiting);

    QVERIFY(jobsA.heartbeat("A", "hostA:1", 1000));
    QCOMPARE(jobsB.liveWorkers(1500, 1000), 1);
    QCOMPARE(jobsB.liveWorkers(5000, 1000), 0);

    // Workers claiming at once through both handles: every job goes to exactly one of them.
    std::vector<std::string> queued;
    for (int i = 0; i < 24; ++i) {
        queued.push_back(QByteArray::number(i).rightJustified(40, 'a').toStdString());
        jobsA.request(queued.back(), 100000, 60000);
    }
    std::mutex mutex;
    std::multiset<std::string> taken;
    together(6, [&](int w) {
        FetchJobs &jobs = w % 2 ? jobsA : jobsB;
        while (const auto claim = jobs.claim("w" + std::to_string(w), "h", 100001, lease)) {
            std::lock_guard<std::mutex> lock(mutex);
            taken.insert(claim->hash);
        }
    });
    // The refused-then-released job waits too.
    QCOMPARE(int(taken.size()), 25);
    for (const std::string &job : queued)
        QCOMPARE(int(taken.count(job)), 1);
}

void StoreBackendsTest::playPositionsKeepTheNewest()
{
    BACKEND();
    AccountStore accounts(*one);
    int64_t id = 0, other = 0;
    QCOMPARE(accounts.create("pos@example.org", "secret", "0", 100, &id), AccountStore::CreateResult::Created);
    QCOMPARE(accounts.create("pos2@example.org", "secret", "0", 100, &other), AccountStore::CreateResult::Created);
    PlayPositions positionsOne(*one), positionsTwo(*two);
    using Put = PlayPositions::PutResult;
    const std::string hash(40, 'a');
    QCOMPARE(positionsOne.put(id, {"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", 1, 5000, 90000, 1000}), Put::Stored);
    // A late write made earlier loses; a newer one, even "nothing to resume", wins.
    QCOMPARE(positionsTwo.put(id, {hash, 1, 7000, 90000, 999}), Put::Older);
    QCOMPARE(positionsTwo.put(id, {hash, 1, 0, 90000, 1001}), Put::Stored);
    QCOMPARE(positionsOne.put(other, {hash, 1, 3000, 90000, 500}), Put::Stored);
    auto listed = positionsTwo.list(id);
    QVERIFY(listed);
    QCOMPARE(int(listed->size()), 1);
    QCOMPARE(listed->front().hash, hash);
    QCOMPARE(listed->front().positionMs, int64_t(0));
    QCOMPARE(listed->front().writtenAt, int64_t(1001));
    QCOMPARE(positionsOne.list(other)->front().positionMs, int64_t(3000));

    // Newest first, and only the newest of an account are kept.
    for (int i = 0; i < PlayPositions::kMaxPerAccount + 2; ++i)
        QCOMPARE(positionsOne.put(id, {hash, 100 + i, i, 90000, 2000 + i}), Put::Stored);
    listed = positionsTwo.list(id);
    QCOMPARE(int(listed->size()), PlayPositions::kMaxPerAccount);
    QCOMPARE(listed->front().fileIndex, 100 + PlayPositions::kMaxPerAccount + 1);
    QCOMPARE(listed->back().fileIndex, 102); // the first entry, 100 and 101 went
    QCOMPARE(int(positionsOne.list(other)->size()), 1);
    QVERIFY(accounts.remove(id));
    QVERIFY(positionsTwo.list(id)->empty());
}

void StoreBackendsTest::rateLimitIsOneAcrossInstances()
{
    BACKEND();
    SqlRateLimiter limitOne(*one, "login", 5, 60000), limitTwo(*two, "login", 5, 60000);
    SqlRateLimiter otherBucket(*two, "signup", 1, 60000);
    // Attempts in parallel through both instances: exactly the limit's number get through.
    std::atomic<int> passed{0};
    together(12, [&](int i) { passed += (i % 2 ? limitOne : limitTwo).reserve("a@b.test", 1000 + i) == 0; });
    QCOMPARE(passed.load(), 5);
    const int64_t retry = limitOne.reserve("a@b.test", 2000);
    QVERIFY(retry > 58000 && retry <= 60000);
    QCOMPARE(otherBucket.reserve("a@b.test", 2000), int64_t(0));
    QCOMPARE(limitTwo.reserve("other", 2000), int64_t(0));
    // Each passed attempt was at its own millisecond; giving one back lets one more through.
    for (int i = 0; i < 12; ++i)
        limitTwo.release("a@b.test", 1000 + i);
    QCOMPARE(limitOne.reserve("a@b.test", 2001), int64_t(0));
    limitOne.clear("a@b.test");
    QCOMPARE(limitTwo.reserve("a@b.test", 2002), int64_t(0));
    // The window slides.
    SqlRateLimiter one1(*one, "captcha", 1, 1000);
    QCOMPARE(one1.reserve("x", 10000), int64_t(0));
    QVERIFY(one1.reserve("x", 10500) > 0);
    QCOMPARE(one1.reserve("x", 11001), int64_t(0));
}

void StoreBackendsTest::keyRingRotates()
{
    BACKEND();
    SharedKeys keysOne(*one), keysTwo(*two);
    std::string secretOne, secretTwo, error;
    QVERIFY(keysOne.secret("service", &secretOne, &error));
    QVERIFY(keysTwo.secret("service", &secretTwo, &error));
    QCOMPARE(secretOne.size(), size_t(32));
    QVERIFY(secretOne == secretTwo);

    const int64_t now = int64_t(std::time(nullptr));
    std::vector<SharedKeys::CodeKey> ringOne, ringTwo;
    QVERIFY(keysOne.codeKeys(now, &ringOne, &error));
    QVERIFY(keysTwo.codeKeys(now, &ringTwo, &error));
    QCOMPARE(int(ringOne.size()), 1);
    QCOMPARE(int(ringTwo.size()), 1);
    const auto toRing = [](const std::vector<SharedKeys::CodeKey> &keys) {
        std::vector<AccessTokens::RingKey> ring;
        for (const auto &key : keys)
            ring.push_back({key.id, key.secret, key.signsFrom});
        return ring;
    };
    AccessTokens minting(secretOne), hosting(secretTwo);
    minting.setRing(toRing(ringOne));
    hosting.setRing(toRing(ringTwo));
    AccessTokens::Grant grant;
    grant.fileId = 7;
    grant.accountId = 3;
    grant.expires = now + 3600;
    const std::string first = minting.issueCode(grant);
    QCOMPARE(hosting.checkCode(first, now, nullptr), AccessTokens::Check::Valid);
    QVERIFY(hosting.cookieHeaderMatches(minting.cookieFor(first), first));
    // A key of its own signs codes no other instance can check.
    AccessTokens stranger(std::string(32, 'x'));
    stranger.setRing({{ringOne[0].id, std::string(32, 'y'), now - 10}});
    QCOMPARE(hosting.checkCode(stranger.issueCode(grant), now, nullptr), AccessTokens::Check::Forged);
    QVERIFY(!hosting.cookieHeaderMatches(stranger.cookieFor(first), first));

    // A new key waits until every instance has read it, then signs; codes of the old one still pass.
    SharedKeys::CodeKey added;
    QVERIFY(keysTwo.rotate(now, AccessTokens::kLongestCodeSeconds, &added, &error));
    QCOMPARE(added.signsFrom, now + SharedKeys::kActivationSeconds);
    QVERIFY(keysOne.codeKeys(now, &ringOne, &error));
    QCOMPARE(int(ringOne.size()), 2);
    minting.setRing(toRing(ringOne));
    QCOMPARE(minting.signingKeyId(now), ringOne[0].id);
    QCOMPARE(minting.signingKeyId(now + SharedKeys::kActivationSeconds), added.id);
    QVERIFY(minting.issueCode(grant) == first);
    // Rotating long after: the oldest key can no longer have a living code and is dropped.
    const int64_t later = now + SharedKeys::kActivationSeconds + AccessTokens::kLongestCodeSeconds + 1;
    QVERIFY(keysOne.rotate(later, AccessTokens::kLongestCodeSeconds, nullptr, &error));
    QVERIFY(keysTwo.codeKeys(later, &ringTwo, &error));
    QCOMPARE(int(ringTwo.size()), 2);
    QCOMPARE(ringTwo[0].id, added.id);
}

void StoreBackendsTest::configItemsShared()
{
    if (!needPostgres())
        QSKIP("PostgreSQL's server binaries are not installed");
    const QString url = m_cluster.createDatabase(QStringLiteral("config"));
    PostgresDatabase one(url.toStdString()), two(url.toStdString());
    std::string error;
    QVERIFY(one.open(&error) && two.open(&error));
    DataDirectory dirOne((m_dir.path() + QStringLiteral("/c1")).toStdString());
    DataDirectory dirTwo((m_dir.path() + QStringLiteral("/c2")).toStdString());
    ConfigItems itemsOne(dirOne, &one), itemsTwo(dirTwo, &two);
    QVERIFY(itemsOne.writeDefaults("5.0.8.0", &error));
    const QByteArray announcements = "[{\"title\": \"notice\", \"url\": \"http://a/\"}]";
    QVERIFY(itemsTwo.put(ConfigItems::kAnnouncements, announcements, &error));
    QTRY_COMPARE_WITH_TIMEOUT(itemsOne.get(ConfigItems::kAnnouncements)->document.array().size(), 1, 3000);
    QCOMPARE(itemsOne.get(ConfigItems::kUpdate)->state, ConfigItems::State::Ok);
    QVERIFY(itemsTwo.put(ConfigItems::kPopup, "{broken", &error));
    QTRY_COMPARE_WITH_TIMEOUT(itemsOne.get(ConfigItems::kPopup)->state, ConfigItems::State::Malformed, 3000);
    // Nothing went to the folders.
    QVERIFY(!QFile::exists(QString::fromStdString(dirOne.configPath(ConfigItems::kUpdate))));
}

void StoreBackendsTest::instancesStartingTogetherMigrateOnce()
{
    if (!needPostgres())
        QSKIP("PostgreSQL's server binaries are not installed");
    const std::string url = m_cluster.createDatabase(QStringLiteral("together")).toStdString();
    std::atomic<int> opened{0};
    together(4, [&](int) {
        PostgresDatabase database(url);
        std::string error;
        opened += database.open(&error);
    });
    QCOMPARE(opened.load(), 4);
    PostgresDatabase database(url);
    std::string error;
    QVERIFY(database.open(&error));
    QCOMPARE(database.schemaVersion(), database.schemaStepCount());
}

void StoreBackendsTest::brokenConnectionIsRetriedOrDiscarded()
{
    if (!needPostgres())
        QSKIP("PostgreSQL's server binaries are not installed");
    const QString url = m_cluster.createDatabase(QStringLiteral("broken"));
    PostgresDatabase database(url.toStdString());
    std::string error;
    QVERIFY(database.open(&error));
    const auto backendOf = [](Lease &lease) {
        Statement pid = lease.prepare("SELECT pg_backend_pid()");
        return pid.next() ? pid.integer(0) : 0;
    };
    {
        // Killed while leased: a read goes again on a new session; a write that may have been
        // done is not repeated.
        Lease lease = database.lease();
        const int64_t pid = backendOf(lease);
        QVERIFY(m_cluster.execute(QStringLiteral("broken"), QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)));
        Statement count = lease.prepare("SELECT COUNT(*) FROM users");
        QVERIFY(count.next());
        QCOMPARE(count.integer(0), int64_t(0));
        QVERIFY(backendOf(lease) != pid);
        const int64_t again = backendOf(lease);
        QVERIFY(m_cluster.execute(QStringLiteral("broken"), QStringLiteral("SELECT pg_terminate_backend(%1)").arg(again)));
        Statement insert = lease.prepare("INSERT INTO reports (name, category, address, created_at) VALUES (?1, 'c', 'a', 1)");
        QVERIFY(!insert.bind(1, std::string("n")).run());
    }
    {
        // Killed while idle in the pool: found out when leased, and replaced.
        Lease lease = database.lease();
        const int64_t pid = backendOf(lease);
        QVERIFY(m_cluster.execute(QStringLiteral("broken"), QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)));
    }
    QTest::qWait(200);
    Lease lease = database.lease();
    Statement insert = lease.prepare("INSERT INTO reports (name, category, address, created_at) VALUES (?1, 'c', 'a', 1)");
    QVERIFY(insert.bind(1, std::string("n")).run());
    QCOMPARE(lease.changes(), 1);
}

QTEST_GUILESS_MAIN(StoreBackendsTest)
#include "tst_StoreBackends.moc"
