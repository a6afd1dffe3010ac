#pragma once

#include <QObject>

class PlaybackController;
class QSlider;

// While a media is open, the seek bar shows the play time under the pointer as its tooltip.
class SeekBarHoverTime : public QObject
{
    Q_OBJECT

public:
    SeekBarHoverTime(QSlider *slider, PlaybackController *playback);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // The time (ms) under x on a slider of that width and maximum; the groove is inset 4 pixels
    // at each end, as the seek bar draws it.
    static int timeAt(int x, int width, int maximum);

private:
    QSlider *m_slider;
    PlaybackController *m_playback;
};
