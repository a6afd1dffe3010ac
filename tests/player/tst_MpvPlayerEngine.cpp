#include "EngineTestMedia.h"
#include "FaultProxy.h"
#include "ScriptedHttpServer.h"
#include "TestFiles.h"
#include "player/mpv/MpvAccess.h"
#include "player/mpv/MpvPlayerEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

namespace {

constexpr int Wait = 30000; // generous: the machine is shared
using E = PlayerEngine;

// Every state change of an engine, in order, as "Old->New" pairs.
class StateLog : public QObject
{
public:
    explicit StateLog(PlayerEngine *engine)
    {
        connect(engine, &PlayerEngine::stateChanged, this,
                [this](int o, int n) { pairs << E::stateName(o) + QStringLiteral("->") + E::stateName(n); });
    }
    QString text() const { return pairs.join(QStringLiteral(", ")); }
    QStringList pairs;
};

// The pairs that a chain of states makes, in the form StateLog writes them.
QString chain(std::initializer_list<int> states)
{
    QStringList pairs;
    for (auto it = states.begin(); it + 1 < states.end(); ++it)
        pairs << E::stateName(*it) + QStringLiteral("->") + E::stateName(*(it + 1));
    return pairs.join(QStringLiteral(", "));
}

} // namespace

class TestMpvPlayerEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statesOfFailureReplacementPlaybackCloseAndEnd();
    void closeDuringOpeningEndsInReady();
    void bufferProgressRisesUnderAThrottledServer();
    void configItemsReachTheEngine();
    void stallsAreRetriedAndOpeningIsBounded();

private:
    QString url(const char *path) const { return m_server.url(QString::fromLatin1(path)).toString(); }
    void openAndWaitForPlaying(MpvPlayerEngine &engine, const char *path);

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    QByteArray m_clip;
};

void TestMpvPlayerEngine::initTestCase()
{
    std::setlocale(LC_NUMERIC, "C"); // libmpv refuses to start unless numbers use the C locale
    QVERIFY(m_dir.isValid());
    m_clip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("clip.mp4"), 8, 192, 108);
    const QByteArray shortClip = EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("short.mp4"), 1, 160, 120);
    const QByteArray noisyClip =
        EngineTestMedia::makeClip(m_dir.path(), QStringLiteral("noisy.mp4"), 4, 320, 240, true);
    QVERIFY2(!m_clip.isEmpty() && !shortClip.isEmpty() && !noisyClip.isEmpty(), "ffmpeg could not make the clips");
    QVERIFY(m_server.listen());
    m_server.serveData("/clip.mp4", m_clip, "video/mp4");
    m_server.serveData("/other.mp4", m_clip, "video/mp4");
    m_server.serveData("/short.mp4", shortClip, "video/mp4");
    // About half the clip's bit rate, so playback catches up with the download.
    m_server.serveData("/slow.mp4", noisyClip, "video/mp4", 8000, 100);
    m_server.route("/hang.mp4", ScriptedResponse::hang());
    m_server.route("/late.mp4", [this](const RecordedRequest &request) {
        ScriptedResponse r = ScriptedHttpServer::rangeResponse(request, m_clip, "video/mp4");
        r.delayMs = 1500;
        return r;
    });
}

void TestMpvPlayerEngine::openAndWaitForPlaying(MpvPlayerEngine &engine, const char *path)
{
    engine.open(url(path));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Playing), Wait);
}

void TestMpvPlayerEngine::statesOfFailureReplacementPlaybackCloseAndEnd()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    QVERIFY2(engine.isValid(), qPrintable(engine.errorString()));
    StateLog log(&engine);
    QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
    int durationAtOpen = -1;
    connect(&engine, &PlayerEngine::openSucceeded, this, [&] { durationAtOpen = engine.duration(); });

    // A media still opening is replaced by one that fails; the late answer of the first must not
    // count later (checked at the end, once it is past).
    QElapsedTimer sinceLate;
    sinceLate.start();
    engine.open(url("/late.mp4"));
    engine.open(url("/missing.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(log.pairs.size() >= 6 && engine.state() == E::Ready, Wait);
    QVERIFY(!m_server.requestsMatching("/missing.mp4").isEmpty());
    QCOMPARE(opened.count(), 0);

    // Usable again: play, pause, an exact seek while paused, resume.
    engine.open(url("/clip.mp4"));
    QCOMPARE(engine.state(), int(E::Opening)); // at once, as loading starts
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Playing), Wait);
    QCOMPARE(opened.count(), 1);
    QVERIFY2(qAbs(durationAtOpen - 8000) <= 100, qPrintable(QString::number(durationAtOpen)));
    engine.pause();
    QCOMPARE(engine.state(), int(E::Paused));
    engine.setPosition(5000);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(engine.position() - 5000) <= 60, Wait);
    engine.play();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Playing), Wait);
    QVERIFY(engine.position() >= 4900);

    // A second open during playback closes the first media and starts the new one from its start.
    openAndWaitForPlaying(engine, "/other.mp4");
    QCOMPARE(opened.count(), 2);
    QVERIFY(engine.position() < 5000);

    engine.close();
    QCOMPARE(engine.state(), int(E::Closing));
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);
    QCOMPARE(engine.duration(), 0); // nothing open
    // Calls outside their states change nothing.
    engine.play();
    engine.pause();
    engine.close();
    QTest::qWait(200);
    QTRY_VERIFY_WITH_TIMEOUT(sinceLate.hasExpired(1800), Wait);

    const QString replaced = chain({E::Ready, E::Opening, E::Closing, E::Ready, E::Opening, E::Closing, E::Ready});
    const QString played = chain({E::Ready, E::Opening, E::Starting, E::Playing, E::Pausing, E::Paused, E::Starting,
                                  E::Playing, E::Closing, E::Ready, E::Opening, E::Starting, E::Playing, E::Closing,
                                  E::Ready});
    QCOMPARE(log.text(), replaced + QStringLiteral(", ") + played);
    QCOMPARE(opened.count(), 2); // the late answer did not count

    // A media that reaches its end returns to Ready by itself.
    log.pairs.clear();
    engine.open(url("/short.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(log.pairs.size() >= 5 && engine.state() == E::Ready, Wait);
    QTest::qWait(200);
    QCOMPARE(log.text(), chain({E::Ready, E::Opening, E::Starting, E::Playing, E::Closing, E::Ready}));
}

void TestMpvPlayerEngine::closeDuringOpeningEndsInReady()
{
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
        QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);
        QTest::qWait(300);
        QCOMPARE(log.text(), chain({E::Ready, E::Opening, E::Closing, E::Ready}));
        QCOMPARE(opened.count(), 0);
    }
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
    QVERIFY2(log.pairs.contains(QStringLiteral("Playing->Starting")), qPrintable(log.text()));
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);
}

void TestMpvPlayerEngine::configItemsReachTheEngine()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    const MpvAccess mpv(engine.handle());
    auto config = [&engine](int id) { return engine.config(id); };

    // The disk cache goes to the folder of the path, made when missing.
    QTemporaryDir root;
    const QString folder = QDir(root.path()).filePath(QStringLiteral("Pelorin Cache"));
    engine.setConfig(E::CacheFilePath, QDir(folder).filePath(QStringLiteral("0123456789abcdef_0")));
    engine.setConfig(E::CacheEnabled, QStringLiteral("1"));
    QVERIFY(QDir(folder).exists());

    // The cookie reaches the server byte for byte.
    const QString cookie = QStringLiteral("uin=o0123; skey=@a,b c; FTN5K=9f8e,7d");
    engine.setConfig(E::HttpCookie, cookie);
    m_server.clearRequests();
    openAndWaitForPlaying(engine, "/clip.mp4?c=1");
    QList<RecordedRequest> requests = m_server.requestsMatching("/clip.mp4?c=1");
    QVERIFY(!requests.isEmpty());
    for (const RecordedRequest &r : requests)
        QCOMPARE(r.header("Cookie"), cookie.toUtf8());
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).entryList(QDir::Files).isEmpty(), Wait);

    // A missing subtitle file is refused; a name with Chinese letters and a blank is loaded.
    const QString srtPath = QDir(m_dir.path()).filePath(QStringLiteral("字幕 one.srt"));
    QVERIFY(writeFile(srtPath, "1\n00:00:00,000 --> 00:00:07,000\nHello\n\n"));
    engine.setConfig(E::SubtitleFile, QDir(m_dir.path()).filePath(QStringLiteral("absent.srt")));
    QCOMPARE(config(E::SubtitleFile), QString());
    engine.setConfig(E::SubtitleFile, srtPath);
    QCOMPARE(config(E::SubtitleFile), srtPath);
    const QString own = config(E::VideoOwnAspect);
    QCOMPARE(own, QStringLiteral("1.777778"));

    // The edges of the conversions: each value given, what libmpv then holds ("property=value"
    // pairs split at "|", numbers compared as numbers) and what the engine reads back (if checked).
    const struct { E::ConfigId id; const char *value, *applied, *readBack; } settings[] = {
        {E::SubtitlePlacement, "1;49;87", "sub-align-x=left|sub-margin-x=144", nullptr},
        {E::SubtitlePlacement, "1;52;87", "sub-align-x=right|sub-margin-x=138", nullptr},
        // A step below zero computed unsigned by the caller stays at the edge.
        {E::SubtitlePlacement, "1;50;4294967295", "sub-pos=150", "1;50;150"},
        {E::SubtitlePlacement, "1;50", "sub-pos=150", nullptr}, // too few fields: unchanged
        {E::VideoAspect, "4;3", "video-aspect-override=1.333333", "4;3"},
        {E::Contrast, "0", "contrast=-100", "0"},
        {E::PictureEnhancement, "1", "deband=yes", "1"},
        {E::RenderMode, "1", "dscale=bilinear", nullptr},
        {E::RenderMode, "9", "", "1"}, // refused
        {E::AudioChannel, "3", "", "3"},
    };
    for (const auto &item : settings) {
        const QString given = QString::fromUtf8(item.value);
        engine.setConfig(item.id, given);
        for (const QString &pair : QString::fromUtf8(item.applied).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const QString property = pair.section(QLatin1Char('='), 0, 0), want = pair.section(QLatin1Char('='), 1);
            const QString got = mpv.string(property.toUtf8().constData());
            bool gotNumber = false, wantNumber = false;
            const double difference = qAbs(got.toDouble(&gotNumber) - want.toDouble(&wantNumber));
            QVERIFY2(gotNumber && wantNumber ? difference < 1e-6 : got == want,
                     qPrintable(QStringLiteral("%1 after %2: %3").arg(property, given, got)));
        }
        if (item.readBack)
            QCOMPARE(config(item.id), QString::fromUtf8(item.readBack));
    }
    QTest::qWait(300); // the aspect override must not leak into the video's own ratio
    QCOMPARE(config(E::VideoOwnAspect), own);

    // Sound: no device here, so the filter chain is what shows the channel choice.
    QVERIFY(mpv.string("af").contains(QStringLiteral("0.5*c0+0.5*c1")));
    QCOMPARE(engine.state(), int(E::Playing)); // the filter chain still plays
    engine.setConfig(E::AudioChannel, QStringLiteral("1"));
    QVERIFY2(mpv.string("af").contains(QStringLiteral("c0=c0|c1=c0")), qPrintable(mpv.string("af")));
    engine.setConfig(E::AudioChannel, QStringLiteral("0"));
    QCOMPARE(mpv.string("af"), QString());
    engine.setVolume(250);
    QCOMPARE(mpv.number("volume"), 100.0);

    // A line break in the cookie must not smuggle in a header of its own; clearing removes it.
    engine.setConfig(E::HttpCookie, QStringLiteral("a=1\r\nX-Injected: yes"));
    openAndWaitForPlaying(engine, "/clip.mp4?c=2");
    requests = m_server.requestsMatching("/clip.mp4?c=2");
    QVERIFY(!requests.isEmpty());
    QVERIFY(!requests.first().hasHeader("X-Injected"));
    QCOMPARE(requests.first().header("Cookie"), QByteArray("a=1X-Injected: yes"));
    engine.setConfig(E::HttpCookie, QString());
    openAndWaitForPlaying(engine, "/clip.mp4?c=3");
    requests = m_server.requestsMatching("/clip.mp4?c=3");
    QVERIFY(!requests.isEmpty());
    QVERIFY(!requests.first().hasHeader("Cookie"));
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);
}

void TestMpvPlayerEngine::stallsAreRetriedAndOpeningIsBounded()
{
    MpvPlayerEngine engine(MpvPlayerEngine::NoOutput);
    // A host that stops sending mid-film without closing: the read times out and the stream
    // asks again from where it stopped.
    FaultProxy proxy(m_server.port());
    proxy.setStallAfter(m_clip.size() / 2);
    QVERIFY(proxy.listen());
    engine.setNetworkTimeout(1);
    m_server.clearRequests();
    engine.open(QStringLiteral("http://%1/clip.mp4?stall").arg(proxy.hostPort()));
    const auto resumed = [this] {
        const QRegularExpression range(QStringLiteral("bytes=([1-9][0-9]*)-"));
        for (const RecordedRequest &request : m_server.requestsMatching("/clip.mp4?stall")) {
            if (range.match(QString::fromLatin1(request.header("Range"))).hasMatch())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(resumed(), Wait);
    QVERIFY(engine.state() != E::Ready && engine.state() != E::Closing);
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);

    // A host that never answers an open: the failure path after the read time-out, or after the
    // open limit whatever the time-out.
    for (int timeout : {1, 60}) {
        engine.setNetworkTimeout(timeout);
        engine.setOpenLimit(timeout == 1 ? MpvPlayerEngine::DefaultOpenLimitMs : 1000);
        StateLog log(&engine);
        QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
        engine.open(url("/hang.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(E::Ready), Wait);
        QCOMPARE(log.text(), chain({E::Ready, E::Opening, E::Closing, E::Ready}));
        QCOMPARE(opened.count(), 0);
    }
}

QTEST_GUILESS_MAIN(TestMpvPlayerEngine)
#include "tst_MpvPlayerEngine.moc"
