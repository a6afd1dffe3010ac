#include "player/PlayerEngineHost.h"

#include "player/FormatDuration.h"
#include "player/PlayerEngine.h"
#include "player/StoredEngineOptions.h"
#include "shell/ui/MainWindow.h"

PlayerEngineHost::PlayerEngineHost(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
    PlayerEngine *engine = window->m_engine;
    connect(engine, &PlayerEngine::stateChanged, this, &PlayerEngineHost::onStateChanged);
    connect(engine, &PlayerEngine::openSucceeded, this, &PlayerEngineHost::onOpenSucceeded);
    connect(engine, &PlayerEngine::bufferProgress, this, &PlayerEngineHost::onBufferProgress);
}

void PlayerEngineHost::stopProgressTimer()
{
    if (m_window->m_progressTimerId != 0) {
        m_window->killTimer(m_window->m_progressTimerId);
        m_window->m_progressTimerId = 0;
    }
}

void PlayerEngineHost::setProgressSliderHandleVisible(bool visible)
{
    const QString groove = QStringLiteral("QSlider::groove:horizontal{ background: rgb(64, 72, 77); height: 4px; "
                                          "margin-left: 4px; margin-right: 4px; }");
    m_window->playProgressSlider->setStyleSheet(
        groove
        + (visible ? QStringLiteral("QSlider::sub-page:horizontal{ background: rgb(57, 166, 240); margin-left: 4px; }"
                                    "QSlider::handle:horizontal{ border-image: url(:/MainWindow/ToolBar/"
                                    "PlayProgressSliderHandle.png); width: 14px; height: 14px; margin: -5px -4px; }")
                   : QStringLiteral("QSlider::handle:horizontal{ width: 0px; height: 0px; }")));
}

void PlayerEngineHost::onStateChanged(int oldState, int newState)
{
    MainWindow *w = m_window;
    if (oldState == PlayerEngine::Ready && newState == PlayerEngine::Opening) {
        w->playStateLabel->setText(QStringLiteral("正在打开..."));
    } else if (oldState == PlayerEngine::Pausing && newState == PlayerEngine::Paused) {
        stopProgressTimer();
        w->playStateLabel->setText(QStringLiteral("暂停中"));
        w->setStartFace(true);
    } else if (oldState == PlayerEngine::Starting && newState == PlayerEngine::Playing) {
        stopProgressTimer();
        w->m_progressTimerId = w->startTimer(1000, Qt::CoarseTimer);
        w->playStateLabel->clear();
        w->setStartFace(false);
    } else if (oldState == PlayerEngine::Closing && newState == PlayerEngine::Ready) {
        emit w->btResourceClosed();
        w->m_mediaOpen = false;
        stopProgressTimer();
        setProgressSliderHandleVisible(false);
        w->playProgressSlider->setValue(0);
        w->setStartFace(true);
        w->currentPlayDurationLabel->setText(QStringLiteral("00:00:00"));
        w->totalDurationLabel->setText(QStringLiteral("00:00:00"));
        w->playStateLabel->clear();
        w->contentStackedWidget->setCurrentWidget(w->normalPage);
        if (w->isFullScreen())
            w->moveOverlayBarsTo(w->normalPage);
    }
}

void PlayerEngineHost::onOpenSucceeded()
{
    MainWindow *w = m_window;
    PlayerEngine *engine = w->m_engine;
    emit w->btResourceOpened();
    w->m_mediaOpen = true;
    setProgressSliderHandleVisible(true);

    const int duration = engine->duration();
    w->playProgressSlider->setMaximum(duration);
    w->totalDurationLabel->setText(formatDuration(duration));
    w->playStateLabel->clear();
    w->contentStackedWidget->setCurrentWidget(w->playPage);
    if (w->isFullScreen())
        w->moveOverlayBarsTo(w->playPage);

    engine->setVolume(w->volumeControlSlider->value());
    StoredEngineOptions::applyAll(engine);
}

void PlayerEngineHost::onBufferProgress(int percent)
{
    if (percent < 100)
        m_window->playStateLabel->setText(QStringLiteral("正在缓冲%1%...").arg(percent));
    else
        m_window->playStateLabel->clear();
}
