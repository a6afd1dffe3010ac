#pragma once

#include <QPoint>
#include <Qt>

class QWidget;

// What the windowing platform lets a client do with its own windows. A native Wayland client can
// neither place a window nor keep it above others; the compositor moves and resizes windows when
// asked to, and so do X11 window managers.
class WindowPlatform
{
public:
    // True on a native Wayland connection (not XWayland).
    static bool isNativeWayland();
    // Whether a window can be kept above the others.
    static bool canKeepAbove();
    // Whether a dialog with a parent is drawn inside its parent's window instead of in a window of
    // its own: where the compositor, not the program, would decide where that window goes.
    static bool embedsDialogs();

    // A press becomes a drag once the pointer has travelled the platform's drag distance.
    static bool pastDragDistance(const QPoint &travel);
    // Hands an interactive move or resize of the widget's window to the window manager or
    // compositor, for the left press at pressGlobal that is under way; the window then follows the
    // pointer from that press. False where the platform refuses (or the widget is not a window):
    // the caller then moves or resizes the window itself.
    static bool startSystemMove(QWidget *window, const QPoint &pressGlobal);
    static bool startSystemResize(QWidget *window, Qt::Edges edges, const QPoint &pressGlobal);
};
