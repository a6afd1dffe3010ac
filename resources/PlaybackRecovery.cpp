#include "resources/PlaybackRecovery.h"

#include "player/PlaybackController.h"
#include "resources/PlayRequest.h"

#include <QTimer>

PlaybackRecovery::PlaybackRecovery(PlayRequest *request, PlaybackController *playback, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_playback(playback)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &PlaybackRecovery::tryAgain);
    connect(m_request, &PlayRequest::fileOpened, this, [this](const BTResourceFile &file) {
        if (file.resourceHash != m_file.resourceHash || file.resourceIndex != m_file.resourceIndex)
            m_lostAtMs = -1;
        m_file = file;
        m_haveFile = true;
    });
    connect(m_playback, &PlaybackController::connectionLost, this, &PlaybackRecovery::onLost);
    connect(m_playback, &PlaybackController::opened, this, &PlaybackRecovery::end);
    connect(m_playback, &PlaybackController::closed, this, [this] {
        if (m_trying)
            m_request->abortProbe();
        end();
    });
    connect(m_playback, &PlaybackController::resumeRequested, this, [this] {
        if (m_active && !m_trying)
            tryAgain();
    });
    // The user plays something else: the lost film is given up.
    connect(m_request, &PlayRequest::busyChanged, this, [this](bool busy) {
        if (busy && m_active && !m_trying) {
            end();
            m_playback->stop();
        }
    });
}

void PlaybackRecovery::setDelays(int firstMs, int longestMs, int retryingForMs)
{
    m_firstDelayMs = firstMs;
    m_longestDelayMs = longestMs;
    m_retryingForMs = retryingForMs;
}

void PlaybackRecovery::onLost(int positionMs)
{
    if (m_trying) // a try of ours failed: tryAgain schedules the next
        return;
    if (!m_haveFile) {
        m_playback->reportReconnectFailed();
        return;
    }
    if (!m_active) {
        m_active = true;
        // Lost again where it was lost before (a file broken there, say): the same series of
        // tries goes on, so that it still ends, rather than starting afresh.
        if (m_lostAtMs < 0 || qAbs(positionMs - m_lostAtMs) > SamePlaceMs) {
            m_delayMs = m_firstDelayMs;
            m_waitedMs = 0;
        }
        m_lostAtMs = positionMs;
    }
    scheduleNext();
}

void PlaybackRecovery::scheduleNext()
{
    if (m_waitedMs >= GiveUpAfterMs) {
        m_active = false;
        m_playback->reportReconnectFailed();
        return;
    }
    if (m_waitedMs >= m_retryingForMs)
        m_playback->reportReconnectFailed();
    m_timer->start(m_delayMs);
    m_waitedMs += m_delayMs;
    m_delayMs = qMin(m_delayMs * 2, m_longestDelayMs);
}

void PlaybackRecovery::tryAgain()
{
    m_timer->stop();
    if (!m_active || !m_playback->isConnectionLost())
        return;
    if (m_request->isBusy()) { // the user's own operation goes first
        scheduleNext();
        return;
    }
    m_trying = true;
    BTResourceFile file = m_file;
    const bool opened = m_request->playAt(&file, m_request->lastEngineIndex(), false, m_playback->lostAt());
    m_trying = false;
    if (!opened && m_active)
        scheduleNext();
}

void PlaybackRecovery::end()
{
    m_active = false;
    m_timer->stop();
}
