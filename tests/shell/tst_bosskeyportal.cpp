// The boss key through the desktop's global-shortcuts portal, as on Wayland: a portal of the test's
// own on a private session bus binds the key and reports its presses.
#include "app/ui/GuiResources.h"
#include "shell/ui/BossKey.h"
#include "shell/ui/GlobalShortcutPortal.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QScopeGuard>
#include <QShortcut>
#include <QWidget>
#include <QtTest>

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
} // namespace

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
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(signal);
    }

    QString session;
    QList<PortalShortcut> bound;

public slots:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &message)
    {
        session = kPath + QStringLiteral("/session/") + sender(message) + QLatin1Char('/')
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
        const QString request = kPath + QStringLiteral("/request/") + sender(message) + QLatin1Char('/')
                              + options.value(QStringLiteral("handle_token")).toString();
        QDBusMessage response =
            QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << uint(0) << results;
        m_bus.send(response);
        return QDBusObjectPath(request);
    }

    QDBusConnection m_bus;
};

class TestBossKeyPortal : public QObject
{
    Q_OBJECT

private slots:
    void portalBindsAndDeliversTheKey();
};

void TestBossKeyPortal::portalBindsAndDeliversTheKey()
{
    QProcess bus;
    const auto stopBus = qScopeGuard([&bus] {
        bus.kill();
        bus.waitForFinished();
    });
    bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY2(bus.waitForStarted(5000), "needs dbus-daemon");
    QVERIFY(bus.waitForReadyRead(5000));
    // The program's own session bus connection is made on first use, after this.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    GlobalShortcutPortal::registerTypes();
    QDBusConnection desktop = QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                                            QStringLiteral("desktop"));
    QVERIFY(desktop.isConnected());
    FakePortal portal(desktop);
    QVERIFY(desktop.registerObject(kPath, &portal, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

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
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestBossKeyPortal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bosskeyportal.moc"
