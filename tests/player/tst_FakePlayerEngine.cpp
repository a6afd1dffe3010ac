#include "FakePlayerEngine.h"

#include <QSignalSpy>
#include <QtTest>

class TestFakePlayerEngine : public QObject
{
    Q_OBJECT

private slots:
    void recordsCallsAndAnswersAsScripted();
    void autoTransitionsFollowTheRealEngine();
};

void TestFakePlayerEngine::recordsCallsAndAnswersAsScripted()
{
    FakePlayerEngine engine;
    QSignalSpy changes(&engine, &PlayerEngine::stateChanged);
    QSignalSpy opened(&engine, &PlayerEngine::openSucceeded);
    engine.setScriptedDuration(90000);
    engine.setScriptedConfig(PlayerEngine::VideoOwnAspect, QStringLiteral("1.777778"));

    engine.setConfig(PlayerEngine::HttpCookie, QStringLiteral("a=1, b=2"));
    engine.open(QStringLiteral("http://127.0.0.1:1/x"));
    QCOMPARE(engine.state(), int(PlayerEngine::Ready)); // nothing happens unless scripted
    engine.emitStateChange(PlayerEngine::Opening);
    engine.emitOpenSucceeded();
    QCOMPARE(engine.duration(), 90000);
    engine.setConfig(PlayerEngine::VideoAspect, engine.config(PlayerEngine::VideoOwnAspect));
    engine.setPosition(1234);
    QCOMPARE(engine.position(), 1234);
    engine.setVolume(40);

    QCOMPARE(engine.callNames(), (QStringList{QStringLiteral("setConfig"), QStringLiteral("open"),
                                              QStringLiteral("state"), QStringLiteral("duration"),
                                              QStringLiteral("config"), QStringLiteral("setConfig"),
                                              QStringLiteral("setPosition"), QStringLiteral("position"),
                                              QStringLiteral("setVolume")}));
    QCOMPARE(engine.configWrites(), (QStringList{QStringLiteral("1105=a=1, b=2"), QStringLiteral("204=1.777778")}));
    QCOMPARE(engine.callsNamed(QStringLiteral("open")).first().arguments,
             QVariantList{QStringLiteral("http://127.0.0.1:1/x")});
    QCOMPARE(engine.config(PlayerEngine::HttpCookie), QStringLiteral("a=1, b=2"));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first(), (QVariantList{int(PlayerEngine::Ready), int(PlayerEngine::Opening)}));
    QCOMPARE(opened.count(), 1);
    engine.clearCalls();
    QCOMPARE(engine.calls().size(), 0);
}

void TestFakePlayerEngine::autoTransitionsFollowTheRealEngine()
{
    FakePlayerEngine engine;
    engine.setAutoTransitions(true);
    QList<QPair<int, int>> pairs;
    connect(&engine, &PlayerEngine::stateChanged, this, [&](int o, int n) { pairs.append({o, n}); });
    engine.open(QStringLiteral("u"));
    engine.pause(); // not accepted while opening
    engine.emitStateChange(PlayerEngine::Starting);
    engine.emitStateChange(PlayerEngine::Playing);
    engine.pause();
    engine.play();
    engine.close();
    const QList<QPair<int, int>> expected{
        {PlayerEngine::Ready, PlayerEngine::Opening}, {PlayerEngine::Opening, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing}, {PlayerEngine::Playing, PlayerEngine::Pausing},
        {PlayerEngine::Pausing, PlayerEngine::Paused}, {PlayerEngine::Paused, PlayerEngine::Starting},
        {PlayerEngine::Starting, PlayerEngine::Playing}, {PlayerEngine::Playing, PlayerEngine::Closing},
        {PlayerEngine::Closing, PlayerEngine::Ready}};
    QCOMPARE(pairs, expected);
}

QTEST_GUILESS_MAIN(TestFakePlayerEngine)
#include "tst_FakePlayerEngine.moc"
