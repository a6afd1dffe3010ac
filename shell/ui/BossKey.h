#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class GlobalShortcutPortal;
class QShortcut;
class QWidget;

// The boss key Ctrl+D, system-wide where the platform allows it: on X11 a passive grab of the key
// on the root window (also with NumLock or CapsLock on, which X counts as modifiers), so it
// arrives whichever application has the focus. Elsewhere (Wayland) through the desktop's
// global-shortcuts portal when it offers one, and otherwise while the program has the focus.
// A key held by another program is not ours to take: activated() then simply never comes.
class BossKey : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // The fallback shortcut lives on the window.
    explicit BossKey(QWidget *window);
    ~BossKey() override;

    // True when the key is grabbed (or, through the portal, bound) system-wide.
    bool isGlobal() const;

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

signals:
    void activated();

private:
    bool grab();
    void ungrab();

    bool m_grabbed = false;
    unsigned m_keycode = 0;
    QShortcut *m_shortcut = nullptr;
    GlobalShortcutPortal *m_portal = nullptr;
};
