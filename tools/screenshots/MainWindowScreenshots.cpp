// Takes the README's pictures of the main window on a real X display (run it under Xvfb):
//   mainwindow_screenshots <output folder> <video file>
// writes start-page.png, play-page.png and full-screen.png. Announcements come from a scripted
// service on 127.0.0.1; the video plays through the program's own engine.
#include "ScreenGrab.h"

#include "app/ui/GuiResources.h"
#include "player/ui/MpvEngineFactory.h"
#include "player/PlayerEngine.h"
#include "app/ui/Application.h"
#include "player/PlaybackController.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using ScreenGrab::grab;
using ScreenGrab::showAndGrab;
using ScreenGrab::wait;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <video file>\n", argv[0]);
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString video = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();

    ScreenGrab::Stage stage;
    if (!stage.set(QStringLiteral("欢迎使用Pelorin")))
        return 1;

    Application application(&MpvEngineFactory::create);
    MainWindow &window = *application.mainWindow();
    bool ok = showAndGrab(window, out + QStringLiteral("/start-page.png"));

    bool opened = false;
    QObject::connect(application.playback(), &PlaybackController::opened, [&opened] { opened = true; });
    application.engine()->open(video);
    for (int i = 0; i < 100 && !opened; ++i)
        wait(100);
    if (!opened) {
        std::fprintf(stderr, "the video did not open\n");
        return 1;
    }
    wait(2500);
    application.engine()->pause();
    wait(800);
    ok = grab(window.geometry(), out + QStringLiteral("/play-page.png")) && ok;

    // Full screen, with the pointer over the bottom so that the tool bar floats over the video.
    // A bare X server has no window manager to give a full-screen window the whole screen: the
    // window takes it first, then goes full screen.
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    wait(500);
    window.findChild<QPushButton *>(QStringLiteral("fullScreenPushButton"))->click();
    wait(1500);
    QCursor::setPos(window.geometry().center());
    wait(300);
    QCursor::setPos(QPoint(window.geometry().center().x(), window.geometry().bottom() - 12));
    wait(1000);
    ok = grab(window.geometry(), out + QStringLiteral("/full-screen.png")) && ok;
    QCursor::setPos(QPoint(window.geometry().center().x(), window.geometry().top() + 12));
    wait(1000);
    ok = grab(window.geometry(), out + QStringLiteral("/full-screen-title.png")) && ok;

    application.engine()->close();
    wait(300);
    return ok ? 0 : 1;
}
