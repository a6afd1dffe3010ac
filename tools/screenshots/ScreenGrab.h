#pragma once

#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QTimer>

#include <cstdio>

// For the tools that take the README's pictures on an X display.
namespace ScreenGrab {

// Lets the program run (paint, lay out, answer the service) for a while.
inline void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Saves what the X server shows in the area (global coordinates) and says so.
inline bool grab(const QRect &area, const QString &path)
{
    const QPixmap shot =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool saved = shot.save(path);
    std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "could not write", qPrintable(path), shot.width(), shot.height());
    return saved;
}

} // namespace ScreenGrab
