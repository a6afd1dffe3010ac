#pragma once

#include <QList>
#include <QObject>
#include <QString>

class PlaybackController;

// The picture and sound choices of the context menu and the settings dialog's colour sliders.
// Each reaches the engine at once only while a media is open and is stored in every case, after
// the engine; PlaybackController applies the stored choices whenever a media has opened.
class PictureSoundOptions : public QObject
{
    Q_OBJECT

public:
    // The menu's exclusive groups.
    enum Group {
        AspectRatio,  // "视频比例"
        AudioChannel, // "声道模式"
        RenderMode,   // "渲染模式"
    };
    Q_ENUM(Group)

    struct Choice
    {
        QString text;   // the menu entry
        QString stored; // the Config.ini value it stands for
    };
    // A group's entries in menu order.
    static QList<Choice> choices(Group group);
    // What Config.ini holds for the group: the menu checks the entry whose stored value it is,
    // and none when no entry matches.
    static QString storedChoice(Group group);
    static constexpr int DefaultColour = 50;

    explicit PictureSoundOptions(PlaybackController *playback);

    // One of the group's stored values, as its menu entry does.
    void choose(Group group, const QString &stored);
    // Whether the menu shows "画质增强" checked.
    static bool storedImageEnhancement();

public slots:
    void chooseDefaultAspectRatio(); // "默认": the video's own ratio
    void choose4To3AspectRatio();
    void choose16To9AspectRatio();
    void chooseStereoAudioChannel();
    void chooseLeftAudioChannel();
    void chooseRightAudioChannel();
    void chooseLeftRightAudioChannel();
    void chooseOverlayRenderMode();
    void chooseRenderlessRenderMode();
    void chooseEVRRenderMode();
    void chooseEVRCPRenderMode();
    void chooseAVRRenderMode();
    // "画质增强": the engine's own state is the truth; stored as the engine reports it afterwards.
    void toggleImageEnhancement();

    // The settings dialog's sliders, 0..100.
    void setBrightness(int value);
    void setContrast(int value);
    void setSaturation(int value);
    void setHue(int value);
    // "恢复默认色彩": all four to 50 through the same path, in that order.
    void restoreDefaultColours();
    // "硬件解码": an open media changes decoder at once.
    void setHardwareDecoding(bool on);

private:
    void setColour(int item, void (*store)(uint), int value);

    PlaybackController *m_playback;
};
