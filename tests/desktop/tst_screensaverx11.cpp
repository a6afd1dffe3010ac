// Without a session bus the screen is kept on through the X server's own screen saver: holding it
// resets the server's idle time, which both the screen saver and display power saving count from.
#include "shell/ui/ScreenSaverInhibitor.h"

#include <QApplication>
#include <QX11Info>
#include <QtTest>

#include <X11/extensions/scrnsaver.h>

namespace {
unsigned long serverIdleMs()
{
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    XScreenSaverQueryInfo(QX11Info::display(), QX11Info::appRootWindow(), info);
    const unsigned long idle = info->idle;
    XFree(info);
    return idle;
}
} // namespace

class TestScreenSaverX11 : public QObject
{
    Q_OBJECT

private slots:
    void idleTimeIsResetWhileHeld();
};

void TestScreenSaverX11::idleTimeIsResetWhileHeld()
{
    QVERIFY(QX11Info::isPlatformX11());
    QTRY_VERIFY(serverIdleMs() >= 400); // nobody touches this server
    const unsigned long before = serverIdleMs();
    ScreenSaverInhibitor inhibitor;
    inhibitor.setInhibited(true);
    QVERIFY(inhibitor.heldOnX11() && !inhibitor.heldOverBus());
    QVERIFY(serverIdleMs() < before);
    inhibitor.setInhibited(false);
    QVERIFY(!inhibitor.heldOnX11());
}

int main(int argc, char *argv[])
{
    // No session bus: the X server's way.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/pelorin-test-bus");
    QApplication app(argc, argv);
    TestScreenSaverX11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screensaverx11.moc"
