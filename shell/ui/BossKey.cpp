#include "shell/ui/BossKey.h"

#include "shell/ui/GlobalShortcutPortal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QShortcut>
#include <QWidget>
#include <QX11Info>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {
// The variants X reports with NumLock (Mod2) and CapsLock (Lock) held.
const uint16_t kIgnoredModifiers[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
} // namespace

BossKey::BossKey(QWidget *window)
    : QObject(window)
{
    if (grab())
        return;
    m_shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), window);
    m_shortcut->setContext(Qt::ApplicationShortcut);
    connect(m_shortcut, &QShortcut::activated, this, &BossKey::activated);
    // Under X11 a failed grab means another program holds the key. Elsewhere (Wayland) the
    // desktop's portal may bind it for us; once it has, the desktop delivers the key, also while
    // we have the focus, so the shortcut would only toggle a second time.
    if (!QX11Info::isPlatformX11()) {
        m_portal = new GlobalShortcutPortal(QStringLiteral("boss-key"), tr("老板键"),
                                            QStringLiteral("CTRL+d"), QDBusConnection::sessionBus(), this);
        connect(m_portal, &GlobalShortcutPortal::activated, this, &BossKey::activated);
        connect(m_portal, &GlobalShortcutPortal::bound, m_shortcut, [this] { m_shortcut->setEnabled(false); });
        m_portal->start();
    }
}

bool BossKey::isGlobal() const
{
    return m_grabbed || (m_portal && m_portal->isBound());
}

BossKey::~BossKey()
{
    ungrab();
}

bool BossKey::grab()
{
    if (!QX11Info::isPlatformX11())
        return false;
    xcb_connection_t *connection = QX11Info::connection();
    m_keycode = XKeysymToKeycode(QX11Info::display(), XK_d);
    if (!connection || m_keycode == 0)
        return false;
    bool ok = true;
    for (const uint16_t ignored : kIgnoredModifiers) {
        const xcb_void_cookie_t cookie =
            xcb_grab_key_checked(connection, 1, QX11Info::appRootWindow(), XCB_MOD_MASK_CONTROL | ignored,
                                 xcb_keycode_t(m_keycode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
            std::free(error); // another program holds it
            ok = false;
        }
    }
    if (!ok) {
        m_grabbed = true; // release whatever part of it was taken
        ungrab();
        return false;
    }
    m_grabbed = true;
    QCoreApplication::instance()->installNativeEventFilter(this);
    return true;
}

void BossKey::ungrab()
{
    if (!m_grabbed)
        return;
    m_grabbed = false;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (xcb_connection_t *connection = QX11Info::connection()) {
        for (const uint16_t ignored : kIgnoredModifiers)
            xcb_ungrab_key(connection, xcb_keycode_t(m_keycode), QX11Info::appRootWindow(),
                           XCB_MOD_MASK_CONTROL | ignored);
        xcb_flush(connection);
    }
}

bool BossKey::nativeEventFilter(const QByteArray &eventType, void *message, long *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
    const uint16_t modifiers = press->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    if (press->detail != m_keycode || modifiers != XCB_MOD_MASK_CONTROL)
        return false;
    emit activated();
    return true;
}
