#pragma once

#include <QLibrary>
#include <QObject>
#include <QString>

#include <thread>

class PlayerEngine;
class QWidget;
class QWindow;

// The engine (the libmpv adapter and its video surface) is a module of its own, opened on a thread
// of its own once the window is on screen: linked into the program, libmpv's couple of hundred
// libraries made every start wait for the dynamic loader before anything could be shown.
class EngineModule : public QObject
{
    Q_OBJECT

public:
    explicit EngineModule(QObject *parent = nullptr);
    ~EngineModule() override;

    // Where the module is looked for: $PELORIN_ENGINE_MODULE, beside the program, or in
    // ../lib/pelorin from it (an installation under /usr).
    static QString filePath();
    // What the user is told when the program has no engine.
    static QString failureText();

    // Starts opening the module; loaded() follows on this object's thread, successful or not.
    void load();
    // Starts opening it once the (shown) window has been exposed and painted the first time.
    void loadOnceShown(QWindow *window);
    // Makes the engine and its surface in the page, waiting for the module if it is still being
    // opened (opening it now if load() was never called). Null when there is no engine.
    PlayerEngine *create(QWidget *playPage);
    QString errorString() const { return m_library.errorString(); }

signals:
    void loaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void finishLoading();

    QLibrary m_library;
    std::thread m_loader;
    bool m_started = false;
    bool m_loaded = false;
};
