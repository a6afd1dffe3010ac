// Runs on a real X display (Xvfb) with OpenGL: the picture path that offscreen tests cannot reach.

#include "EngineTestMedia.h"
#include "ScriptedHttpServer.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <clocale>

class TestMpvVideoSurface : public QObject
{
    Q_OBJECT

private slots:
    void hiddenPageShowsThePictureOnceOpened();
};

void TestMpvVideoSurface::hiddenPageShowsThePictureOnceOpened()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display with OpenGL");
    QTemporaryDir dir;
    const QByteArray clip = EngineTestMedia::makeClip(dir.path(), QStringLiteral("clip.mp4"), 4, 320, 180);
    QVERIFY(!clip.isEmpty());
    ScriptedHttpServer server;
    QVERIFY(server.listen());
    server.serveData("/clip.mp4", clip, "video/mp4");

    MpvPlayerEngine engine(MpvPlayerEngine::VideoOutput);
    QVERIFY2(engine.isValid(), qPrintable(engine.errorString()));

    // Like the main window: a start page in front, the video on a page shown only once open.
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *pages = new QStackedWidget;
    layout->addWidget(pages);
    pages->addWidget(new QLabel(QStringLiteral("start")));
    auto *playPage = new QWidget;
    auto *playLayout = new QVBoxLayout(playPage);
    auto *video = new MpvVideoWidget(&engine);
    playLayout->addWidget(video);
    pages->addWidget(playPage);
    window.resize(480, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    bool rendererAtOpen = false;
    connect(&engine, &PlayerEngine::openSucceeded, this, [&] {
        rendererAtOpen = video->hasRenderer();
        pages->setCurrentIndex(1);
    });
    QSignalSpy frames(video, &MpvVideoWidget::frameRendered);
    engine.open(server.url(QStringLiteral("/clip.mp4")).toString());
    QVERIFY(video->hasRenderer()); // made before loading, though the page is hidden
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 30000);
    QVERIFY(rendererAtOpen);

    // The test picture is colourful: the frame must not be a blank surface.
    const QImage picture = video->grabFramebuffer();
    QVERIFY(!picture.isNull());
    QSet<QRgb> colours;
    for (int x = 0; x < picture.width(); x += picture.width() / 16)
        colours.insert(picture.pixel(x, picture.height() / 3) & 0xF0F0F0);
    QVERIFY2(colours.size() >= 4, qPrintable(QString::number(colours.size())));

    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), 30000);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestMpvVideoSurface test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MpvVideoSurface.moc"
