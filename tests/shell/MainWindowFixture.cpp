#include "MainWindowFixture.h"

#include "app/AppConfig.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtTest>

void MainWindowFixture::startService()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
}

void MainWindowFixture::resetService()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_server.route("cfg=gonggao", ScriptedResponse::json(R"({"statu":1,"msg":"","data":[{"title":"beta","url":"http://b.example/"},)"
                                                         R"({"title":"alpha","url":"http://a.example/"}]})"));
    m_urls.urls.clear();
    AppConfig::setLatestValue(100);
}

void MainWindowFixture::closeWindow()
{
    m_app.reset();
    m_window = nullptr;
    m_engine = nullptr;
}

void MainWindowFixture::makeWindow()
{
    closeWindow();
    m_app = std::make_unique<Application>([this](QWidget *playPage) {
        m_engine = new FakePlayerEngine(playPage);
        return m_engine;
    });
    m_window = m_app->mainWindow();
    QVERIFY(m_app->engine());
    m_window->move(60, 40);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_window->size(), QSize(902, 572));
    // A Wayland client cannot place its window; the compositor does.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        QCOMPARE(m_window->pos(), QPoint(60, 40));
}

void MainWindowFixture::mouseAt(QEvent::Type type, const QPoint &windowPos, Qt::MouseButton button,
                             Qt::MouseButtons buttons)
{
    QMouseEvent event(type, windowPos, m_window->mapToGlobal(windowPos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(m_window, &event);
}

void MainWindowFixture::dragToGlobal(const QPoint &globalPos)
{
    QMouseEvent event(QEvent::MouseMove, m_window->mapFromGlobal(globalPos), globalPos, Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window, &event);
}

void MainWindowFixture::openMedia(int durationMs)
{
    m_engine->setScriptedDuration(durationMs);
    m_engine->emitStateChange(PlayerEngine::Opening);
    m_engine->emitOpenSucceeded();
}

void MainWindowFixture::startPlaying()
{
    m_engine->setScriptedState(PlayerEngine::Starting);
    m_engine->emitStateChange(PlayerEngine::Playing);
}
