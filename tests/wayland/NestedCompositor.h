#pragma once

#include <QProcess>
#include <QRect>
#include <QRgb>
#include <QTemporaryDir>

#include <memory>

// A Wayland compositor (weston, X11 back end) in a window of the X display the test runs on: the
// program under test is its native Wayland client, and pointer input sent to the X display with
// xdotool reaches the program through it, as a user's would. The compositor's output covers the
// top-left of the X screen at scale 1, so X screen coordinates are output coordinates.
class NestedCompositor
{
public:
    static constexpr int Width = 1600;
    static constexpr int Height = 1000;

    NestedCompositor();
    // Stopped by its process id, whatever the test's outcome.
    ~NestedCompositor();

    // Starts it and points this process's Wayland clients at it (WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
    // QT_QPA_PLATFORM); before the application object, which connects at construction. False
    // with the reason in error() when there is no compositor to be had.
    bool start();
    QString error() const { return m_error; }

    // The bounding box, in output coordinates, of the pixels of exactly this colour on the X
    // screen; null when there are none.
    static QRect areaOf(QRgb colour);

private:
    QTemporaryDir m_runtimeDir;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
};
