#pragma once

#include "player/MediaTrack.h"

#include <QList>
#include <QObject>
#include <QString>

// The media engine as the rest of the program sees it. Operations return at once; the outcome
// of open/close/play/pause arrives through stateChanged and openSucceeded. Times are milliseconds.
class PlayerEngine : public QObject
{
    Q_OBJECT

public:
    enum EngineState {
        Ready = 0,
        Opening = 1,
        Pausing = 2,
        Paused = 3,
        Starting = 4,
        Playing = 5,
        Closing = 6,
    };
    Q_ENUM(EngineState)

    // Configuration ids understood by setConfig/config; values are always text.
    enum ConfigId {
        VideoWindowId = 20,         // read: native id of the video surface, decimal
        RenderMode = 201,           // "1".."5"
        VideoOwnAspect = 203,       // read: the video's own aspect ratio
        VideoAspect = 204,          // "4;3", "16;9" or the text read from 203
        Brightness = 214,           // 0..100, 50 neutral
        Contrast = 215,
        Saturation = 216,
        Hue = 217,
        PictureEnhancement = 305,   // "0"/"1"
        AudioChannel = 404,         // "0" stereo, "1" left, "2" right, "3" mixed
        SubtitleFile = 503,         // path; reads back empty when none is loaded
        SubtitleVisible = 504,      // "0"/"1"
        SubtitlePlacement = 507,    // "1;h;v"
        SubtitleFont = 508,         // "font;size;x;y"
        SubtitleDelay = 509,        // "ms;1000;1000"
        SubtitleText = 510,         // read: the subtitle line shown now, empty when none
        HttpCookie = 1105,          // Cookie header of the engine's HTTP requests
        CacheFilePath = 2201,       // a file path whose folder receives the disk cache
        CacheEnabled = 2207,        // "1" turns the disk cache on
        HardwareDecoding = 2301,    // "1" decodes on the GPU where that works, "0" on the CPU only
    };
    Q_ENUM(ConfigId)

    explicit PlayerEngine(QObject *parent = nullptr);
    ~PlayerEngine() override;

    virtual void open(const QString &url) = 0;
    virtual void close() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual int state() const = 0;
    virtual int duration() const = 0;
    virtual int position() const = 0;
    virtual void setPosition(int ms) = 0;
    virtual void setVolume(int volume) = 0;
    virtual QString config(int id) const = 0;
    virtual void setConfig(int id, const QString &value) = 0;

    // Opens with playback starting at startMs (0: the beginning).
    virtual void openAt(const QString &url, int startMs);
    // The open media's audio and subtitle tracks; empty for an engine that cannot list them.
    virtual QList<MediaTrack> tracks() const;
    // Adds a subtitle file to the open media as one more subtitle track, not selected, under
    // that title and language tag; its track id, or 0 when it could not be added.
    virtual int addSubtitleTrack(const QString &path, const QString &title, const QString &language);
    // Switches to the track of that kind and id; id 0 turns the kind off.
    virtual void selectTrack(MediaTrack::Kind kind, int id);
    // Playback rate, the pitch kept; it stays until set again.
    virtual void setSpeed(double speed);
    virtual double speed() const;
    // Writes the current frame at the video's own size, without anything drawn over it, as PNG.
    virtual bool saveScreenshot(const QString &path);
    // An engine on another machine (a renderer on the network) fetches the file itself: it
    // cannot send the play address's cookie and cannot reach this machine's loopback.
    virtual bool isRemote() const;
    // The name of what the next open plays, for an engine that shows or announces it.
    virtual void setMediaTitle(const QString &title);

    static QString stateName(int state);

signals:
    void stateChanged(int oldState, int newState);
    void openSucceeded();
    void bufferProgress(int percent);
    // The open media played to its end (emitted before it closes by itself).
    void reachedEnd();
};
