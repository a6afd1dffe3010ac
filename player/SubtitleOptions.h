#pragma once

#include <QObject>
#include <QString>

class PlaybackController;

// The external subtitle of the playing video and its adjustments, as the subtitle dialog sets
// them. Nothing is stored in Config.ini: the choices live as long as the program. The file and
// its on/off state are sent again whenever a media opens; the other adjustments reach the engine
// only while a media is open and the engine reports a subtitle file loaded.
class SubtitleOptions : public QObject
{
    Q_OBJECT

public:
    enum DelayMode {
        NoDelay, // "关闭"
        Earlier, // "提前"
        Later,   // "延迟"
    };
    Q_ENUM(DelayMode)

    explicit SubtitleOptions(PlaybackController *playback);

    QString filePath() const { return m_filePath; }
    bool isShown() const { return m_shown; }
    DelayMode delayMode() const { return m_delayMode; }
    QString delayMilliseconds() const { return m_delayMilliseconds; }
    // A media is open and the engine reads a subtitle file back.
    bool isLoaded() const;

    // Loads the file at once while a media is open, otherwise at the next open; empty is none.
    void setFilePath(const QString &path);
    void setShown(bool shown);
    void setDelayMode(DelayMode mode);
    // The milliseconds line as typed: every change is sent, even an empty or "0" text.
    void setDelayMilliseconds(const QString &milliseconds);
    // One step of the placement; nothing goes below 0.
    void moveUp();
    void moveDown();
    void moveLeft();
    void moveRight();
    // The font size, 7..26.
    void setSize(int size);

    // Right after a media opened: the chosen file, then its on/off state.
    void applyOnOpen();

private:
    void sendShown();
    void sendDelay(bool skipEmpty);
    void move(int horizontal, int vertical);

    PlaybackController *m_playback;
    QString m_filePath;
    bool m_shown = true;
    DelayMode m_delayMode = NoDelay;
    QString m_delayMilliseconds;
};
