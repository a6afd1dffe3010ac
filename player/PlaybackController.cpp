#include "player/PlaybackController.h"

#include "player/PictureSoundOptions.h"
#include "player/PlayerEngine.h"
#include "player/StoredEngineOptions.h"
#include "player/SubtitleOptions.h"

#include <QTimer>

#include <utility>

PlaybackController::PlaybackController(QObject *parent)
    : QObject(parent)
    , m_progressTimer(new QTimer(this))
    , m_stallTimer(new QTimer(this))
    , m_pictureSound(new PictureSoundOptions(this))
    , m_subtitles(new SubtitleOptions(this))
{
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(1000);
    m_progressTimer->setTimerType(Qt::CoarseTimer);
    m_stallTimer->setObjectName(QStringLiteral("stallTimer"));
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(StalledNoticeMs);
    connect(m_stallTimer, &QTimer::timeout, this,
            [this] { showState(QT_TR_NOOP("网络连接中断，正在重试…")); });
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        if (!m_engine)
            return;
        m_lastPositionMs = m_engine->position();
        emit progressTick(m_lastPositionMs);
    });
}

void PlaybackController::showState(const char *text, int percent)
{
    m_stateSource = text;
    m_statePercent = percent;
    emit stateTextChanged(stateText());
}

QString PlaybackController::stateText() const
{
    if (!m_stateSource)
        return QString();
    return m_statePercent >= 0 ? tr(m_stateSource).arg(m_statePercent) : tr(m_stateSource);
}

PlaybackController::~PlaybackController()
{
    detachEngine();
}

void PlaybackController::attachEngine(PlayerEngine *engine)
{
    detachEngine();
    m_engine = engine;
    if (engine)
        connectEngine(engine);
}

void PlaybackController::connectEngine(PlayerEngine *engine)
{
    connect(engine, &PlayerEngine::stateChanged, this, &PlaybackController::onStateChanged);
    connect(engine, &PlayerEngine::openSucceeded, this, &PlaybackController::onOpenSucceeded);
    connect(engine, &PlayerEngine::bufferProgress, this, &PlaybackController::onBufferProgress);
    connect(engine, &PlayerEngine::reachedEnd, this, &PlaybackController::reachedEnd);
    watchDestroyed(engine);
}

void PlaybackController::watchDestroyed(PlayerEngine *engine)
{
    // The page that owns the engine may go before this controller.
    connect(engine, &QObject::destroyed, this, [this, engine] {
        if (m_aside.engine == engine)
            m_aside.engine = nullptr;
        if (m_engine == engine) {
            m_engine = nullptr;
            m_mediaOpen = false;
            m_progressTimer->stop();
        }
    });
}

void PlaybackController::beginRemote(PlayerEngine *remote)
{
    if (m_aside.active || !remote || !ensureEngine())
        return;
    if (m_mediaOpen)
        m_engine->pause();
    m_aside = {true, m_engine, m_mediaOpen, m_durationMs, m_lastPositionMs, m_openedAt};
    // Still told when it goes, not what it does.
    m_engine->disconnect(this);
    watchDestroyed(m_engine);
    m_engine = remote;
    connectEngine(remote);
    m_mediaOpen = false;
    m_leaving = false;
    m_lostAtMs = -1;
    m_durationMs = 0;
    m_progressTimer->stop();
    m_stallTimer->stop();
    emit playingChanged(false);
    emit engineChanged();
}

void PlaybackController::endRemote()
{
    if (!m_aside.active)
        return;
    if (m_engine)
        m_engine->disconnect(this);
    const SetAside aside = std::exchange(m_aside, SetAside());
    m_engine = aside.engine;
    m_mediaOpen = aside.mediaOpen && m_engine;
    m_durationMs = aside.durationMs;
    m_lastPositionMs = aside.lastPositionMs;
    m_openedAt = aside.openedAt;
    m_leaving = false;
    m_lostAtMs = -1;
    m_progressTimer->stop();
    m_stallTimer->stop();
    if (m_engine) {
        m_engine->disconnect(this);
        connectEngine(m_engine);
    }
    emit playingChanged(false);
    showState(m_mediaOpen ? QT_TR_NOOP("暂停中") : nullptr);
    emit engineChanged();
}

void PlaybackController::closeSetAsideMedia()
{
    if (m_aside.active && m_aside.engine && m_aside.mediaOpen) {
        m_aside.mediaOpen = false;
        m_aside.engine->close();
    }
}

void PlaybackController::offerResume(int positionMs)
{
    if (m_mediaOpen)
        return;
    m_lostAtMs = qMax(0, positionMs);
}

void PlaybackController::detachEngine()
{
    if (m_engine)
        m_engine->disconnect(this);
    m_engine = nullptr;
    m_mediaOpen = false;
    m_progressTimer->stop();
}

void PlaybackController::setEngineSource(std::function<PlayerEngine *()> source)
{
    m_engineSource = std::move(source);
}

bool PlaybackController::ensureEngine()
{
    if (!m_engine && m_engineSource)
        attachEngine(std::exchange(m_engineSource, nullptr)());
    return m_engine != nullptr;
}

int PlaybackController::position() const
{
    return m_engine ? m_engine->position() : 0;
}

int PlaybackController::duration() const
{
    return m_engine ? m_engine->duration() : 0;
}

void PlaybackController::open(const QString &url, int startMs)
{
    if (!ensureEngine())
        return;
    if (m_mediaOpen)
        emit stopping(m_engine->position());
    m_leaving = m_mediaOpen;
    m_openedAt = qMax(0, startMs);
    m_engine->setSpeed(1.0);
    // Also before the open: an aspect that arrives once the picture is up is not drawn with until
    // something else redraws it.
    StoredEngineOptions::applyAspectRatio(m_engine);
    // The decoder is chosen as the media opens.
    StoredEngineOptions::applyHardwareDecoding(m_engine);
    m_engine->openAt(url, m_openedAt);
}

void PlaybackController::reportReconnectFailed()
{
    if (isConnectionLost())
        showState(QT_TR_NOOP("网络连接中断"));
}

void PlaybackController::clearConnectionLost()
{
    if (!isConnectionLost())
        return;
    m_lostAtMs = -1;
    showState(nullptr);
}

void PlaybackController::togglePlayPause()
{
    if (isConnectionLost()) {
        emit resumeRequested();
        return;
    }
    if (!m_mediaOpen)
        return;
    switch (m_engine->state()) {
    case PlayerEngine::Pausing:
    case PlayerEngine::Paused:
        m_engine->play();
        break;
    case PlayerEngine::Starting:
    case PlayerEngine::Playing:
        m_engine->pause();
        break;
    default:
        break;
    }
}

void PlaybackController::play()
{
    if (isConnectionLost())
        emit resumeRequested();
    else if (m_mediaOpen)
        m_engine->play();
}

void PlaybackController::pause()
{
    if (m_mediaOpen)
        m_engine->pause();
}

void PlaybackController::stop()
{
    if (isConnectionLost()) {
        // The user gives up on getting it back (a reopen under way goes too).
        clearConnectionLost();
        emit closed();
    }
    if (m_mediaOpen)
        emit stopping(m_engine->position());
    m_leaving = m_mediaOpen;
    if (m_engine)
        m_engine->close();
}

void PlaybackController::seek(int ms)
{
    if (!m_mediaOpen)
        return;
    m_lastPositionMs = ms; // a seek to the end must not look like an early end
    m_engine->setPosition(ms);
}

void PlaybackController::setVolume(int volume)
{
    m_volume = volume;
    if (m_mediaOpen)
        m_engine->setVolume(volume);
}

void PlaybackController::onStateChanged(int oldState, int newState)
{
    if (newState != PlayerEngine::Starting) {
        m_stallTimer->stop();
        m_bufferPercent = -1;
    }
    if (oldState == PlayerEngine::Ready && newState == PlayerEngine::Opening) {
        showState(QT_TR_NOOP("正在打开..."));
    } else if (oldState == PlayerEngine::Pausing && newState == PlayerEngine::Paused) {
        m_progressTimer->stop();
        showState(QT_TR_NOOP("暂停中"));
        emit playingChanged(false);
    } else if (oldState == PlayerEngine::Starting && newState == PlayerEngine::Playing) {
        m_progressTimer->start(); // restarted, not stacked, after a stall
        showState(nullptr);
        emit playingChanged(true);
    } else if (oldState == PlayerEngine::Closing && newState == PlayerEngine::Ready) {
        onMediaGone();
    }
}

void PlaybackController::onMediaGone()
{
    const bool wasOpen = m_mediaOpen;
    m_mediaOpen = false;
    m_progressTimer->stop();
    emit playingChanged(false);
    const bool early = wasOpen && !m_leaving && m_durationMs > 0 && m_lastPositionMs + EarlyEndMarginMs < m_durationMs;
    m_leaving = false;
    if (early || (isConnectionLost() && !wasOpen)) {
        // Lost mid-film, or a reopen of the lost media failed: still lost, where it was.
        if (early)
            m_lostAtMs = m_lastPositionMs;
        showState(QT_TR_NOOP("网络连接中断，正在重试…"));
        emit connectionLost(m_lostAtMs);
        return;
    }
    emit closed();
    showState(nullptr);
}

void PlaybackController::onOpenSucceeded()
{
    m_mediaOpen = true;
    m_lastPositionMs = m_engine->position(); // where a reopen started
    m_lostAtMs = -1;
    m_durationMs = m_engine->duration();
    emit opened(m_durationMs);
    showState(nullptr);
    m_engine->setVolume(m_volume);
    StoredEngineOptions::applyAspectRatio(m_engine);
    StoredEngineOptions::applyAudioChannel(m_engine);
    m_subtitles->applyOnOpen();
    StoredEngineOptions::applyColours(m_engine);
    StoredEngineOptions::applyRenderMode(m_engine);
}

void PlaybackController::onBufferProgress(int percent)
{
    if (percent >= 100) {
        m_stallTimer->stop();
        m_bufferPercent = -1;
        showState(nullptr);
        return;
    }
    if (percent != m_bufferPercent) {
        m_bufferPercent = percent;
        m_stallTimer->start();
    }
    showState(QT_TR_NOOP("正在缓冲%1%..."), percent);
}
