#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class MprisPlayerAdaptor;
class PlaybackController;

// The player as the desktop's media controls and media keys see it: the media player interfaces
// of the session bus under the name "org.mpris.MediaPlayer2.pelorin". It follows playback and
// hands the desktop's commands to it; raising, quitting and opening go out as intents.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static const QString kServiceName;
    static const QString kObjectPath;

    explicit MprisService(PlaybackController *playback, QObject *parent = nullptr);
    ~MprisService() override;

    // False when there is no session bus or the name is taken; the program runs on without.
    bool registerOnBus();

    // The playing file's name, shown as the title.
    void setTitle(const QString &title);

    // What the adaptors answer and do.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong positionUs() const;
    double volume() const;
    bool canPlay() const { return m_open; }
    void play();
    void pause();
    void playPause();
    void stop();
    void seekBy(qlonglong offsetUs);
    void setPosition(const QString &trackId, qlonglong positionUs);
    void openUri(const QString &uri);

signals:
    void raiseRequested();
    void quitRequested();
    void openRequested(const QString &input);

private:
    QString trackId() const;
    void seekTo(qlonglong positionMs);
    // Tells listeners what changed on the player interface.
    void announce(const QStringList &names);

    PlaybackController *m_playback;
    MprisPlayerAdaptor *m_player;
    bool m_registered = false;
    bool m_open = false;
    bool m_playing = false;
    int m_durationMs = 0;
    int m_track = 0;
    QString m_title;
};
