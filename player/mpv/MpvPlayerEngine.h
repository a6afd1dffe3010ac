#pragma once

#include "player/mpv/MpvEngineConfig.h"
#include "player/mpv/MpvPointers.h"
#include "player/PlayerEngine.h"

#include <QSet>
#include <QTimer>

#include <atomic>

// The engine on libmpv. All calls and signals happen on the thread that created it (the GUI
// thread); libmpv's own threads only queue a drain of its event queue onto that thread.
//
// With VideoOutput the engine renders through the render API and needs a video surface
// (MpvVideoWidget) that creates its render context before a media loads; without it the
// engine decodes with vo=null, as tests and machines without a display need.
class MpvPlayerEngine : public PlayerEngine
{
    Q_OBJECT

public:
    enum OutputFlag {
        NoOutput = 0x0,
        VideoOutput = 0x1,
        AudioOutput = 0x2,
    };
    Q_DECLARE_FLAGS(Outputs, OutputFlag)

    explicit MpvPlayerEngine(Outputs outputs = Outputs(VideoOutput | AudioOutput), QObject *parent = nullptr);
    ~MpvPlayerEngine() override;

    // False when libmpv could not be created; every operation is then a no-op.
    bool isValid() const { return m_handle != nullptr; }
    // What went wrong, for logs.
    QString errorString() const { return m_error; }

    // A read that waits this long counts as a dead connection: the stream reconnects, and gives
    // up after its few retries. Long enough for a slow link, short enough to notice a dead host.
    static constexpr int DefaultNetworkTimeoutS = 12;
    // An open still waiting after this long is closed, which reports it as failed.
    static constexpr int DefaultOpenLimitMs = 30000;
    int networkTimeout() const;
    void setNetworkTimeout(int seconds);
    void setOpenLimit(int ms) { m_openLimitMs = ms; }

    Outputs outputs() const { return m_outputs; }
    mpv_handle *handle() const { return m_handle.get(); }
    void setVideoWindowId(quintptr id);
    // The video surface draws without OpenGL: colours and enhancement go through a filter.
    void setPictureFiltered(bool on) { m_config.setPictureFiltered(on); }

    void open(const QString &url) override;
    void openAt(const QString &url, int startMs) override;
    QList<MediaTrack> tracks() const override;
    int addSubtitleTrack(const QString &path, const QString &title, const QString &language) override;
    void selectTrack(MediaTrack::Kind kind, int id) override;
    void setSpeed(double speed) override;
    double speed() const override;
    bool saveScreenshot(const QString &path) override;
    void close() override;
    void play() override;
    void pause() override;
    int state() const override { return m_state; }
    int duration() const override;
    int position() const override;
    void setPosition(int ms) override;
    void setVolume(int volume) override;
    QString config(int id) const override;
    void setConfig(int id, const QString &value) override;

signals:
    // Emitted (directly) before a media is loaded with VideoOutput: the video surface must have
    // its render context when this returns, or that media plays without picture.
    void videoSurfaceNeeded();
    // The handle goes next: a video surface frees its render context now.
    void aboutToDestroyHandle();

private slots:
    void drainEvents();

private:
    static void wakeup(void *context);
    void initialize();
    void handleEvent(const mpv_event &event);
    void handlePropertyChange(const mpv_event_property &property);
    // While stalled: how much to buffer before resuming, from the link's rate as measured now
    // (data flows all through a stall, so the measure settles within a second or two).
    void scaleResumeBuffer();
    // One line in the engine log naming the decoder the video plays with.
    void logDecoder();
    void handleStartFile(qint64 entryId);
    void handleFileLoaded();
    void handleEndFile(qint64 entryId, int reason);
    void setState(int newState);
    void updatePlaybackState();
    void settleClosing();
    void raiseBarrier();
    bool barrierRaised() const { return m_barrierSerial != m_settledSerial; }

    Outputs m_outputs;
    MpvHandlePtr m_handle;
    MpvAccess m_mpv;
    MpvEngineConfig m_config;
    QString m_error;
    std::atomic_bool m_drainQueued{false};

    int m_state = Ready;

    // The media that open() asked for; 0 when none (closed, or handed back to Ready).
    qint64 m_entryId = 0;
    bool m_entryLoaded = false;
    bool m_entryEnded = false;
    qint64 m_lastStartedId = 0;
    QSet<qint64> m_liveEntries; // started and not yet ended

    // A command that may or may not start/end media was issued; its events are known to be
    // queued only once the queue has been drained after it.
    quint64 m_barrierSerial = 0;
    quint64 m_settledSerial = 0;

    QTimer *m_openTimer = nullptr;
    int m_openLimitMs = DefaultOpenLimitMs;

    QString m_decoderLogged;
    bool m_pausedForCache = false;
    int m_cacheBuffering = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(MpvPlayerEngine::Outputs)
