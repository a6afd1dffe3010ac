#pragma once

#include <QObject>

class MainWindow;

// Turns the engine's events into main-window behaviour: the opening, paused and buffering texts,
// the page switch, the progress timer, the stored options re-applied at every open, and the
// btResourceOpened/btResourceClosed signals that the play path waits on.
class PlayerEngineHost : public QObject
{
    Q_OBJECT

public:
    explicit PlayerEngineHost(MainWindow *window);

private:
    void onStateChanged(int oldState, int newState);
    void onOpenSucceeded();
    void onBufferProgress(int percent);
    void setProgressSliderHandleVisible(bool visible);
    void stopProgressTimer();

    MainWindow *m_window;
};
