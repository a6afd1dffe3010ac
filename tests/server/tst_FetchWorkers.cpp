// Fetch workers on one PostgreSQL database with a service instance, against a seeding peer on
// 127.0.0.1: the worker that fetches a film is killed while the player streams it from that
// worker; another worker takes the job once the lease has lapsed, the player's recovery brings
// the film back where it stopped, and the file the new worker ends with is the seeder's. A worker
// that is stopped past its lease loses its job the same way and lets go of it when it resumes.
#include "LocalSwarm.h"
#include "TestFiles.h"
#include "PostgresCluster.h"
#include "ServiceProcess.h"

#include "EngineTestMedia.h"
#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "player/PlaybackController.h"
#include "player/PlayerEngine.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/PlayRequest.h"
#include "resources/PlaybackRecovery.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <signal.h>

namespace {
QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex() : QByteArray();
}

// A fetch-worker started by the test, with its own fetch folder and log; ended by the test,
// by its pid, also when the test fails.
class WorkerProcess
{
public:
    WorkerProcess(const QString &dir, const QString &database, const QStringList &peers)
        : m_dir(dir)
        , m_database(database)
        , m_peers(peers)
    { }
    ~WorkerProcess() { stop(); }

    bool start()
    {
        QDir().mkpath(m_dir);
        QStringList arguments{u("fetch-worker"), u("--database"), m_database, u("--fetch-dir"), m_dir + u("/fetch")};
        arguments << u("--listen") << u("127.0.0.1:0") << u("--lease-seconds") << u("3") << u("--no-dht")
                  << u("--fetch-listen") << u("127.0.0.1:0") << u("--fetch-piece-wait") << u("20");
        for (const QString &peer : m_peers)
            arguments << u("--fetch-peer") << peer;
        m_process.setProgram(ServiceProcess::executable());
        m_process.setArguments(arguments);
        m_process.setStandardErrorFile(m_dir + u("/worker.log"), QIODevice::Append);
        m_process.start();
        QByteArray output;
        QDeadlineTimer deadline(20000);
        while (!output.contains('\n') && !deadline.hasExpired()
               && m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            output += m_process.readAllStandardOutput();
        m_host = QRegularExpression(u("on http://([^/\\s]+)/")).match(QString::fromUtf8(output)).captured(1);
        return !m_host.isEmpty();
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.stop(15000);
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    void killHard()
    {
        signal(SIGKILL);
        m_process.waitForFinished(5000);
    }
    QByteArray log() const { return readFile(m_dir + u("/worker.log")); }
    bool claimed(const QString &hash) const { return log().contains("fetch: claimed " + hash.toLatin1()); }
    QString host() const { return m_host; }
    QString fetchDir() const { return m_dir + u("/fetch"); }

private:
    QString m_dir;
    QString m_database;
    QStringList m_peers;
    ChildOfTest m_process;
    QString m_host;
};
} // namespace

class FetchWorkersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedWorkersFilmComesBackFromTheNextWorker();
    void stoppedWorkerLosesItsJob();

private:
    QTemporaryDir m_dir;
    PostgresCluster m_cluster;
    std::unique_ptr<LocalSwarm> m_swarm;
    std::unique_ptr<ServiceProcess> m_service;
    std::vector<std::unique_ptr<WorkerProcess>> m_workers;
    QString m_database;
};

void FetchWorkersTest::initTestCase()
{
    if (!LocalSwarm::available())
        QSKIP("python3-libtorrent is not installed (tools/deps installs it)");
    QString problem;
    if (!m_cluster.start(&problem)) {
        if (PostgresCluster::binDir().isEmpty())
            QSKIP("PostgreSQL's server binaries are not installed (tools/deps installs them)");
        QFAIL(qPrintable(problem));
    }
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_database = m_cluster.createDatabase(u("fetching"));
    QVERIFY(!m_database.isEmpty());
    m_swarm = std::make_unique<LocalSwarm>(m_dir.path() + u("/swarm"));
    m_service = std::make_unique<ServiceProcess>(m_dir.path() + u("/instance"));
    m_service->setDatabase(m_database);
    QVERIFY(m_service->start({u("--fetch-list-wait"), u("10"), u("--fetch-piece-wait"), u("10")}));
    QCOMPARE(m_service->run({u("user"), u("add"), u("vip@pelorin.test"), u("vip-password"), u("--vip")}), 0);
    AppConfig::setServiceHost(m_service->hostPort());
}

void FetchWorkersTest::cleanupTestCase()
{
    m_workers.clear();
    m_service.reset();
    m_swarm.reset();
    m_cluster.stop();
}

void FetchWorkersTest::killedWorkersFilmComesBackFromTheNextWorker()
{
    // A film of 48 s whose only peer sends twice its rate: a fetch takes about 24 s. The worker
    // runs ahead of the player by twice the player's start-up, so even a start slowed by a busy
    // machine leaves the cut far from the end (a cut in the last 5 s would pass for the end), and
    // the next worker fetches the film anew.
    const int seconds = 48;
    const QByteArray clip = EngineTestMedia::makeClip(m_dir.path(), u("film-source.mp4"), seconds, 320, 240, true);
    QVERIFY(!clip.isEmpty());
    const QString hash = m_swarm->addResourceFile(u("film"), m_dir.path() + u("/film-source.mp4"), 65536);
    QVERIFY(!hash.isEmpty());
    const int seeder = m_swarm->seed({u("film")}, clip.size() / seconds * 2);
    QVERIFY(seeder >= 0);
    for (const char *name : {"a", "b"}) {
        m_workers.push_back(std::make_unique<WorkerProcess>(m_dir.path() + u("/worker-") + u(name), m_database,
                                                            QStringList{m_swarm->address(seeder)}));
        QVERIFY(m_workers.back()->start());
    }

    ServiceClient client;
    AccountSession session(&client);
    QVERIFY(session.logIn(u("vip@pelorin.test"), u("vip-password"), false).succeeded());
    PlaybackController playback;
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    playback.attachEngine(&engine);
    PlayRequest request(&client, &session, &playback);
    // The instance's own video hosts do not have the film: the player skips them.
    request.setVideoHosts(m_service->videoHosts());
    PlaybackRecovery recovery(&request, &playback);
    recovery.setDelays(1000, 2000, 60000);

    // The unknown hash becomes a job; a worker claims it and brings its file list.
    QList<BTResourceFile> files;
    QTRY_VERIFY_WITH_TIMEOUT(request.listFiles(hash, &files).succeeded() && files.size() == 1, 30000);
    BTResourceFile file = files.first();
    QVERIFY(request.play(&file, 0, false));
    QTRY_VERIFY_WITH_TIMEOUT(playback.position() > 3000, 30000);
    WorkerProcess *holder = m_workers[0]->claimed(hash) ? m_workers[0].get() : m_workers[1].get();
    WorkerProcess *next = holder == m_workers[0].get() ? m_workers[1].get() : m_workers[0].get();
    QVERIFY(holder->claimed(hash) && !next->claimed(hash));
    QVERIFY2(request.videoHosts().contains(holder->host()), qPrintable(request.videoHosts().join(u(" "))));
    QVERIFY(!holder->log().contains("fetch: " + hash.toLatin1() + " complete"));

    // The longest time the position stood still, from the kill on.
    QElapsedTimer clock;
    int lastPosition = playback.position();
    qint64 lastMoved = 0;
    qint64 longestStill = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        const int position = playback.position();
        if (position > lastPosition) {
            longestStill = qMax(longestStill, clock.elapsed() - lastMoved);
            lastMoved = clock.elapsed();
        }
        lastPosition = position;
    });
    const int killedAt = playback.position();
    clock.start();
    sampler.start(50);
    holder->killHard();

    QTRY_VERIFY_WITH_TIMEOUT(next->claimed(hash), 20000);
    const qint64 takenAfter = clock.elapsed();
    QTRY_VERIFY2_WITH_TIMEOUT(playback.isConnectionLost(),
                              qPrintable(QStringLiteral("open %1 at %2 ms").arg(playback.isMediaOpen()).arg(playback.position())),
                              60000);
    const qint64 lostAfter = clock.elapsed();
    const int lostAt = playback.lostAt();
    QVERIFY2(lostAt > 3000 && lostAt < (seconds - 5) * 1000, qPrintable(QString::number(lostAt)));
    // Back where it stopped, from the worker that holds the job now, and playing on.
    QTRY_VERIFY_WITH_TIMEOUT(playback.isMediaOpen() && !playback.isConnectionLost(), 60000);
    const qint64 reopenedAfter = clock.elapsed();
    QVERIFY2(qAbs(engine.position() - lostAt) < 1500, qPrintable(QString::number(engine.position())));
    QVERIFY(request.videoHosts().contains(next->host()));
    QTRY_VERIFY_WITH_TIMEOUT(playback.position() > lostAt + 2000, 30000);
    sampler.stop();

    QTRY_VERIFY2_WITH_TIMEOUT(next->log().contains("fetch: " + hash.toLatin1() + " complete"),
                              next->log().right(2000).constData(), 60000);
    const QByteArray expected = QCryptographicHash::hash(clip, QCryptographicHash::Sha256).toHex();
    const QByteArray fetched = sha256Of(next->fetchDir() + u("/") + hash + u("/film/clip.mp4"));
    QCOMPARE(fetched, expected);
    QCOMPARE(sha256Of(m_swarm->clipPath(u("film"))), expected);
    QVERIFY(!next->log().contains("late write refused"));
    // Finished, it is played from the worker that holds it.
    BTResourceFile again = files.first();
    QString placed;
    QVERIFY(ServiceProcess::resolve(client, &again, 0, &placed));
    QCOMPARE(placed, next->host());
    playback.stop();
    QTRY_COMPARE(engine.state(), int(PlayerEngine::Ready));
    qInfo("kill -9 of the fetching worker at %.1f s of play: the other worker took the job after %.2f s "
          "(lease 3 s); the player played what it had cached and lost the stream at %.1f s after %.2f s, "
          "reopened there after %.2f s; longest standstill of the picture %.2f s; SHA-256 of the fetched file equals "
          "the seeder's: %s",
          killedAt / 1000.0, takenAfter / 1000.0, lostAt / 1000.0, lostAfter / 1000.0, reopenedAfter / 1000.0,
          longestStill / 1000.0, fetched.constData());
}

void FetchWorkersTest::stoppedWorkerLosesItsJob()
{
    const QByteArray clip = QByteArray(3 << 20, 'p') + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    const QString hash = m_swarm->addResource(u("stopped"), clip, 65536);
    QVERIFY(!hash.isEmpty());
    const int seeder = m_swarm->seed({u("stopped")}, 600 * 1000);
    QVERIFY(seeder >= 0);
    m_workers.clear();
    for (const char *name : {"c", "d"}) {
        m_workers.push_back(std::make_unique<WorkerProcess>(m_dir.path() + u("/worker-") + u(name), m_database,
                                                            QStringList{m_swarm->address(seeder)}));
        QVERIFY(m_workers.back()->start());
    }
    ServiceClient client;
    QTRY_VERIFY_WITH_TIMEOUT(client.call(Endpoints::fileList(hash)).succeeded(), 30000);
    WorkerProcess *holder = m_workers[0]->claimed(hash) ? m_workers[0].get() : m_workers[1].get();
    WorkerProcess *next = holder == m_workers[0].get() ? m_workers[1].get() : m_workers[0].get();
    QVERIFY(holder->claimed(hash) && !next->claimed(hash));

    // Stopped past its lease: the other worker takes the job; resumed, the stopped one gives its
    // copy up instead of finishing it.
    holder->signal(SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(next->claimed(hash), 20000);
    holder->signal(SIGCONT);
    QTRY_VERIFY_WITH_TIMEOUT(holder->log().contains("fetch: gave up " + hash.toLatin1()), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(!QFileInfo::exists(holder->fetchDir() + u("/") + hash),
                              holder->log().right(2000).constData(), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(next->log().contains("fetch: " + hash.toLatin1() + " complete"),
                              next->log().right(2000).constData(), 60000);
    QVERIFY(!holder->log().contains("fetch: " + hash.toLatin1() + " complete"));
    QCOMPARE(sha256Of(next->fetchDir() + u("/") + hash + u("/stopped/clip.mp4")),
             QCryptographicHash::hash(clip, QCryptographicHash::Sha256).toHex());
    QVERIFY(client.call(Endpoints::fileList(hash)).succeeded());
}

QTEST_GUILESS_MAIN(FetchWorkersTest)
#include "tst_FetchWorkers.moc"
