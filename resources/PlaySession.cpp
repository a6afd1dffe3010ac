#include "resources/PlaySession.h"

#include "app/AppConfig.h"
#include "player/PlayPositionStore.h"
#include "player/PlaybackController.h"
#include "player/PlayerEngine.h"
#include "resources/EpisodeOrder.h"
#include "player/SubtitlePreference.h"
#include "resources/PlayRequest.h"
#include "resources/ResourceSubtitles.h"
#include "service/ServiceClient.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
const char kAutoPlayNext[] = "Player/AutoPlayNext";
} // namespace

PlaySession::PlaySession(PlayRequest *request, PlaybackController *playback, PlayPositionStore *positions,
                         QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_playback(playback)
    , m_positions(positions)
{
    connect(request, &PlayRequest::filesListed, this,
            [this](const QString &hash, const QList<BTResourceFile> &files) { m_files.insert(hash.toLower(), files); });
    connect(request, &PlayRequest::fileOpened, this, &PlaySession::onFileOpened);
    connect(playback, &PlaybackController::progressTick, this, [this](int positionMs) {
        m_lastPosition = positionMs;
        m_lastDuration = m_playback->duration();
        if (m_open)
            m_positions->record(m_current.resourceHash, m_current.resourceIndex, positionMs, m_lastDuration);
    });
    connect(playback, &PlaybackController::stopping, this, [this](int positionMs) {
        if (!m_open)
            return;
        // Left before the engine knew its time (at once after the open): 0 means unknown, not
        // the beginning, and must not forget the position it was opened at.
        const int at = positionMs > 0 ? positionMs : m_lastPosition;
        m_positions->record(m_current.resourceHash, m_current.resourceIndex, at, m_playback->duration());
        m_positions->save();
    });
    connect(playback, &PlaybackController::reachedEnd, this, [this] {
        // A stream cut off by a lost host also reads as its end: only an end where the file
        // counts as finished is one; otherwise the last position stays kept.
        m_ended = m_open && PlayPositionStore::countsAsFinished(m_lastPosition, m_lastDuration);
        if (m_ended) {
            m_positions->forget(m_current.resourceHash, m_current.resourceIndex);
            m_positions->save();
        }
    });
    connect(playback, &PlaybackController::closed, this, &PlaySession::onClosed);
}

bool PlaySession::hasFile() const
{
    return m_open && m_playback->isMediaOpen();
}

bool PlaySession::isMediaOpen() const
{
    return m_playback->isMediaOpen();
}

void PlaySession::onFileOpened(const BTResourceFile &file)
{
    const bool sameResource = m_current.resourceHash.compare(file.resourceHash, Qt::CaseInsensitive) == 0;
    m_current = file;
    m_open = true;
    m_ended = false;
    m_lastPosition = m_playback->openedAt();
    m_lastDuration = m_playback->duration();
    if (sameResource)
        applyTrackChoices();
    m_resourceTracks.clear();
    m_autoSubtitle = -1;
    // A renderer on the network plays the file alone: it gets none.
    PlayerEngine *engine = m_playback->engine();
    if (m_subtitles && engine && !engine->isRemote())
        m_subtitles->load(file, m_request->lastPlayHost());
    const int start = m_playback->openedAt();
    emit notice(start > 0 ? tr("从 %1 继续播放").arg(resumeTimeText(start)) : QString(), start > 0);
}

void PlaySession::onClosed()
{
    if (m_subtitles)
        m_subtitles->cancel();
    m_resourceTracks.clear();
    const bool ended = m_ended;
    m_open = false;
    m_ended = false;
    emit notice(QString(), false);
    // After the open's own wait has unwound: the next play runs a wait of its own.
    if (ended && autoPlayNext())
        QTimer::singleShot(0, this, [this] { playNext(); });
}

bool PlaySession::autoPlayNext()
{
    return AppConfig::instance()->value(QLatin1String(kAutoPlayNext), true).toBool();
}

void PlaySession::setAutoPlayNext(bool on)
{
    AppConfig::instance()->setValue(QLatin1String(kAutoPlayNext), on);
}

bool PlaySession::playNext()
{
    return step(1);
}

bool PlaySession::playPrevious()
{
    return step(-1);
}

bool PlaySession::step(int direction)
{
    if (m_current.resourceHash.isEmpty() || m_request->isBusy())
        return false;
    const QString hash = m_current.resourceHash.toLower();
    if (!m_files.contains(hash)) {
        QList<BTResourceFile> files;
        if (!m_request->listFiles(m_current.resourceHash, &files).succeeded())
            return false;
    }
    BTResourceFile next;
    if (!EpisodeOrder::neighbour(m_files.value(hash), m_current.resourceIndex, direction, &next)) {
        if (m_playback->isMediaOpen())
            emit notice(direction > 0 ? tr("已是最后一集") : tr("已是第一集"), false);
        return false;
    }
    return m_request->play(&next, m_request->lastEngineIndex(), false);
}

void PlaySession::setResourceSubtitles(ResourceSubtitles *subtitles)
{
    m_subtitles = subtitles;
    connect(subtitles, &ResourceSubtitles::downloaded, this, &PlaySession::onSubtitleDownloaded);
}

void PlaySession::onSubtitleDownloaded(const BTResourceFile &video, int, const ResourceSubtitle &subtitle,
                                       const QString &path)
{
    PlayerEngine *engine = m_playback->engine();
    if (!m_open || !engine || !m_playback->isMediaOpen() || video.resourceIndex != m_current.resourceIndex
        || video.resourceHash.compare(m_current.resourceHash, Qt::CaseInsensitive) != 0)
        return;
    const int id = engine->addSubtitleTrack(path, QFileInfo(subtitle.name).fileName(), subtitle.language);
    if (id <= 0)
        return;
    m_resourceTracks.append({id, subtitle.language});

    // The user's choice for the resource holds: off, a track of the file, or a resource subtitle
    // of the same language (the first, best matched, that arrives).
    const auto choices = m_trackChoices.value(m_current.resourceHash.toLower());
    if (choices.contains(MediaTrack::Subtitle)) {
        const TrackChoice choice = choices.value(MediaTrack::Subtitle);
        if (choice.fromResource && m_autoSubtitle < 0 && choice.language == subtitle.language) {
            m_autoSubtitle = id;
            engine->selectTrack(MediaTrack::Subtitle, id);
        }
        return;
    }
    // A better language may come later than a worse one: the pick is made again over all so far.
    QStringList languages;
    for (const ResourceTrack &track : qAsConst(m_resourceTracks))
        languages << track.language;
    const int best = SubtitlePreference::pick(languages, SubtitlePreference::current());
    if (best >= 0 && m_resourceTracks[best].id != m_autoSubtitle) {
        m_autoSubtitle = m_resourceTracks[best].id;
        engine->selectTrack(MediaTrack::Subtitle, m_autoSubtitle);
    }
}

QList<MediaTrack> PlaySession::tracks() const
{
    PlayerEngine *engine = m_playback->engine();
    return engine && m_playback->isMediaOpen() ? engine->tracks() : QList<MediaTrack>();
}

void PlaySession::chooseTrack(MediaTrack::Kind kind, int id)
{
    PlayerEngine *engine = m_playback->engine();
    if (!engine || !m_playback->isMediaOpen())
        return;
    TrackChoice choice;
    choice.id = id;
    for (const MediaTrack &track : engine->tracks()) {
        if (track.kind == kind && track.id == id) {
            choice.language = track.language;
            choice.title = track.title;
        }
    }
    for (const ResourceTrack &track : qAsConst(m_resourceTracks)) {
        if (kind == MediaTrack::Subtitle && track.id == id) {
            choice.fromResource = true;
            choice.language = track.language;
        }
    }
    engine->selectTrack(kind, id);
    if (m_open)
        m_trackChoices[m_current.resourceHash.toLower()].insert(kind, choice);
}

void PlaySession::applyTrackChoices()
{
    PlayerEngine *engine = m_playback->engine();
    const auto choices = m_trackChoices.value(m_current.resourceHash.toLower());
    if (!engine || choices.isEmpty())
        return;
    const QList<MediaTrack> tracks = engine->tracks();
    for (auto it = choices.cbegin(); it != choices.cend(); ++it) {
        const auto kind = MediaTrack::Kind(it.key());
        const TrackChoice &choice = it.value();
        if (choice.fromResource)
            continue; // the file's own subtitles arrive later (onSubtitleDownloaded)
        // The same language and title first (episodes need not number their tracks alike),
        // then the same place; off stays off.
        int id = -1;
        for (const MediaTrack &track : tracks) {
            if (track.kind == kind && !track.external && choice.id > 0 && track.language == choice.language
                && track.title == choice.title && id < 0)
                id = track.id;
        }
        for (const MediaTrack &track : tracks) {
            if (id < 0 && track.kind == kind && track.id == choice.id)
                id = track.id;
        }
        if (choice.id == 0)
            id = 0;
        if (id >= 0)
            engine->selectTrack(kind, id);
    }
}

QList<double> PlaySession::speeds()
{
    return {0.5, 0.75, 1.0, 1.25, 1.5, 2.0};
}

double PlaySession::speed() const
{
    PlayerEngine *engine = m_playback->engine();
    return engine ? engine->speed() : 1.0;
}

void PlaySession::setSpeed(double speed)
{
    PlayerEngine *engine = m_playback->engine();
    if (!engine || !m_playback->isMediaOpen())
        return;
    engine->setSpeed(speed);
    emit notice(tr("播放速度：%1×").arg(QString::number(speed)), false);
}

QString PlaySession::screenshotFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

QString PlaySession::takeScreenshot()
{
    PlayerEngine *engine = m_playback->engine();
    if (!engine || !m_playback->isMediaOpen())
        return QString();
    const QString folder = screenshotFolder();
    QDir().mkpath(folder);
    QString base = m_open ? QFileInfo(m_current.fileName).completeBaseName() : QString();
    if (base.isEmpty())
        base = QStringLiteral("Pelorin");
    const int ms = m_playback->position();
    base += QStringLiteral("_%1-%2-%3")
                .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
    QString path = QDir(folder).filePath(base + QStringLiteral(".png"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(folder).filePath(base + QStringLiteral("_%1.png").arg(n));
    if (!engine->saveScreenshot(path) || !QFileInfo::exists(path)) {
        emit notice(tr("截图失败"), false);
        return QString();
    }
    emit notice(tr("截图已保存：%1").arg(QDir::toNativeSeparators(path)), false);
    return path;
}

void PlaySession::startOver()
{
    if (!m_playback->isMediaOpen())
        return;
    m_playback->seek(0);
    if (m_open)
        m_positions->forget(m_current.resourceHash, m_current.resourceIndex);
    emit notice(QString(), false);
}

void PlaySession::saveNow()
{
    if (hasFile())
        m_positions->record(m_current.resourceHash, m_current.resourceIndex, m_playback->position(),
                            m_playback->duration());
    m_positions->save();
}

QString PlaySession::resumeTimeText(int ms)
{
    const int seconds = ms / 1000;
    const QString minutesSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds >= 3600 ? QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesSeconds) : minutesSeconds;
}
