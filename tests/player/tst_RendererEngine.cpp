// The engine over a renderer, against a scripted renderer: the order of its calls, when it
// counts as open, and how it ends when the renderer refuses, stops or goes.
#include "player/RendererEngine.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
// Answers only when the test says; records what was asked.
class ScriptedRenderer : public MediaRenderer
{
public:
    QStringList calls;
    QString name() const override { return QStringLiteral("TV"); }
    void setUri(const QString &url, const QString &title, const QString &mime) override
    {
        record(SetUri, QStringLiteral("setUri %1 %2 %3").arg(url, title, mime));
    }
    void play() override { record(Play, QStringLiteral("play")); }
    void pause() override { record(Pause, QStringLiteral("pause")); }
    void stop() override { record(Stop, QStringLiteral("stop")); }
    void seek(const QString &target) override { record(Seek, QStringLiteral("seek ") + target); }
    void setVolume(int volume) override { record(SetVolume, QStringLiteral("volume %1").arg(volume)); }
    void queryPosition() override { record(QueryPosition, QStringLiteral("position?")); }
    void queryTransport() override { record(QueryTransport, QStringLiteral("transport?")); }
    void cancelAll() override { ++cancelled; }

    // Ends the call under way.
    void answer(bool ok = true, bool unreachable = false, const QString &error = QString())
    {
        emit finished(m_last, ok, unreachable, error);
    }
    // Answers a poll: where it is, then what it does.
    void report(const QString &at, const QString &length, const QString &state)
    {
        QTRY_COMPARE(calls.value(calls.size() - 1), QStringLiteral("position?"));
        emit positionInfo(at, length);
        answer();
        QCOMPARE(calls.last(), QStringLiteral("transport?"));
        emit transportInfo(state, QStringLiteral("OK"));
        answer();
    }
    int cancelled = 0;

private:
    void record(Action action, const QString &call)
    {
        m_last = action;
        calls << call;
    }
    Action m_last = QueryTransport;
};
} // namespace

class TestRendererEngine : public QObject
{
    Q_OBJECT

private slots:
    void timesAndTypes();
    void opensWhereAskedOncePlaying();
    void controlsGoOutOneAtATime();
    void endsAtTheEndOrFails_data();
    void endsAtTheEndOrFails();
    void refusedOrUnansweredOpenFails();

private:
    // An engine opening a file at that place.
    RendererEngine *openEngine(ScriptedRenderer **renderer, int startMs = 10000);
};

void TestRendererEngine::timesAndTypes()
{
    QCOMPARE(RendererEngine::parseTime(QStringLiteral("0:01:02")), 62000);
    QCOMPARE(RendererEngine::parseTime(QStringLiteral("1:00:00.5")), 3600500);
    QCOMPARE(RendererEngine::parseTime(QStringLiteral("10:02:03.125")), 36123125);
    QCOMPARE(RendererEngine::parseTime(QStringLiteral("NOT_IMPLEMENTED")), -1);
    QCOMPARE(RendererEngine::parseTime(QString()), -1);
    QCOMPARE(RendererEngine::formatTime(3723999), QStringLiteral("1:02:03"));
    QCOMPARE(RendererEngine::formatTime(-5), QStringLiteral("0:00:00"));
    // The type sent with a file: opensWhereAskedOncePlaying (a .mkv); tst_cast plays .mp4.
}

RendererEngine *TestRendererEngine::openEngine(ScriptedRenderer **out, int startMs)
{
    auto *renderer = new ScriptedRenderer;
    auto *engine = new RendererEngine(renderer, this);
    engine->setTimings(20, 500, 2000);
    engine->setMediaTitle(QStringLiteral("第1集.mkv"));
    engine->openAt(QStringLiteral("http://10.0.0.2:81/12345678.mp4?ver=5063&rkey=C/"), startMs);
    *out = renderer;
    return engine;
}

void TestRendererEngine::opensWhereAskedOncePlaying()
{
    ScriptedRenderer *renderer = nullptr;
    RendererEngine *engine = openEngine(&renderer);
    QSignalSpy opened(engine, &RendererEngine::openSucceeded);
    QSignalSpy states(engine, &RendererEngine::stateChanged);
    QCOMPARE(engine->state(), int(PlayerEngine::Opening));
    QCOMPARE(renderer->calls,
             QStringList({QStringLiteral("setUri http://10.0.0.2:81/12345678.mp4?ver=5063&rkey=C/ "
                                         "第1集.mkv video/x-matroska")}));
    renderer->answer();
    QCOMPARE(renderer->calls.last(), QStringLiteral("play"));
    renderer->answer();
    // Playing from the beginning first: the start is sought then, and it opens once it plays there.
    renderer->report(QStringLiteral("0:00:00"), QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    QCOMPARE(renderer->calls.last(), QStringLiteral("seek 0:00:10"));
    renderer->answer();
    QVERIFY(opened.isEmpty());
    renderer->report(QStringLiteral("0:00:10"), QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(engine->state(), int(PlayerEngine::Playing));
    QCOMPARE(engine->duration(), 60000);
    QCOMPARE(engine->position(), 10000);
    QCOMPARE(states.last(), QVariantList({int(PlayerEngine::Starting), int(PlayerEngine::Playing)}));
    // The renderer paused by its own remote: so does the engine.
    renderer->report(QStringLiteral("0:00:11"), QStringLiteral("0:01:00"), QStringLiteral("PAUSED_PLAYBACK"));
    QCOMPARE(engine->state(), int(PlayerEngine::Paused));
    delete engine;
}

void TestRendererEngine::controlsGoOutOneAtATime()
{
    ScriptedRenderer *renderer = nullptr;
    RendererEngine *engine = openEngine(&renderer);
    renderer->answer();
    renderer->answer();
    renderer->report(QStringLiteral("0:00:00"), QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    renderer->answer();
    renderer->report(QStringLiteral("0:00:10"), QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    QTRY_COMPARE(renderer->calls.last(), QStringLiteral("position?"));
    engine->pause();
    engine->setPosition(30000);
    engine->setVolume(40);
    engine->setVolume(70); // only the last level waiting goes out
    QCOMPARE(engine->state(), int(PlayerEngine::Pausing));
    renderer->answer(); // the poll under way goes first
    QCOMPARE(renderer->calls.last(), QStringLiteral("transport?"));
    renderer->answer();
    QCOMPARE(renderer->calls.last(), QStringLiteral("pause"));
    renderer->answer();
    QCOMPARE(engine->state(), int(PlayerEngine::Paused));
    QCOMPARE(renderer->calls.last(), QStringLiteral("seek 0:00:30"));
    QCOMPARE(engine->position(), 30000);
    renderer->answer();
    QCOMPARE(renderer->calls.last(), QStringLiteral("volume 70"));
    renderer->answer();
    // A stop is answered, then the engine is ready.
    engine->close();
    QTRY_COMPARE(renderer->calls.last(), QStringLiteral("stop"));
    renderer->answer();
    QCOMPARE(engine->state(), int(PlayerEngine::Ready));
    delete engine;
}

void TestRendererEngine::endsAtTheEndOrFails_data()
{
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("failure"); // empty: it reached the end
    QTest::newRow("end") << QStringLiteral("0:00:58") << QStringLiteral("STOPPED") << QString();
    QTest::newRow("stopped mid-film") << QStringLiteral("0:00:20") << QStringLiteral("STOPPED")
                                      << QStringLiteral("投屏失败：设备停止了播放");
    QTest::newRow("no answer") << QStringLiteral("0:00:20") << QStringLiteral("unreachable")
                               << QStringLiteral("设备已断开");
    QTest::newRow("silence") << QStringLiteral("0:00:20") << QStringLiteral("silence") << QStringLiteral("设备已断开");
    QTest::newRow("said bye-bye") << QStringLiteral("0:00:20") << QStringLiteral("lost")
                                  << QStringLiteral("设备已断开");
}

void TestRendererEngine::endsAtTheEndOrFails()
{
    QFETCH(QString, position);
    QFETCH(QString, then);
    QFETCH(QString, failure);
    ScriptedRenderer *renderer = nullptr;
    RendererEngine *engine = openEngine(&renderer);
    renderer->answer();
    renderer->answer();
    renderer->report(QStringLiteral("0:00:00"), QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    renderer->answer();
    renderer->report(position, QStringLiteral("0:01:00"), QStringLiteral("PLAYING"));
    QSignalSpy failed(engine, &RendererEngine::failed);
    QSignalSpy ended(engine, &RendererEngine::reachedEnd);
    QSignalSpy states(engine, &RendererEngine::stateChanged);
    if (then == QLatin1String("STOPPED")) {
        renderer->report(position, QStringLiteral("0:01:00"), then);
    } else if (then == QLatin1String("unreachable")) {
        QTRY_COMPARE(renderer->calls.last(), QStringLiteral("position?"));
        renderer->answer(false, true, QStringLiteral("Connection refused"));
    } else if (then == QLatin1String("lost")) {
        emit renderer->lost();
    } // silence: the call limit runs out
    QTRY_VERIFY(!failed.isEmpty() || !ended.isEmpty());
    if (failure.isEmpty()) {
        QCOMPARE(ended.count(), 1);
        QCOMPARE(states.last(), QVariantList({int(PlayerEngine::Closing), int(PlayerEngine::Ready)}));
        QVERIFY(failed.isEmpty());
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().value(0).toString(), failure);
        QCOMPARE(failed.first().value(1).toInt(), RendererEngine::parseTime(position));
        QVERIFY(states.isEmpty() && ended.isEmpty()); // the owner takes playback back, unprompted
        QVERIFY(renderer->cancelled > 0);
    }
    QCOMPARE(engine->state(), int(PlayerEngine::Ready));
    delete engine;
}

void TestRendererEngine::refusedOrUnansweredOpenFails()
{
    // The renderer refuses the address.
    ScriptedRenderer *renderer = nullptr;
    RendererEngine *engine = openEngine(&renderer);
    QSignalSpy failed(engine, &RendererEngine::failed);
    renderer->answer(false, false, QStringLiteral("Illegal MIME-type"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().value(0).toString(), QStringLiteral("投屏失败：Illegal MIME-type"));
    delete engine;

    // It says it plays but stays at 0 without a length (an address it cannot fetch).
    engine = openEngine(&renderer, 0);
    engine->setTimings(20, 5000, 300);
    QSignalSpy stuck(engine, &RendererEngine::failed);
    QSignalSpy opened(engine, &RendererEngine::openSucceeded);
    renderer->answer();
    renderer->answer();
    for (int i = 0; i < 5; ++i)
        renderer->report(QStringLiteral("0:00:00"), QStringLiteral("0:00:00"), QStringLiteral("PLAYING"));
    QVERIFY(opened.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(stuck.count(), 1, 5000);
    QCOMPARE(stuck.first().value(0).toString(), QStringLiteral("投屏失败：设备没有开始播放"));
    delete engine;

    // An address on this machine's loopback: the renderer is never asked.
    renderer = new ScriptedRenderer;
    engine = new RendererEngine(renderer, this);
    QSignalSpy local(engine, &RendererEngine::failed);
    engine->openAt(QStringLiteral("http://127.0.0.1:17081/12345678.mp4?ver=5063&rkey=C/"), 0);
    QTRY_COMPARE(local.count(), 1);
    QVERIFY(local.first().value(0).toString().contains(QStringLiteral("只在本机可用")));
    QVERIFY(renderer->calls.isEmpty());
    delete engine;
}

QTEST_GUILESS_MAIN(TestRendererEngine)
#include "tst_RendererEngine.moc"
