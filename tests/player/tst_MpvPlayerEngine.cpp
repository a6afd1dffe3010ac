#include "EngineTestMedia.h"
#include "ScriptedHttpServer.h"
#include "player/mpv/MpvAccess.h"
#include "player/mpv/MpvPlayerEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

namespace {

constexpr int Wait = 30000; // generous: the machine is shared

using Pair = QPair<int, int>;

// Every state change of an engine, in order.
class StateLog : public QObject
{
public:
    explicit StateLog(PlayerEngine *engine)
    {
        connect(engine, &PlayerEngine::stateChanged, this, [this](int o, int n) { pairs.append({o, n}); });
    }
    QList<Pair> pairs;
};

QString describe(const QList<Pair> &pairs)
{
    QStringList parts;
    for (const Pair &p : pairs)
        parts << PlayerEngine::stateName(p.first) + QStringLiteral("->") + PlayerEngine::stateName(p.second);
    return parts.join(QStringLiteral(", "));
}

#define COMPARE_PAIRS(actual, expected) QCOMPARE(describe(actual), describe(expected))

} // namespace

class TestMpvPlayerEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playPauseResumeCloseRunsTheStatesExactly();
    void failedOpenReturnsToReadyWithoutOpenSucceeded();
    void endOfFileReturnsToReadyByItself();
    void cookieReachesTheServerByteForByte();
    void diskCacheFolderReceivesAFile();
    void subtitleSettingsReachTheEngine();
    void pictureAndSoundSettingsReachTheEngine();
    void bufferProgressRisesUnderAThrottledServer();
    void closeDuringOpeningEndsInReady();
    void secondOpenDuringPlaybackKeepsStatesInOrder();

private:
    QString url(const char *path) const { return m_server.url(QString::fromLatin1(path)).toString(); }
    void openAndWaitForPlaying(MpvPlayerEngine &engine, const QString &address);

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    QByteArray m_clip;
    QByteArray m_shortClip;
    QByteArray m_noisyClip;
};

void TestMpvPlayerEngine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("clip.mp4"), 8, 192, 108);
    QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    m_shortClip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("short.mp4"), 1, 160, 120);
    QVERIFY(!m_shortClip.isEmpty());
    m_noisyClip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("noisy.mp4"), 4, 320, 240, true);
    QVERIFY(!m_noisyClip.isEmpty());
    QVERIFY(m_server.listen());
    m_server.serveData("/clip.mp4", m_clip, "video/mp4");
    m_server.serveData("/other.mp4", m_clip, "video/mp4");
    m_server.serveData("/short.mp4", m_shortClip, "video/mp4");
    // About half the clip's bit rate, so playback catches up with the download.
    m_server.serveData("/slow.mp4", m_noisyClip, "video/mp4", 8000, 100);
    m_server.route("/hang.mp4", ScriptedResponse::hang());
    m_server.route("/late.mp4", [this](const RecordedRequest &request) {
        ScriptedResponse r = ScriptedHttpServer::rangeResponse(request, m_clip, "video/mp4");
        r.delayMs = 1500;
        return r;
    });
}

void TestMpvPlayerEngine::openAndWaitForPlaying(MpvPlayerEngine &engine, const QString &address)
{
    engine.open(address);
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
}

void TestMpvPlayerEngine::playPauseResumeCloseRunsTheStatesExactly()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    QVERIFY2(engine.isValid(), qPrintable(engine.errorString()));
    StateLog log(&engine);
    QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
    int durationAtOpen = -1;
    connect(&engine, &PlayerEngine::openSucceeded, this, [&] { durationAtOpen = engine.duration(); });

    engine.open(url("/clip.mp4"));
    QCOMPARE(engine.state(), int(PlayerEngine::Opening)); // at once, as loading starts
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
    QCOMPARE(opened.count(), 1);
    QVERIFY2(qAbs(durationAtOpen - 8000) <= 100, qPrintable(QString::number(durationAtOpen)));
    QVERIFY(qAbs(engine.duration() - 8000) <= 100);

    engine.pause();
    QCOMPARE(engine.state(), int(PlayerEngine::Paused));

    // An exact seek while paused lands where asked.
    engine.setPosition(5000);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(engine.position() - 5000) <= 60, Wait);

    engine.play();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
    QVERIFY(engine.position() >= 4900);
    engine.close();
    QCOMPARE(engine.state(), int(PlayerEngine::Closing));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);

    COMPARE_PAIRS(log.pairs, (QList<Pair>{
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing},
        {PlayerEngine::Playing, PlayerEngine::Pausing},
        {PlayerEngine::Pausing, PlayerEngine::Paused},
        {PlayerEngine::Paused, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing},
        {PlayerEngine::Playing, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
    }));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(engine.duration(), 0); // nothing open
    // Calls outside their states change nothing.
    engine.play();
    engine.pause();
    engine.close();
    QTest::qWait(200);
    QCOMPARE(log.pairs.size(), 9);
}

void TestMpvPlayerEngine::failedOpenReturnsToReadyWithoutOpenSucceeded()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    StateLog log(&engine);
    QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
    engine.open(url("/missing.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(log.pairs.size() >= 3, Wait);
    QTest::qWait(200);
    COMPARE_PAIRS(log.pairs, (QList<Pair>{
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
    }));
    QCOMPARE(opened.count(), 0);
    QVERIFY(!m_server.requestsMatching("/missing.mp4").isEmpty());

    // The engine is usable again afterwards.
    openAndWaitForPlaying(engine, url("/clip.mp4"));
    QCOMPARE(opened.count(), 1);
}

void TestMpvPlayerEngine::endOfFileReturnsToReadyByItself()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    StateLog log(&engine);
    engine.open(url("/short.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(log.pairs.size() >= 5 && engine.state() == PlayerEngine::Ready, Wait);
    QTest::qWait(200);
    COMPARE_PAIRS(log.pairs, (QList<Pair>{
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing},
        {PlayerEngine::Playing, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
    }));
    QCOMPARE(engine.state(), int(PlayerEngine::Ready));
}

void TestMpvPlayerEngine::cookieReachesTheServerByteForByte()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    const QString cookie = QStringLiteral("uin=o0123; skey=@a,b c; FTN5K=9f8e,7d");
    engine.setConfig(PlayerEngine::HttpCookie, cookie);
    QCOMPARE(engine.config(PlayerEngine::HttpCookie), cookie);
    m_server.clearRequests();
    openAndWaitForPlaying(engine, url("/clip.mp4?c=1"));
    QList<RecordedRequest> requests = m_server.requestsMatching("/clip.mp4?c=1");
    QVERIFY(!requests.isEmpty());
    for (const RecordedRequest &r : requests)
        QCOMPARE(r.header("Cookie"), cookie.toUtf8());

    // A line break in the value must not smuggle in a header of its own.
    engine.setConfig(PlayerEngine::HttpCookie, QStringLiteral("a=1\r\nX-Injected: yes"));
    openAndWaitForPlaying(engine, url("/clip.mp4?c=2"));
    requests = m_server.requestsMatching("/clip.mp4?c=2");
    QVERIFY(!requests.isEmpty());
    QVERIFY(!requests.first().hasHeader("X-Injected"));
    QCOMPARE(requests.first().header("Cookie"), QByteArray("a=1X-Injected: yes"));

    // Clearing removes the header.
    engine.setConfig(PlayerEngine::HttpCookie, QString());
    openAndWaitForPlaying(engine, url("/clip.mp4?c=3"));
    requests = m_server.requestsMatching("/clip.mp4?c=3");
    QVERIFY(!requests.isEmpty());
    QVERIFY(!requests.first().hasHeader("Cookie"));
}

void TestMpvPlayerEngine::diskCacheFolderReceivesAFile()
{
    QTemporaryDir root;
    const QString folder = QDir(root.path()).filePath(QStringLiteral("Pelorin Cache"));
    const QString cachePath = QDir(folder).filePath(QStringLiteral("0123456789abcdef0123456789abcdef01234567_0"));
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    engine.setConfig(PlayerEngine::CacheFilePath, cachePath);
    engine.setConfig(PlayerEngine::CacheEnabled, QStringLiteral("1"));
    QCOMPARE(engine.config(PlayerEngine::CacheFilePath), cachePath);
    QCOMPARE(engine.config(PlayerEngine::CacheEnabled), QStringLiteral("1"));
    QVERIFY(QDir(folder).exists()); // made when missing

    openAndWaitForPlaying(engine, url("/clip.mp4?cache"));
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).entryList(QDir::Files).isEmpty(), Wait);
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
}

void TestMpvPlayerEngine::subtitleSettingsReachTheEngine()
{
    const QString srtPath = QDir(m_dir.path()).filePath(QStringLiteral("字幕 one.srt"));
    QFile srt(srtPath);
    QVERIFY(srt.open(QIODevice::WriteOnly));
    srt.write("1\n00:00:00,000 --> 00:00:07,000\nHello\n\n");
    srt.close();

    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    const MpvAccess mpv(engine.handle());
    // Defaults are readable before anything is set, so relative moves have a start.
    QCOMPARE(engine.config(PlayerEngine::SubtitlePlacement), QStringLiteral("1;50;100"));
    QCOMPARE(engine.config(PlayerEngine::SubtitleFont), QStringLiteral("sans-serif;20;0;0"));
    QCOMPARE(engine.config(PlayerEngine::SubtitleDelay), QStringLiteral("0;1000;1000"));
    openAndWaitForPlaying(engine, url("/clip.mp4"));

    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), QString());
    engine.setConfig(PlayerEngine::SubtitleFile, QDir(m_dir.path()).filePath(QStringLiteral("absent.srt")));
    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), QString());
    engine.setConfig(PlayerEngine::SubtitleFile, srtPath);
    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), srtPath);

    engine.setConfig(PlayerEngine::SubtitleVisible, QStringLiteral("0"));
    QCOMPARE(mpv.flag("sub-visibility", true), false);
    QCOMPARE(engine.config(PlayerEngine::SubtitleVisible), QStringLiteral("0"));
    engine.setConfig(PlayerEngine::SubtitleVisible, QStringLiteral("1"));
    QCOMPARE(mpv.flag("sub-visibility", false), true);

    engine.setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;50;87"));
    QCOMPARE(mpv.integer("sub-pos"), qint64(87));
    QCOMPARE(mpv.string("sub-align-x"), QStringLiteral("center"));
    QCOMPARE(engine.config(PlayerEngine::SubtitlePlacement), QStringLiteral("1;50;87"));
    engine.setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;49;87"));
    QCOMPARE(mpv.string("sub-align-x"), QStringLiteral("left"));
    QCOMPARE(mpv.integer("sub-margin-x"), qint64(144));
    engine.setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;52;87"));
    QCOMPARE(mpv.string("sub-align-x"), QStringLiteral("right"));
    QCOMPARE(mpv.integer("sub-margin-x"), qint64(138));
    // A step below zero computed unsigned by the caller stays at the edge.
    engine.setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;50;4294967295"));
    QCOMPARE(mpv.integer("sub-pos"), qint64(150));
    QCOMPARE(engine.config(PlayerEngine::SubtitlePlacement), QStringLiteral("1;50;150"));
    engine.setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;50"));
    QCOMPARE(mpv.integer("sub-pos"), qint64(150)); // too few fields: unchanged

    engine.setConfig(PlayerEngine::SubtitleFont, QStringLiteral("Noto Sans;12;0;0"));
    QCOMPARE(mpv.number("sub-font-size"), 33.0);
    QCOMPARE(mpv.string("sub-font"), QStringLiteral("Noto Sans"));
    QCOMPARE(engine.config(PlayerEngine::SubtitleFont), QStringLiteral("Noto Sans;12;0;0"));

    engine.setConfig(PlayerEngine::SubtitleDelay, QStringLiteral("-500;1000;1000"));
    QVERIFY(qAbs(mpv.number("sub-delay") + 0.5) < 1e-6);
    QCOMPARE(engine.config(PlayerEngine::SubtitleDelay), QStringLiteral("-500;1000;1000"));
    engine.setConfig(PlayerEngine::SubtitleDelay, QStringLiteral("150;1000;1000"));
    QVERIFY(qAbs(mpv.number("sub-delay") - 0.15) < 1e-6);

    engine.setConfig(PlayerEngine::SubtitleFile, QString());
    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), QString());
}

void TestMpvPlayerEngine::pictureAndSoundSettingsReachTheEngine()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    const MpvAccess mpv(engine.handle());
    QCOMPARE(engine.config(PlayerEngine::VideoOwnAspect), QString()); // nothing open
    openAndWaitForPlaying(engine, url("/clip.mp4"));

    const QString own = engine.config(PlayerEngine::VideoOwnAspect);
    QCOMPARE(own, QStringLiteral("1.777778"));
    engine.setConfig(PlayerEngine::VideoAspect, QStringLiteral("4;3"));
    QVERIFY(qAbs(mpv.number("video-aspect-override") - 4.0 / 3.0) < 0.001);
    QCOMPARE(engine.config(PlayerEngine::VideoAspect), QStringLiteral("4;3"));
    // The override does not leak into the video's own ratio.
    QTest::qWait(300);
    QCOMPARE(engine.config(PlayerEngine::VideoOwnAspect), own);
    engine.setConfig(PlayerEngine::VideoAspect, own);
    QVERIFY(qAbs(mpv.number("video-aspect-override") - 16.0 / 9.0) < 0.001);

    engine.setConfig(PlayerEngine::Brightness, QStringLiteral("75"));
    engine.setConfig(PlayerEngine::Contrast, QStringLiteral("0"));
    engine.setConfig(PlayerEngine::Saturation, QStringLiteral("100"));
    engine.setConfig(PlayerEngine::Hue, QStringLiteral("50"));
    QCOMPARE(mpv.integer("brightness"), qint64(50));
    QCOMPARE(mpv.integer("contrast"), qint64(-100));
    QCOMPARE(mpv.integer("saturation"), qint64(100));
    QCOMPARE(mpv.integer("hue"), qint64(0));
    QCOMPARE(engine.config(PlayerEngine::Brightness), QStringLiteral("75"));
    QCOMPARE(engine.config(PlayerEngine::Contrast), QStringLiteral("0"));

    QCOMPARE(engine.config(PlayerEngine::PictureEnhancement), QStringLiteral("0"));
    engine.setConfig(PlayerEngine::PictureEnhancement, QStringLiteral("1"));
    QCOMPARE(engine.config(PlayerEngine::PictureEnhancement), QStringLiteral("1"));
    QCOMPARE(mpv.flag("deband"), true);
    QVERIFY(mpv.number("sharpen") > 0);
    engine.setConfig(PlayerEngine::PictureEnhancement, QStringLiteral("0"));
    QCOMPARE(mpv.flag("deband", true), false);

    engine.setConfig(PlayerEngine::AudioChannel, QStringLiteral("1"));
    QVERIFY2(mpv.string("af").contains(QStringLiteral("c0=c0|c1=c0")), qPrintable(mpv.string("af")));
    engine.setConfig(PlayerEngine::AudioChannel, QStringLiteral("3"));
    QVERIFY(mpv.string("af").contains(QStringLiteral("0.5*c0+0.5*c1")));
    QVERIFY(!mpv.string("af").contains(QStringLiteral("c0=c0|c1=c0")));
    QCOMPARE(engine.config(PlayerEngine::AudioChannel), QStringLiteral("3"));
    QCOMPARE(engine.state(), int(PlayerEngine::Playing)); // the filter chain still plays
    engine.setConfig(PlayerEngine::AudioChannel, QStringLiteral("0"));
    QCOMPARE(mpv.string("af"), QString());

    engine.setConfig(PlayerEngine::RenderMode, QStringLiteral("5"));
    QCOMPARE(mpv.string("scale"), QStringLiteral("ewa_lanczossharp"));
    QCOMPARE(engine.config(PlayerEngine::RenderMode), QStringLiteral("5"));
    engine.setConfig(PlayerEngine::RenderMode, QStringLiteral("1"));
    QCOMPARE(mpv.string("dscale"), QStringLiteral("bilinear"));
    engine.setConfig(PlayerEngine::RenderMode, QStringLiteral("9"));
    QCOMPARE(engine.config(PlayerEngine::RenderMode), QStringLiteral("1"));

    engine.setVolume(37);
    QCOMPARE(mpv.number("volume"), 37.0);
    engine.setVolume(250);
    QCOMPARE(mpv.number("volume"), 100.0);
    QCOMPARE(engine.config(PlayerEngine::VideoWindowId), QStringLiteral("0")); // no surface
}

void TestMpvPlayerEngine::bufferProgressRisesUnderAThrottledServer()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    StateLog log(&engine);
    QList<int> progress;
    connect(&engine, &PlayerEngine::bufferProgress, this, [&](int p) { progress << p; });
    engine.open(url("/slow.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(progress.contains(100), 60000);
    QVERIFY2(progress.size() >= 2, qPrintable(QString::number(progress.size())));
    QVERIFY(progress.first() < 100);
    // A stall goes back through Starting and playback resumes through Playing.
    bool stalled = false;
    for (int i = 0; i < log.pairs.size(); ++i) {
        if (log.pairs[i] == Pair(PlayerEngine::Playing, PlayerEngine::Starting))
            stalled = true;
    }
    QVERIFY2(stalled, qPrintable(describe(log.pairs)));
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
}

void TestMpvPlayerEngine::closeDuringOpeningEndsInReady()
{
    const QList<Pair> expected{
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
    };
    // At once (the media may not have started yet), and while the server holds the answer.
    for (const char *path : {"/clip.mp4?now", "/hang.mp4", "/late.mp4"}) {
        MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
        StateLog log(&engine);
        QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
        m_server.clearRequests();
        engine.open(url(path));
        if (qstrcmp(path, "/clip.mp4?now") != 0)
            QTRY_VERIFY_WITH_TIMEOUT(!m_server.requestsMatching(path).isEmpty(), Wait);
        engine.close();
        QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
        QTest::qWait(300);
        COMPARE_PAIRS(log.pairs, expected);
        QCOMPARE(opened.count(), 0);
    }
}

void TestMpvPlayerEngine::secondOpenDuringPlaybackKeepsStatesInOrder()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    StateLog log(&engine);
    QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
    openAndWaitForPlaying(engine, url("/clip.mp4"));
    engine.setPosition(6000);
    log.pairs.clear();

    engine.open(url("/other.mp4"));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
    QCOMPARE(opened.count(), 2);
    QVERIFY(engine.position() < 5000); // the new media, from its start
    QTest::qWait(300);
    COMPARE_PAIRS(log.pairs, (QList<Pair>{
        {PlayerEngine::Playing, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing},
    }));

    // Replacing a media that is still opening, and one that fails, behaves the same way.
    log.pairs.clear();
    engine.open(url("/late.mp4"));
    engine.open(url("/missing.mp4?second"));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
    QTest::qWait(1800); // past the delayed answer of the abandoned media
    COMPARE_PAIRS(log.pairs, (QList<Pair>{
        {PlayerEngine::Playing, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
        {PlayerEngine::Ready, PlayerEngine::Opening},
        {PlayerEngine::Opening, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready},
    }));
    QCOMPARE(opened.count(), 2);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // libmpv refuses to start unless numbers use the C locale.
    std::setlocale(LC_NUMERIC, "C");
    TestMpvPlayerEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MpvPlayerEngine.moc"
