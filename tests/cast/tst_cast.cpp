// Casting as a user meets it: the program's windows with libmpv, the casting module opened as the
// program opens it, a started pelorin-service and a real renderer (gmediarender, its sinks
// discarding in real time), all inside a network namespace of the test's own (see
// in-network-namespace), with the pointer sent through the X server. The renderer's own answers
// are read through a second, independent UPnP connection.
#include "../shell/DesktopInput.h"
#include "ChildOfTest.h"
#include "EngineTestMedia.h"
#include "EndToEnd.h"
#include "ServiceProcess.h"
#include "TestFiles.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "player/PlaybackController.h"
#include "player/RendererEngine.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/upnp/UpnpRendererDiscovery.h"
#include "resources/CastSession.h"
#include "resources/PlayRequest.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <signal.h>

namespace {
const char kRendererName[] = "Pelorin Test TV"; // the renderer takes its arguments as ASCII
const char kRendererUuid[] = "uuid:5e1f0c2a-35c4-4d2e-9a35-000000000035";
constexpr int kClipSeconds = 40;
constexpr int kWaitMs = 30000;
} // namespace

// The renderer as seen from outside the program: its transport state and position.
class RendererWatch : public QObject
{
public:
    bool find()
    {
        m_discovery.search();
        return QTest::qWaitFor([this] { return connect(); }, kWaitMs);
    }
    QString state()
    {
        QString state;
        QObject::connect(m_renderer, &MediaRenderer::transportInfo, this,
                         [&state](const QString &s, const QString &) { state = s; });
        ask([this] { m_renderer->queryTransport(); });
        m_renderer->disconnect(this);
        return state;
    }
    int positionMs()
    {
        int at = -1;
        QObject::connect(m_renderer, &MediaRenderer::positionInfo, this,
                         [&at](const QString &relative, const QString &) { at = RendererEngine::parseTime(relative); });
        ask([this] { m_renderer->queryPosition(); });
        m_renderer->disconnect(this);
        return at;
    }
    bool reaches(const QString &wanted)
    {
        return QTest::qWaitFor([&] { return state() == wanted; }, kWaitMs);
    }

private:
    bool connect()
    {
        if (!m_renderer)
            m_renderer = m_discovery.connectTo(QString::fromLatin1(kRendererUuid), this);
        return m_renderer != nullptr;
    }
    void ask(const std::function<void()> &question)
    {
        bool done = false;
        const auto link = QObject::connect(m_renderer, &MediaRenderer::finished, this, [&done] { done = true; });
        question();
        if (!QTest::qWaitFor([&done] { return done; }, 5000))
            m_renderer->cancelAll();
        QObject::disconnect(link);
    }

    UpnpRendererDiscovery m_discovery;
    MediaRenderer *m_renderer = nullptr;
};

class TestCast : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void discoveryListsTheRenderer();
    void castChosenWithThePointer();
    void toolBarDrivesTheRenderer();
    void nextEpisodeIsCast();
    void stopCastingPlaysHereWhereItWas();
    void rendererKilledMidFilm();

private:
    bool makeLibrary();
    bool startRenderer();
    bool play(const QString &name) { return e2e::playNamed(playback(), m_magnet, name); }
    bool clickWidget(QWidget *widget, QPoint at = QPoint(-1, -1));
    bool castWithMenu();
    QLabel *castNotice() const { return m_app->mainWidget()->findChild<QLabel *>(QStringLiteral("castNotice")); }
    PlaybackController *playback() const { return m_app->playback(); }
    CastSession *cast() const { return m_app->castSession(); }
    template <typename T> T *windowChild(const char *name) const
    {
        return m_app->mainWidget()->findChild<T *>(QLatin1String(name));
    }
    // The main window's page on show.
    QString page() const
    {
        return windowChild<QStackedWidget>("contentStackedWidget")->currentWidget()->objectName();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_magnet;
    ChildOfTest m_renderer;
    DesktopInput m_input;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
    std::unique_ptr<RendererWatch> m_watch;
};

void TestCast::initTestCase()
{
    const QByteArray unavailable = qgetenv("PELORIN_NETNS_UNAVAILABLE");
    if (!unavailable.isEmpty())
        QSKIP(qPrintable(QStringLiteral("casting needs a network of its own: %1").arg(QString::fromUtf8(unavailable))));
    initGuiResources();
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    qputenv("HOME", m_dir.path().toUtf8());
    m_service = std::make_unique<ServiceProcess>();
    m_service->setListenAddress(qEnvironmentVariable("PELORIN_NETNS_ADDRESS"));
    QVERIFY(makeLibrary());
    QVERIFY2(m_service->start(), m_service->log().constData());
    QVERIFY(startRenderer());
    e2e::useService(*m_service);
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
    m_app = e2e::startLoggedIn(&m_engine, QStringLiteral("cast@pelorin.test"), QStringLiteral("cast1234"));
    QVERIFY(m_app);
    m_watch = std::make_unique<RendererWatch>();
    QVERIFY2(m_watch->find(), "the renderer does not answer the test's own search");
}

void TestCast::cleanupTestCase()
{
    m_app.reset();
    m_watch.reset();
    m_renderer.stop();
    m_service.reset();
}

bool TestCast::makeLibrary()
{
    // Two small episodes, long enough to be paused, sought and ended on the renderer.
    const QString payload = m_dir.filePath(QStringLiteral("剧集"));
    QDir().mkpath(payload);
    for (int episode = 1; episode <= 2; ++episode) {
        if (EngineTestMedia::makeClip(payload, QStringLiteral("演示 第%1集.mp4").arg(episode), kClipSeconds, 320, 180).isEmpty())
            return false;
    }
    const QString torrent = m_dir.filePath(QStringLiteral("series.torrent"));
    QByteArray output;
    if (m_service->run({QStringLiteral("torrent"), QStringLiteral("create"), payload, torrent}, &output) != 0)
        return false;
    m_magnet = QRegularExpression(QStringLiteral("magnet:\\?\\S+")).match(QString::fromUtf8(output)).captured(0);
    return !m_magnet.isEmpty()
        && m_service->run({QStringLiteral("library"), QStringLiteral("add"), torrent, payload}, &output) == 0
        && m_service->run({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("cast@pelorin.test"),
                           QStringLiteral("cast1234")},
                          &output)
        == 0;
}

bool TestCast::startRenderer()
{
    m_renderer.setProgram(QStringLiteral("gmediarender"));
    // Sinks that keep to the clock: plain fakesinks would play the film as fast as it decodes.
    m_renderer.setArguments({QStringLiteral("-I"), qEnvironmentVariable("PELORIN_NETNS_INTERFACE"),
                             QStringLiteral("-f"), QString::fromUtf8(kRendererName), QStringLiteral("-u"),
                             QString::fromLatin1(kRendererUuid + 5), QStringLiteral("--gstout-videopipe"),
                             QStringLiteral("fakesink sync=true"), QStringLiteral("--gstout-audiopipe"),
                             QStringLiteral("fakesink sync=true"), QStringLiteral("--logfile"),
                             m_dir.filePath(QStringLiteral("renderer.log"))});
    m_renderer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_renderer.start();
    return m_renderer.waitForStarted(10000);
}

bool TestCast::clickWidget(QWidget *widget, QPoint at)
{
    if (at.x() < 0)
        at = widget->rect().center();
    return m_input.click(widget->mapToGlobal(at));
}

bool TestCast::castWithMenu()
{
    // The menu runs its own loop: its entry is clicked from a timer once the renderer is listed.
    QTimer chooser;
    bool clicked = false;
    connect(&chooser, &QTimer::timeout, this, [this, &clicked, &chooser] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || menu->objectName() != QLatin1String("castMenu"))
            return;
        for (QAction *action : menu->actions()) {
            if (action->text() == QLatin1String(kRendererName) && action->isEnabled()) {
                m_input.clickLater(menu->mapToGlobal(menu->actionGeometry(action).center()));
                clicked = true;
                chooser.stop();
            }
        }
    });
    chooser.start(100);
    QSignalSpy casting(cast(), &CastSession::castingChanged);
    if (!clickWidget(windowChild<QPushButton>("castPushButton")))
        return false;
    return QTest::qWaitFor([&] { return clicked && cast()->isCasting() && playback()->isMediaOpen(); }, kWaitMs);
}

void TestCast::discoveryListsTheRenderer()
{
    cast()->search();
    QTRY_VERIFY_WITH_TIMEOUT(!cast()->devices().isEmpty(), kWaitMs);
    const RendererDevice device = cast()->devices().first();
    QCOMPARE(device.name, QString::fromUtf8(kRendererName));
    QCOMPARE(device.id, QString::fromLatin1(kRendererUuid));
    QCOMPARE(device.address, qEnvironmentVariable("PELORIN_NETNS_ADDRESS"));
    QCOMPARE(cast()->searchState(), CastSession::Found);
}

void TestCast::castChosenWithThePointer()
{
    QVERIFY(play(QStringLiteral("第1集")));
    QTRY_VERIFY_WITH_TIMEOUT(playback()->position() > 1500, kWaitMs);
    const int localAt = playback()->position();
    QVERIFY(castWithMenu());

    QVERIFY(m_watch->reaches(QStringLiteral("PLAYING")));
    const int first = m_watch->positionMs();
    QTest::qWait(2500);
    const int later = m_watch->positionMs();
    QVERIFY2(later >= first + 1000, qPrintable(QStringLiteral("%1 -> %2").arg(first).arg(later)));
    // It went on where the player was, and the player waits paused.
    QVERIFY2(first >= localAt - 2000, qPrintable(QStringLiteral("%1 / %2").arg(first).arg(localAt)));
    QCOMPARE(m_engine->state(), int(PlayerEngine::Paused));
    QVERIFY(castNotice()->isVisible());
    QVERIFY2(castNotice()->text().contains(QStringLiteral("正在投屏到 %1").arg(QString::fromUtf8(kRendererName))),
             qPrintable(castNotice()->text()));
    QCOMPARE(page(), QStringLiteral("playPage"));
    // The renderer fetched the address that carries its code, without the play address's cookie.
    QVERIFY2(m_service->log().contains("video:download"), m_service->log().right(2000).constData());
    QTRY_VERIFY(windowChild<QSlider>("playProgressSlider")->value() >= first - 1000);
}

void TestCast::toolBarDrivesTheRenderer()
{
    auto *playPause = windowChild<QPushButton>("startOrPausePlayPushButton");
    QVERIFY(clickWidget(playPause));
    QVERIFY(m_watch->reaches(QStringLiteral("PAUSED_PLAYBACK")));
    const int paused = m_watch->positionMs();
    QTest::qWait(1500);
    QVERIFY(qAbs(m_watch->positionMs() - paused) < 500);
    QTest::qWait(QApplication::doubleClickInterval());
    QVERIFY(clickWidget(playPause));
    QVERIFY(m_watch->reaches(QStringLiteral("PLAYING")));

    // A click on the seek bar at 60 %.
    auto *slider = windowChild<QSlider>("playProgressSlider");
    QVERIFY(slider->maximum() >= (kClipSeconds - 1) * 1000);
    QVERIFY(clickWidget(slider, QPoint(4 + int((slider->width() - 8) * 0.6), slider->height() / 2)));
    const int target = int(slider->maximum() * 0.6);
    QVERIFY(QTest::qWaitFor([&] { return qAbs(m_watch->positionMs() - target) < 3000; }, kWaitMs));
    QTRY_VERIFY(qAbs(playback()->position() - target) < 3000);
}

void TestCast::nextEpisodeIsCast()
{
    QStringList opened;
    QObject listening;
    connect(m_app->playRequest(), &PlayRequest::fileOpened, &listening,
            [&opened](const BTResourceFile &file) { opened << file.fileName; });
    playback()->seek((kClipSeconds - 3) * 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!opened.isEmpty(), kWaitMs);
    QVERIFY2(opened.first().contains(QStringLiteral("第2集")), qPrintable(opened.join(QLatin1Char(' '))));
    QVERIFY(cast()->isCasting() && playback()->isRemote());
    QVERIFY(m_watch->reaches(QStringLiteral("PLAYING")));
    const auto recorded = [] { return QString::fromUtf8(readFile(QStringLiteral("PlayRecord.dat"))); };
    QTRY_VERIFY_WITH_TIMEOUT(recorded().contains(QStringLiteral("第2集")), kWaitMs);
    // The first episode was left at its end: nothing is kept for it, locally or there.
    QVERIFY(!m_engine->isValid() || m_engine->state() == PlayerEngine::Ready);

    // Stop on the tool bar stops the renderer; the window goes back to its start page.
    QTest::qWait(1500);
    QVERIFY(clickWidget(windowChild<QPushButton>("stopPlayPushButton")));
    QVERIFY(m_watch->reaches(QStringLiteral("STOPPED")));
    QTRY_VERIFY(!playback()->isMediaOpen());
    QCOMPARE(page(), QStringLiteral("normalPage"));
}

void TestCast::stopCastingPlaysHereWhereItWas()
{
    // Still chosen: the next file played goes to the renderer.
    QVERIFY(cast()->isCasting());
    QVERIFY(play(QStringLiteral("第1集")));
    QVERIFY(playback()->isRemote());
    QVERIFY(m_watch->reaches(QStringLiteral("PLAYING")));
    playback()->seek(12000);
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->positionMs() >= 13000, kWaitMs);
    const int there = m_watch->positionMs();
    cast()->stopCasting();
    QVERIFY(!cast()->isCasting() && !playback()->isRemote());
    QTRY_VERIFY_WITH_TIMEOUT(m_engine->state() == PlayerEngine::Playing, kWaitMs);
    QVERIFY2(qAbs(playback()->position() - there) < 4000,
             qPrintable(QStringLiteral("%1 / %2").arg(playback()->position()).arg(there)));
    QVERIFY(m_watch->reaches(QStringLiteral("STOPPED")));
    QVERIFY(!castNotice()->isVisible());
}

void TestCast::rendererKilledMidFilm()
{
    QVERIFY(castWithMenu());
    QVERIFY(m_watch->reaches(QStringLiteral("PLAYING")));
    QTest::qWait(2500);
    const int last = playback()->position();
    ::kill(pid_t(m_renderer.processId()), SIGKILL);
    m_renderer.waitForFinished(5000);

    QTRY_VERIFY_WITH_TIMEOUT(!cast()->isCasting(), kWaitMs);
    QTRY_VERIFY(castNotice()->isVisible());
    QVERIFY2(castNotice()->text().contains(QStringLiteral("设备已断开"))
                 && castNotice()->text().contains(QStringLiteral("本地播放")),
             qPrintable(castNotice()->text()));
    QCOMPARE(page(), QStringLiteral("playPage"));

    // The offer, taken with the pointer: the film goes on here where the renderer was.
    QLabel *notice = castNotice();
    QVERIFY(
        clickWidget(notice, QPoint(notice->width() / 2, notice->height() - 12 - notice->fontMetrics().height() / 2)));
    QTRY_VERIFY_WITH_TIMEOUT(m_engine->state() == PlayerEngine::Playing, kWaitMs);
    QVERIFY2(qAbs(playback()->position() - last) < 5000,
             qPrintable(QStringLiteral("%1 / %2").arg(playback()->position()).arg(last)));
    QVERIFY(!castNotice()->isVisible());
    playback()->stop();
    QTRY_VERIFY(!playback()->isMediaOpen());
}

QTEST_MAIN(TestCast)
#include "tst_cast.moc"
