#include "shell/ui/MprisService.h"

#include "player/PlaybackController.h"
#include "shell/ui/MprisPlayerAdaptor.h"
#include "shell/ui/MprisRootAdaptor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QUrl>

const QString MprisService::kServiceName = QStringLiteral("org.mpris.MediaPlayer2.pelorin");
const QString MprisService::kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

namespace {
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
} // namespace

MprisService::MprisService(PlaybackController *playback, QObject *parent)
    : QObject(parent)
    , m_playback(playback)
{
    new MprisRootAdaptor(this);
    m_player = new MprisPlayerAdaptor(this);
    connect(playback, &PlaybackController::opened, this, [this](int durationMs) {
        m_open = true;
        m_durationMs = durationMs;
        ++m_track;
        announce({QStringLiteral("Metadata"), QStringLiteral("CanPlay"), QStringLiteral("CanPause"),
                  QStringLiteral("CanSeek"), QStringLiteral("PlaybackStatus")});
    });
    connect(playback, &PlaybackController::closed, this, [this] {
        m_open = false;
        m_playing = false;
        m_title.clear();
        announce({QStringLiteral("Metadata"), QStringLiteral("CanPlay"), QStringLiteral("CanPause"),
                  QStringLiteral("CanSeek"), QStringLiteral("PlaybackStatus")});
    });
    connect(playback, &PlaybackController::playingChanged, this, [this](bool playing) {
        if (playing == m_playing)
            return;
        m_playing = playing;
        announce({QStringLiteral("PlaybackStatus")});
    });
}

MprisService::~MprisService()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(kServiceName);
        bus.unregisterObject(kObjectPath);
    }
}

bool MprisService::registerOnBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_registered || !bus.isConnected())
        return m_registered;
    if (!bus.registerObject(kObjectPath, this))
        return false;
    if (!bus.registerService(kServiceName)) {
        bus.unregisterObject(kObjectPath);
        return false;
    }
    m_registered = true;
    return true;
}

void MprisService::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    announce({QStringLiteral("Metadata")});
}

QString MprisService::playbackStatus() const
{
    if (!m_open)
        return QStringLiteral("Stopped");
    return m_playing ? QStringLiteral("Playing") : QStringLiteral("Paused");
}

QString MprisService::trackId() const
{
    return QStringLiteral("/io/pelorin/Track/%1").arg(m_track);
}

QVariantMap MprisService::metadata() const
{
    if (!m_open)
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    QVariantMap data{{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId()))},
                     {QStringLiteral("mpris:length"), qlonglong(m_durationMs) * 1000}};
    if (!m_title.isEmpty())
        data.insert(QStringLiteral("xesam:title"), m_title);
    return data;
}

qlonglong MprisService::positionUs() const
{
    return m_open ? qlonglong(m_playback->position()) * 1000 : 0;
}

double MprisService::volume() const
{
    return m_playback->volume() / 100.0;
}

void MprisService::play()
{
    m_playback->play();
}

void MprisService::pause()
{
    m_playback->pause();
}

void MprisService::playPause()
{
    m_playback->togglePlayPause();
}

void MprisService::stop()
{
    m_playback->stop();
}

void MprisService::seekBy(qlonglong offsetUs)
{
    if (m_open)
        seekTo(m_playback->position() + offsetUs / 1000);
}

void MprisService::setPosition(const QString &id, qlonglong positionUs)
{
    // A command meant for a file that is no longer open is dropped.
    if (m_open && id == trackId() && positionUs >= 0 && positionUs <= qlonglong(m_durationMs) * 1000)
        seekTo(positionUs / 1000);
}

void MprisService::seekTo(qlonglong positionMs)
{
    const int target = int(qBound<qlonglong>(0, positionMs, m_durationMs));
    m_playback->seek(target);
    emit m_player->Seeked(qlonglong(target) * 1000);
}

void MprisService::openUri(const QString &uri)
{
    const QUrl url(uri);
    emit openRequested(url.isLocalFile() ? url.toLocalFile() : uri);
}

void MprisService::announce(const QStringList &names)
{
    if (!m_registered)
        return;
    QVariantMap changed;
    for (const QString &name : names) {
        if (name == QLatin1String("Metadata"))
            changed.insert(name, metadata());
        else if (name == QLatin1String("PlaybackStatus"))
            changed.insert(name, playbackStatus());
        else
            changed.insert(name, canPlay());
    }
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
