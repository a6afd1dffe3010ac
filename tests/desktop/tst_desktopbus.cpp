// The screen-saver inhibition, the media player interface and the boss key through the desktop's
// global-shortcuts portal (as on Wayland) on a private session bus that the test starts; stand-ins
// of the test's own play the desktop's screen saver service and its portal.
#include "ChildOfTest.h"
#include "FakePlayerEngine.h"

#include "player/PlaybackController.h"
#include "shell/ui/BossKey.h"
#include "shell/ui/GlobalShortcutPortal.h"
#include "shell/ui/MprisService.h"
#include "shell/ui/ScreenSaverInhibitor.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QShortcut>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortal = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
} // namespace

// Hands out cookies and records what it is asked, as a desktop's screen saver does.
class RecordingScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;
    QSet<uint> held;

public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        calls.append(QStringLiteral("Inhibit %1 %2").arg(application, reason));
        held.insert(++m_last);
        return m_last;
    }
    void UnInhibit(uint cookie)
    {
        calls.append(QStringLiteral("UnInhibit %1").arg(cookie));
        held.remove(cookie);
    }

private:
    uint m_last = 0;
};

// What the desktop's media panel hears.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

public slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        if (interface == kPlayer)
            changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

// Answers as a desktop does once the user has agreed: every request at once, with success.
class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit FakePortal(const QDBusConnection &bus) : m_bus(bus) {}
    uint version() const { return 1; }
    void press(const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kPortal, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(signal);
    }

    QString session;
    QList<PortalShortcut> bound;

public slots:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &message)
    {
        session = kPortalPath + QStringLiteral("/session/") + sender(message) + QLatin1Char('/')
                + options.value(QStringLiteral("session_handle_token")).toString();
        return respond(options, message, {{QStringLiteral("session_handle"), session}});
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath &sessionHandle, const QList<PortalShortcut> &shortcuts,
                                  const QString &, const QVariantMap &options, const QDBusMessage &message)
    {
        if (sessionHandle.path() == session)
            bound = shortcuts;
        return respond(options, message, {});
    }

private:
    static QString sender(const QDBusMessage &message)
    {
        return message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    }
    QDBusObjectPath respond(const QVariantMap &options, const QDBusMessage &message, const QVariantMap &results)
    {
        const QString request = kPortalPath + QStringLiteral("/request/") + sender(message) + QLatin1Char('/')
                              + options.value(QStringLiteral("handle_token")).toString();
        QDBusMessage response =
            QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << uint(0) << results;
        m_bus.send(response);
        return QDBusObjectPath(request);
    }

    QDBusConnection m_bus;
};

class TestDesktopBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void screenSaverIsHeldOnlyWhilePlaying();
    void mediaPlayerInterface();
    void portalBindsAndDeliversTheBossKey();

private:
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments = {});
    QVariant property(const QString &name)
    {
        return call(kProperties, QStringLiteral("Get"), {kPlayer, name})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }

    ChildOfTest m_bus;
    std::unique_ptr<QDBusConnection> m_desktop;
    RecordingScreenSaver m_screenSaver;
    SignalRecorder m_recorder;
    FakePlayerEngine m_engine;
    PlaybackController m_playback;
};

void TestDesktopBus::initTestCase()
{
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY2(m_bus.waitForStarted(5000), "needs dbus-daemon");
    QVERIFY(m_bus.waitForReadyRead(5000));
    // The program's own session bus connection is made on first use, after this.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
    m_desktop = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("desktop")));
    QVERIFY(m_desktop->isConnected());
    QVERIFY(m_desktop->registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_screenSaver,
                                      QDBusConnection::ExportAllSlots));
    QVERIFY(m_desktop->registerService(kScreenSaver));
    m_engine.setAutoTransitions(true);
    m_engine.setScriptedDuration(60000);
    m_playback.attachEngine(&m_engine);
}

void TestDesktopBus::cleanupTestCase()
{
    m_desktop.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    m_bus.kill();
    m_bus.waitForFinished();
}

QDBusMessage TestDesktopBus::call(const QString &interface, const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(MprisService::kServiceName, MprisService::kObjectPath, interface, method);
    message.setArguments(arguments);
    // This process answers too, so it must keep running its event loop while it waits.
    QDBusPendingCall pending = m_desktop->asyncCall(message, 5000);
    if (!QTest::qWaitFor([&pending] { return pending.isFinished(); }, 10000))
        qWarning("no answer to %s", qPrintable(method));
    return pending.reply();
}

void TestDesktopBus::screenSaverIsHeldOnlyWhilePlaying()
{
    auto inhibitor = std::make_unique<ScreenSaverInhibitor>();
    connect(&m_playback, &PlaybackController::playingChanged, inhibitor.get(), &ScreenSaverInhibitor::setInhibited);
    m_engine.open(QStringLiteral("http://127.0.0.1:9/a"));
    m_engine.emitOpenSucceeded();
    m_engine.setScriptedState(PlayerEngine::Starting);
    m_engine.emitStateChange(PlayerEngine::Playing);
    QTRY_COMPARE(m_screenSaver.held.size(), 1);
    QCOMPARE(m_screenSaver.calls.first(), QStringLiteral("Inhibit Pelorin 正在播放视频"));
    QTRY_VERIFY(inhibitor->heldOverBus()); // the desktop holds it before its answer arrives here

    m_playback.pause();
    QTRY_VERIFY(m_screenSaver.held.isEmpty());
    m_playback.play();
    QTRY_COMPARE(m_screenSaver.held.size(), 1);
    m_playback.stop();
    QTRY_VERIFY(m_screenSaver.held.isEmpty());

    // Switched on and off faster than the desktop answers: nothing stays held.
    for (int i = 0; i < 3; ++i) {
        inhibitor->setInhibited(true);
        inhibitor->setInhibited(false);
    }
    inhibitor->setInhibited(true);
    QTRY_VERIFY(inhibitor->heldOverBus());
    QCOMPARE(m_screenSaver.held.size(), 1);
    // Held at exit: released.
    inhibitor.reset();
    QTRY_VERIFY(m_screenSaver.held.isEmpty());
    QCOMPARE(m_screenSaver.calls.filter(QStringLiteral("UnInhibit")).size(),
             m_screenSaver.calls.filter(QRegularExpression(QStringLiteral("^Inhibit "))).size());

    // Without the desktop's service the bus is not used (nor X11 here, on the offscreen platform).
    QVERIFY(m_desktop->unregisterService(kScreenSaver));
    const int calls = m_screenSaver.calls.size();
    ScreenSaverInhibitor alone;
    alone.setInhibited(true);
    QVERIFY(!alone.heldOverBus() && !alone.heldOnX11());
    QCOMPARE(m_screenSaver.calls.size(), calls);
    QVERIFY(m_desktop->registerService(kScreenSaver));
}

void TestDesktopBus::mediaPlayerInterface()
{
    MprisService mpris(&m_playback);
    QVERIFY(mpris.registerOnBus());
    QVERIFY(m_desktop->interface()->isServiceRegistered(MprisService::kServiceName));
    QVERIFY(m_desktop->connect(QString(), MprisService::kObjectPath, kProperties, QStringLiteral("PropertiesChanged"),
                               &m_recorder, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(m_desktop->connect(QString(), MprisService::kObjectPath, kPlayer, QStringLiteral("Seeked"), &m_recorder,
                               SLOT(seeked(qlonglong))));
    QSignalSpy raised(&mpris, &MprisService::raiseRequested);
    QSignalSpy opened(&mpris, &MprisService::openRequested);

    const QVariantList root =
        call(kProperties, QStringLiteral("GetAll"), {QStringLiteral("org.mpris.MediaPlayer2")}).arguments();
    const QVariantMap identity = qdbus_cast<QVariantMap>(root.value(0));
    QCOMPARE(identity.value(QStringLiteral("Identity")).toString(), QStringLiteral("Pelorin"));
    QCOMPARE(identity.value(QStringLiteral("DesktopEntry")).toString(), QStringLiteral("pelorin"));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    QCOMPARE(property(QStringLiteral("CanPlay")).toBool(), false);

    // A file opens and plays: the panel hears it and sees its name and length.
    m_engine.open(QStringLiteral("http://127.0.0.1:9/a"));
    m_engine.emitOpenSucceeded();
    m_engine.setScriptedState(PlayerEngine::Starting);
    m_engine.emitStateChange(PlayerEngine::Playing);
    mpris.setTitle(QStringLiteral("第一集 a.mp4"));
    const auto heard = [this](const QString &name, const QString &key, const QString &value) {
        return std::any_of(m_recorder.changes.begin(), m_recorder.changes.end(), [&](const QVariantMap &changed) {
            const QVariant v = changed.value(name);
            return (key.isEmpty() ? v : qdbus_cast<QVariantMap>(v).value(key)).toString() == value;
        });
    };
    QTRY_VERIFY(heard(QStringLiteral("PlaybackStatus"), QString(), QStringLiteral("Playing")));
    QTRY_VERIFY(heard(QStringLiteral("Metadata"), QStringLiteral("xesam:title"), QStringLiteral("第一集 a.mp4")));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    const QVariantMap metadata = qdbus_cast<QVariantMap>(property(QStringLiteral("Metadata")));
    QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("第一集 a.mp4"));
    QCOMPARE(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 60000000LL);
    const QString track = qdbus_cast<QDBusObjectPath>(metadata.value(QStringLiteral("mpris:trackid"))).path();
    QVERIFY(!track.isEmpty());

    // The media keys.
    call(kPlayer, QStringLiteral("PlayPause"));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    call(kPlayer, QStringLiteral("Play"));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    call(kPlayer, QStringLiteral("Pause"));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));

    // Position and seeking, in microseconds, kept within the file.
    m_engine.setScriptedPosition(10000);
    QCOMPARE(property(QStringLiteral("Position")).toLongLong(), 10000000LL);
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(5000000)});
    QCOMPARE(m_engine.callsNamed(QStringLiteral("setPosition")).last().arguments, QVariantList{15000});
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(-60000000)});
    QCOMPARE(m_engine.callsNamed(QStringLiteral("setPosition")).last().arguments, QVariantList{0});
    QTRY_COMPARE(m_recorder.seeks, (QList<qlonglong>{15000000, 0}));
    const int seeks = m_engine.callCount(QStringLiteral("setPosition"));
    call(kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/io/pelorin/Track/999"))), qlonglong(1000000)});
    call(kPlayer, QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(61000000)});
    QCOMPARE(m_engine.callCount(QStringLiteral("setPosition")), seeks); // another track, beyond the end
    call(kPlayer, QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(20000000)});
    QCOMPARE(m_engine.callsNamed(QStringLiteral("setPosition")).last().arguments, QVariantList{20000});

    // The window and new resources go out as intents.
    call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
    QCOMPARE(raised.count(), 1);
    call(kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("file:///tmp/a%20b.torrent")});
    QCOMPARE(opened.takeFirst().at(0).toString(), QStringLiteral("/tmp/a b.torrent"));

    call(kPlayer, QStringLiteral("Stop"));
    QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    QCOMPARE(property(QStringLiteral("CanSeek")).toBool(), false);
}

void TestDesktopBus::portalBindsAndDeliversTheBossKey()
{
    GlobalShortcutPortal::registerTypes();
    FakePortal portal(*m_desktop);
    QVERIFY(m_desktop->registerObject(kPortalPath, &portal,
                                      QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    QVERIFY(m_desktop->registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    QWidget window;
    BossKey key(&window); // not X11 here: the portal's way
    QSignalSpy pressed(&key, &BossKey::activated);
    QTRY_VERIFY(key.isGlobal());
    QCOMPARE(portal.bound.size(), 1);
    QCOMPARE(portal.bound.first().properties.value(QStringLiteral("preferred_trigger")).toString(), QStringLiteral("CTRL+d"));
    // The desktop delivers the key now, also while we have the focus: no second toggle.
    QVERIFY(!window.findChild<QShortcut *>()->isEnabled());

    portal.press(QStringLiteral("boss-key"));
    QTRY_COMPARE(pressed.count(), 1);
    // Signals arrive in order: by the second press the other shortcut's has been seen, and ignored.
    portal.press(QStringLiteral("something-else"));
    portal.press(QStringLiteral("boss-key"));
    QTRY_COMPARE(pressed.count(), 2);
    QTest::qWait(0);
    QCOMPARE(pressed.count(), 2); // not 3: the other shortcut's press toggled nothing
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestDesktopBus test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopbus.moc"
