#include "player/ui/SeekBarHoverTime.h"

#include "player/FormatDuration.h"
#include "player/PlaybackController.h"

#include <QMouseEvent>
#include <QSlider>
#include <QToolTip>

SeekBarHoverTime::SeekBarHoverTime(QSlider *slider, PlaybackController *playback)
    : QObject(slider)
    , m_slider(slider)
    , m_playback(playback)
{
    slider->setMouseTracking(true);
    slider->installEventFilter(this);
}

int SeekBarHoverTime::timeAt(int x, int width, int maximum)
{
    if (width <= 8 || maximum <= 0)
        return 0;
    return qBound(0, int(double(x - 4) / double(width - 8) * maximum), maximum);
}

bool SeekBarHoverTime::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_slider)
        return false;
    if (event->type() == QEvent::MouseMove) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_playback->isMediaOpen()) {
            QToolTip::hideText();
            return false;
        }
        const int ms = timeAt(mouse->pos().x(), m_slider->width(), m_slider->maximum());
        // Above the bar, so that the pointer never covers it.
        QToolTip::showText(mouse->globalPos() - QPoint(0, 36), formatDuration(ms), m_slider);
    } else if (event->type() == QEvent::ToolTip) {
        return m_playback->isMediaOpen(); // the moving time stays, not a still tooltip
    } else if (event->type() == QEvent::Leave) {
        QToolTip::hideText();
    }
    return false;
}
