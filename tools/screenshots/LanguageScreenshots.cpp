// Takes the README's pictures of the interface in English on a real X display (run it under Xvfb):
//   language_screenshots <output folder>
// writes en-start-page.png, en-parse-page.png, en-context-menu.png and en-settings.png. The
// service is scripted on 127.0.0.1 (an announcement, one resource's file list); nothing plays.
#include "Eventually.h"
#include "FakePlayerEngine.h"
#include "ScreenGrab.h"

#include "app/InterfaceLanguage.h"
#include "app/ui/Application.h"
#include "app/ui/StartUp.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/SettingsDialog.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using ScreenGrab::grab;
using ScreenGrab::showAndGrab;
using ScreenGrab::wait;

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    ScreenGrab::Stage stage;
    if (!stage.set(QStringLiteral("Welcome to Pelorin")))
        return 1;
    stage.service.route(
        "do=getNewHashFileList",
        ScriptedResponse::json(R"({"statu":1,"datas":[{"index":0,"name":"Episode 01.mp4","file_size":734003200},)"
                               R"({"index":1,"name":"Episode 02.mp4","file_size":729808896},)"
                               R"({"index":2,"name":"Extras/Making of.mkv","file_size":1395864371}]})"));
    if (!InterfaceLanguage::apply(InterfaceLanguage::English))
        return 1;

    Application application([](QWidget *playPage) { return new FakePlayerEngine(playPage); });
    MainWindow &window = *application.mainWindow();
    bool ok = showAndGrab(window, out + QStringLiteral("/en-start-page.png"));

    // The menu as a right click on the page opens it, grabbed while it is up.
    whenTrue(
        &window, [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()) != nullptr; },
        [&] {
            QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            wait(500);
            ok = grab(window.geometry().united(menu->geometry()), out + QStringLiteral("/en-context-menu.png")) && ok;
            menu->close();
        });
    emit window.contextMenuRequested(QPoint(560, 150));

    SettingsDialog *settings = SettingsDialog::instance();
    settings->show();
    wait(800);
    ok = grab(settings->geometry(), out + QStringLiteral("/en-settings.png")) && ok;
    settings->hide();

    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    resources->parseInput(QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"));
    wait(1000);
    ok = grab(resources->geometry(), out + QStringLiteral("/en-parse-page.png")) && ok;
    return ok ? 0 : 1;
}
