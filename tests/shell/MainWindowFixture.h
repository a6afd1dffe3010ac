#pragma once

#include "FakePlayerEngine.h"
#include "ScriptedHttpServer.h"
#include "UrlRecorder.h"

#include "app/ui/Application.h"
#include "player/PlaybackController.h"
#include "shell/ui/MainWindow.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// The application on a scripted engine, its announcements from a scripted service on 127.0.0.1,
// Config.ini in a temporary working folder.
class MainWindowFixture : public QObject
{
    Q_OBJECT

protected:
    void startService();  // once per test executable
    void resetService();  // before each test
    void closeWindow();   // after each test

    void makeWindow();
    template <typename T> T *child(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    void openMedia(int durationMs);
    void startPlaying();

    // Mouse input as the window receives it from its children and the video surface: window
    // coordinates, and the global position of the pointer.
    void mouseAt(QEvent::Type type, const QPoint &windowPos, Qt::MouseButton button = Qt::NoButton,
                 Qt::MouseButtons buttons = Qt::NoButton);
    void pressAt(const QPoint &windowPos) { mouseAt(QEvent::MouseButtonPress, windowPos, Qt::LeftButton, Qt::LeftButton); }
    void releaseAt(const QPoint &windowPos, Qt::MouseButton button = Qt::LeftButton)
    {
        mouseAt(QEvent::MouseButtonRelease, windowPos, button);
    }
    // Moves the held pointer to a global point; the window may have moved under it meanwhile.
    void dragToGlobal(const QPoint &globalPos);
    void hoverAt(const QPoint &windowPos) { mouseAt(QEvent::MouseMove, windowPos); }
    Qt::CursorShape cursorShape() const { return m_window->cursor().shape(); }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    std::unique_ptr<Application> m_app;
    MainWindow *m_window = nullptr;
    FakePlayerEngine *m_engine = nullptr;
    UrlRecorder m_urls; // what the window hands to the browser
};

// main() of a main-window test: the images that the style sheets name must be registered.
#define MAIN_WINDOW_TEST_MAIN(TestClass)                                                                 \
    int main(int argc, char *argv[])                                                                     \
    {                                                                                                    \
        QApplication app(argc, argv);                                                                    \
        initGuiResources();                                                                              \
        TestClass test;                                                                                  \
        return QTest::qExec(&test, argc, argv);                                                          \
    }
