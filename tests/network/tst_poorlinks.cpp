#include "player/PlaybackController.h"
#include "player/PlayerEngine.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/AddressResolution.h"
#include "resources/DownloadTransfer.h"
#include "resources/HostProbe.h"
#include "resources/PlaybackRecovery.h"
#include "resources/PlayRequest.h"
#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "service/ServiceClient.h"

#include "EngineTestMedia.h"
#include "FakePlayerEngine.h"
#include "FaultProxy.h"
#include "ScriptedHttpServer.h"
#include "TestFiles.h"

#include <QtTest>

// What the player does over links that are slow, stall or break, with a fault proxy between it
// and the hosts.
class TestPoorLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void probeOverALongRoundTrip();
    void stalledDownloadFailsAndKeepsItsPart();
    void stalledBufferingSaysItRetries();
    void slowLinkStallsSeldom();
    void farFilmPlaysAndComesBackAfterItsHostWentAway();

private:
    QByteArray m_data;
    ScriptedHttpServer m_host;  // the file with its right length
    ScriptedHttpServer m_wrong; // the same with one byte more
    QTemporaryDir m_dir;
};

void TestPoorLinks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_data = QByteArray(400000, 'v');
    QVERIFY(m_host.listen() && m_wrong.listen());
    m_host.serveData("/", m_data, "video/mp4");
    m_wrong.serveData("/", m_data + 'x', "video/mp4");
}

void TestPoorLinks::probeOverALongRoundTrip()
{
    FaultProxy far(m_host.port());      // 300 ms round trip
    FaultProxy farther(m_host.port());  // 800 ms: past the limit, within the late window
    far.setLatency(150, 150);
    farther.setLatency(400, 400);
    QVERIFY(far.listen() && farther.listen());
    PlayRequest request(nullptr, nullptr, nullptr);
    BTResourceFile file;
    file.code = QStringLiteral("C0DE");
    file.comCookie = QStringLiteral("k=v");
    file.size = quint64(m_data.size());
    const auto probe = [&](const QStringList &hosts, bool play) {
        request.setVideoHosts(hosts);
        QString url;
        bool aborted = true;
        const std::unique_ptr<HostProbe> accepted = request.probeHosts(file, play, &url, &aborted);
        return !aborted && accepted ? url : QString();
    };

    // A near host with the wrong length is skipped; the distant right one is taken.
    QCOMPARE(probe({m_wrong.hostPort(), far.hostPort()}, true),
             AddressResolution::playAddress(far.hostPort(), file.code));
    QCOMPARE(m_wrong.requestsMatching("/ftn_handler/C0DE").size(), 1);
    // Beyond the limit, the late host is still used when nothing better answers, on both paths ...
    QCOMPARE(probe({farther.hostPort(), m_wrong.hostPort()}, true),
             AddressResolution::playAddress(farther.hostPort(), file.code));
    QVERIFY(probe({m_wrong.hostPort(), farther.hostPort()}, false).startsWith(
        QStringLiteral("http://%1/").arg(farther.hostPort())));
    // ... but a host that passes the limit is preferred over it, wherever it stands in the list.
    QCOMPARE(probe({farther.hostPort(), m_host.hostPort()}, true),
             AddressResolution::playAddress(m_host.hostPort(), file.code));
    // Wrong lengths only: nothing.
    QCOMPARE(probe({m_wrong.hostPort()}, true), QString());

    // The abort also ends the wait for late hosts.
    ScriptedHttpServer silent;
    QVERIFY(silent.listen());
    silent.route("", ScriptedResponse::hang());
    request.setVideoHosts({silent.hostPort()});
    QTimer::singleShot(HostProbe::TimeLimitMs + 300, &request, &PlayRequest::abortProbe);
    QString url;
    bool aborted = false;
    QVERIFY(!request.probeHosts(file, true, &url, &aborted));
    QVERIFY(aborted);
}

void TestPoorLinks::stalledDownloadFailsAndKeepsItsPart()
{
    FaultProxy proxy(m_host.port());
    proxy.setStallAfter(m_data.size() / 2);
    QVERIFY(proxy.listen());
    BTResourceFile file;
    file.fileName = QStringLiteral("stall.mp4");
    file.fileSize = quint64(m_data.size());
    file.downloadUrl = QStringLiteral("http://%1/video/stall.mp4").arg(proxy.hostPort());
    DownloadTransfer transfer(file, m_dir.path());
    transfer.setStallLimit(2500);
    QSignalSpy speed(&transfer, &DownloadTransfer::speedText);
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.start();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);

    // What arrived stays for a resume: the first part of the file, byte for byte.
    const QByteArray kept = readFile(transfer.partPath());
    QVERIFY(kept.size() > 0 && kept.size() < m_data.size());
    QCOMPARE(kept, m_data.left(kept.size()));
    QVERIFY(!QFile::exists(transfer.finalPath()));
    // While nothing came, the rate read zero; the text is cleared at the end.
    QCOMPARE(speed.value(speed.size() - 2).value(0).toString(), QStringLiteral("0.0B/S"));
    QCOMPARE(speed.last().value(0).toString(), QString());

    // A reset fails the transfer at once, and what arrived stays as well.
    DownloadTransfer again(file, m_dir.path());
    QSignalSpy againFinished(&again, &DownloadTransfer::finished);
    again.start();
    QTRY_VERIFY(QFileInfo(again.partPath()).size() > 0);
    proxy.resetAll();
    QTRY_COMPARE_WITH_TIMEOUT(againFinished.count(), 1, 5000);
    QCOMPARE(againFinished.at(0).at(0).toBool(), false);
    QVERIFY(QFileInfo(again.partPath()).size() > 0);
}

void TestPoorLinks::stalledBufferingSaysItRetries()
{
    PlaybackController controller;
    FakePlayerEngine engine;
    controller.attachEngine(&engine);
    QStringList texts;
    connect(&controller, &PlaybackController::stateTextChanged, this, [&](const QString &text) { texts << text; });
    auto *stallTimer = controller.findChild<QTimer *>(QStringLiteral("stallTimer"));
    QVERIFY(stallTimer);
    stallTimer->setInterval(50);

    engine.emitStateChanged(PlayerEngine::Playing, PlayerEngine::Starting);
    engine.emitBufferProgress(30);
    QTRY_COMPARE(texts.last(), QStringLiteral("网络连接中断，正在重试…"));
    QCOMPARE(texts.first(), QStringLiteral("正在缓冲30%..."));
    engine.emitBufferProgress(100);
    QVERIFY(texts.last().isEmpty());
    QVERIFY(!stallTimer->isActive());
}

void TestPoorLinks::slowLinkStallsSeldom()
{
    // A clip at about 170 KB/s over a link at three quarters of that.
    const int seconds = 40;
    const QByteArray clip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("slow.mp4"), seconds, 320, 240, true);
    QVERIFY(!clip.isEmpty());
    ScriptedHttpServer host;
    QVERIFY(host.listen());
    host.serveData("/slow.mp4", clip, "video/mp4");
    FaultProxy link(host.port());
    link.setRate(clip.size() / seconds * 3 / 4);
    QVERIFY(link.listen());

    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    QVERIFY(engine.isValid());
    int stalls = 0;
    connect(&engine, &PlayerEngine::stateChanged, this, [&stalls](int from, int to) {
        if (from == PlayerEngine::Playing && to == PlayerEngine::Starting)
            ++stalls;
    });
    engine.open(QStringLiteral("http://%1/slow.mp4").arg(link.hostPort()));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), 20000);
    // Resuming after a second of buffer stalled every few seconds here; a buffer that lasts makes
    // one or two stalls in the same time.
    QTest::qWait(24000);
    const int position = engine.position();
    engine.close();
    QTRY_COMPARE(engine.state(), int(PlayerEngine::Ready));
    QVERIFY2(stalls >= 1 && stalls <= 2, qPrintable(QString::number(stalls)));
    QVERIFY2(position > 10000, qPrintable(QString::number(position)));
}

void TestPoorLinks::farFilmPlaysAndComesBackAfterItsHostWentAway()
{
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const int seconds = 30;
    const QByteArray clip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("lost.mp4"), seconds, 320, 240, true);
    QVERIFY(!clip.isEmpty());
    ScriptedHttpServer host;
    QVERIFY(host.listen());
    host.serveData("/ftn_handler/", clip, "video/mp4");
    // 300 ms round trips to the service and the host; the link a little faster than the clip,
    // so that only a few seconds are ever cached ahead.
    FaultProxy link(host.port());
    link.setLatency(150, 150);
    link.setRate(clip.size() / seconds * 3 / 2);
    QVERIFY(link.listen());
    ScriptedHttpServer service;
    QVERIFY(service.listen());
    FaultProxy serviceLink(service.port());
    serviceLink.setLatency(150, 150);
    QVERIFY(serviceLink.listen());
    AppConfig::setServiceHost(serviceLink.hostPort());
    service.route("cs0=qqlixian_gethttp",
                  ScriptedResponse::json(R"({"statu":1,"data":{"code":"C0DE","com_cookie":"k=v","field":")"
                                         + link.hostPort().toUtf8() + "\"}}"));

    ServiceClient client;
    AccountSession session(&client);
    PlaybackController playback;
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    playback.attachEngine(&engine);
    PlayRequest request(&client, &session, &playback);
    request.setVideoHosts({link.hostPort()});
    PlaybackRecovery recovery(&request, &playback);
    recovery.setDelays(500, 2000, 3000);
    QStringList texts;
    connect(&playback, &PlaybackController::stateTextChanged, this, [&texts](const QString &t) { texts << t; });
    QSignalSpy closed(&playback, &PlaybackController::closed);

    BTResourceFile file;
    file.resourceHash = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
    file.jxhash = QStringLiteral("JX");
    file.size = quint64(clip.size());
    QVERIFY(request.play(&file, 0, false));
    QTRY_VERIFY_WITH_TIMEOUT(playback.position() > 3000, 20000);

    // Reset, then refused: the engine's own retries end, the window keeps the film where it was.
    link.goAway();
    QTRY_VERIFY_WITH_TIMEOUT(playback.isConnectionLost(), 90000);
    const int lostAt = playback.lostAt();
    QVERIFY2(lostAt > 3000 && lostAt < seconds * 1000 - 5000, qPrintable(QString::number(lostAt)));
    QVERIFY(texts.contains(QStringLiteral("网络连接中断，正在重试…")));
    QTRY_VERIFY_WITH_TIMEOUT(texts.contains(QStringLiteral("网络连接中断")), 20000);
    QVERIFY(playback.isConnectionLost());

    // The host answers again: the film comes back at its place, resolved afresh.
    service.clearRequests();
    QVERIFY(link.comeBack());
    QTRY_VERIFY_WITH_TIMEOUT(playback.isMediaOpen(), 30000);
    QVERIFY(!service.requestsMatching("cs0=qqlixian_gethttp").isEmpty());
    QVERIFY2(qAbs(engine.position() - lostAt) < 1500, qPrintable(QString::number(engine.position())));
    QCOMPARE(closed.count(), 0);
    playback.stop();
    QTRY_COMPARE(engine.state(), int(PlayerEngine::Ready));
    QCOMPARE(closed.count(), 1);
}

QTEST_GUILESS_MAIN(TestPoorLinks)
#include "tst_poorlinks.moc"
