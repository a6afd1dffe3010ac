#pragma once

#include "player/MediaTrack.h"
#include "resources/BTResourceFile.h"

#include <QHash>
#include <QList>
#include <QObject>

class PlaybackController;
class PlayPositionStore;
class PlayRequest;
class ResourceSubtitles;

// What playback knows about the file it plays: where it was left (resumed at the next open, kept
// in the position store), the episode after it, the audio and subtitle track chosen for its
// resource, the rate, and screenshots named after it. Acts through the play request (every
// episode goes the normal play path) and the playback controller.
class PlaySession : public QObject
{
    Q_OBJECT

public:
    PlaySession(PlayRequest *request, PlaybackController *playback, PlayPositionStore *positions,
                QObject *parent = nullptr);

    // A file of a resource is open.
    bool hasFile() const;
    bool isMediaOpen() const;
    BTResourceFile currentFile() const { return m_current; }

    // Whether the next episode follows when a file ends (Config.ini Player/AutoPlayNext, on by default).
    static bool autoPlayNext();
    static void setAutoPlayNext(bool on);
    // The episode before or after the current one, through the normal play path; false when
    // there is none or the play request is busy.
    bool playNext();
    bool playPrevious();

    // Fetches the resource's own subtitles of every file that opens; they join its subtitle
    // tracks, the best match (SubtitlePreference) selected unless a choice of the user holds.
    void setResourceSubtitles(ResourceSubtitles *subtitles);

    // The open media's tracks; a choice also holds for the resource's other files.
    QList<MediaTrack> tracks() const;
    void chooseTrack(MediaTrack::Kind kind, int id);

    // The rates offered; the rate goes back to 1 at every open.
    static QList<double> speeds();
    double speed() const;
    void setSpeed(double speed);

    // Saves the current frame as PNG in the pictures folder; the path, or empty when that failed.
    QString takeScreenshot();
    static QString screenshotFolder();

    // Back to the beginning; the kept position goes.
    void startOver();
    // Keeps the current position and writes the store (before the program ends).
    void saveNow();

    // "mm:ss", or "h:mm:ss" from an hour on.
    static QString resumeTimeText(int ms);

signals:
    // A short text for the video ("从 12:34 继续播放"), with the offer to start over; empty hides it.
    void notice(const QString &text, bool startOverOffered);

private:
    void onFileOpened(const BTResourceFile &file);
    void onClosed();
    bool step(int direction);
    void applyTrackChoices();
    void onSubtitleDownloaded(const BTResourceFile &video, int rank, const ResourceSubtitle &subtitle,
                              const QString &path);

    struct TrackChoice
    {
        int id = 0;
        QString language;
        QString title;
        bool fromResource = false; // one of the resource's own subtitles
    };
    // A resource subtitle added to the open media.
    struct ResourceTrack
    {
        int id = 0;
        QString language;
    };

    PlayRequest *m_request;
    PlaybackController *m_playback;
    PlayPositionStore *m_positions;
    BTResourceFile m_current;
    bool m_open = false;
    bool m_ended = false;
    int m_lastPosition = 0; // as of the last progress tick
    int m_lastDuration = 0;
    QHash<QString, QList<BTResourceFile>> m_files;                          // per resource hash
    QHash<QString, QHash<int, TrackChoice>> m_trackChoices;                 // per hash, per kind
    ResourceSubtitles *m_subtitles = nullptr;
    QList<ResourceTrack> m_resourceTracks; // of the open file, best match first
    int m_autoSubtitle = -1;               // the track selected by itself, -1 none
};
