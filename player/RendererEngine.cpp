#include "player/RendererEngine.h"

#include <QHostAddress>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrl>

#include <limits>

namespace {
bool stands(const QString &transportState)
{
    return transportState == QLatin1String("STOPPED") || transportState == QLatin1String("NO_MEDIA_PRESENT");
}

bool onlyHere(const QUrl &url)
{
    const QString host = url.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}
} // namespace

RendererEngine::RendererEngine(MediaRenderer *renderer, QObject *parent)
    : PlayerEngine(parent)
    , m_renderer(renderer)
{
    renderer->setParent(this);
    connect(renderer, &MediaRenderer::finished, this, &RendererEngine::onFinished);
    connect(renderer, &MediaRenderer::positionInfo, this, &RendererEngine::onPosition);
    connect(renderer, &MediaRenderer::transportInfo, this, &RendererEngine::onTransport);
    connect(renderer, &MediaRenderer::lost, this, [this] { fail(tr("设备已断开")); });
    m_callLimit.setSingleShot(true);
    m_callLimit.setInterval(CallLimitMs);
    connect(&m_callLimit, &QTimer::timeout, this, [this] {
        if (m_state == Closing) { // it will not say; stopped or not, this side is done
            m_renderer->cancelAll();
            m_inFlight = false;
            becomeReady();
            return;
        }
        fail(tr("设备已断开"));
    });
    m_pollTimer.setInterval(PollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &RendererEngine::poll);
    m_openLimit.setSingleShot(true);
    m_openLimit.setInterval(OpenLimitMs);
    connect(&m_openLimit, &QTimer::timeout, this, [this] { fail(tr("投屏失败：设备没有开始播放")); });
}

void RendererEngine::setTimings(int pollMs, int callLimitMs, int openLimitMs)
{
    m_pollTimer.setInterval(pollMs);
    m_callLimit.setInterval(callLimitMs);
    m_openLimit.setInterval(openLimitMs);
}

RendererEngine::~RendererEngine()
{
    m_renderer->cancelAll();
}

int RendererEngine::parseTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\+?(\\d+):(\\d{1,2}):(\\d{1,2})(?:\\.(\\d+))?$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return -1;
    const qint64 ms =
        (match.captured(1).toLongLong() * 3600 + match.captured(2).toInt() * 60 + match.captured(3).toInt()) * 1000
        + match.captured(4).left(3).leftJustified(3, QLatin1Char('0')).toInt();
    return int(qMin<qint64>(ms, std::numeric_limits<int>::max()));
}

QString RendererEngine::formatTime(int ms)
{
    const int seconds = qMax(0, ms) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString RendererEngine::mimeTypeFor(const QString &fileName)
{
    const QString type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
    return type.startsWith(QLatin1String("video/")) ? type : QStringLiteral("video/mp4");
}

void RendererEngine::setState(int state)
{
    if (state == m_state)
        return;
    const int old = m_state;
    m_state = state;
    emit stateChanged(old, state);
}

void RendererEngine::open(const QString &url)
{
    openAt(url, 0);
}

void RendererEngine::openAt(const QString &url, int startMs)
{
    if (m_failed)
        return;
    m_queue.clear();
    if (m_state != Ready) { // as any engine does: the open media closes first
        setState(Closing);
        setState(Ready);
    }
    m_startMs = qMax(0, startMs);
    m_position = m_startMs;
    m_duration = 0;
    m_playSent = m_startSeekSent = false;
    m_playingPolls = m_stoppedPolls = 0;
    m_positionKnown = false;
    setState(Opening);
    if (onlyHere(QUrl(url))) {
        // The renderer would ask its own loopback for the film.
        QTimer::singleShot(0, this, [this] { fail(tr("投屏失败：视频地址只在本机可用，设备无法访问")); });
        return;
    }
    const QString title = m_title.isEmpty() ? QUrl(url).fileName() : m_title;
    const QString mime = mimeTypeFor(m_title.isEmpty() ? QUrl(url).path() : m_title);
    enqueue(MediaRenderer::SetUri, [this, url, title, mime] { m_renderer->setUri(url, title, mime); });
    enqueue(MediaRenderer::Play, [this] { m_renderer->play(); });
    m_openLimit.start();
    m_pollTimer.start();
}

void RendererEngine::close()
{
    if (m_state == Ready || m_state == Closing || m_failed)
        return;
    m_queue.clear();
    m_openLimit.stop();
    m_pollTimer.stop();
    setState(Closing);
    enqueue(MediaRenderer::Stop, [this] { m_renderer->stop(); });
}

void RendererEngine::closeAndDispose()
{
    m_disposing = true;
    close();
    if (m_state != Closing)
        deleteLater();
}

void RendererEngine::play()
{
    if (m_state != Paused && m_state != Pausing)
        return;
    setState(Starting);
    enqueue(MediaRenderer::Play, [this] { m_renderer->play(); });
}

void RendererEngine::pause()
{
    if (m_state != Playing && m_state != Starting)
        return;
    setState(Pausing);
    enqueue(MediaRenderer::Pause, [this] { m_renderer->pause(); });
}

void RendererEngine::setPosition(int ms)
{
    if (m_state == Ready || m_state == Closing || m_state == Opening)
        return;
    m_position = qBound(0, ms, m_duration > 0 ? m_duration : ms);
    const QString target = formatTime(m_position);
    enqueue(MediaRenderer::Seek, [this, target] { m_renderer->seek(target); });
}

void RendererEngine::setVolume(int volume)
{
    const int level = qBound(0, volume, 100);
    // Only the last of the levels still waiting goes out: a dragged slider sends many.
    for (int i = m_queue.size() - 1; i >= 0; --i) {
        if (m_queue[i].action == MediaRenderer::SetVolume)
            m_queue.removeAt(i);
    }
    enqueue(MediaRenderer::SetVolume, [this, level] { m_renderer->setVolume(level); });
}

QString RendererEngine::config(int) const
{
    return QString();
}

void RendererEngine::setConfig(int, const QString &) { }

void RendererEngine::enqueue(MediaRenderer::Action action, std::function<void()> send)
{
    if (m_failed)
        return;
    m_queue.append({action, std::move(send)});
    sendNext();
}

bool RendererEngine::pending(MediaRenderer::Action action) const
{
    if (m_inFlight && m_current == action)
        return true;
    for (const Call &call : m_queue) {
        if (call.action == action)
            return true;
    }
    return false;
}

void RendererEngine::sendNext()
{
    if (m_inFlight || m_queue.isEmpty() || m_failed)
        return;
    const Call call = m_queue.takeFirst();
    m_inFlight = true;
    m_current = call.action;
    m_callLimit.start();
    call.send();
}

void RendererEngine::poll()
{
    // One question of each kind at a time: a slow renderer is not asked again meanwhile.
    if (!pending(MediaRenderer::QueryTransport)) {
        enqueue(MediaRenderer::QueryPosition, [this] { m_renderer->queryPosition(); });
        enqueue(MediaRenderer::QueryTransport, [this] { m_renderer->queryTransport(); });
    }
}

void RendererEngine::onFinished(MediaRenderer::Action action, bool ok, bool unreachable, const QString &error)
{
    if (!m_inFlight || action != m_current || m_failed)
        return;
    m_inFlight = false;
    m_callLimit.stop();
    if (m_state == Closing) {
        if (action == MediaRenderer::Stop || unreachable)
            becomeReady();
        else
            sendNext();
        return;
    }
    if (unreachable) {
        fail(tr("设备已断开"));
        return;
    }
    const bool opening = m_state == Opening;
    if (!ok && opening && (action == MediaRenderer::SetUri || action == MediaRenderer::Play)) {
        fail(tr("投屏失败：%1").arg(error.isEmpty() ? tr("设备拒绝了这个文件") : error));
        return;
    }
    switch (action) {
    case MediaRenderer::Play:
        if (opening)
            m_playSent = true;
        else if (m_state == Starting)
            setState(Playing);
        break;
    case MediaRenderer::Pause:
        if (m_state == Pausing) {
            if (ok) {
                setState(Paused);
            } else { // refused: it plays on
                setState(Starting);
                setState(Playing);
            }
        }
        break;
    default:
        break; // a refused seek or volume leaves things as they are; the next answer says where
    }
    sendNext();
}

void RendererEngine::onPosition(const QString &relativeTime, const QString &duration)
{
    const int length = parseTime(duration);
    if (length > 0)
        m_duration = length;
    // While a seek waits, the renderer still reports where it was.
    const int at = parseTime(relativeTime);
    m_positionKnown = m_positionKnown || at >= 0;
    if (at >= 0 && !pending(MediaRenderer::Seek) && !(m_state == Opening && m_startSeekSent && at + 2000 < m_startMs))
        m_position = at;
}

void RendererEngine::onTransport(const QString &transportState, const QString &status)
{
    if (m_failed)
        return;
    if (m_state == Opening) {
        whileOpening(transportState, status);
        return;
    }
    const bool commanded = pending(MediaRenderer::Play) || pending(MediaRenderer::Pause);
    if (m_state == Playing && transportState == QLatin1String("PAUSED_PLAYBACK") && !commanded) {
        setState(Pausing); // paused on the renderer itself
        setState(Paused);
    } else if (m_state == Paused && transportState == QLatin1String("PLAYING") && !commanded) {
        setState(Starting);
        setState(Playing);
    } else if ((m_state == Playing || m_state == Paused) && stands(transportState) && !commanded) {
        if (m_duration > 0 && m_position + EndMarginMs + m_pollTimer.interval() >= m_duration) {
            m_position = m_duration;
            emit reachedEnd();
            m_pollTimer.stop();
            setState(Closing);
            becomeReady();
        } else {
            fail(tr("投屏失败：设备停止了播放"));
        }
    }
}

void RendererEngine::whileOpening(const QString &transportState, const QString &status)
{
    if (!m_playSent)
        return; // what it says before our Play is about what it had before
    if (status == QLatin1String("ERROR_OCCURRED") || (stands(transportState) && ++m_stoppedPolls >= 3)) {
        fail(tr("投屏失败：设备无法播放这个文件"));
        return;
    }
    if (transportState != QLatin1String("PLAYING"))
        return;
    m_stoppedPolls = 0;
    if (m_startMs > 0 && !m_startSeekSent) {
        // Renderers seek only in what they play: the start comes once it plays.
        m_startSeekSent = true;
        const QString target = formatTime(m_startMs);
        enqueue(MediaRenderer::Seek, [this, target] { m_renderer->seek(target); });
        return;
    }
    // Open once it shows it plays: it says how long the file is, or its position moves. (Some
    // renderers say PLAYING for an address they cannot fetch and stay at 0.) One that tells no
    // position at all is taken at its word after a few answers.
    if (m_playingPolls++ == 0)
        m_firstPlayingPosition = m_position;
    const bool moving = m_positionKnown && m_position >= m_firstPlayingPosition + 1000;
    if (m_duration <= 0 && !moving && (m_positionKnown || m_playingPolls < 3))
        return;
    m_openLimit.stop();
    emit openSucceeded();
    setState(Starting);
    setState(Playing);
}

void RendererEngine::becomeReady()
{
    m_pollTimer.stop();
    m_openLimit.stop();
    m_queue.clear();
    setState(Ready);
    if (m_disposing)
        deleteLater();
}

void RendererEngine::fail(const QString &text)
{
    if (m_failed)
        return;
    m_failed = true;
    m_renderer->cancelAll();
    m_queue.clear();
    m_inFlight = false;
    m_callLimit.stop();
    m_pollTimer.stop();
    m_openLimit.stop();
    m_state = Ready;
    emit failed(text, m_position);
    if (m_disposing)
        deleteLater();
}
