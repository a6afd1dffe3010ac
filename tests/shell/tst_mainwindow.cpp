#include "FakePlayerEngine.h"
#include "ScriptedHttpServer.h"

#include "app/AppConfig.h"
#include "app/GuiResources.h"
#include "player/FormatDuration.h"
#include "shell/AnnouncementList.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {
QByteArray announcementsReply()
{
    return "{\"statu\":1,\"msg\":\"\",\"data\":[{\"title\":\"beta\",\"url\":\"http://b.example/\"},"
           "{\"title\":\"alpha\",\"url\":\"http://a.example/\"},{\"title\":\"gamma\",\"url\":\"http://g.example/\"}]}";
}
} // namespace

// Receives what the window hands to the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formAndConstruction();
    void edgeRegionsAndCursors();
    void resizeIsClampedAndKeepsTheOppositeEdge();
    void dragFromTheCentreMovesTheWindow();
    void maximisedWindowNeitherDragsNorChangesCursor();
    void clickTogglesPlayPauseAfterTheDoubleClickInterval();
    void doubleClickTogglesFullScreenWithOverlayBars();
    void rightReleaseOnlyOverTheContentArea();
    void arrowKeysStepAndClamp();
    void muteRestoresTheSavedVolume();
    void progressReleaseThresholdAndGrooveClicks();
    void stateTransitionsDriveTheWindow();
    void openSucceededAppliesStoredOptionsInOrder();
    void announcementsRotateInTitleOrder();
    void failedAnnouncementsStillRestoreTheVolume();
    void cursorHidesAtRestOverTheVideo();
    void titleBarButtons();

private:
    void makeWindow();
    template <typename T> T *child(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    QWidget *currentPage() const { return child<QStackedWidget>("contentStackedWidget")->currentWidget(); }
    void openMedia(int durationMs);
    void startPlaying();

    // Mouse input as the window receives it from its children and the video surface: window
    // coordinates, and the global position of the pointer.
    void mouseAt(QEvent::Type type, const QPoint &windowPos, Qt::MouseButton button = Qt::NoButton,
                 Qt::MouseButtons buttons = Qt::NoButton);
    void pressAt(const QPoint &windowPos) { mouseAt(QEvent::MouseButtonPress, windowPos, Qt::LeftButton, Qt::LeftButton); }
    void releaseAt(const QPoint &windowPos, Qt::MouseButton button = Qt::LeftButton)
    {
        mouseAt(QEvent::MouseButtonRelease, windowPos, button);
    }
    // Moves the held pointer to a global point; the window may have moved under it meanwhile.
    void dragToGlobal(const QPoint &globalPos);
    void hoverAt(const QPoint &windowPos) { mouseAt(QEvent::MouseMove, windowPos); }
    Qt::CursorShape cursorShape() const { return m_window->cursor().shape(); }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    std::unique_ptr<MainWindow> m_window;
    FakePlayerEngine *m_engine = nullptr;
    UrlCatcher m_urls;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
}

void TestMainWindow::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_server.route("cfg=gonggao", ScriptedResponse::json(announcementsReply()));
    m_urls.urls.clear();
    AppConfig::setLatestValue(100);
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_engine = nullptr;
}

void TestMainWindow::makeWindow()
{
    m_window.reset();
    m_engine = nullptr;
    m_window = std::make_unique<MainWindow>([this](QWidget *playPage) {
        m_engine = new FakePlayerEngine(playPage);
        return m_engine;
    });
    QVERIFY(m_engine);
    m_window->move(60, 40);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->geometry(), QRect(60, 40, 902, 572));
}

void TestMainWindow::mouseAt(QEvent::Type type, const QPoint &windowPos, Qt::MouseButton button,
                             Qt::MouseButtons buttons)
{
    QMouseEvent event(type, windowPos, m_window->mapToGlobal(windowPos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &event);
}

void TestMainWindow::dragToGlobal(const QPoint &globalPos)
{
    QMouseEvent event(QEvent::MouseMove, m_window->mapFromGlobal(globalPos), globalPos, Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &event);
}

void TestMainWindow::openMedia(int durationMs)
{
    m_engine->setScriptedDuration(durationMs);
    m_engine->emitStateChange(PlayerEngine::Opening);
    m_engine->emitOpenSucceeded();
}

void TestMainWindow::startPlaying()
{
    m_engine->setScriptedState(PlayerEngine::Starting);
    m_engine->emitStateChange(PlayerEngine::Playing);
}

void TestMainWindow::formAndConstruction()
{
    makeWindow();
    QCOMPARE(MainWindow::instance(), m_window.get());
    QCOMPARE(m_window->minimumSize(), QSize(580, 350));
    QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(m_window->windowTitle().isEmpty());
    QVERIFY(!m_window->windowIcon().isNull());
    QCOMPARE(currentPage()->objectName(), QStringLiteral("normalPage"));
    QCOMPARE(child<QWidget>("titleBarWidget")->height(), 44);
    QCOMPARE(child<QWidget>("toolBarWidget")->height(), 44);
    QCOMPARE(label("versionNumberLabel")->text(), QStringLiteral("V5.0.8"));
    // Fixed-size labels hold their longest text.
    const auto fits = [this](const char *name, const QString &text) {
        QLabel *fixed = label(name);
        return fixed->fontMetrics().horizontalAdvance(text) <= fixed->minimumWidth()
            && fixed->fontMetrics().height() <= fixed->height() + 3;
    };
    QVERIFY(fits("versionNumberLabel", QStringLiteral("V5.0.8")));
    QVERIFY(fits("currentPlayDurationLabel", QStringLiteral("23:59:59")));
    QVERIFY(fits("totalDurationLabel", QStringLiteral("23:59:59")));
    QVERIFY(fits("playStateLabel", QStringLiteral("正在缓冲100%...")));
    QCOMPARE(child<QPushButton>("normalPageOpenURLPushButton")->text(), QStringLiteral("   打开URL"));
    QCOMPARE(child<QSlider>("playProgressSlider")->maximum(), 1000000);
    QCOMPARE(child<QSlider>("volumeControlSlider")->value(), 100);
    QVERIFY(!m_window->isMediaOpen());
    QCOMPARE(m_engine->parent(), child<QWidget>("playPage"));
    // The engine is created after the announcements (which set the volume): it saw no call yet.
    QVERIFY(m_engine->calls().isEmpty());
    QCOMPARE(m_server.requestsMatching("cfg=gonggao").size(), 1);

    // A second window takes over the process-wide pointer; closing it clears it.
    std::unique_ptr<MainWindow> second = std::make_unique<MainWindow>(
        [](QWidget *page) { return new FakePlayerEngine(page); });
    QCOMPARE(MainWindow::instance(), second.get());
    second.reset();
    QCOMPARE(MainWindow::instance(), nullptr);
}

void TestMainWindow::edgeRegionsAndCursors()
{
    makeWindow();
    const int w = m_window->width(), h = m_window->height();
    const QList<QPair<QPoint, Qt::CursorShape>> cases = {
        {{2, 2}, Qt::SizeFDiagCursor},         {{w / 2, 0}, Qt::SizeVerCursor},
        {{w - 1, 4}, Qt::SizeBDiagCursor},     {{0, h / 2}, Qt::SizeHorCursor},
        {{w / 2, h / 2}, Qt::ArrowCursor},     {{w - 3, h / 2}, Qt::SizeHorCursor},
        {{4, h - 1}, Qt::SizeBDiagCursor},     {{w / 2, h - 2}, Qt::SizeVerCursor},
        {{w - 5, h - 5}, Qt::SizeFDiagCursor}, {{5, 5}, Qt::ArrowCursor},
        {{w - 6, h - 6}, Qt::ArrowCursor},     {{w - 5, 5}, Qt::SizeHorCursor},
    };
    for (const auto &c : cases) {
        hoverAt(c.first);
        QVERIFY2(cursorShape() == c.second, qPrintable(QStringLiteral("at %1,%2: %3")
                                                            .arg(c.first.x())
                                                            .arg(c.first.y())
                                                            .arg(int(cursorShape()))));
    }

    // The announcement line is a link: an arrow over it, and a press there moves nothing.
    auto *announcement = label("announcementLabel");
    const QPoint onAnnouncement = announcement->mapTo(m_window.get(), announcement->rect().center());
    hoverAt({0, h / 2});
    QCOMPARE(cursorShape(), Qt::SizeHorCursor);
    hoverAt(onAnnouncement);
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    const QRect before = m_window->geometry();
    pressAt(onAnnouncement);
    dragToGlobal(m_window->mapToGlobal(onAnnouncement) + QPoint(40, 30));
    releaseAt(m_window->mapFromGlobal(m_window->mapToGlobal(onAnnouncement) + QPoint(40, 30)));
    QCOMPARE(m_window->geometry(), before);
}

void TestMainWindow::resizeIsClampedAndKeepsTheOppositeEdge()
{
    makeWindow();
    const QRect start = m_window->geometry();

    // Bottom-right corner: grows and shrinks down to exactly 580x350, never below.
    const QPoint corner = m_window->mapToGlobal(QPoint(start.width() - 2, start.height() - 2));
    pressAt(m_window->mapFromGlobal(corner));
    dragToGlobal(corner + QPoint(50, 30));
    QCOMPARE(m_window->geometry(), QRect(start.topLeft(), start.size() + QSize(50, 30)));
    dragToGlobal(corner + QPoint(-400, 0)); // 502 wide: refused, the window keeps its last size
    QCOMPARE(m_window->geometry(), QRect(start.topLeft(), start.size() + QSize(50, 30)));
    dragToGlobal(corner + QPoint(580 - start.width(), 350 - start.height()));
    QCOMPARE(m_window->geometry(), QRect(start.topLeft(), QSize(580, 350)));
    dragToGlobal(corner + QPoint(579 - start.width(), 0));
    QCOMPARE(m_window->geometry(), QRect(start.topLeft(), QSize(580, 350)));
    releaseAt(m_window->mapFromGlobal(corner + QPoint(579 - start.width(), 0)));
    m_window->setGeometry(start);
    QCOMPARE(m_window->geometry(), start);

    // Top-left corner: the right and bottom edges stay where they were.
    const QPoint topLeft = m_window->mapToGlobal(QPoint(1, 1));
    pressAt(QPoint(1, 1));
    dragToGlobal(topLeft + QPoint(100, 50));
    QCOMPARE(m_window->geometry(), QRect(start.x() + 100, start.y() + 50, start.width() - 100, start.height() - 50));
    QCOMPARE(m_window->geometry().right(), start.right());
    QCOMPARE(m_window->geometry().bottom(), start.bottom());
    dragToGlobal(topLeft + QPoint(start.width() - 579, 10)); // too narrow: nothing moves
    QCOMPARE(m_window->geometry(), QRect(start.x() + 100, start.y() + 50, start.width() - 100, start.height() - 50));
    dragToGlobal(topLeft + QPoint(start.width() - 580, start.height() - 350));
    QCOMPARE(m_window->geometry(), QRect(start.right() - 579, start.bottom() - 349, 580, 350));
    releaseAt(QPoint(1, 1));
    m_window->setGeometry(start);

    // Left edge: only the width and x change, the right edge holds.
    const QPoint left = m_window->mapToGlobal(QPoint(2, start.height() / 2));
    pressAt(m_window->mapFromGlobal(left));
    dragToGlobal(left + QPoint(-30, 25));
    QCOMPARE(m_window->geometry(), QRect(start.x() - 30, start.y(), start.width() + 30, start.height()));
    releaseAt(m_window->mapFromGlobal(left + QPoint(-30, 25)));
    m_window->setGeometry(start);

    // Bottom edge: only the height changes.
    const QPoint bottom = m_window->mapToGlobal(QPoint(start.width() / 2, start.height() - 1));
    pressAt(m_window->mapFromGlobal(bottom));
    dragToGlobal(bottom + QPoint(70, -300)); // 272 high: refused
    QCOMPARE(m_window->geometry(), start);
    dragToGlobal(bottom + QPoint(70, -100));
    QCOMPARE(m_window->geometry(), QRect(start.topLeft(), QSize(start.width(), start.height() - 100)));
    releaseAt(m_window->mapFromGlobal(bottom + QPoint(70, -100)));
}

void TestMainWindow::dragFromTheCentreMovesTheWindow()
{
    makeWindow();
    const QRect start = m_window->geometry();
    const QPoint grip = m_window->mapToGlobal(QPoint(300, 200));
    pressAt(QPoint(300, 200));
    dragToGlobal(grip); // no travel: nothing happens
    QCOMPARE(m_window->geometry(), start);
    dragToGlobal(grip + QPoint(37, -20));
    QCOMPARE(m_window->geometry(), start.translated(37, -20));
    dragToGlobal(grip + QPoint(-15, 44));
    QCOMPARE(m_window->geometry(), start.translated(-15, 44));
    releaseAt(m_window->mapFromGlobal(grip + QPoint(-15, 44)));
    // Released: moving again only hovers.
    hoverAt(QPoint(10, 10));
    QCOMPARE(m_window->geometry(), start.translated(-15, 44));
    // From the title bar's logo as well.
    auto *logo = label("titleBarLogoLabel");
    const QPoint onLogo = logo->mapTo(m_window.get(), logo->rect().center());
    const QPoint logoGlobal = m_window->mapToGlobal(onLogo);
    pressAt(onLogo);
    dragToGlobal(logoGlobal + QPoint(5, 5));
    QCOMPARE(m_window->geometry(), start.translated(-10, 49));
    releaseAt(m_window->mapFromGlobal(logoGlobal + QPoint(5, 5)));
}

void TestMainWindow::maximisedWindowNeitherDragsNorChangesCursor()
{
    makeWindow();
    m_window->showMaximized();
    QTRY_VERIFY(m_window->isMaximized());
    const QRect maximised = m_window->geometry();
    hoverAt(QPoint(300, 300));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    hoverAt(QPoint(0, 300));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    hoverAt(QPoint(m_window->width() - 1, m_window->height() - 1));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);

    for (const QPoint &at : {QPoint(300, 300), QPoint(m_window->width() - 1, m_window->height() - 1), QPoint(0, 0)}) {
        const QPoint global = m_window->mapToGlobal(at);
        pressAt(at);
        dragToGlobal(global + QPoint(-60, -40));
        QCOMPARE(m_window->geometry(), maximised);
        releaseAt(m_window->mapFromGlobal(global + QPoint(-60, -40)));
    }

    // The maximise button restores it, and then edges work again.
    child<QPushButton>("maximizePushButton")->click();
    QTRY_VERIFY(!m_window->isMaximized());
    hoverAt(QPoint(0, 300));
    QCOMPARE(cursorShape(), Qt::SizeHorCursor);
}

void TestMainWindow::clickTogglesPlayPauseAfterTheDoubleClickInterval()
{
    makeWindow();
    openMedia(60000);
    startPlaying();
    m_engine->clearCalls();
    const int interval = QApplication::doubleClickInterval();
    const QPoint centre(450, 300);

    QElapsedTimer clock;
    pressAt(centre);
    releaseAt(centre);
    clock.start();
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->callCount(QStringLiteral("pause")), 1, interval + 2000);
    QVERIFY2(clock.elapsed() >= interval - 20, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_window->geometry(), QRect(60, 40, 902, 572));

    // Paused: the next click plays.
    m_engine->setScriptedState(PlayerEngine::Paused);
    pressAt(centre);
    releaseAt(centre);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->callCount(QStringLiteral("play")), 1, interval + 2000);

    // A drag from the video does not toggle anything.
    m_engine->clearCalls();
    const QPoint grip = m_window->mapToGlobal(centre);
    pressAt(centre);
    dragToGlobal(grip + QPoint(30, 30));
    releaseAt(m_window->mapFromGlobal(grip + QPoint(30, 30)));
    QTest::qWait(interval + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("play")), 0);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);

    // Nor does a click on the tool bar's empty part (outside the content area).
    pressAt(QPoint(600, m_window->height() - 10));
    releaseAt(QPoint(600, m_window->height() - 10));
    QTest::qWait(interval + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("play")), 0);

    // With no media open, a click asks the engine nothing.
    m_engine->setScriptedState(PlayerEngine::Closing);
    m_engine->emitStateChange(PlayerEngine::Ready);
    m_engine->clearCalls();
    pressAt(centre);
    releaseAt(centre);
    QTest::qWait(interval + 200);
    QVERIFY(m_engine->calls().isEmpty());
}

void TestMainWindow::doubleClickTogglesFullScreenWithOverlayBars()
{
    makeWindow();
    openMedia(60000);
    startPlaying();
    m_engine->clearCalls();
    auto *title = child<QWidget>("titleBarWidget");
    auto *tool = child<QWidget>("toolBarWidget");
    auto *playPage = child<QWidget>("playPage");
    const QPoint centre(450, 300);

    pressAt(centre);
    releaseAt(centre);
    mouseAt(QEvent::MouseButtonDblClick, centre, Qt::LeftButton, Qt::LeftButton);
    releaseAt(centre);
    QTRY_VERIFY(m_window->isFullScreen());
    QCOMPARE(title->parentWidget(), playPage);
    QCOMPARE(tool->parentWidget(), playPage);
    QVERIFY(!title->isVisible());
    QVERIFY(!tool->isVisible());
    QVERIFY(child<QPushButton>("fullScreenPushButton")->styleSheet().contains(QLatin1String("ExitFullScreen")));

    // The bars span the page whatever size full screen gave it.
    QTRY_COMPARE(playPage->size(), m_window->size());
    QCOMPARE(title->geometry(), QRect(0, 0, playPage->width(), 44));
    QCOMPARE(tool->geometry(), QRect(0, playPage->height() - 44, playPage->width(), 44));

    // They appear only while the pointer is over their area.
    hoverAt(QPoint(100, 10));
    QVERIFY(title->isVisible());
    QVERIFY(!tool->isVisible());
    hoverAt(QPoint(100, m_window->height() - 10));
    QVERIFY(!title->isVisible());
    QVERIFY(tool->isVisible());
    hoverAt(QPoint(100, m_window->height() / 2));
    QVERIFY(!title->isVisible());
    QVERIFY(!tool->isVisible());

    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);
    QCOMPARE(m_engine->callCount(QStringLiteral("play")), 0);

    // A double-click in full screen returns the bars to the layout, in order.
    pressAt(centre);
    releaseAt(centre);
    mouseAt(QEvent::MouseButtonDblClick, centre, Qt::LeftButton, Qt::LeftButton);
    releaseAt(centre);
    QTRY_VERIFY(!m_window->isFullScreen());
    auto *layout = child<QVBoxLayout>("centralWidgetLayout");
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), title);
    QCOMPARE(layout->itemAt(1)->widget(), child<QWidget>("contentStackedWidget"));
    QCOMPARE(layout->itemAt(2)->widget(), tool);
    QVERIFY(title->isVisible());
    QVERIFY(tool->isVisible());
    QTRY_COMPARE(tool->geometry().bottom(), child<QWidget>("centralWidget")->height() - 1);
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);

    // The tool-bar button does the same; maximising from full screen brings the bars back too.
    child<QPushButton>("fullScreenPushButton")->click();
    QTRY_VERIFY(m_window->isFullScreen());
    QCOMPARE(title->parentWidget(), playPage);
    child<QPushButton>("maximizePushButton")->click();
    QTRY_VERIFY(m_window->isMaximized());
    QVERIFY(!m_window->isFullScreen());
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), title);
    QVERIFY(title->isVisible());
    QVERIFY(tool->isVisible());
}

void TestMainWindow::rightReleaseOnlyOverTheContentArea()
{
    makeWindow();
    QSignalSpy menu(m_window.get(), &MainWindow::contextMenuRequested);
    releaseAt(QPoint(450, 20), Qt::RightButton);
    releaseAt(QPoint(450, 43), Qt::RightButton);
    releaseAt(QPoint(450, m_window->height() - 44), Qt::RightButton);
    releaseAt(QPoint(450, m_window->height() - 5), Qt::RightButton);
    QCOMPARE(menu.count(), 0);
    releaseAt(QPoint(450, 44), Qt::RightButton);
    releaseAt(QPoint(123, 300), Qt::RightButton);
    QCOMPARE(menu.count(), 2);
    QCOMPARE(menu.at(0).at(0).toPoint(), QPoint(450, 44));
    QCOMPARE(menu.at(1).at(0).toPoint(), QPoint(123, 300));
    // A right release never starts the click timer.
    openMedia(1000);
    startPlaying();
    m_engine->clearCalls();
    releaseAt(QPoint(123, 300), Qt::RightButton);
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);
}

void TestMainWindow::arrowKeysStepAndClamp()
{
    AppConfig::setLatestValue(100);
    makeWindow();
    auto *volume = child<QSlider>("volumeControlSlider");
    auto *progress = child<QSlider>("playProgressSlider");

    // Nothing open: the sliders move, the engine hears nothing.
    QTest::keyClick(m_window.get(), Qt::Key_Up);
    QCOMPARE(volume->value(), 100);
    QTest::keyClick(m_window.get(), Qt::Key_Down);
    QTest::keyClick(m_window.get(), Qt::Key_Down);
    QCOMPARE(volume->value(), 90);
    QCOMPARE(AppConfig::latestValue(0), 90u);
    QTest::keyClick(m_window.get(), Qt::Key_Right);
    QCOMPARE(progress->value(), 5000);
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QCOMPARE(progress->value(), 0);
    QVERIFY(m_engine->calls().isEmpty());

    openMedia(12000);
    m_engine->clearCalls();
    QTest::keyClick(m_window.get(), Qt::Key_Right);
    QTest::keyClick(m_window.get(), Qt::Key_Right);
    QTest::keyClick(m_window.get(), Qt::Key_Right);
    QCOMPARE(progress->value(), 12000);
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QCOMPARE(progress->value(), 7000);
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QCOMPARE(progress->value(), 0);
    QStringList positions;
    for (const auto &call : m_engine->callsNamed(QStringLiteral("setPosition")))
        positions << call.arguments.at(0).toString();
    QCOMPARE(positions.join(QLatin1Char(',')), QStringLiteral("5000,10000,12000,7000,2000,0"));

    volume->setValue(7);
    m_engine->clearCalls();
    QTest::keyClick(m_window.get(), Qt::Key_Down);
    QCOMPARE(volume->value(), 2);
    QTest::keyClick(m_window.get(), Qt::Key_Down);
    QCOMPARE(volume->value(), 0);
    QTest::keyClick(m_window.get(), Qt::Key_Up);
    QCOMPARE(volume->value(), 5);
    QList<int> volumes;
    for (const auto &call : m_engine->callsNamed(QStringLiteral("setVolume")))
        volumes << call.arguments.at(0).toInt();
    QVERIFY(!volumes.isEmpty());
    QCOMPARE(volumes.last(), 5);
    QVERIFY(volumes.contains(2) && volumes.contains(0));
    for (int v : volumes)
        QVERIFY(v == 2 || v == 0 || v == 5);
    QCOMPARE(AppConfig::latestValue(100), 5u);

    // Other keys are left alone.
    m_engine->clearCalls();
    QTest::keyClick(m_window.get(), Qt::Key_A);
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QVERIFY(m_engine->calls().isEmpty());
    QCOMPARE(volume->value(), 5);
}

void TestMainWindow::muteRestoresTheSavedVolume()
{
    AppConfig::setLatestValue(37);
    makeWindow();
    auto *volume = child<QSlider>("volumeControlSlider");
    auto *mute = child<QPushButton>("toggleMutePushButton");
    QCOMPARE(volume->value(), 37);
    openMedia(1000);
    m_engine->clearCalls();

    mute->click();
    QCOMPARE(volume->value(), 0);
    QCOMPARE(mute->styleSheet(), QStringLiteral("border-image: url(:/MainWindow/ToolBar/MuteSwitchPushButton_On.png);"));
    QCOMPARE(mute->toolTip(), QStringLiteral("取消禁音"));
    QCOMPARE(AppConfig::latestValue(100), 0u);
    mute->click();
    QCOMPARE(volume->value(), 37);
    QCOMPARE(mute->styleSheet(), QStringLiteral("border-image: url(:/MainWindow/ToolBar/MuteSwitchPushButton_Off.png);"));
    QCOMPARE(mute->toolTip(), QStringLiteral("禁音"));
    QCOMPARE(AppConfig::latestValue(100), 37u);
    QStringList sent;
    for (const auto &call : m_engine->callsNamed(QStringLiteral("setVolume")))
        sent << call.arguments.at(0).toString();
    QCOMPARE(sent, (QStringList{QStringLiteral("0"), QStringLiteral("37")}));

    // Dragged to 0 by hand: the toggle restores what it saved last, not the value before the drag.
    volume->setValue(60);
    volume->setValue(0);
    QCOMPARE(mute->toolTip(), QStringLiteral("取消禁音"));
    mute->click();
    QCOMPARE(volume->value(), 37);

    // A first toggle that finds the volume at 0 restores the maximum.
    AppConfig::setLatestValue(0);
    makeWindow();
    volume = child<QSlider>("volumeControlSlider");
    mute = child<QPushButton>("toggleMutePushButton");
    QCOMPARE(volume->value(), 0);
    QCOMPARE(mute->toolTip(), QStringLiteral("取消禁音"));
    mute->click();
    QCOMPARE(volume->value(), 100);
    QCOMPARE(AppConfig::latestValue(0), 100u);
}

void TestMainWindow::progressReleaseThresholdAndGrooveClicks()
{
    makeWindow();
    openMedia(1000000);
    auto *slider = child<QSlider>("playProgressSlider");
    const double threshold = slider->maximum() * 6.0 / (slider->width() - 8);
    QVERIFY(threshold > 2);
    m_engine->clearCalls();

    slider->setValue(100000);
    slider->setSliderDown(true); // the handle is pressed
    slider->setSliderPosition(100000 + int(threshold));
    QCOMPARE(label("currentPlayDurationLabel")->text(), formatDuration(100000 + int(threshold)));
    slider->setSliderDown(false);
    QCOMPARE(m_engine->callCount(QStringLiteral("setPosition")), 0);

    slider->setSliderDown(true);
    slider->setSliderPosition(slider->value() - int(threshold) - 1);
    slider->setSliderDown(false);
    QCOMPARE(m_engine->callCount(QStringLiteral("setPosition")), 1);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setPosition")).at(0).arguments.at(0).toInt(), 99999);

    // A press on the groove far from the handle jumps there and seeks; near it, the slider drags.
    m_engine->clearCalls();
    const int x = 4 + (slider->width() - 8) * 3 / 4;
    const int target = int(double(x - 4) / double(slider->width() - 8) * slider->maximum());
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
    QCOMPARE(slider->value(), target);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setPosition")).value(0).arguments, QVariantList{target});
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
    m_engine->clearCalls();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(x + 2, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(x + 2, slider->height() / 2));
    QCOMPARE(m_engine->callCount(QStringLiteral("setPosition")), 0);
    // Left of the groove's start: clamped to the start, never a negative position.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(0, slider->height() / 2));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setPosition")).value(0).arguments, QVariantList{0});
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(0, slider->height() / 2));

    // The volume groove: the change reaches the engine through the slider's own notification.
    auto *volume = child<QSlider>("volumeControlSlider");
    m_engine->clearCalls();
    QTest::mousePress(volume, Qt::LeftButton, {}, QPoint(4 + (volume->width() - 8) / 2, volume->height() / 2));
    QCOMPARE(volume->value(), 50);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setVolume")).value(0).arguments, QVariantList{50});
    QTest::mouseRelease(volume, Qt::LeftButton, {}, QPoint(4 + (volume->width() - 8) / 2, volume->height() / 2));

    // A media of 25 hours has no total-time text.
    openMedia(25 * 3600000);
    QCOMPARE(label("totalDurationLabel")->text(), QString());
    QCOMPARE(slider->maximum(), 25 * 3600000);
}

void TestMainWindow::stateTransitionsDriveTheWindow()
{
    makeWindow();
    QSignalSpy opened(m_window.get(), &MainWindow::btResourceOpened);
    QSignalSpy closed(m_window.get(), &MainWindow::btResourceClosed);
    auto *state = label("playStateLabel");
    auto *current = label("currentPlayDurationLabel");
    auto *total = label("totalDurationLabel");
    auto *slider = child<QSlider>("playProgressSlider");
    auto *startPause = child<QPushButton>("startOrPausePlayPushButton");

    m_engine->emitStateChange(PlayerEngine::Opening);
    QCOMPARE(state->text(), QStringLiteral("正在打开..."));
    m_engine->emitBufferProgress(42);
    QCOMPARE(state->text(), QStringLiteral("正在缓冲42%..."));
    m_engine->emitBufferProgress(100);
    QCOMPARE(state->text(), QString());
    m_engine->emitBufferProgress(0);
    QCOMPARE(state->text(), QStringLiteral("正在缓冲0%..."));

    m_engine->setScriptedDuration(3 * 3600000 + 2 * 60000 + 1000);
    m_engine->emitOpenSucceeded();
    QCOMPARE(opened.count(), 1);
    QVERIFY(m_window->isMediaOpen());
    QCOMPARE(currentPage()->objectName(), QStringLiteral("playPage"));
    QCOMPARE(slider->maximum(), 3 * 3600000 + 2 * 60000 + 1000);
    QCOMPARE(total->text(), QStringLiteral("03:02:01"));
    QCOMPARE(state->text(), QString());
    QVERIFY(slider->styleSheet().contains(QLatin1String(":/MainWindow/ToolBar/PlayProgressSliderHandle.png")));

    m_engine->setScriptedPosition(61000);
    startPlaying();
    QCOMPARE(state->text(), QString());
    QVERIFY(startPause->styleSheet().contains(QLatin1String("PausePlayPushButton_Normal.png")));
    QTRY_COMPARE_WITH_TIMEOUT(current->text(), QStringLiteral("00:01:01"), 2500);
    QCOMPARE(slider->value(), 61000);

    // Holding the handle: the tick leaves the label and the handle where the user put them.
    slider->setSliderDown(true);
    slider->setSliderPosition(600000);
    m_engine->setScriptedPosition(62000);
    QTest::qWait(1300);
    QCOMPARE(slider->value(), 600000);
    QCOMPARE(current->text(), QStringLiteral("00:10:00"));
    slider->setSliderDown(false); // a seek: far beyond the threshold
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setPosition")).value(0).arguments, QVariantList{600000});
    QTRY_COMPARE_WITH_TIMEOUT(current->text(), QStringLiteral("00:10:00"), 2500);

    m_engine->emitStateChange(PlayerEngine::Pausing);
    QCOMPARE(state->text(), QString());
    m_engine->emitStateChange(PlayerEngine::Paused);
    QCOMPARE(state->text(), QStringLiteral("暂停中"));
    QVERIFY(startPause->styleSheet().contains(QLatin1String("StartPlayPushButton_Normal.png")));
    const int positionReads = m_engine->callCount(QStringLiteral("position"));
    QTest::qWait(1300); // the timer is stopped while paused
    QCOMPARE(m_engine->callCount(QStringLiteral("position")), positionReads);

    // Pairs outside the table change nothing.
    m_engine->emitStateChanged(PlayerEngine::Paused, PlayerEngine::Playing);
    QCOMPARE(state->text(), QStringLiteral("暂停中"));
    m_engine->emitStateChanged(PlayerEngine::Opening, PlayerEngine::Ready);
    QVERIFY(m_window->isMediaOpen());
    QCOMPARE(closed.count(), 0);

    // The stop button closes; the engine's return to Ready resets the window.
    m_engine->setAutoTransitions(true);
    m_engine->setScriptedState(PlayerEngine::Playing);
    child<QPushButton>("stopPlayPushButton")->click();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_window->isMediaOpen());
    QCOMPARE(currentPage()->objectName(), QStringLiteral("normalPage"));
    QCOMPARE(slider->value(), 0);
    QVERIFY(!slider->styleSheet().contains(QLatin1String("PlayProgressSliderHandle")));
    QVERIFY(slider->styleSheet().contains(QLatin1String("width: 0px")));
    QCOMPARE(current->text(), QStringLiteral("00:00:00"));
    QCOMPARE(total->text(), QStringLiteral("00:00:00"));
    QCOMPARE(state->text(), QString());
    QVERIFY(startPause->styleSheet().contains(QLatin1String("StartPlayPushButton_Normal.png")));

    // Stop with nothing open still asks the engine; start/pause does not.
    m_engine->clearCalls();
    child<QPushButton>("stopPlayPushButton")->click();
    startPause->click();
    QCOMPARE(m_engine->callNames(), QStringList{QStringLiteral("close")});

    // In full screen the overlay bars follow the page on show.
    child<QPushButton>("fullScreenPushButton")->click();
    QTRY_VERIFY(m_window->isFullScreen());
    QCOMPARE(child<QWidget>("titleBarWidget")->parentWidget(), child<QWidget>("normalPage"));
    m_engine->setScriptedState(PlayerEngine::Ready);
    openMedia(5000);
    QCOMPARE(opened.count(), 2);
    QCOMPARE(child<QWidget>("titleBarWidget")->parentWidget(), child<QWidget>("playPage"));
    QCOMPARE(child<QWidget>("toolBarWidget")->parentWidget(), child<QWidget>("playPage"));
    m_engine->close();
    QCOMPARE(closed.count(), 2);
    QCOMPARE(child<QWidget>("titleBarWidget")->parentWidget(), child<QWidget>("normalPage"));
    QCOMPARE(child<QWidget>("toolBarWidget")->parentWidget(), child<QWidget>("normalPage"));
    QCOMPARE(currentPage()->objectName(), QStringLiteral("normalPage"));
}

void TestMainWindow::openSucceededAppliesStoredOptionsInOrder()
{
    AppConfig::setLatestValue(70);
    AppConfig::setVideoAspectRatio(QStringLiteral("default"));
    AppConfig::setAudioChannelMode(QStringLiteral("LeftAudioChannel"));
    AppConfig::setBrightness(60);
    AppConfig::setContrast(40);
    AppConfig::setSaturation(55);
    AppConfig::setHue(45);
    AppConfig::setImageNormalize(1);
    AppConfig::setRenderMode(QStringLiteral("EVR"));
    makeWindow();
    m_engine->setScriptedConfig(PlayerEngine::VideoOwnAspect, QStringLiteral("1.78"));
    m_engine->setScriptedDuration(5000);
    m_engine->emitOpenSucceeded();

    using Call = FakePlayerEngine::Call;
    const QList<Call> expected = {
        {QStringLiteral("duration"), {}},
        {QStringLiteral("setVolume"), {70}},
        {QStringLiteral("config"), {203}},
        {QStringLiteral("setConfig"), {204, QStringLiteral("1.78")}},
        {QStringLiteral("setConfig"), {404, QStringLiteral("1")}},
        {QStringLiteral("setConfig"), {214, QStringLiteral("60")}},
        {QStringLiteral("setConfig"), {215, QStringLiteral("40")}},
        {QStringLiteral("setConfig"), {216, QStringLiteral("55")}},
        {QStringLiteral("setConfig"), {217, QStringLiteral("45")}},
        {QStringLiteral("setConfig"), {305, QStringLiteral("1")}},
        {QStringLiteral("setConfig"), {201, QStringLiteral("3")}},
    };
    QCOMPARE(m_engine->calls(), expected);

    // Every known stored text maps to its engine value; unknown texts leave the engine alone.
    struct Row
    {
        const char *aspect, *channel, *render;
        QStringList writes;
    };
    const QStringList colours = {QStringLiteral("214=60"), QStringLiteral("215=40"), QStringLiteral("216=55"),
                                 QStringLiteral("217=45"), QStringLiteral("305=1")};
    const QList<Row> rows = {
        {"4:3", "StereoAudioChannel", "Overlay",
         QStringList{QStringLiteral("204=4;3"), QStringLiteral("404=0")} + colours + QStringList{QStringLiteral("201=1")}},
        {"16:9", "RightAudioChannel", "Renderless",
         QStringList{QStringLiteral("204=16;9"), QStringLiteral("404=2")} + colours + QStringList{QStringLiteral("201=2")}},
        {"5:4", "LeftRightAudioChannel", "EVRCP", QStringList{QStringLiteral("404=3")} + colours + QStringList{QStringLiteral("201=4")}},
        {"Default", "Mono", "AVR", colours + QStringList{QStringLiteral("201=5")}},
        {"", "", "GDI", colours},
    };
    for (const Row &row : rows) {
        AppConfig::setVideoAspectRatio(QLatin1String(row.aspect));
        AppConfig::setAudioChannelMode(QLatin1String(row.channel));
        AppConfig::setRenderMode(QLatin1String(row.render));
        m_engine->clearCalls();
        m_engine->emitOpenSucceeded();
        QCOMPARE(m_engine->configWrites(), row.writes);
        QCOMPARE(m_engine->callNames().mid(0, 2), (QStringList{QStringLiteral("duration"), QStringLiteral("setVolume")}));
    }
}

void TestMainWindow::announcementsRotateInTitleOrder()
{
    makeWindow();
    const QList<RecordedRequest> requests = m_server.requestsMatching("cfg=gonggao");
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).method, QByteArray("GET"));
    const QList<QByteArray> parameters = requests.at(0).parameters();
    QCOMPARE(parameters.mid(0, 4), (QList<QByteArray>{"r=www/default/pc", "do=getConfig", "cfg=gonggao", "_s=pc"}));
    for (const QByteArray &parameter : parameters)
        QVERIFY2(!parameter.startsWith("sign="), parameter.constData());

    auto *announcement = label("announcementLabel");
    const QString alpha = AnnouncementList::labelText(QStringLiteral("http://a.example/"), QStringLiteral("alpha"));
    QCOMPARE(announcement->text(), alpha);
    QCOMPARE(announcement->text(),
             QStringLiteral("<a href=\"http://a.example/\" style=\"text-decoration: none; color:#01bd31;\">alpha</a>"));
    QCOMPARE(announcement->toolTip(), QString());
    QVERIFY(announcement->openExternalLinks());

    QTimer *rotation = nullptr;
    for (QTimer *timer : m_window->findChildren<QTimer *>()) {
        if (timer->interval() == 10000)
            rotation = timer;
    }
    QVERIFY(rotation);
    QVERIFY(rotation->isActive());
    QVERIFY(!rotation->isSingleShot());

    QStringList shown{announcement->text()};
    QStringList tips;
    for (int i = 0; i < 4; ++i) {
        QVERIFY(QMetaObject::invokeMethod(rotation, "timeout"));
        shown << announcement->text();
        tips << announcement->toolTip();
    }
    QCOMPARE(shown, (QStringList{alpha,
                                 AnnouncementList::labelText(QStringLiteral("http://b.example/"), QStringLiteral("beta")),
                                 AnnouncementList::labelText(QStringLiteral("http://g.example/"), QStringLiteral("gamma")),
                                 alpha,
                                 AnnouncementList::labelText(QStringLiteral("http://b.example/"), QStringLiteral("beta"))}));
    QCOMPARE(tips, (QStringList{QStringLiteral("beta"), QStringLiteral("gamma"), QStringLiteral("alpha"),
                                QStringLiteral("beta")}));
    QCOMPARE(child<QSlider>("volumeControlSlider")->value(), 100);

    // Text from the service is shown as written, never read as markup.
    m_server.route("cfg=gonggao", ScriptedResponse::json(
                                      R"({"statu":1,"data":[{"title":"<b>x</b> & y","url":"http://h/?a=1&b=\"2\""}]})"));
    makeWindow();
    announcement = label("announcementLabel");
    QCOMPARE(announcement->text(),
             QStringLiteral("<a href=\"http://h/?a=1&amp;b=&quot;2&quot;\" style=\"text-decoration: none; "
                            "color:#01bd31;\">&lt;b&gt;x&lt;/b&gt; &amp; y</a>"));

    // An empty list shows nothing and starts no rotation.
    m_server.route("cfg=gonggao", ScriptedResponse::json(R"({"statu":1,"data":[]})"));
    makeWindow();
    QCOMPARE(label("announcementLabel")->text(), QString());
    for (QTimer *timer : m_window->findChildren<QTimer *>())
        QVERIFY(!(timer->interval() == 10000 && timer->isActive()));
}

void TestMainWindow::failedAnnouncementsStillRestoreTheVolume()
{
    const QList<ScriptedResponse> failures = {
        ScriptedResponse::drop(),
        ScriptedResponse::text("<html>busy</html>"),
        ScriptedResponse::json(R"({"statu":0,"msg":"off","data":[{"title":"t","url":"u"}]})"),
        ScriptedResponse::json(R"({"statu":1,"data":[]})", 500),
    };
    int volume = 42;
    for (const ScriptedResponse &failure : failures) {
        m_server.route("cfg=gonggao", failure);
        AppConfig::setLatestValue(uint(volume));
        makeWindow();
        QCOMPARE(label("announcementLabel")->text(), QString());
        QCOMPARE(child<QSlider>("volumeControlSlider")->value(), volume);
        QCOMPARE(child<QPushButton>("toggleMutePushButton")->toolTip(), QStringLiteral("禁音"));
        for (QTimer *timer : m_window->findChildren<QTimer *>())
            QVERIFY(!(timer->interval() == 10000 && timer->isActive()));
        volume += 7;
    }
    // A stored volume of 0 shows the muted face from the start.
    m_server.route("cfg=gonggao", ScriptedResponse::drop());
    AppConfig::setLatestValue(0);
    makeWindow();
    QCOMPARE(child<QSlider>("volumeControlSlider")->value(), 0);
    QCOMPARE(child<QPushButton>("toggleMutePushButton")->toolTip(), QStringLiteral("取消禁音"));
}

void TestMainWindow::cursorHidesAtRestOverTheVideo()
{
    makeWindow();
    auto *hideTimer = m_window->findChild<QTimer *>(QStringLiteral("cursorHideTimer"));
    QVERIFY(hideTimer);
    QCOMPARE(hideTimer->interval(), 5000);
    QVERIFY(hideTimer->isSingleShot());

    // The start page never hides the cursor.
    hoverAt(QPoint(450, 300));
    QVERIFY(!hideTimer->isActive());

    openMedia(60000);
    hoverAt(QPoint(450, 300));
    QVERIFY(hideTimer->isActive());
    QTest::qWait(4500);
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cursorShape(), Qt::BlankCursor, 2000);
    hoverAt(QPoint(452, 301));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QVERIFY(hideTimer->isActive());

    // Over a bar, or once the pointer has left the window, the cursor stays.
    hoverAt(QPoint(450, 20));
    QVERIFY(!hideTimer->isActive());
    hoverAt(QPoint(450, 300));
    QVERIFY(hideTimer->isActive());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_window.get(), &leave);
    QVERIFY(!hideTimer->isActive());

    // Hidden, then the media closes: the next move over the start page brings it back.
    hoverAt(QPoint(450, 300));
    QMetaObject::invokeMethod(hideTimer, "timeout");
    QCOMPARE(cursorShape(), Qt::BlankCursor);
    m_engine->setScriptedState(PlayerEngine::Closing);
    m_engine->emitStateChange(PlayerEngine::Ready);
    hoverAt(QPoint(450, 300));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QVERIFY(!hideTimer->isActive());
}

void TestMainWindow::titleBarButtons()
{
    makeWindow();
    auto *topmost = child<QPushButton>("toggleTopmostPushButton");
    topmost->click();
    QVERIFY(m_window->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(m_window->isVisible());
    QCOMPARE(topmost->styleSheet(), QStringLiteral("border-image: url(:/MainWindow/TitleBar/TopmostPushButton_Yes.png);"));
    topmost->click();
    QVERIFY(!(m_window->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(m_window->isVisible());
    QCOMPARE(topmost->styleSheet(), QStringLiteral("border-image: url(:/MainWindow/TitleBar/TopmostPushButton_No.png);"));

    auto *maximize = child<QPushButton>("maximizePushButton");
    maximize->click();
    QTRY_VERIFY(m_window->isMaximized());
    QVERIFY(maximize->styleSheet().contains(QLatin1String("RestorePushButton_Normal.png")));
    maximize->click();
    QTRY_VERIFY(!m_window->isMaximized());
    QVERIFY(maximize->styleSheet().contains(QLatin1String("MaximizePushButton_Normal.png")));

    child<QPushButton>("newbieTutorialPushButton")->click();
    QCOMPARE(m_urls.urls.size(), 1);
    QCOMPARE(m_urls.urls.at(0).toString(),
             QStringLiteral("http://%1/server/?r=www/default/page&p=jiaocheng").arg(m_server.hostPort()));

    child<QPushButton>("closePushButton")->click();
    QVERIFY(!m_window->isVisible());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
