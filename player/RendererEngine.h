#pragma once

#include "player/MediaRenderer.h"
#include "player/PlayerEngine.h"

#include <QList>
#include <QTimer>

#include <functional>

// The engine interface over a media renderer on the network: the renderer fetches and plays the
// address itself, this engine tells it what to do and asks it once a second where it is. Calls
// go out one at a time, each with a time limit; a renderer that stops answering, refuses the
// file or stops by itself mid-film ends the engine with failed().
class RendererEngine : public PlayerEngine
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 1000;
    // A call unanswered for this long: the renderer is gone.
    static constexpr int CallLimitMs = 6000;
    // From the open to the renderer playing.
    static constexpr int OpenLimitMs = 20000;
    // A renderer that stops this close to the end (plus one poll) has played the file to its end.
    static constexpr int EndMarginMs = 3000;

    // Takes the renderer over (it becomes this engine's child).
    explicit RendererEngine(MediaRenderer *renderer, QObject *parent = nullptr);
    ~RendererEngine() override;

    MediaRenderer *renderer() const { return m_renderer; }
    bool hasFailed() const { return m_failed; }

    void open(const QString &url) override;
    void openAt(const QString &url, int startMs) override;
    void close() override;
    void play() override;
    void pause() override;
    int state() const override { return m_state; }
    int duration() const override { return m_duration; }
    int position() const override { return m_position; }
    void setPosition(int ms) override;
    void setVolume(int volume) override;
    QString config(int id) const override;
    void setConfig(int id, const QString &value) override;
    bool isRemote() const override { return true; }
    void setMediaTitle(const QString &title) override { m_title = title; }

    // Stops the renderer and deletes this engine once it answered (or did not in time).
    void closeAndDispose();
    // Shorter times, for tests.
    void setTimings(int pollMs, int callLimitMs, int openLimitMs);

    // "H:MM:SS" or "H:MM:SS.F…" in milliseconds; -1 for anything else ("NOT_IMPLEMENTED").
    static int parseTime(const QString &text);
    static QString formatTime(int ms);
    // The MIME type for the item's metadata, from the file's name; video/mp4 when unknown.
    static QString mimeTypeFor(const QString &fileName);

signals:
    // What went wrong, said as the video shows it, and the last position known. The engine is
    // Ready again without a state change and does nothing more.
    void failed(const QString &text, int positionMs);

private:
    struct Call
    {
        MediaRenderer::Action action;
        std::function<void()> send;
    };

    void enqueue(MediaRenderer::Action action, std::function<void()> send);
    void sendNext();
    void onFinished(MediaRenderer::Action action, bool ok, bool unreachable, const QString &error);
    void onPosition(const QString &relativeTime, const QString &duration);
    void onTransport(const QString &transportState, const QString &status);
    void whileOpening(const QString &transportState, const QString &status);
    void poll();
    void setState(int state);
    void becomeReady();
    void fail(const QString &text);
    bool pending(MediaRenderer::Action action) const;

    MediaRenderer *m_renderer;
    QList<Call> m_queue;
    bool m_inFlight = false;
    MediaRenderer::Action m_current = MediaRenderer::QueryTransport;
    QTimer m_callLimit;
    QTimer m_pollTimer;
    QTimer m_openLimit;
    int m_state = Ready;
    QString m_title;
    int m_startMs = 0;
    int m_position = 0;
    int m_duration = 0;
    bool m_playSent = false; // the open's Play was answered
    bool m_startSeekSent = false;
    int m_playingPolls = 0; // while opening, answers that said PLAYING
    int m_firstPlayingPosition = 0;
    bool m_positionKnown = false; // it has told a position it is at
    int m_stoppedPolls = 0; // while opening, answers that said it stands still
    bool m_failed = false;
    bool m_disposing = false;
};
