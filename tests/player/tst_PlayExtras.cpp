// Resume, next episode, tracks, speed and screenshots as a user meets them: the program's windows
// with libmpv against a started pelorin-service and its demo content, under a window manager,
// with key and pointer input sent through the X server. Runs under tools/on-x-server.
#include "../shell/DesktopInput.h"
#include "EndToEnd.h"
#include "ServiceProcess.h"
#include "TestFiles.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "player/FormatDuration.h"
#include "player/PlayPositionStore.h"
#include "player/PlaybackController.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/EpisodeOrder.h"
#include "resources/PlayRequest.h"
#include "resources/PlaySession.h"
#include "resources/protocol/ResourceInput.h"
#include "shell/ui/ContextMenu.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

class TestPlayExtras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void episodesFollowInNaturalOrder();
    void tracksSpeedAndScreenshot();
    void resumeAcrossARestart();

private:
    bool startProgram();
    // Parses the magnet and plays the row whose name contains that text; true when it opened.
    bool play(const QString &magnet, const QString &name)
    {
        return e2e::playNamed(m_app->playback(), magnet, name);
    }
    BTResourceFile currentFile() const { return m_app->playSession()->currentFile(); }
    QLabel *notice() const { return m_app->mainWidget()->findChild<QLabel *>(QStringLiteral("videoNotice")); }
    bool focusWindow();

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_magnets;
    DesktopInput m_input;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
};

void TestPlayExtras::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    // Screenshots go to the pictures folder under this home.
    qputenv("HOME", m_dir.path().toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    m_magnets = e2e::prepareDemo(*m_service, &output);
    QVERIFY2(m_magnets.size() == 4, output.constData());
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
    QVERIFY(startProgram());
}

bool TestPlayExtras::startProgram()
{
    m_app = e2e::startLoggedIn(&m_engine);
    return m_app != nullptr;
}

bool TestPlayExtras::focusWindow()
{
    // The title bar takes a click without acting on playback. Under load the window manager can
    // still be settling the focus of windows that came and went (the login dialog, the program
    // started before): a key sent then reaches no window, so the window must stay active.
    QWidget *window = m_app->mainWidget();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            QTest::qWait(QApplication::doubleClickInterval() + 100); // not a double click
        if (!m_input.click(window->mapToGlobal(QPoint(window->width() / 2, 12))))
            return false;
        if (QTest::qWaitFor([window] { return window->isActiveWindow(); }, 10000)) {
            QTest::qWait(200);
            if (window->isActiveWindow())
                return true;
        }
    }
    return false;
}

void TestPlayExtras::episodesFollowInNaturalOrder()
{
    QVERIFY(EpisodeOrder::naturalCompare(QStringLiteral("第2集"), QStringLiteral("第10集")) < 0);
    QVERIFY(EpisodeOrder::naturalCompare(QStringLiteral("Show.E02.mkv"), QStringLiteral("show.e10.mkv")) < 0);
    QVERIFY(EpisodeOrder::naturalCompare(QStringLiteral("a 007"), QStringLiteral("A 7")) != 0);

    // The demo's episodes are 2 s long: the first ends and the second follows through the play
    // path (and into the play records), not the tenth that plain order puts second.
    PlaySession *session = m_app->playSession();
    QStringList opened;
    QObject listening; // ends the connection with this function, also when a check fails
    connect(m_app->playRequest(), &PlayRequest::fileOpened, &listening,
            [&opened](const BTResourceFile &file) { opened << file.fileName; });
    QVERIFY(play(m_magnets[2], QStringLiteral("第1集")));
    QTRY_VERIFY_WITH_TIMEOUT(opened.count() >= 2, e2e::kStepTimeoutMs);
    QVERIFY2(opened[1].contains(QStringLiteral("第2集")), qPrintable(opened.join(QLatin1Char(' '))));
    PlaySession::setAutoPlayNext(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_app->playback()->isMediaOpen(), e2e::kStepTimeoutMs);
    QTest::qWait(300);
    QCOMPARE(opened.count(), 2); // turned off: the tenth does not follow
    QVERIFY(session->playPrevious()); // from the last file played
    QVERIFY(currentFile().fileName.contains(QStringLiteral("第1集")));
    PlaySession::setAutoPlayNext(true);
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
}

void TestPlayExtras::tracksSpeedAndScreenshot()
{
    PlaySession *session = m_app->playSession();
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    QList<MediaTrack> tracks = session->tracks();
    QStringList seen;
    for (const MediaTrack &track : tracks)
        seen << QStringLiteral("%1 %2 %3 %4 %5").arg(int(track.kind)).arg(track.id).arg(track.language, track.title).arg(track.selected);
    QCOMPARE(seen, QStringList({QStringLiteral("0 1 chi 国语 1"), QStringLiteral("0 2 eng English 0"),
                                QStringLiteral("1 1 chi 中文字幕 1")}));
    session->chooseTrack(MediaTrack::Audio, 2);
    session->chooseTrack(MediaTrack::Subtitle, 0);
    QTRY_VERIFY(session->tracks().value(1).selected && !session->tracks().value(0).selected);
    QVERIFY(!session->tracks().value(2).selected);
    // The menu lists them as the file names them, the current ones checked.
    std::unique_ptr<QMenu> menu(m_app->mainWidget()->findChild<ContextMenu *>()->build(nullptr));
    QStringList entries;
    for (const QAction *action : menu->actions()) {
        for (const QAction *entry : action->menu() ? action->menu()->actions() : QList<QAction *>())
            entries << action->text() + QLatin1Char('/') + entry->text() + (entry->isChecked() ? QStringLiteral(" *") : QString());
    }
    QVERIFY2(entries.contains(QStringLiteral("音轨/English [eng] *")) && entries.contains(QStringLiteral("音轨/国语 [chi]"))
                 && entries.contains(QStringLiteral("字幕轨道/中文字幕 [chi]")) && entries.contains(QStringLiteral("字幕轨道/关闭字幕 *"))
                 && entries.contains(QStringLiteral("播放速度/1× *")),
             qPrintable(entries.join(QLatin1Char('|'))));

    session->setSpeed(1.5);
    QCOMPARE(m_engine->speed(), 1.5);
    QTRY_VERIFY(notice()->isVisible());
    QVERIFY2(notice()->text().contains(QStringLiteral("播放速度：1.5×")), qPrintable(notice()->text()));

    // The S key saves the frame at the video's own size.
    QVERIFY(focusWindow());
    QVERIFY(m_input.key(QStringLiteral("s")));
    const QString pictures = PlaySession::screenshotFolder();
    QVERIFY(pictures.startsWith(m_dir.path()));
    QTRY_VERIFY(!QDir(pictures).entryList({QStringLiteral("*.png")}).isEmpty());
    const QString shot = QDir(pictures).entryList({QStringLiteral("*.png")}).value(0);
    QVERIFY2(shot.startsWith(QStringLiteral("Pelorin 双音轨字幕演示_00-00-")), qPrintable(shot));
    QCOMPARE(QImage(QDir(pictures).filePath(shot)).size(), QSize(640, 360));

    // Opened again: the rate is back to 1, the resource's track choice holds.
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    QCOMPARE(m_engine->speed(), 1.0);
    QTRY_VERIFY(session->tracks().value(1).selected && !session->tracks().value(2).selected);
}

void TestPlayExtras::resumeAcrossARestart()
{
    // The film is 45 s long: 10 s in is kept, and the program ends while it plays.
    PlaybackController *playback = m_app->playback();
    if (!playback->isMediaOpen())
        QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    playback->seek(10000);
    QTRY_VERIFY(playback->position() >= 10000);
    m_app.reset();
    PlayPositionStore kept;
    QVERIFY(kept.load());
    const int left = kept.resumePosition(resourceHashFromInput(m_magnets[3]), 0);
    QVERIFY2(left >= 10000 && left < 15000, qPrintable(QString::number(left)));

    QVERIFY(startProgram());
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    QCOMPARE(m_app->playback()->openedAt(), left);
    QVERIFY(m_app->playback()->position() >= left - 500);
    QTRY_VERIFY(notice()->isVisible());
    QVERIFY2(notice()->text().startsWith(QStringLiteral("从 00:%1 继续播放").arg(left / 1000)), qPrintable(notice()->text()));

    // The seek bar tells the time under the pointer.
    auto *bar = m_app->mainWidget()->findChild<QSlider *>(QStringLiteral("playProgressSlider"));
    QVERIFY(m_input.moveTo(bar->mapToGlobal(QPoint(4 + (bar->width() - 8) / 2, bar->height() / 2))));
    QTRY_COMPARE(QToolTip::text(), formatDuration(bar->maximum() / 2));

    // The notice's link starts over; so does Home, and the kept position goes.
    const QString before = notice()->text().left(notice()->text().indexOf(QLatin1Char('<')));
    const int linkX = 10 + notice()->fontMetrics().horizontalAdvance(before.left(before.indexOf(QLatin1Char('&'))) + QStringLiteral("  从头"));
    QVERIFY(m_input.click(notice()->mapToGlobal(QPoint(linkX, notice()->height() / 2))));
    QTRY_VERIFY(m_app->playback()->position() < 5000);
    QVERIFY(!notice()->isVisible());
    m_app->playback()->seek(10000);
    QTRY_VERIFY(m_app->playback()->position() >= 10000);
    QVERIFY(focusWindow());
    QVERIFY(m_input.key(QStringLiteral("Home")));
    QTRY_VERIFY(m_app->playback()->position() < 5000);
    QTRY_VERIFY(!notice()->isVisible());
    m_app->playSession()->saveNow();
    QVERIFY(kept.load());
    QCOMPARE(kept.resumePosition(resourceHashFromInput(m_magnets[3]), 0), 0);

    // The file stays bounded, newest first; one that is not a list of positions reads as empty.
    {
        PlayPositionStore many(QStringLiteral("many.dat"));
        for (int i = 0; i < PlayPositionStore::Limit + 5; ++i)
            many.record(QStringLiteral("AB"), quint32(i), 60000 + i, 3600000);
        QVERIFY(many.save());
        QVERIFY(many.load());
        QCOMPARE(many.size(), PlayPositionStore::Limit);
        QCOMPARE(many.resumePosition(QStringLiteral("ab"), PlayPositionStore::Limit + 4), 60000 + PlayPositionStore::Limit + 4);
        QCOMPARE(many.resumePosition(QStringLiteral("ab"), 4), 0);
        QVERIFY(writeFile(QStringLiteral("many.dat"), "{\"resource_hash\": 1"));
        QVERIFY(!many.load() && many.size() == 0);
    }

    // Left in its last 30 s counts as finished: nothing is kept.
    QVERIFY(PlayPositionStore::countsAsFinished(16000, 45000) && !PlayPositionStore::countsAsFinished(14000, 45000));
    QVERIFY(PlayPositionStore::countsAsFinished(3430000, 3600000) && !PlayPositionStore::countsAsFinished(3000000, 3600000));
    m_app->playback()->seek(40000);
    QTRY_VERIFY(m_app->playback()->position() >= 40000);
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
    QVERIFY(kept.load());
    QCOMPARE(kept.size(), 0);
}

QTEST_MAIN(TestPlayExtras)
#include "tst_PlayExtras.moc"
