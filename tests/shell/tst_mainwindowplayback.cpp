#include "MainWindowFixture.h"

#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "player/FormatDuration.h"
#include "shell/AnnouncementList.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>

namespace {
const QString kStartFace = QStringLiteral(":/MainWindow/ToolBar/StartPlayPushButton");
const QString kPauseFace = QStringLiteral(":/MainWindow/ToolBar/PausePlayPushButton");
} // namespace

class TestMainWindowPlayback : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startService(); }
    void init() { resetService(); }
    void cleanup() { closeWindow(); }

    void arrowKeysStepAndClamp();
    void muteRestoresTheSavedVolume();
    void progressReleaseThresholdAndGrooveClicks();
    void stateTransitionsDriveTheWindow();
    void openSucceededAppliesStoredOptionsInOrder();
    void announcementsRotateInTitleOrder();
    void failedAnnouncementsStillRestoreTheVolume();
};

void TestMainWindowPlayback::arrowKeysStepAndClamp()
{
    AppConfig::setLatestValue(100);
    makeWindow();
    auto *volume = child<QSlider>("volumeControlSlider");
    auto *progress = child<QSlider>("playProgressSlider");

    // Nothing open: the sliders move, the engine hears nothing.
    QTest::keyClick(m_window, Qt::Key_Up);
    QCOMPARE(volume->value(), 100);
    QTest::keyClick(m_window, Qt::Key_Down);
    QTest::keyClick(m_window, Qt::Key_Down);
    QCOMPARE(volume->value(), 90);
    QCOMPARE(AppConfig::latestValue(0), 90u);
    QTest::keyClick(m_window, Qt::Key_Right);
    QCOMPARE(progress->value(), 5000);
    QTest::keyClick(m_window, Qt::Key_Left);
    QTest::keyClick(m_window, Qt::Key_Left);
    QCOMPARE(progress->value(), 0);
    QVERIFY(m_engine->calls().isEmpty());

    openMedia(12000);
    m_engine->clearCalls();
    QTest::keyClick(m_window, Qt::Key_Right);
    QTest::keyClick(m_window, Qt::Key_Right);
    QTest::keyClick(m_window, Qt::Key_Right);
    QCOMPARE(progress->value(), 12000);
    QTest::keyClick(m_window, Qt::Key_Left);
    QCOMPARE(progress->value(), 7000);
    QTest::keyClick(m_window, Qt::Key_Left);
    QTest::keyClick(m_window, Qt::Key_Left);
    QCOMPARE(progress->value(), 0);
    QStringList positions;
    for (const auto &call : m_engine->callsNamed(QStringLiteral("setPosition")))
        positions << call.arguments.at(0).toString();
    QCOMPARE(positions.join(QLatin1Char(',')), QStringLiteral("5000,10000,12000,7000,2000,0"));

    volume->setValue(7);
    m_engine->clearCalls();
    QTest::keyClick(m_window, Qt::Key_Down);
    QCOMPARE(volume->value(), 2);
    QTest::keyClick(m_window, Qt::Key_Down);
    QCOMPARE(volume->value(), 0);
    QTest::keyClick(m_window, Qt::Key_Up);
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
    QTest::keyClick(m_window, Qt::Key_A);
    QTest::keyClick(m_window, Qt::Key_Tab);
    QVERIFY(m_engine->calls().isEmpty());
    QCOMPARE(volume->value(), 5);
}

void TestMainWindowPlayback::muteRestoresTheSavedVolume()
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
    const QString muted = QStringLiteral(":/MainWindow/ToolBar/MuteSwitchPushButton_On.png");
    const QString sounding = QStringLiteral(":/MainWindow/ToolBar/MuteSwitchPushButton_Off.png");
    QVERIFY(looksLike(mute, muted, sounding));
    QCOMPARE(mute->toolTip(), QStringLiteral("取消禁音"));
    QCOMPARE(AppConfig::latestValue(100), 0u);
    mute->click();
    QCOMPARE(volume->value(), 37);
    QVERIFY(looksLike(mute, sounding, muted));
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

void TestMainWindowPlayback::progressReleaseThresholdAndGrooveClicks()
{
    makeWindow();
    auto *slider = child<QSlider>("playProgressSlider");
    // Nothing open: moving the handle asks the engine nothing.
    slider->setSliderDown(true);
    slider->setSliderPosition(500000);
    slider->setSliderDown(false);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, slider->height() / 2));
    QVERIFY(m_engine->calls().isEmpty());
    QVERIFY(slider->value() < 500000);

    openMedia(1000000);
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

void TestMainWindowPlayback::stateTransitionsDriveTheWindow()
{
    makeWindow();
    QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
    QSignalSpy closed(m_app->playback(), &PlaybackController::closed);
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
    QVERIFY(m_app->playback()->isMediaOpen());
    QCOMPARE(currentPage()->objectName(), QStringLiteral("playPage"));
    QCOMPARE(slider->maximum(), 3 * 3600000 + 2 * 60000 + 1000);
    QCOMPARE(total->text(), QStringLiteral("03:02:01"));
    QCOMPARE(state->text(), QString());
    QVERIFY(slider->styleSheet().contains(QLatin1String(":/MainWindow/ToolBar/PlayProgressSliderHandle.png")));

    m_engine->setScriptedPosition(61000);
    startPlaying();
    QCOMPARE(state->text(), QString());
    QVERIFY(looksLike(startPause, kPauseFace, kStartFace));
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
    QVERIFY(looksLike(startPause, kStartFace, kPauseFace));
    const int positionReads = m_engine->callCount(QStringLiteral("position"));
    QTest::qWait(1300); // the timer is stopped while paused
    QCOMPARE(m_engine->callCount(QStringLiteral("position")), positionReads);

    // Pairs outside the table change nothing.
    m_engine->emitStateChanged(PlayerEngine::Paused, PlayerEngine::Playing);
    QCOMPARE(state->text(), QStringLiteral("暂停中"));
    m_engine->emitStateChanged(PlayerEngine::Opening, PlayerEngine::Ready);
    QVERIFY(m_app->playback()->isMediaOpen());
    QCOMPARE(closed.count(), 0);

    // The stop button closes; the engine's return to Ready resets the window.
    m_engine->setAutoTransitions(true);
    m_engine->setScriptedState(PlayerEngine::Playing);
    child<QPushButton>("stopPlayPushButton")->click();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_app->playback()->isMediaOpen());
    QCOMPARE(currentPage()->objectName(), QStringLiteral("normalPage"));
    QCOMPARE(slider->value(), 0);
    QVERIFY(!slider->styleSheet().contains(QLatin1String("PlayProgressSliderHandle")));
    QVERIFY(slider->styleSheet().contains(QLatin1String("width: 0px")));
    QCOMPARE(current->text(), QStringLiteral("00:00:00"));
    QCOMPARE(total->text(), QStringLiteral("00:00:00"));
    QCOMPARE(state->text(), QString());
    QVERIFY(looksLike(startPause, kStartFace, kPauseFace));

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

void TestMainWindowPlayback::openSucceededAppliesStoredOptionsInOrder()
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

void TestMainWindowPlayback::announcementsRotateInTitleOrder()
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

void TestMainWindowPlayback::failedAnnouncementsStillRestoreTheVolume()
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

MAIN_WINDOW_TEST_MAIN(TestMainWindowPlayback)
#include "tst_mainwindowplayback.moc"
