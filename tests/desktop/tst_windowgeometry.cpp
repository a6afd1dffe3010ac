// The main window's place and size kept between runs, and brought back only onto a screen that is
// there now.
#include "app/AppConfig.h"
#include "shell/WindowPlacement.h"
#include "shell/ui/WindowGeometry.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestWindowGeometry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void placementStaysOnAScreen();
    void keptAtCloseAndRestored();

private:
    QTemporaryDir m_dir;
};

void TestWindowGeometry::initTestCase()
{
    QVERIFY(QDir::setCurrent(m_dir.path())); // Config.ini of this test
}

void TestWindowGeometry::placementStaysOnAScreen()
{
    const QRect left(0, 0, 1920, 1040); // primary, less its panel
    const QRect right(1920, 0, 1280, 1024);
    const QList<QRect> both{left, right};
    QCOMPARE(WindowPlacement::clamp(QRect(), both), QRect());
    QCOMPARE(WindowPlacement::clamp(QRect(10, 10, 900, 600), {}), QRect());
    QCOMPARE(WindowPlacement::clamp(QRect(100, 80, 902, 572), both), QRect(100, 80, 902, 572));
    // Hanging over the bottom right: moved in whole.
    QCOMPARE(WindowPlacement::clamp(QRect(1500, 900, 902, 572), {left}), QRect(1018, 468, 902, 572));
    // Mostly on the second screen: goes there.
    QCOMPARE(WindowPlacement::clamp(QRect(1800, -50, 902, 572), both), QRect(1920, 0, 902, 572));
    // Its screen is gone: onto the primary one, no bigger than it.
    QCOMPARE(WindowPlacement::clamp(QRect(3300, 200, 2000, 1200), both), QRect(0, 0, 1920, 1040));
    QCOMPARE(WindowPlacement::clamp(QRect(-5000, -5000, 902, 572), {right, left}), QRect(1920, 0, 902, 572));
}

void TestWindowGeometry::keptAtCloseAndRestored()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed(screen.x() + 30, screen.y() + 20, 300, 200);
    {
        QWidget window;
        new WindowGeometry(&window); // nothing kept yet: the window stays as it is
        window.setGeometry(placed);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.close());
    }
    QCOMPARE(AppConfig::mainWindowGeometry(), placed);
    {
        QWidget window;
        new WindowGeometry(&window);
        QCOMPARE(window.geometry(), placed);
        window.show();
        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        QVERIFY(window.close());
    }
    // Maximised: the size to come back to is kept, and the state.
    QCOMPARE(AppConfig::mainWindowGeometry(), placed);
    QCOMPARE(AppConfig::mainWindowMaximized(), 1u);
    {
        QWidget window;
        new WindowGeometry(&window);
        QVERIFY(window.windowState() & Qt::WindowMaximized);
    }

    // Kept on a screen that is gone, bigger than this one: on this one, and within it.
    AppConfig::setMainWindowGeometry(QRect(screen.right() + 4000, 200, screen.width() + 500, 300));
    AppConfig::setMainWindowMaximized(0);
    QWidget window;
    new WindowGeometry(&window);
    QCOMPARE(window.geometry(), QRect(screen.x(), screen.y() + 200, screen.width(), 300));
    QVERIFY(!(window.windowState() & Qt::WindowMaximized));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestWindowGeometry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowgeometry.moc"
