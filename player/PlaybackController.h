#pragma once

#include <QObject>
#include <QString>

#include <functional>

class PictureSoundOptions;
class PlayerEngine;
class QTimer;
class SubtitleOptions;

// Playback as the rest of the program sees it: the engine, whether a media is open, the state
// texts and the progress tick, and the stored options re-applied at every open. The main window
// renders what it announces and sends the user's intents here; the play path waits on
// opened/closed.
class PlaybackController : public QObject
{
    Q_OBJECT

public:
    explicit PlaybackController(QObject *parent = nullptr);
    ~PlaybackController() override;

    // The engine is owned by its video surface's page; it is attached once, when it is made.
    void attachEngine(PlayerEngine *engine);
    void detachEngine();
    PlayerEngine *engine() const { return m_engine; }
    // Where the engine comes from when it is first needed: it is made after the window is shown,
    // or at the first open if that comes sooner. The source is asked once.
    void setEngineSource(std::function<PlayerEngine *()> source);
    // Makes the engine now unless it is there; false when there is none.
    bool ensureEngine();
    bool isMediaOpen() const { return m_mediaOpen; }

    int position() const;
    int duration() const;
    int volume() const { return m_volume; }
    // The picture, sound and subtitle choices; applied at every open after the volume.
    PictureSoundOptions *pictureSound() const { return m_pictureSound; }
    SubtitleOptions *subtitles() const { return m_subtitles; }

    // Opens the address with playback starting at startMs, at the normal rate. A media still open
    // is left first (stopping is emitted for it).
    void open(const QString &url, int startMs = 0);
    // Where the open media was asked to start; 0 for its beginning.
    int openedAt() const { return m_openedAt; }

    // The open media ended by itself well before its end: the host went away. Until a new media
    // opens or the user stops, the window stays on the video with the position kept.
    bool isConnectionLost() const { return m_lostAtMs >= 0; }
    int lostAt() const { return m_lostAtMs; }
    // The reconnection gave up for now (it may still try again later).
    void reportReconnectFailed();

    // Casting: a renderer's engine takes playback over. The local engine is set aside, its media
    // paused, and comes back as it was left with endRemote().
    void beginRemote(PlayerEngine *remote);
    void endRemote();
    bool isRemote() const { return m_aside.active; }
    // The local media set aside goes (another file, or none, is cast now).
    void closeSetAsideMedia();
    // With no media open, the window stays on the video and play asks for the file back at that
    // position (resumeRequested), as after a lost connection that is no longer being retried.
    void offerResume(int positionMs);

    // The user's intents. Nothing reaches the engine unless a media is open (stop excepted); with
    // the connection lost, play asks for the media back (resumeRequested).
    void togglePlayPause();
    void play();
    void pause();
    void stop();
    void seek(int ms);
    // Remembered for the next open; sent at once while a media is open.
    void setVolume(int volume);

    // Buffering that has not moved for this long means the engine's network read timed out
    // (MpvPlayerEngine::DefaultNetworkTimeoutS) and it is reconnecting; the text says so.
    static constexpr int StalledNoticeMs = 12000;
    // An end this far before the duration is a lost connection, not the end of the film (the
    // position is sampled once a second, and durations are estimates).
    static constexpr int EarlyEndMarginMs = 5000;

    // The state text of the moment, in the interface language of the moment.
    QString stateText() const;

signals:
    // "正在打开...", "暂停中", "正在缓冲N%...", "网络连接中断，正在重试…" or empty.
    void stateTextChanged(const QString &text);
    // The start/pause face of the tool bar.
    void playingChanged(bool playing);
    // A media opened (its duration) or was closed and the engine is ready again.
    void opened(int durationMs);
    void closed();
    // Once a second while playing.
    void progressTick(int positionMs);
    // The media ended early at that position (see isConnectionLost); closed is not emitted.
    void connectionLost(int positionMs);
    // The user asked to have the lost media back now.
    void resumeRequested();
    // The open media is about to be left (stop, or another open) at that position.
    void stopping(int positionMs);
    // The open media played to its end; closed follows.
    void reachedEnd();
    // Playback moved to another engine (casting began or ended): an open waiting on the one
    // before will never finish.
    void engineChanged();

private:
    void onStateChanged(int oldState, int newState);
    void onOpenSucceeded();
    void onBufferProgress(int percent);
    // Closing -> Ready: the user's close, another open, the end, or a lost connection.
    void onMediaGone();
    void clearConnectionLost();
    void connectEngine(PlayerEngine *engine);
    void watchDestroyed(PlayerEngine *engine);
    // A state text by its source (QT_TR_NOOP; null for none), with a percentage where it has one.
    void showState(const char *text, int percent = -1);

    PlayerEngine *m_engine = nullptr;
    std::function<PlayerEngine *()> m_engineSource;
    bool m_mediaOpen = false;
    int m_volume = 0;
    int m_openedAt = 0;
    QTimer *m_progressTimer;
    QTimer *m_stallTimer;
    int m_bufferPercent = -1;
    int m_lastPositionMs = 0;
    int m_durationMs = 0;
    bool m_leaving = false; // stop() or open() is closing the media
    int m_lostAtMs = -1;
    struct SetAside
    {
        bool active = false;
        PlayerEngine *engine = nullptr;
        bool mediaOpen = false;
        int durationMs = 0;
        int lastPositionMs = 0;
        int openedAt = 0;
    };
    SetAside m_aside;
    const char *m_stateSource = nullptr;
    int m_statePercent = -1;
    PictureSoundOptions *m_pictureSound;
    SubtitleOptions *m_subtitles;
};
