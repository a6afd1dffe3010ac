#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QtTest>

#include <clocale>

namespace {

// Records the input events a widget receives, as a main window's filter would, one line each.
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
        case QEvent::KeyPress:
            seen << QStringLiteral("key %1").arg(static_cast<QKeyEvent *>(event)->key());
            break;
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
    void inputReachesTheWindowInWindowCoordinates();
    void eitherCanBeDestroyedFirst();
};

void TestMpvVideoWidget::inputReachesTheWindowInWindowCoordinates()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *titleBar = new QWidget;
    titleBar->setFixedHeight(40);
    auto *page = new QWidget;
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(7, 0, 0, 0);
    auto *video = new MpvVideoWidget(nullptr);
    pageLayout->addWidget(video);
    layout->addWidget(titleBar);
    layout->addWidget(page);
    window.resize(400, 300);
    window.setMouseTracking(true); // as the main window does, to see moves without a button
    layout->activate();
    pageLayout->activate();

    InputRecorder onWindow;
    InputRecorder onPage;
    window.installEventFilter(&onWindow);
    page->installEventFilter(&onPage);

    const QPoint local(10, 20);
    const QPoint global = video->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, local + QPoint(5, 5), global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    for (QEvent *e : std::initializer_list<QEvent *>{&press, &move, &key})
        QApplication::sendEvent(video, e);
    QTRY_COMPARE(onWindow.seen.size(), 3);

    // In the window's coordinates: the video sits at (7, 40).
    const auto line = [](QEvent::Type type, int x, int y, Qt::MouseButton button) {
        return QStringLiteral("%1 %2,%3 %4").arg(type).arg(x).arg(y).arg(button);
    };
    QCOMPARE(onWindow.seen, (QStringList{line(QEvent::MouseButtonPress, 17, 60, Qt::LeftButton),
                                         line(QEvent::MouseMove, 22, 65, Qt::NoButton),
                                         QStringLiteral("key %1").arg(Qt::Key_Left)}));
    // Delivered once, not also by propagation through the page.
    QCOMPARE(onPage.seen.size(), 0);
    QApplication::processEvents();
    QCOMPARE(onWindow.seen.size(), 3);
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
