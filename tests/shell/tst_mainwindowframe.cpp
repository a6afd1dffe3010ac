#include "MainWindowFixture.h"

#include "account/ui/AccountFunctionDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "resources/ui/BTResourceFunctionDialog.h"

#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

class TestMainWindowFrame : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startService(); }
    void init() { resetService(); }
    void cleanup() { closeWindow(); }

    void formAndConstruction();
    void edgeRegionsAndCursors();
    void resizeIsClampedAndKeepsTheOppositeEdge();
    void dragFromTheCentreMovesTheWindow();
    void maximisedWindowNeitherDragsNorChangesCursor();
    void clickTogglesPlayPauseAfterTheDoubleClickInterval();
    void doubleClickTogglesFullScreenWithOverlayBars();
    void rightReleaseOnlyOverTheContentArea();
    void cursorHidesAtRestOverTheVideo();
    void titleBarButtons();
};

void TestMainWindowFrame::formAndConstruction()
{
    makeWindow();
    QCOMPARE(MainWindow::instance(), m_window);
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
    QVERIFY(!m_app->playback()->isMediaOpen());
    QCOMPARE(m_engine->parent(), child<QWidget>("playPage"));
    // The engine is created after the announcements (which set the volume): it saw no call yet.
    QVERIFY(m_engine->calls().isEmpty());
    QCOMPARE(m_server.requestsMatching("cfg=gonggao").size(), 1);

    // Every one-instance dialog over this window, then a new application: the dialogs are made
    // anew over the new window (the old ones went with the old window) and nothing dangles.
    const auto fetchDialogs = [] {
        QList<QWidget *> dialogs = {AccountFunctionDialog::instance(), BTResourceFunctionDialog::instance(),
                                    VIPTipDialog::instance()};
        for (QWidget *dialog : dialogs) {
            if (!dialog || dialog->parentWidget() != MainWindow::instance())
                return QList<QWidget *>();
        }
        return dialogs;
    };
    const QList<QWidget *> first = fetchDialogs();
    QCOMPARE(first.size(), 3);
    QCOMPARE(fetchDialogs(), first); // one instance each
    const QList<QPointer<QWidget>> watched(first.begin(), first.end());
    makeWindow();
    QCOMPARE(MainWindow::instance(), m_window);
    for (const QPointer<QWidget> &old : watched)
        QVERIFY(old.isNull());
    QCOMPARE(fetchDialogs().size(), 3);
    closeWindow();
    QCOMPARE(MainWindow::instance(), nullptr);
    QCOMPARE(AccountFunctionDialog::instance(), nullptr);
}

void TestMainWindowFrame::edgeRegionsAndCursors()
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
    const QPoint onAnnouncement = announcement->mapTo(m_window, announcement->rect().center());
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

void TestMainWindowFrame::resizeIsClampedAndKeepsTheOppositeEdge()
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

void TestMainWindowFrame::dragFromTheCentreMovesTheWindow()
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
    const QPoint onLogo = logo->mapTo(m_window, logo->rect().center());
    const QPoint logoGlobal = m_window->mapToGlobal(onLogo);
    pressAt(onLogo);
    dragToGlobal(logoGlobal + QPoint(5, 5));
    QCOMPARE(m_window->geometry(), start.translated(-10, 49));
    releaseAt(m_window->mapFromGlobal(logoGlobal + QPoint(5, 5)));

    // Through a child, as real input arrives: the page does not take it, the window does.
    QWidget *page = child<QWidget>("normalPage");
    const auto send = [page](QEvent::Type type, const QPoint &global, Qt::MouseButton button,
                             Qt::MouseButtons buttons) {
        QMouseEvent event(type, page->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
        QApplication::sendEvent(page, &event);
    };
    const QRect before = m_window->geometry();
    const QPoint onPage = page->mapToGlobal(QPoint(100, 100));
    send(QEvent::MouseButtonPress, onPage, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, onPage + QPoint(20, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(m_window->geometry(), before.translated(20, 10));
    send(QEvent::MouseMove, onPage + QPoint(-3, 12), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(m_window->geometry(), before.translated(-3, 12));
    send(QEvent::MouseButtonRelease, onPage + QPoint(-3, 12), Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, onPage + QPoint(50, 50), Qt::NoButton, Qt::NoButton);
    QCOMPARE(m_window->geometry(), before.translated(-3, 12));
}

void TestMainWindowFrame::maximisedWindowNeitherDragsNorChangesCursor()
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

void TestMainWindowFrame::clickTogglesPlayPauseAfterTheDoubleClickInterval()
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
    QVERIFY2(clock.elapsed() >= interval * 9 / 10, qPrintable(QString::number(clock.elapsed())));
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

void TestMainWindowFrame::doubleClickTogglesFullScreenWithOverlayBars()
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
    QVERIFY(looksLike(child<QPushButton>("fullScreenPushButton"), QStringLiteral(":/MainWindow/ToolBar/ExitFullScreenPushButton"),
                      QStringLiteral(":/MainWindow/ToolBar/FullScreenPushButton")));

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

void TestMainWindowFrame::rightReleaseOnlyOverTheContentArea()
{
    makeWindow();
    // Only where the window asks for the menu: the menu itself would wait for a choice here.
    disconnect(m_window, &MainWindow::contextMenuRequested, nullptr, nullptr);
    QSignalSpy menu(m_window, &MainWindow::contextMenuRequested);
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

void TestMainWindowFrame::cursorHidesAtRestOverTheVideo()
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
    QElapsedTimer rest;
    rest.start();
    hoverAt(QPoint(450, 300));
    QVERIFY(hideTimer->isActive());
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cursorShape(), Qt::BlankCursor, 8000);
    QVERIFY2(rest.elapsed() >= 4700, qPrintable(QString::number(rest.elapsed()))); // a coarse 5 s
    hoverAt(QPoint(452, 301));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QVERIFY(hideTimer->isActive());

    // Over a bar, or once the pointer has left the window, the cursor stays.
    hoverAt(QPoint(450, 20));
    QVERIFY(!hideTimer->isActive());
    hoverAt(QPoint(450, 300));
    QVERIFY(hideTimer->isActive());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_window, &leave);
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

void TestMainWindowFrame::titleBarButtons()
{
    makeWindow();
    auto *topmost = child<QPushButton>("toggleTopmostPushButton");
    topmost->click();
    QVERIFY(m_window->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(m_window->isVisible());
    const QString pinned = QStringLiteral(":/MainWindow/TitleBar/TopmostPushButton_Yes.png");
    const QString unpinned = QStringLiteral(":/MainWindow/TitleBar/TopmostPushButton_No.png");
    QVERIFY(looksLike(topmost, pinned, unpinned));
    topmost->click();
    QVERIFY(!(m_window->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(m_window->isVisible());
    QVERIFY(looksLike(topmost, unpinned, pinned));

    // Faces that follow the window state name images that exist.
    const auto imagesExist = [](const QString &styleSheet) {
        static const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
        int found = 0;
        for (auto it = url.globalMatch(styleSheet); it.hasNext(); ++found) {
            const QString path = it.next().captured(1);
            if (!QFile::exists(path))
                return false;
        }
        return found > 0;
    };
    auto *maximize = child<QPushButton>("maximizePushButton");
    maximize->click();
    QTRY_VERIFY(m_window->isMaximized());
    const QString restoreFace = QStringLiteral(":/MainWindow/TitleBar/RestorePushButton");
    const QString maximizeFace = QStringLiteral(":/MainWindow/TitleBar/MaximizePushButton");
    QVERIFY(looksLike(maximize, restoreFace, maximizeFace));
    QVERIFY(imagesExist(maximize->styleSheet()));
    auto *fullScreen = child<QPushButton>("fullScreenPushButton");
    fullScreen->click();
    QTRY_VERIFY(m_window->isFullScreen());
    QVERIFY(looksLike(fullScreen, QStringLiteral(":/MainWindow/ToolBar/ExitFullScreenPushButton"),
                      QStringLiteral(":/MainWindow/ToolBar/FullScreenPushButton")));
    QVERIFY(imagesExist(fullScreen->styleSheet()));
    fullScreen->click();
    QTRY_VERIFY(!m_window->isFullScreen());
    QVERIFY(imagesExist(fullScreen->styleSheet()));
    if (!m_window->isMaximized())
        maximize->click();
    QTRY_VERIFY(m_window->isMaximized());
    maximize->click();
    QTRY_VERIFY(!m_window->isMaximized());
    QVERIFY(looksLike(maximize, maximizeFace, restoreFace));

    child<QPushButton>("newbieTutorialPushButton")->click();
    QCOMPARE(m_urls.urls.size(), 1);
    QCOMPARE(m_urls.urls.at(0).toString(),
             QStringLiteral("http://%1/server/?r=www/default/page&p=jiaocheng").arg(m_server.hostPort()));

    child<QPushButton>("closePushButton")->click();
    QVERIFY(!m_window->isVisible());
}

MAIN_WINDOW_TEST_MAIN(TestMainWindowFrame)
#include "tst_mainwindowframe.moc"
