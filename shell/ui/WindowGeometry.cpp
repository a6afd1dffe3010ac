#include "shell/ui/WindowGeometry.h"

#include "app/AppConfig.h"
#include "shell/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

WindowGeometry::WindowGeometry(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    restore();
    window->installEventFilter(this);
}

void WindowGeometry::restore()
{
    QList<QRect> areas;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        areas.append(primary->availableGeometry());
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            areas.append(screen->availableGeometry());
    }
    const QRect placed = WindowPlacement::clamp(AppConfig::mainWindowGeometry(), areas);
    if (placed.isNull())
        return;
    // Not below the window's own minimum; clamp() only ever shrinks to the screen.
    m_window->setGeometry(QRect(placed.topLeft(), placed.size().expandedTo(m_window->minimumSize())));
    if (AppConfig::mainWindowMaximized() == 1)
        m_window->setWindowState(m_window->windowState() | Qt::WindowMaximized);
}

void WindowGeometry::keep()
{
    const bool normal = !(m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    AppConfig::setMainWindowGeometry(normal ? m_window->geometry() : m_window->normalGeometry());
    AppConfig::setMainWindowMaximized(m_window->isMaximized() ? 1 : 0);
}

bool WindowGeometry::eventFilter(QObject *watched, QEvent *event)
{
    // Kept only when the window closes, which ends the program; a hidden (boss key) window is not.
    if (watched == m_window && event->type() == QEvent::Close)
        keep();
    return QObject::eventFilter(watched, event);
}
