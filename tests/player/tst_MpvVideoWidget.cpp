#include "../shell/DesktopInput.h"
#include "EngineTestMedia.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <clocale>

namespace {

// Records the presses and moves a widget receives, as a main window's filter would, one line each.
class InputRecorder : public QObject
{
public:
    QStringList seen;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove: {
            const auto *m = static_cast<QMouseEvent *>(event);
            seen << QStringLiteral("%1 %2,%3 %4").arg(event->type()).arg(m->x()).arg(m->y()).arg(m->button());
            break;
        }
        default:
            break;
        }
        return false;
    }
};

} // namespace

class TestMpvVideoWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); } // as libmpv requires
    void cleanup() { qunsetenv("PELORIN_VIDEO_PATH"); }
    void pictureAndInputThroughTheXServer_data();
    void pictureAndInputThroughTheXServer();
    void eitherCanBeDestroyedFirst();
};

void TestMpvVideoWidget::pictureAndInputThroughTheXServer_data()
{
    QTest::addColumn<QByteArray>("path");
    for (const char *path : {"software", "direct", "readback"})
        QTest::newRow(path) << QByteArray(path);
}

void TestMpvVideoWidget::pictureAndInputThroughTheXServer()
{
    QFETCH(QByteArray, path);
    qputenv("PELORIN_VIDEO_PATH", path);
    DesktopInput input;
    QVERIFY2(input.start(), "needs an X display (tools/on-x-server) and openbox");
    QTemporaryDir dir;
    // Red above, blue below: the picture must come out upright.
    QVERIFY(!EngineTestMedia::makeClipFrom(dir.path(), QStringLiteral("red.mp4"), 5,
                                           QStringLiteral("color=c=0xff0000:size=320x180:rate=25:duration=5,"
                                                          "drawbox=y=90:w=320:h=90:color=0x0000ff:t=fill"))
                 .isEmpty());
    MpvPlayerEngine engine(MpvPlayerEngine::VideoOutput);
    QVERIFY2(engine.isValid(), qPrintable(engine.errorString()));

    QWidget window(nullptr, Qt::FramelessWindowHint); // as the main window is
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *titleBar = new QWidget;
    titleBar->setFixedHeight(40);
    auto *page = new QWidget;
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(7, 0, 0, 0);
    auto *video = new MpvVideoWidget(&engine);
    pageLayout->addWidget(video);
    layout->addWidget(titleBar);
    layout->addWidget(page);
    // An overlay above the picture, as the notices and the floating bars are.
    auto *overlay = new QWidget(page);
    overlay->setGeometry(200, 150, 60, 30);
    overlay->setAutoFillBackground(true);
    QPalette green = overlay->palette();
    green.setColor(QPalette::Window, Qt::green);
    overlay->setPalette(green);
    video->lower();
    window.resize(400, 300);
    window.setMouseTracking(true); // as the main window does, to see moves without a button
    InputRecorder onWindow;
    InputRecorder onPage;
    window.installEventFilter(&onWindow);
    page->installEventFilter(&onPage);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(DesktopInput::serverPosition(&window), window.mapToGlobal(QPoint()));

    // The picture reaches the screen: read back from the X server, not from the widget.
    engine.open(QDir(dir.path()).filePath(QStringLiteral("red.mp4")));
    const auto pixelAt = [&](const QPoint &at) {
        return window.screen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0);
    };
    const auto isRed = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; };
    const auto isBlue = [](QRgb p) { return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) > 200; };
    const auto isGreen = [](QRgb p) { return qRed(p) < 60 && qGreen(p) > 200 && qBlue(p) < 60; };
    const QPoint upper = video->mapToGlobal(QPoint(video->width() / 2, video->height() / 4));
    const QPoint lower = video->mapToGlobal(QPoint(video->width() / 2, video->height() * 3 / 4));
    QTRY_VERIFY_WITH_TIMEOUT(isRed(pixelAt(upper)), 10000);
    QVERIFY(isBlue(pixelAt(lower)));
    QCOMPARE(MpvVideoPath::name(video->path()), path.constData());
    QTRY_VERIFY(video->shownFrames() > 0);
    QTRY_VERIFY(isGreen(pixelAt(overlay->mapToGlobal(overlay->rect().center()))));

    // Presses and moves on the picture reach the window once, in the window's coordinates (the
    // video sits at (7, 40)); the page between them does not see them.
    const QPoint local(10, 20);
    QVERIFY(input.click(video->mapToGlobal(local)));
    QVERIFY(input.moveTo(video->mapToGlobal(local + QPoint(5, 5))));
    const auto line = [](QEvent::Type type, int x, int y, Qt::MouseButton button) {
        return QStringLiteral("%1 %2,%3 %4").arg(type).arg(x).arg(y).arg(button);
    };
    const QString pressed = line(QEvent::MouseButtonPress, 17, 60, Qt::LeftButton);
    const QString moved = line(QEvent::MouseMove, 22, 65, Qt::NoButton);
    QTRY_VERIFY2(onWindow.seen.contains(moved), qPrintable(onWindow.seen.join(QLatin1Char('|'))));
    QCOMPARE(onWindow.seen.count(pressed), 1);
    QCOMPARE(onPage.seen.size(), 0);
    engine.close();
}

void TestMpvVideoWidget::eitherCanBeDestroyedFirst()
{
    {
        auto *engine = new MpvPlayerEngine(MpvPlayerEngine::VideoOutput);
        QVERIFY2(engine->isValid(), qPrintable(engine->errorString()));
        MpvVideoWidget video(engine);
        video.resize(160, 90);
        video.ensureRenderer(); // may fail without OpenGL; must not crash either way
        delete engine;
        QVERIFY(!video.hasRenderer());
    }
    {
        MpvPlayerEngine engine(MpvPlayerEngine::VideoOutput);
        auto *video = new MpvVideoWidget(&engine);
        video->resize(160, 90);
        video->ensureRenderer();
        delete video;
        engine.setConfig(PlayerEngine::Brightness, QStringLiteral("60")); // must not crash
    }
}

QTEST_MAIN(TestMpvVideoWidget)
#include "tst_MpvVideoWidget.moc"
