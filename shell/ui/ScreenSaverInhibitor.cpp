#include "shell/ui/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QX11Info>

#include <X11/Xlib.h>

namespace {
const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage screenSaverCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject *parent)
    : QObject(parent)
{ }

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    m_wanted = false;
    release();
}

bool ScreenSaverInhibitor::heldOnX11() const
{
    return m_x11Timer && m_x11Timer->isActive();
}

void ScreenSaverInhibitor::setInhibited(bool on)
{
    if (on == m_wanted)
        return;
    m_wanted = on;
    if (!on) {
        release();
        return;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(kService))
        inhibitOverBus();
    else
        startX11();
}

void ScreenSaverInhibitor::inhibitOverBus()
{
    if (m_pending || m_cookie)
        return;
    QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
    call << QStringLiteral("Pelorin") << tr("正在播放视频");
    m_pending = true;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        m_pending = false;
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isError()) {
            if (m_wanted)
                startX11();
            return;
        }
        m_cookie = reply.value();
        // Paused or stopped while the call was on its way.
        if (!m_wanted)
            release();
    });
}

void ScreenSaverInhibitor::release()
{
    if (m_x11Timer)
        m_x11Timer->stop();
    if (!m_cookie)
        return; // a pending Inhibit releases itself when its answer comes
    QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
    call << m_cookie;
    m_cookie = 0;
    // Sent without waiting: on exit there is no event loop left to wait in, and the desktop also
    // drops the inhibition when our bus connection goes.
    QDBusConnection::sessionBus().send(call);
}

void ScreenSaverInhibitor::startX11()
{
    if (!QX11Info::isPlatformX11())
        return;
    if (!m_x11Timer) {
        m_x11Timer = new QTimer(this);
        m_x11Timer->setInterval(kX11ResetIntervalMs);
        connect(m_x11Timer, &QTimer::timeout, this, &ScreenSaverInhibitor::resetX11ScreenSaver);
    }
    resetX11ScreenSaver();
    m_x11Timer->start();
}

void ScreenSaverInhibitor::resetX11ScreenSaver()
{
    // Counts as user activity for the screen saver and the display's power saving alike.
    if (Display *display = QX11Info::display()) {
        XResetScreenSaver(display);
        XFlush(display);
    }
}
