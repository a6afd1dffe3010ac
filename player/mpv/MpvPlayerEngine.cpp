#include "player/mpv/MpvPlayerEngine.h"

#include "player/mpv/MpvEngineLog.h"
#include "player/mpv/MpvNames.h"
#include "player/RebufferPolicy.h"

#include <QMetaObject>

#include <cmath>

namespace {

enum ObservedProperty : quint64 {
    ObservePause = 1,
    ObserveCoreIdle,
    ObservePausedForCache,
    ObserveCacheBuffering,
};

struct InitialOption
{
    const char *name;
    const char *value;
};

// Settings for an embedded player: nothing from the user's mpv set-up, no own input or OSD,
// no helper processes, and a start tuned for opening over HTTP quickly.
const InitialOption initialOptions[] = {
    {"config", "no"},
    {"load-scripts", "no"},
    {"ytdl", "no"},
    {"osc", "no"},
    {"terminal", "no"},
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"cursor-autohide", "no"},
    {"audio-display", "no"},
    {"idle", "yes"},
    {"keep-open", "no"},
    {"hr-seek", "yes"},
    // Chinese subtitle files are often GBK/GB18030: the code page is detected, not assumed.
    {"sub-codepage", "auto"},
    // No probing of GPU decoder interops (CUDA, VA-API ...) when the render context is made:
    // decoded frames are copied back to memory, unless the video is drawn straight into a window
    // of its own (MpvWindowTarget turns them on there).
    {"gpu-hwdec-interop", "no"},
    // Frames are handed over at their display time, not ahead of it: the render call then never
    // waits for that time to come (see MpvFrameRenderer).
    {"video-timing-offset", "0"},
    // Faster or slower playback keeps the voices' pitch; screenshots are PNG.
    {"audio-pitch-correction", "yes"},
    {"screenshot-format", "png"},
};

int toMs(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    const double ms = std::round(seconds * 1000.0);
    return ms >= 2147483647.0 ? 2147483647 : int(ms);
}

} // namespace

MpvPlayerEngine::MpvPlayerEngine(Outputs outputs, QObject *parent)
    : PlayerEngine(parent)
    , m_outputs(outputs)
    , m_openTimer(new QTimer(this))
{
    m_openTimer->setSingleShot(true);
    connect(m_openTimer, &QTimer::timeout, this, [this] {
        if (m_state == Opening)
            close();
    });
    initialize();
}

MpvPlayerEngine::~MpvPlayerEngine()
{
    if (!m_handle)
        return;
    mpv_set_wakeup_callback(m_handle.get(), nullptr, nullptr);
    emit aboutToDestroyHandle();
    m_handle.reset();
}

void MpvPlayerEngine::initialize()
{
    // libmpv refuses to be created unless numbers are formatted in the C locale.
    MpvHandlePtr handle(mpv_create());
    if (!handle) {
        m_error = QStringLiteral("libmpv could not be created (is LC_NUMERIC \"C\"?)");
        return;
    }
    for (const InitialOption &option : initialOptions)
        mpv_set_option_string(handle.get(), option.name, option.value);
    mpv_set_option_string(handle.get(), MpvProperty::Vo, m_outputs.testFlag(VideoOutput) ? "libmpv" : "null");
    // SDL, libmpv's last choice, plays through these same systems here; where none of them
    // has a device it only adds a 100 ms wait at every open before the film plays without sound.
    mpv_set_option_string(handle.get(), MpvProperty::Ao,
                          m_outputs.testFlag(AudioOutput) ? "pipewire,pulse,alsa,jack" : "null");
    // Hardware decoding where it works, back on the CPU by itself where it does not.
    mpv_set_option_string(handle.get(), MpvProperty::Hwdec, MpvEngineConfig::hardwareDecoderSetting(true));
    mpv_set_option_string(handle.get(), MpvProperty::NetworkTimeout,
                          QByteArray::number(DefaultNetworkTimeoutS).constData());

    const int rc = mpv_initialize(handle.get());
    if (rc < 0) {
        m_error = QStringLiteral("libmpv failed to initialise: %1").arg(QString::fromUtf8(mpv_error_string(rc)));
        return;
    }
    mpv_observe_property(handle.get(), ObservePause, MpvProperty::Pause, MPV_FORMAT_FLAG);
    mpv_observe_property(handle.get(), ObserveCoreIdle, MpvProperty::CoreIdle, MPV_FORMAT_FLAG);
    mpv_observe_property(handle.get(), ObservePausedForCache, MpvProperty::PausedForCache, MPV_FORMAT_FLAG);
    mpv_observe_property(handle.get(), ObserveCacheBuffering, MpvProperty::CacheBufferingState, MPV_FORMAT_INT64);

    m_handle = std::move(handle);
    m_mpv = MpvAccess(m_handle.get());
    m_config.setHandle(m_handle.get());
    mpv_set_wakeup_callback(m_handle.get(), &MpvPlayerEngine::wakeup, this);
}

void MpvPlayerEngine::wakeup(void *context)
{
    // Runs on a libmpv thread: only hand the work to the engine's own thread, once.
    auto *self = static_cast<MpvPlayerEngine *>(context);
    if (!self->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(self, "drainEvents", Qt::QueuedConnection);
}

int MpvPlayerEngine::networkTimeout() const
{
    return m_handle ? int(std::lround(m_mpv.number(MpvProperty::NetworkTimeout))) : 0;
}

void MpvPlayerEngine::setNetworkTimeout(int seconds)
{
    if (m_handle)
        m_mpv.setDouble(MpvProperty::NetworkTimeout, double(seconds));
}

void MpvPlayerEngine::setVideoWindowId(quintptr id)
{
    m_config.setVideoWindowId(id);
}

void MpvPlayerEngine::drainEvents()
{
    m_drainQueued = false;
    if (!m_handle)
        return;
    const quint64 barrier = m_barrierSerial;
    for (;;) {
        const mpv_event *event = mpv_wait_event(m_handle.get(), 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    // Everything a command issued before this drain could have caused has now been seen.
    if (m_settledSerial < barrier)
        m_settledSerial = barrier;
    settleClosing();
}

void MpvPlayerEngine::handleEvent(const mpv_event &event)
{
    // Copy what is needed first: a slot that runs a nested event loop may drain (and so
    // invalidate) the event while a signal is being emitted.
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        handleStartFile(static_cast<const mpv_event_start_file *>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_FILE_LOADED:
        handleFileLoaded();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        handleEndFile(end->playlist_entry_id, end->reason);
        break;
    }
    case MPV_EVENT_VIDEO_RECONFIG:
        logDecoder();
        break;
    case MPV_EVENT_PROPERTY_CHANGE:
        handlePropertyChange(*static_cast<const mpv_event_property *>(event.data));
        break;
    default:
        break;
    }
}

void MpvPlayerEngine::handlePropertyChange(const mpv_event_property &property)
{
    if (property.format == MPV_FORMAT_FLAG) {
        const bool value = *static_cast<const int *>(property.data) != 0;
        if (qstrcmp(property.name, MpvProperty::PausedForCache) == 0) {
            const bool wasPaused = m_pausedForCache;
            m_pausedForCache = value;
            if (wasPaused && !value && m_entryLoaded)
                emit bufferProgress(100);
        }
    } else if (property.format == MPV_FORMAT_INT64 && qstrcmp(property.name, MpvProperty::CacheBufferingState) == 0) {
        m_cacheBuffering = int(qBound<int64_t>(0, *static_cast<const int64_t *>(property.data), 100));
        if (m_pausedForCache && m_entryLoaded && !m_entryEnded) {
            scaleResumeBuffer();
            emit bufferProgress(m_cacheBuffering);
        }
    }
    updatePlaybackState();
}

void MpvPlayerEngine::scaleResumeBuffer()
{
    const double duration = m_mpv.number(MpvProperty::Duration);
    const double size = m_mpv.number(MpvProperty::FileSize);
    const double mediaRate = duration > 0 && size > 0 ? size / duration : 0.0;
    m_mpv.setDouble(MpvProperty::CachePauseWait,
                    RebufferPolicy::resumeSeconds(m_mpv.number(MpvProperty::CacheSpeed), mediaRate));
}

void MpvPlayerEngine::logDecoder()
{
    const QString codec = m_mpv.string(MpvProperty::VideoCodec);
    if (codec.isEmpty())
        return;
    const QString hardware = m_mpv.string(MpvProperty::HwdecCurrent);
    const QString line = hardware.isEmpty() || hardware == QLatin1String(MpvProperty::HwdecOff)
        ? QStringLiteral("video decoder: %1 on the CPU (hardware decoding %2)")
              .arg(codec, m_config.get(HardwareDecoding) == QLatin1String("0") ? QStringLiteral("off")
                          : MpvEngineConfig::gpuDecoderDevicePresent()      ? QStringLiteral("not available for it")
                                                                             : QStringLiteral("on, but no GPU device"))
        : QStringLiteral("video decoder: %1 on the GPU (%2)").arg(codec, hardware);
    // Once per decoder: the video reconfigures at every seek and size change too.
    if (line == m_decoderLogged)
        return;
    m_decoderLogged = line;
    qCInfo(lcEngine, "%s", qPrintable(line));
}

void MpvPlayerEngine::handleStartFile(qint64 entryId)
{
    m_decoderLogged.clear();
    m_lastStartedId = entryId;
    // Entries older than the one open() asked for were abandoned; nothing waits for them.
    if (m_entryId == 0 || entryId >= m_entryId)
        m_liveEntries.insert(entryId);
}

void MpvPlayerEngine::handleFileLoaded()
{
    // FILE_LOADED names no entry: it belongs to the one started last.
    if (m_entryId == 0 || m_lastStartedId != m_entryId || m_entryEnded || m_entryLoaded)
        return;
    m_entryLoaded = true;
    if (m_state != Opening)
        return;
    emit openSucceeded();
    updatePlaybackState();
}

void MpvPlayerEngine::handleEndFile(qint64 entryId, int reason)
{
    m_liveEntries.remove(entryId);
    if (entryId == m_entryId && !m_entryEnded) {
        if (reason == MPV_END_FILE_REASON_EOF && m_entryLoaded)
            emit reachedEnd();
        // Failed to open, reached the end, or stopped: the media goes back to Ready by itself.
        m_entryEnded = true;
        if (m_state != Closing && m_state != Ready)
            setState(Closing);
    }
    settleClosing();
}

void MpvPlayerEngine::settleClosing()
{
    // Ready only once every media that had started has ended and no stop is still in flight.
    if (m_state != Closing || barrierRaised() || !m_liveEntries.isEmpty())
        return;
    m_entryId = 0;
    m_entryLoaded = false;
    m_entryEnded = false;
    setState(Ready);
}

void MpvPlayerEngine::setState(int newState)
{
    if (m_state == newState)
        return;
    const int oldState = m_state;
    m_state = newState;
    if (newState == Opening)
        m_openTimer->start(m_openLimitMs);
    else
        m_openTimer->stop();
    emit stateChanged(oldState, newState);
}

void MpvPlayerEngine::updatePlaybackState()
{
    if (!m_handle || !m_entryLoaded || m_entryEnded)
        return;
    if (m_state != Opening && m_state != Starting && m_state != Playing && m_state != Pausing && m_state != Paused)
        return;
    // Live values: observed changes may be coalesced, so they only say when to look.
    const bool paused = m_mpv.flag(MpvProperty::Pause);
    const bool idle = m_mpv.flag(MpvProperty::CoreIdle, true);
    if (paused) {
        if (m_state != Paused && m_state != Pausing)
            setState(Pausing);
        if (m_state == Pausing)
            setState(Paused);
        return;
    }
    if (m_state == Opening || m_state == Paused || m_state == Pausing)
        setState(Starting);
    if (m_state == Starting && !idle)
        setState(Playing);
    else if (m_state == Playing && idle && m_mpv.flag(MpvProperty::PausedForCache))
        setState(Starting); // waiting for data; seeks and the end of the file do not count
}

void MpvPlayerEngine::raiseBarrier()
{
    ++m_barrierSerial;
    if (!m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(this, "drainEvents", Qt::QueuedConnection);
}

void MpvPlayerEngine::open(const QString &url)
{
    openAt(url, 0);
}

void MpvPlayerEngine::openAt(const QString &url, int startMs)
{
    if (!m_handle)
        return;
    if (m_outputs.testFlag(VideoOutput))
        emit videoSurfaceNeeded();
    if (m_state != Ready) {
        // The media being replaced is finished for the caller now; its late events are
        // told apart by their entry id and ignored.
        setState(Closing);
        m_liveEntries.clear();
        m_entryId = 0;
        setState(Ready);
    }

    m_mpv.setFlag(MpvProperty::Pause, false);
    // A global option: set for every open, so that one start position never carries over.
    m_mpv.setString(MpvProperty::Start, startMs > 0 ? QString::number(startMs / 1000.0, 'f', 3)
                                                    : QString::fromLatin1(MpvProperty::StartNone));
    int error = 0;
    const qint64 id = m_mpv.commandReturningInt(
        {QString::fromLatin1(MpvCommand::LoadFile), url, QStringLiteral("replace")}, "playlist_entry_id", &error);
    m_entryLoaded = false;
    m_entryEnded = false;
    m_entryId = id > 0 ? id : 0;
    setState(Opening);
    if (error < 0 || id <= 0) {
        // Refused outright: report it like any failed open.
        setState(Closing);
        settleClosing();
    }
}

void MpvPlayerEngine::close()
{
    if (!m_handle || m_state == Ready)
        return;
    setState(Closing);
    // Whatever was asked for is no longer wanted; its end (if it started) completes the close.
    m_entryId = 0;
    m_entryLoaded = false;
    m_entryEnded = false;
    m_mpv.command({QString::fromLatin1(MpvCommand::Stop)});
    raiseBarrier();
}

void MpvPlayerEngine::play()
{
    if (!m_handle || (m_state != Pausing && m_state != Paused))
        return;
    m_mpv.setFlag(MpvProperty::Pause, false);
    // A resume always passes Starting, even when playback continues at once.
    setState(Starting);
    updatePlaybackState();
}

void MpvPlayerEngine::pause()
{
    if (!m_handle || (m_state != Starting && m_state != Playing))
        return;
    setState(Pausing);
    // Setting the property pauses the core before it returns.
    m_mpv.setFlag(MpvProperty::Pause, true);
    updatePlaybackState();
}

int MpvPlayerEngine::duration() const
{
    return m_handle && m_entryLoaded ? toMs(m_mpv.number(MpvProperty::Duration)) : 0;
}

int MpvPlayerEngine::position() const
{
    return m_handle && m_entryLoaded ? toMs(m_mpv.number(MpvProperty::TimePos)) : 0;
}

void MpvPlayerEngine::setPosition(int ms)
{
    if (!m_handle || !m_entryLoaded)
        return;
    const double seconds = double(qMax(0, ms)) / 1000.0;
    m_mpv.command({QString::fromLatin1(MpvCommand::Seek), QString::number(seconds, 'f', 3),
                   QStringLiteral("absolute+exact")});
}

void MpvPlayerEngine::setVolume(int volume)
{
    if (m_handle)
        m_mpv.setDouble(MpvProperty::Volume, double(qBound(0, volume, 100)));
}

QString MpvPlayerEngine::config(int id) const
{
    return m_handle ? m_config.get(id) : QString();
}

void MpvPlayerEngine::setConfig(int id, const QString &value)
{
    if (m_handle)
        m_config.set(id, value);
}

QList<MediaTrack> MpvPlayerEngine::tracks() const
{
    QList<MediaTrack> tracks;
    if (!m_handle || !m_entryLoaded)
        return tracks;
    const auto field = [](qint64 index, const char *name) {
        return QByteArray(MpvProperty::TrackList) + '/' + QByteArray::number(index) + '/' + name;
    };
    const qint64 count = m_mpv.integer((QByteArray(MpvProperty::TrackList) + '/' + MpvProperty::TrackCount).constData());
    for (qint64 i = 0; i < count; ++i) {
        const QString type = m_mpv.string(field(i, MpvProperty::TrackType).constData());
        MediaTrack track;
        if (type == QLatin1String(MpvProperty::TrackTypeAudio))
            track.kind = MediaTrack::Audio;
        else if (type == QLatin1String(MpvProperty::TrackTypeSubtitle))
            track.kind = MediaTrack::Subtitle;
        else
            continue;
        track.id = int(m_mpv.integer(field(i, MpvProperty::TrackId).constData()));
        track.language = m_mpv.string(field(i, MpvProperty::TrackLanguage).constData());
        track.title = m_mpv.string(field(i, MpvProperty::TrackTitle).constData());
        track.selected = m_mpv.flag(field(i, MpvProperty::TrackSelected).constData());
        track.external = m_mpv.flag(field(i, MpvProperty::TrackExternal).constData());
        tracks.append(track);
    }
    return tracks;
}

int MpvPlayerEngine::addSubtitleTrack(const QString &path, const QString &title, const QString &language)
{
    if (!m_handle || !m_entryLoaded)
        return 0;
    if (m_mpv.command({QString::fromLatin1(MpvCommand::SubAdd), path, QString::fromLatin1(MpvCommand::SubAddAuto),
                       title, language})
        < 0)
        return 0;
    // sub-add names no id: the track is the newest one loaded from that path.
    const QByteArray list(MpvProperty::TrackList);
    const qint64 count = m_mpv.integer((list + '/' + MpvProperty::TrackCount).constData());
    for (qint64 i = count - 1; i >= 0; --i) {
        const QByteArray prefix = list + '/' + QByteArray::number(i) + '/';
        if (m_mpv.string((prefix + MpvProperty::TrackExternalFilename).constData()) == path)
            return int(m_mpv.integer((prefix + MpvProperty::TrackId).constData()));
    }
    return 0;
}

void MpvPlayerEngine::selectTrack(MediaTrack::Kind kind, int id)
{
    if (!m_handle)
        return;
    const char *property = kind == MediaTrack::Audio ? MpvProperty::AudioId : MpvProperty::SubtitleId;
    if (id > 0)
        m_mpv.setInt(property, id);
    else
        m_mpv.setString(property, QString::fromLatin1(MpvProperty::TrackOff));
}

void MpvPlayerEngine::setSpeed(double speed)
{
    if (m_handle)
        m_mpv.setDouble(MpvProperty::Speed, qBound(0.25, speed, 4.0));
}

double MpvPlayerEngine::speed() const
{
    return m_handle ? m_mpv.number(MpvProperty::Speed, 1.0) : 1.0;
}

bool MpvPlayerEngine::saveScreenshot(const QString &path)
{
    if (!m_handle || !m_entryLoaded)
        return false;
    return m_mpv.command({QString::fromLatin1(MpvCommand::ScreenshotToFile), path,
                          QString::fromLatin1(MpvCommand::ScreenshotVideoOnly)}) >= 0;
}
