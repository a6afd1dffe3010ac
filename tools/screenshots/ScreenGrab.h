#pragma once

#include "ScriptedHttpServer.h"

#include "app/AppConfig.h"

#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

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

// Shows the window at (40, 40) with the pointer out of its way and grabs it once it has settled.
inline bool showAndGrab(QWidget &window, const QString &path)
{
    window.move(40, 40);
    window.show();
    QCursor::setPos(window.geometry().bottomRight() + QPoint(100, 100));
    wait(1500);
    return grab(window.geometry(), path);
}

// Where the pictures are taken: a temporary working folder (for Config.ini) and a scripted
// service on 127.0.0.1 that shows one announcement.
struct Stage
{
    bool set(const QString &announcement)
    {
        if (!work.isValid() || !QDir::setCurrent(work.path()) || !service.listen())
            return false;
        service.route("cfg=gonggao", ScriptedResponse::json(QStringLiteral("{\"statu\":1,\"data\":[{\"title\":\"%1\","
                                                                          "\"url\":\"http://127.0.0.1/\"}]}")
                                                               .arg(announcement)
                                                               .toUtf8()));
        AppConfig::setServiceHost(service.hostPort());
        AppConfig::setFirstLaunch(0);
        AppConfig::setLatestValue(60);
        return true;
    }
    QTemporaryDir work;
    ScriptedHttpServer service;
};

} // namespace ScreenGrab
