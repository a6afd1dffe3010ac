// The engine module as the program opens it: this test is linked as the program is (its core
// exported to the module) and finds the built module through PELORIN_ENGINE_MODULE.
#include "player/PlayerEngine.h"
#include "player/ui/EngineModule.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

class TestEngineModule : public QObject
{
    Q_OBJECT

private slots:
    void createWaitsForTheModule();
};

void TestEngineModule::createWaitsForTheModule()
{
    QWidget page;
    {
        // Asked for at once after the loading started: the engine is there when create returns.
        EngineModule module;
        QSignalSpy loaded(&module, &EngineModule::loaded);
        module.load();
        PlayerEngine *engine = module.create(&page);
        QVERIFY2(engine, qPrintable(module.errorString()));
        QCOMPARE(engine->state(), int(PlayerEngine::Ready));
        QVERIFY(loaded.wait(5000));
        delete engine;
    }
    {
        // Never started: create opens the module itself.
        EngineModule module;
        PlayerEngine *engine = module.create(&page);
        QVERIFY(engine);
        delete engine;
    }
    // No module where it is looked for: no engine, and the program says so (StartUp).
    const QByteArray built = qgetenv("PELORIN_ENGINE_MODULE");
    qputenv("PELORIN_ENGINE_MODULE", "/nonexistent/pelorin-engine.so");
    EngineModule missing;
    QVERIFY(!missing.create(&page));
    QVERIFY(!missing.errorString().isEmpty());
    qputenv("PELORIN_ENGINE_MODULE", built);
}

QTEST_MAIN(TestEngineModule)
#include "tst_EngineModule.moc"
