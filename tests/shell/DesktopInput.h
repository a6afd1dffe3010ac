#pragma once

#include "ChildOfTest.h"

#include <QPoint>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

class QWidget;

// A user at the X display: a window manager that the test starts, and pointer and key input that
// reaches the windows through the X server from another program (xdotool), as a user's does.
// Run under tools/on-x-server; the window manager is stopped with this object.
class DesktopInput
{
public:
    DesktopInput();
    ~DesktopInput();

    // False when no X display or window manager could be had.
    bool start();

    // Each returns once xdotool has sent the input; the test then waits for its effect.
    bool key(const QString &keys);                  // e.g. "space", "Left", "Return", "ctrl+d"
    // Without waiting: for input sent from inside a modal dialog's own event loop.
    void keyLater(const QString &keys);
    void clickLater(const QPoint &global);
    bool type(const QString &text);
    bool click(const QPoint &global, int button = 1, int count = 1); // count 2: a double click
    bool moveTo(const QPoint &global);
    bool drag(const QPoint &from, const QPoint &to);  // press, move in steps, release
    bool buttonDown(int button = 1);
    bool buttonUp(int button = 1);

    // Native window ids from the bottom of the stack to the top, as the window manager keeps them.
    static QStringList stacking();
    static QString windowId(const QWidget *window);
    // A point of the widget (its coordinates) where a press reaches the widget itself: no child
    // there, or only ones that leave presses to their parent. Null when there is none.
    static QPoint pressThroughPoint(const QWidget *widget);
    // Where the X server has the window now (the program's own idea may be ahead of it).
    static QPoint serverPosition(const QWidget *window);

private:
    bool xdotool(const QStringList &arguments);

    ChildOfTest m_windowManager;
    QList<QProcess *> m_pending;
};
