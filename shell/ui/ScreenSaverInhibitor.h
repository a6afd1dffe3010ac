#pragma once

#include <QObject>

class QTimer;

// Keeps the screen on while a video plays: the desktop's screen saver service over the session
// bus (which also holds off power saving of the display), and where there is no session bus or
// no such service, the X server's own screen saver, whose idle time is reset while held.
class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit ScreenSaverInhibitor(QObject *parent = nullptr);
    ~ScreenSaverInhibitor() override; // releases

    void setInhibited(bool on);
    bool isInhibited() const { return m_wanted; }
    // Which way holds it now (for diagnostics and tests).
    bool heldOverBus() const { return m_cookie != 0; }
    bool heldOnX11() const;

    // Well below the shortest idle time a desktop offers (one minute).
    static constexpr int kX11ResetIntervalMs = 30000;

private:
    void inhibitOverBus();
    void release();
    void startX11();
    static void resetX11ScreenSaver();

    bool m_wanted = false;
    bool m_pending = false; // an Inhibit call is on its way
    uint m_cookie = 0;
    QTimer *m_x11Timer = nullptr;
};
