// The main window as a native Wayland client of a real compositor, driven by real pointer input:
// moves and resizes are the compositor's, dialogs are drawn over the main window. Positions are
// read off the screen, since a Wayland client never learns where its windows are.
#include "../shell/DesktopInput.h"
#include "../shell/MainWindowFixture.h"
#include "NestedCompositor.h"

#include "app/ui/GuiResources.h"
#include "resources/ui/BTResourceFunctionDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
// The title and tool bars' colour: the window's outline on the screen.
const QRgb kBars = qRgb(22, 33, 41);
// The resource dialog's background.
const QRgb kResourceDialog = qRgb(247, 247, 247);
} // namespace

class TestWaylandWindow : public MainWindowFixture
{
    Q_OBJECT

public:
    TestWaylandWindow(NestedCompositor &compositor, bool ready) : m_compositor(compositor), m_ready(ready) {}

private slots:
    void initTestCase();
    void init() { resetService(); }
    void cleanup() { closeWindow(); }

    void dragsMoveTheWindowAndAClickStillPauses();
    void topLeftResizeKeepsTheBottomRightCorner();
    void dialogOpensOverTheMainWindow();

private:
    // The window where the compositor shows it, once it is there.
    QRect shownWindow()
    {
        QRect area;
        if (!QTest::qWaitFor([&] { return (area = NestedCompositor::areaOf(kBars)).size() == m_window->size(); }, 5000))
            qWarning("the window is not on the screen whole");
        return area;
    }
    // A step towards the middle of the screen, so that the window stays on it.
    static QPoint inwards(const QRect &window, const QPoint &step)
    {
        const QPoint middle(NestedCompositor::Width / 2, NestedCompositor::Height / 2);
        return QPoint(window.center().x() < middle.x() ? step.x() : -step.x(),
                      window.center().y() < middle.y() ? step.y() : -step.y());
    }

    NestedCompositor &m_compositor;
    const bool m_ready;
    DesktopInput m_input; // xdotool only: the compositor is the window manager here
};

void TestWaylandWindow::initTestCase()
{
    QVERIFY2(m_ready, qPrintable(m_compositor.error()));
    QVERIFY(QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    startService();
    // The compositor follows the X pointer from the moment it enters its window.
    QVERIFY(m_input.moveTo({NestedCompositor::Width + 50, NestedCompositor::Height + 50}));
    QVERIFY(m_input.moveTo({NestedCompositor::Width / 2, NestedCompositor::Height / 2}));
}

void TestWaylandWindow::dragsMoveTheWindowAndAClickStillPauses()
{
    makeWindow();
    openMedia(600000);
    startPlaying();
    m_engine->setAutoTransitions(true);
    QRect shown = shownWindow();
    QCOMPARE(shown.size(), m_window->size());

    // From the video, then from the empty part of the title bar right of the announcement.
    auto *title = child<QWidget>("titleBarWidget");
    auto *announcement = child<QLabel>("announcementLabel");
    const QList<QPoint> grips = {
        m_window->rect().center(),
        announcement->mapTo(m_window, QPoint(announcement->sizeHint().width() + 20, announcement->height() / 2)),
    };
    QVERIFY(grips.at(1).x() < child<QWidget>("newbieTutorialPushButton")->mapTo(m_window, QPoint()).x());
    QVERIFY(title->rect().contains(title->mapFrom(m_window, grips.at(1))));
    for (const QPoint &grip : grips) {
        const QPoint by = inwards(shown, QPoint(80, 50));
        const QPoint from = shown.topLeft() + grip;
        QVERIFY(m_input.drag(from, from + by));
        QTRY_COMPARE(NestedCompositor::areaOf(kBars), shown.translated(by));
        shown.translate(by);
    }
    QCOMPARE(m_engine->state(), int(PlayerEngine::Playing)); // a drag is not a click

    // A click on the video still pauses, and a double click still toggles full screen.
    QVERIFY(m_input.click(shown.topLeft() + m_window->rect().center()));
    QTRY_COMPARE(m_engine->state(), int(PlayerEngine::Paused));
    QVERIFY(m_input.click(shown.topLeft() + m_window->rect().center(), 1, 2));
    QTRY_VERIFY(m_window->isFullScreen());
    QCOMPARE(m_engine->state(), int(PlayerEngine::Paused));
}

void TestWaylandWindow::topLeftResizeKeepsTheBottomRightCorner()
{
    makeWindow();
    const QRect shown = shownWindow();
    QCOMPARE(shown.size(), m_window->size());
    const QSize before = m_window->size();
    // Inwards, so that the pointer stays on the screen wherever the compositor put the window.
    const QPoint corner = shown.topLeft() + QPoint(1, 1);
    QVERIFY(m_input.moveTo(corner) && m_input.buttonDown());
    for (int step = 1; step <= 8; ++step)
        QVERIFY(m_input.moveTo(corner + QPoint(40, 30) * step / 8));
    // Weston keeps the opposite corner only for sizes it sees before the button goes up.
    QTRY_COMPARE(NestedCompositor::areaOf(kBars).size(), before - QSize(40, 30));
    QVERIFY(m_input.buttonUp());
    QCOMPARE(m_window->size(), before - QSize(40, 30));
    QTRY_COMPARE(NestedCompositor::areaOf(kBars), QRect(shown.topLeft() + QPoint(40, 30), shown.bottomRight()));
}

void TestWaylandWindow::dialogOpensOverTheMainWindow()
{
    makeWindow();
    const QRect shown = shownWindow();
    // Topmost is beyond a Wayland client: the button says so instead of doing nothing.
    auto *topmost = child<QPushButton>("toggleTopmostPushButton");
    QVERIFY(!topmost->isEnabled());
    QVERIFY(!topmost->toolTip().isEmpty());

    auto *open = child<QPushButton>("normalPageOpenURLPushButton");
    QVERIFY(m_input.click(shown.topLeft() + open->mapTo(m_window, open->rect().center())));
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    QTRY_VERIFY(dialog->isVisible());
    QVERIFY(!dialog->isWindow());
    // On the screen: the dialog's face, centred over the window.
    QRect face;
    QTRY_VERIFY((face = NestedCompositor::areaOf(kResourceDialog)).size() == dialog->size());
    QVERIFY2((face.center() - shown.center()).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog at %1,%2, window at %3,%4").arg(face.x()).arg(face.y()).arg(shown.x()).arg(shown.y())));

    // Dragged by the pointer where no control takes the press, it moves over the window.
    const QPoint grip = DesktopInput::pressThroughPoint(dialog);
    QVERIFY(!grip.isNull());
    const QPoint from = face.topLeft() + grip;
    QVERIFY(m_input.drag(from, from + QPoint(30, 20)));
    QTRY_COMPARE(NestedCompositor::areaOf(kResourceDialog), face.translated(30, 20));

    // Its clicks are its own: a right click on it does not reach the window's menu, one beside it does.
    disconnect(m_window, &MainWindow::contextMenuRequested, nullptr, nullptr);
    QSignalSpy menu(m_window, &MainWindow::contextMenuRequested);
    QVERIFY(m_input.click(from + QPoint(30, 20), 3));
    QVERIFY(m_input.click(shown.topLeft() + QPoint(12, shown.height() / 2), 3));
    QTRY_COMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toPoint(), QPoint(12, shown.height() / 2));
}

int main(int argc, char *argv[])
{
    // The compositor comes first: the application connects to it when it is made.
    NestedCompositor compositor;
    const bool ready = compositor.start();
    QApplication app(argc, argv);
    initGuiResources();
    TestWaylandWindow test(compositor, ready);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandwindow.moc"
