// Edge cases of the frameless window, its playback controls, right-click menu and settings that real
// input (tst_mainwindowinput) cannot place exactly. The options' engine values are tst_PictureSoundOptions's.
#include "MainWindowFixture.h"
#include "TestFiles.h"

#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "player/ui/SubtitleSettingDialog.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/ContextMenu.h"
#include "shell/ui/SettingsDialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>
#include <tuple>

class TestMainWindowFrame : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startService(); }
    void init()
    {
        resetService();
        AppConfig::setVideoAspectRatio(QStringLiteral("default"));
        AppConfig::setAudioChannelMode(QStringLiteral("StereoAudioChannel"));
        AppConfig::setRenderMode(QStringLiteral("Renderless"));
        AppConfig::setImageNormalize(0);
        for (auto store : {&AppConfig::setBrightness, &AppConfig::setContrast, &AppConfig::setSaturation, &AppConfig::setHue})
            store(50);
        AppConfig::setClipboardMonitor(1);
    }
    void cleanup() { closeWindow(); }

    void edgesResizeWithinTheLimitsUnlessMaximised();
    void clickWaitsForTheDoubleClickInterval();
    void fullScreenBarsOverlayThePage();
    void cursorHidesAtRestOverTheVideo();
    void keysClampAtTheEnds();
    void progressReleaseThresholdAndGrooveClicks();
    void closeResetsTheWindow();
    void announcementsFailQuietly();
    void menuEntriesShowTheStoredChoicesAndAct();
    void settingsSwitchAndColourSliders();

private:
    std::unique_ptr<QMenu> buildMenu() { return std::unique_ptr<QMenu>(m_window->findChild<ContextMenu *>()->build(m_window)); }
    static QAction *entry(QMenu *menu, const char *text);
    static QStringList checked(QMenu *menu, const char *title)
    {
        QStringList on;
        for (const QAction *action : entry(menu, title)->menu()->actions())
            if (action->isChecked())
                on << action->text();
        return on;
    }
    bool rotating() const
    {
        for (QTimer *timer : m_window->findChildren<QTimer *>())
            if (timer->interval() == 10000 && timer->isActive())
                return true;
        return false;
    }
};

void TestMainWindowFrame::edgesResizeWithinTheLimitsUnlessMaximised()
{
    makeWindow();
    const QRect s = m_window->geometry();
    const int w = s.width(), h = s.height();
    struct Row { QPoint grip, by; QRect expected; };
    // Each edge moves only its own sides; a size below 580x350 is refused, not clamped.
    const QList<Row> rows = {
        {{w - 2, h - 2}, {50, 30}, QRect(s.topLeft(), s.size() + QSize(50, 30))},
        {{w - 2, h - 2}, {580 - w, 350 - h}, QRect(s.topLeft(), QSize(580, 350))},
        {{w - 2, h - 2}, {579 - w, 0}, s},
        {{1, 1}, {100, 50}, QRect(s.x() + 100, s.y() + 50, w - 100, h - 50)},
        {{1, 1}, {w - 580, h - 350}, QRect(s.right() - 579, s.bottom() - 349, 580, 350)},
        {{1, 1}, {w - 579, 10}, s},
        {{2, h / 2}, {-30, 25}, QRect(s.x() - 30, s.y(), w + 30, h)},
        {{w / 2, 0}, {15, -20}, QRect(s.x(), s.y() - 20, w, h + 20)},
        {{w / 2, h - 1}, {70, -100}, QRect(s.topLeft(), QSize(w, h - 100))},
        {{w / 2, h - 1}, {70, 349 - h}, s},
    };
    for (const Row &row : rows) {
        m_window->setGeometry(s);
        const QPoint to = m_window->mapToGlobal(row.grip) + row.by;
        pressAt(row.grip);
        dragToGlobal(to);
        QCOMPARE(m_window->geometry(), row.expected);
        releaseAt(m_window->mapFromGlobal(to));
    }

    // The cursor's shape, one point per shape; the exact region borders are tst_shelllogic's.
    const QList<QPair<QPoint, Qt::CursorShape>> cases = {
        {{2, 2}, Qt::SizeFDiagCursor}, {{w - 1, 4}, Qt::SizeBDiagCursor}, {{w / 2, h - 2}, Qt::SizeVerCursor},
        {{w - 3, h / 2}, Qt::SizeHorCursor}, {{w / 2, h / 2}, Qt::ArrowCursor},
    };
    for (const auto &c : cases) {
        hoverAt(c.first);
        QVERIFY2(cursorShape() == c.second, qPrintable(QStringLiteral("at %1,%2: %3").arg(c.first.x()).arg(c.first.y()).arg(int(cursorShape()))));
    }
    // Maximised: no edge, no drag; restored, the edges come back.
    m_window->showMaximized();
    QTRY_VERIFY(m_window->isMaximized());
    const QRect maximised = m_window->geometry();
    for (const QPoint &at : {QPoint(300, 300), QPoint(m_window->width() - 1, m_window->height() - 1), QPoint(0, 0)}) {
        hoverAt(at);
        QCOMPARE(cursorShape(), Qt::ArrowCursor);
        pressAt(at);
        dragToGlobal(m_window->mapToGlobal(at) + QPoint(-60, -40));
        QCOMPARE(m_window->geometry(), maximised);
        releaseAt(at);
    }
    child<QPushButton>("maximizePushButton")->click();
    QTRY_VERIFY(!m_window->isMaximized());
    hoverAt(QPoint(0, 300));
    QCOMPARE(cursorShape(), Qt::SizeHorCursor);
}

void TestMainWindowFrame::clickWaitsForTheDoubleClickInterval()
{
    makeWindow();
    openMedia(60000);
    startPlaying();
    m_engine->clearCalls();
    const int interval = QApplication::doubleClickInterval();
    const QPoint centre(450, 300);
    const auto click = [this](const QPoint &at) { pressAt(at); releaseAt(at); };

    QElapsedTimer clock;
    click(centre);
    clock.start();
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->callCount(QStringLiteral("pause")), 1, interval + 2000);
    QVERIFY2(clock.elapsed() >= interval * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    m_engine->setScriptedState(PlayerEngine::Paused);
    click(centre);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->callCount(QStringLiteral("play")), 1, interval + 2000);

    // A drag from the video moves the window; it, a click on the tool bar and a right release
    // (menu requests only from the content area, 44 px under the top) toggle nothing.
    disconnect(m_window, &MainWindow::contextMenuRequested, nullptr, nullptr);
    QSignalSpy menu(m_window, &MainWindow::contextMenuRequested);
    m_engine->clearCalls();
    const QRect before = m_window->geometry();
    const QPoint grip = m_window->mapToGlobal(centre);
    pressAt(centre);
    dragToGlobal(grip + QPoint(30, 20));
    QCOMPARE(m_window->geometry(), before.translated(30, 20));
    releaseAt(m_window->mapFromGlobal(grip + QPoint(30, 20)));
    click(QPoint(600, m_window->height() - 10));
    for (const int y : {43, 44, m_window->height() - 45, m_window->height() - 44})
        releaseAt(QPoint(450, y), Qt::RightButton);
    QCOMPARE(menu.count(), 2);
    QCOMPARE(menu.at(0).at(0).toPoint(), QPoint(450, 44));
    QCOMPARE(menu.at(1).at(0).toPoint(), QPoint(450, m_window->height() - 45));
    QTest::qWait(interval + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")) + m_engine->callCount(QStringLiteral("play")), 0);
}

void TestMainWindowFrame::fullScreenBarsOverlayThePage()
{
    makeWindow();
    openMedia(60000);
    startPlaying();
    m_engine->clearCalls();
    auto *title = child<QWidget>("titleBarWidget");
    auto *tool = child<QWidget>("toolBarWidget");
    auto *playPage = child<QWidget>("playPage");
    auto *layout = child<QVBoxLayout>("centralWidgetLayout");
    const QPoint centre(450, 300);
    const auto doubleClick = [&] {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
            mouseAt(type, centre, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton);
    };
    const auto barsBack = [&] {
        return layout->count() == 3 && layout->itemAt(0)->widget() == title && layout->itemAt(2)->widget() == tool
            && title->isVisible() && tool->isVisible();
    };

    doubleClick();
    QTRY_VERIFY(m_window->isFullScreen());
    // The bars span the page whatever size full screen gave it, and show only under the pointer.
    QTRY_COMPARE(playPage->size(), m_window->size());
    QCOMPARE(tool->geometry(), QRect(0, playPage->height() - tool->height(), playPage->width(), tool->height()));
    const QList<std::tuple<int, bool, bool>> hovers = {
        {10, true, false}, {m_window->height() - 10, false, true}, {m_window->height() / 2, false, false}};
    for (const auto &[y, titleShown, toolShown] : hovers) {
        hoverAt(QPoint(100, y));
        QCOMPARE(title->isVisible(), titleShown);
        QCOMPARE(tool->isVisible(), toolShown);
    }
    doubleClick();
    QTRY_VERIFY(!m_window->isFullScreen());
    QVERIFY(barsBack());
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QCOMPARE(m_engine->callCount(QStringLiteral("pause")), 0);

    // Maximising from full screen brings the bars back too.
    child<QPushButton>("fullScreenPushButton")->click();
    QTRY_VERIFY(m_window->isFullScreen());
    child<QPushButton>("maximizePushButton")->click();
    QTRY_VERIFY(m_window->isMaximized() && !m_window->isFullScreen());
    QVERIFY(barsBack());

    // In full screen the bars follow the page that is shown.
    child<QPushButton>("fullScreenPushButton")->click();
    QTRY_VERIFY(m_window->isFullScreen());
    m_engine->setAutoTransitions(true);
    m_app->playback()->stop();
    QCOMPARE(title->parentWidget(), child<QWidget>("normalPage"));
    QCOMPARE(tool->parentWidget(), child<QWidget>("normalPage"));
}

void TestMainWindowFrame::cursorHidesAtRestOverTheVideo()
{
    makeWindow();
    auto *hideTimer = m_window->findChild<QTimer *>(QStringLiteral("cursorHideTimer"));
    QVERIFY(hideTimer);
    hoverAt(QPoint(450, 300)); // the start page never hides it
    QVERIFY(!hideTimer->isActive());

    openMedia(60000);
    QElapsedTimer rest;
    rest.start();
    hoverAt(QPoint(450, 300));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cursorShape(), Qt::BlankCursor, 8000);
    QVERIFY2(rest.elapsed() >= 4700, qPrintable(QString::number(rest.elapsed()))); // a coarse 5 s
    hoverAt(QPoint(452, 301));
    QCOMPARE(cursorShape(), Qt::ArrowCursor);

    // Over a bar, or once the pointer has left the window, it stays.
    hoverAt(QPoint(450, 20));
    QVERIFY(!hideTimer->isActive());
    hoverAt(QPoint(450, 300));
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
}

void TestMainWindowFrame::keysClampAtTheEnds()
{
    makeWindow();
    auto *volume = child<QSlider>("volumeControlSlider");
    auto *progress = child<QSlider>("playProgressSlider");
    // Stepping is tst_mainwindowinput's; here the ends. Nothing open: the engine hears nothing.
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_A, Qt::Key_Tab})
        QTest::keyClick(m_window, key);
    QCOMPARE(volume->value(), 100);
    QVERIFY(m_engine->calls().isEmpty());
    openMedia(12000);
    volume->setValue(3);
    m_engine->clearCalls();
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down})
        QTest::keyClick(m_window, key);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setPosition")).value(2).arguments, QVariantList{12000});
    QCOMPARE(volume->value(), 0);
    QCOMPARE(AppConfig::latestValue(100), 0u);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(m_window, Qt::Key_Left);
    QCOMPARE(progress->value(), 0);

    // A first mute toggle that finds the volume at 0 restores the maximum.
    AppConfig::setLatestValue(0);
    makeWindow();
    child<QPushButton>("toggleMutePushButton")->click();
    QCOMPARE(AppConfig::latestValue(0), 100u);
}

void TestMainWindowFrame::progressReleaseThresholdAndGrooveClicks()
{
    makeWindow();
    auto *slider = child<QSlider>("playProgressSlider");
    const auto press = [](QSlider *s, int x) { QTest::mousePress(s, Qt::LeftButton, {}, QPoint(x, s->height() / 2)); };
    const auto release = [](QSlider *s, int x) { QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(x, s->height() / 2)); };
    const auto seeks = [this] { return m_engine->callsNamed(QStringLiteral("setPosition")); };
    press(slider, slider->width() / 4); // nothing open: the engine hears nothing
    release(slider, slider->width() / 4);
    QVERIFY(m_engine->calls().isEmpty());

    openMedia(1000000);
    const int threshold = int(slider->maximum() * 6.0 / (slider->width() - 8));
    QVERIFY(threshold > 2);
    m_engine->clearCalls();
    slider->setValue(100000);
    slider->setSliderDown(true); // a release within the threshold is no seek, one past it is
    slider->setSliderPosition(100000 + threshold);
    slider->setSliderDown(false);
    QCOMPARE(seeks().size(), 0);
    slider->setSliderDown(true);
    slider->setSliderPosition(slider->value() - threshold - 1);
    slider->setSliderDown(false);
    QCOMPARE(seeks().value(0).arguments, QVariantList{99999});

    // A press on the groove far from the handle jumps there and seeks; near it, the slider drags.
    m_engine->clearCalls();
    const int x = 4 + (slider->width() - 8) * 3 / 4;
    const int target = int(double(x - 4) / double(slider->width() - 8) * slider->maximum());
    press(slider, x);
    QCOMPARE(seeks().value(0).arguments, QVariantList{target});
    release(slider, x);
    m_engine->clearCalls();
    press(slider, x + 2);
    release(slider, x + 2);
    QCOMPARE(seeks().size(), 0);
    press(slider, 0); // left of the groove: clamped to the start
    QCOMPARE(seeks().value(0).arguments, QVariantList{0});
    release(slider, 0);
    auto *volume = child<QSlider>("volumeControlSlider");
    m_engine->clearCalls();
    press(volume, 4 + (volume->width() - 8) / 2);
    QCOMPARE(m_engine->callsNamed(QStringLiteral("setVolume")).value(0).arguments, QVariantList{50});
    release(volume, 4 + (volume->width() - 8) / 2);
}

void TestMainWindowFrame::closeResetsTheWindow()
{
    // Open, play and stop end to end are tst_e2e_product's; the options applied on open tst_PictureSoundOptions's.
    makeWindow();
    openMedia(3 * 3600000 + 2 * 60000 + 1000);
    QCOMPARE(label("totalDurationLabel")->text(), QStringLiteral("03:02:01"));
    startPlaying();
    m_engine->emitStateChanged(PlayerEngine::Opening, PlayerEngine::Ready); // outside the table: ignored
    QVERIFY(m_app->playback()->isMediaOpen());
    child<QSlider>("playProgressSlider")->setValue(61000);
    m_engine->setAutoTransitions(true);
    child<QPushButton>("stopPlayPushButton")->click();
    QCOMPARE(child<QSlider>("playProgressSlider")->value(), 0);
    QCOMPARE(label("currentPlayDurationLabel")->text(), QStringLiteral("00:00:00"));
    QCOMPARE(label("totalDurationLabel")->text(), QStringLiteral("00:00:00"));
    // Nothing open: stop still asks the engine; start/pause and a click on the video do not.
    m_engine->clearCalls();
    child<QPushButton>("stopPlayPushButton")->click();
    child<QPushButton>("startOrPausePlayPushButton")->click();
    pressAt(QPoint(450, 300));
    releaseAt(QPoint(450, 300));
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QCOMPARE(m_engine->callNames(), QStringList{QStringLiteral("close")});
}

void TestMainWindowFrame::announcementsFailQuietly()
{
    // Their order is tst_shelllogic's; here the window keeps working whatever the service sends.
    makeWindow();
    QVERIFY(rotating());
    // Text from the service is shown as written, never read as markup.
    m_server.route("cfg=gonggao", ScriptedResponse::json(R"({"statu":1,"data":[{"title":"<b>x</b> & y","url":"http://h/?a=1&b=\"2\""}]})"));
    makeWindow();
    QVERIFY(label("announcementLabel")->text().contains(QLatin1String("href=\"http://h/?a=1&amp;b=&quot;2&quot;\"")));
    QVERIFY(label("announcementLabel")->text().contains(QLatin1String("&lt;b&gt;x&lt;/b&gt; &amp; y</a>")));

    // Empty or failed: nothing shown, no rotation, and the stored volume (0 too) still applied.
    const QList<ScriptedResponse> failures = {
        ScriptedResponse::json(R"({"statu":1,"data":[]})"), ScriptedResponse::drop(), ScriptedResponse::text("<html>busy</html>"),
        ScriptedResponse::json(R"({"statu":0,"msg":"off","data":[{"title":"t","url":"u"}]})"),
        ScriptedResponse::json(R"({"statu":1,"data":[]})", 500),
    };
    int volume = 0;
    for (const ScriptedResponse &failure : failures) {
        m_server.route("cfg=gonggao", failure);
        AppConfig::setLatestValue(uint(volume));
        makeWindow();
        QCOMPARE(label("announcementLabel")->text(), QString());
        QVERIFY(!rotating());
        QCOMPARE(child<QSlider>("volumeControlSlider")->value(), volume);
        volume += 17;
    }
}

QAction *TestMainWindowFrame::entry(QMenu *menu, const char *text)
{
    // Breadth first: the top level's own entries before its submenus'.
    QList<QMenu *> menus{menu};
    while (!menus.isEmpty()) {
        for (QAction *action : menus.takeFirst()->actions()) {
            if (action->text() == QString::fromUtf8(text))
                return action;
            if (action->menu())
                menus << action->menu();
        }
    }
    qFatal("no entry %s", text);
}

void TestMainWindowFrame::menuEntriesShowTheStoredChoicesAndAct()
{
    makeWindow();
    openMedia(600000);
    std::unique_ptr<QMenu> menu = buildMenu();
    QCOMPARE(checked(menu.get(), "视频比例"), QStringList{u("默认")});
    QCOMPARE(checked(menu.get(), "渲染模式"), QStringList{u("Renderless - 建议")});
    QVERIFY(!entry(menu.get(), "画质增强")->isChecked());
    for (const QAction *action : menu->findChildren<QAction *>())
        QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
    for (const char *title : {"视频比例", "声道模式", "渲染模式"}) {
        const QList<QAction *> actions = entry(menu.get(), title)->menu()->actions();
        QVERIFY(actions.first()->actionGroup() && actions.first()->actionGroup()->isExclusive());
        QCOMPARE(actions.first()->actionGroup()->actions(), actions);
    }

    m_engine->setScriptedConfig(PlayerEngine::PictureEnhancement, QStringLiteral("0"));
    const auto choose = [this](const char *text) {
        std::unique_ptr<QMenu> menu = buildMenu();
        entry(menu.get(), text)->trigger();
    };
    // One entry per group reaches the engine (what is stored is tst_PictureSoundOptions's).
    const QList<std::pair<const char *, const char *>> options = {{"左声道", "404=1"}, {"EVRCP - win7默认", "201=4"}, {"画质增强", "305=1"}};
    for (const auto &[text, write] : options) {
        m_engine->clearCalls();
        choose(text);
        QCOMPARE(m_engine->configWrites().value(0), QLatin1String(write));
    }

    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    auto *pages = resources->findChild<QStackedWidget *>(QStringLiteral("clientStackedWidget"));
    const QList<std::pair<const char *, const char *>> pageEntries = {
        {"播放记录", "playRecordPage"}, {"资源收藏", "collectionPage"}, {"视频下载", "downloadPage"}, {"打开URL", "parsePage"}};
    for (const auto &[text, page] : pageEntries) {
        resources->hide();
        choose(text);
        QVERIFY(resources->isVisible());
        QCOMPARE(pages->currentWidget()->objectName(), QLatin1String(page));
    }
    choose("色彩调整"); // "软件设置" is tst_mainwindowinput's
    QVERIFY(SettingsDialog::instance()->isVisible());
    choose("字幕设置");
    QVERIFY(SubtitleSettingDialog::instance()->isVisible());
    choose("进入官网");
    QCOMPARE(m_urls.urls, QList<QUrl>({QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www"))}));

    // Built anew from what is stored now; values that name no entry check nothing in their group.
    AppConfig::setVideoAspectRatio(QStringLiteral("16:9"));
    AppConfig::setAudioChannelMode(QStringLiteral("Surround"));
    AppConfig::setRenderMode(QStringLiteral("evr"));
    AppConfig::setImageNormalize(1);
    menu = buildMenu();
    QCOMPARE(checked(menu.get(), "视频比例"), QStringList{u("16 : 9")});
    QVERIFY(checked(menu.get(), "声道模式").isEmpty() && checked(menu.get(), "渲染模式").isEmpty());
    QVERIFY(entry(menu.get(), "画质增强")->isChecked());
}

void TestMainWindowFrame::settingsSwitchAndColourSliders()
{
    makeWindow();
    openMedia(600000);
    // Stored values off the form's 50 are applied once as the dialog is made; 50 is not.
    AppConfig::setBrightness(70);
    AppConfig::setHue(0);
    AppConfig::setClipboardMonitor(0);
    m_engine->clearCalls();
    SettingsDialog *dialog = SettingsDialog::instance();
    QCOMPARE(m_engine->configWrites(), (QStringList{u("214=70"), u("217=0")}));
    const auto slider = [dialog](const char *name) { return dialog->findChild<QSlider *>(QLatin1String(name)); };

    // The switch stops and starts the monitor at once and stores the choice.
    auto *box = dialog->findChild<QCheckBox *>(QStringLiteral("clipboardMonitorCheckBox"));
    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    resources->setClipboardMonitorEnabled(true);
    const auto monitorRunning = [resources] {
        for (QTimer *timer : resources->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            if (timer->interval() == 1000 && timer->isActive())
                return true;
        return false;
    };
    for (const bool on : {true, false, true}) {
        box->click();
        QCOMPARE(monitorRunning(), on);
        QCOMPARE(AppConfig::clipboardMonitor(), uint(on));
    }

    // A press far from the handle jumps there; one near it leaves the slider to drag.
    QSlider *contrast = slider("contrastAdjustSlider");
    m_engine->clearCalls();
    QTest::mouseClick(contrast, Qt::LeftButton, {}, QPoint(0, contrast->height() / 2));
    QCOMPARE(m_engine->configWrites(), QStringList{u("215=0")});
    m_engine->clearCalls();
    const int handle = contrast->width() * 2 / 100; // within six values of 0
    QTest::mouseClick(contrast, Qt::LeftButton, {}, QPoint(handle, contrast->height() / 2));
    QCOMPARE(m_engine->configWrites(), QStringList());

    // "恢复默认色彩": each slider that is off 50 goes back through its own path, in order, once.
    m_engine->clearCalls();
    dialog->findChild<QPushButton *>(QStringLiteral("resetDefaultColorPushButton"))->click();
    QCOMPARE(m_engine->configWrites(), (QStringList{u("214=50"), u("215=50"), u("217=50")}));
    QCOMPARE(QList<uint>({AppConfig::brightness(), AppConfig::contrast(), AppConfig::saturation(), AppConfig::hue()}),
             QList<uint>({50, 50, 50, 50}));
}

MAIN_WINDOW_TEST_MAIN(TestMainWindowFrame)
#include "tst_mainwindowframe.moc"
