#include "../shell/DesktopInput.h"
#include "EngineTestMedia.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QApplication>
#include <QMouseEvent>
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
    void pictureAndInputThroughTheXServer();
    void eitherCanBeDestroyedFirst();
};

void TestMpvVideoWidget::pictureAndInputThroughTheXServer()
{
    DesktopInput input;
    QVERIFY2(input.start(), "needs an X display (xvfb-run) and openbox");
    QTemporaryDir dir;
    QVERIFY(!EngineTestMedia::makeClipFrom(dir.path(), QStringLiteral("red.mp4"), 5,
                                           QStringLiteral("color=c=0xff0000:size=320x180:rate=25:duration=5"))
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
    const QPoint middle = video->mapToGlobal(video->rect().center());
    const auto shown = [&] {
        const QRgb pixel = window.screen()->grabWindow(0, middle.x(), middle.y(), 1, 1).toImage().pixel(0, 0);
        return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
    };
    QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);

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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestMpvVideoWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MpvVideoWidget.moc"
