#pragma once

#include "player/ui/PlayerEngineFactory.h"
#include "shell/AnnouncementList.h"
#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QRect>
#include <QTimer>

class CastNotice;
class PlaybackController;
class VideoNotice;

// The program's only top-level window: frameless, dragged and resized from any point, a start page
// and a play page, overlay bars in full screen. It hosts the engine's video surface, renders what
// the playback controller announces and sends the tool bar's intents to it; what it cannot do
// itself (the resource and account dialogs, the menu) it asks for through its signals.
class MainWindow : public QMainWindow, private Ui::MainWindow
{
    Q_OBJECT

public:
    MainWindow(PlaybackController *playback, const PlayerEngineFactory &engineFactory,
               const AnnouncementList &announcements = AnnouncementList(), QWidget *parent = nullptr);
    ~MainWindow() override;

    // The one main window of the run; the parent of the program's dialogs.
    static MainWindow *instance();

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    // A new interface language: the form's texts and the window's own again.
    void changeEvent(QEvent *event) override;

public slots:
    // A short text over the video for a few seconds, optionally with a link to start over.
    void showVideoNotice(const QString &text, bool startOverOffered);
    // The lasting casting text in the middle of the video, with its link; empty hides it.
    void showCastNotice(const QString &text, const QString &linkText);

signals:
    // The Home key or the notice's link: play the open file from its beginning.
    void startOverRequested();
    // The S key: save the current frame.
    void screenshotRequested();
    // A page of the resource dialog ("parsePage", "playRecordPage", "collectionPage", "downloadPage").
    void resourcePageRequested(const QString &pageName);
    // The account's own page (the title bar's user button).
    void accountPageRequested();
    // A right click on the content area; the context menu opens there.
    void contextMenuRequested(const QPoint &windowPosition);
    // The tool bar's cast button: the renderers' menu opens above that point (global).
    void castMenuRequested(const QPoint &globalPosition);
    // The link of the casting notice.
    void castNoticeLinkChosen();

private slots:
    void newbieTutorialPushButton_clicked();
    void playRecordPushButton_clicked();
    void userPushButton_clicked();
    void toggleTopmostPushButton_clicked();
    void maximizePushButton_clicked();
    void normalPageOpenURLPushButton_clicked();
    void normalPageOpenBTPushButton_clicked();
    void playProgressSlider_pressed();
    void playProgressSlider_moved(int value);
    void playProgressSlider_released();
    void startOrPausePlayPushButton_clicked();
    void stopPlayPushButton_clicked();
    void volumeControlSlider_valueChanged(int value);
    void toggleMutePushButton_clicked();
    void downloadBTResourcePushButton_clicked();
    void collectBTResourcePushButton_clicked();
    void openURLPushButton_clicked();
    void fullScreenPushButton_clicked();

private:
    void connectForm();
    void connectPlayback();
    void showAnnouncements();
    void rotateAnnouncement();
    void openResourcePage(const QString &pageName);

    bool filterWindowEvent(QEvent *event);
    bool filterSliderPress(QSlider *slider, QEvent *event);
    bool handleMouseMove(QMouseEvent *event);
    bool handleRelease(QMouseEvent *event);
    // The window as the press region dragged by delta moves or resizes it (sizes outside the
    // window's limits refused).
    void dragBy(const QPoint &delta);
    // Hands the drag of a region to the window manager or compositor; false where it refuses.
    bool startSystemDrag(int region);
    bool handleKey(QKeyEvent *event);
    QRect contentArea() const;

    int regionAt(const QPoint &position) const;
    void setFullScreen(bool on);
    void moveOverlayBarsTo(QWidget *page);
    void placeOverlayBars();
    void restoreBarsToLayout();
    void showTopmostAvailability();
    void setStartFace(bool start);
    void updateMuteFace(int volume);
    void updateCursorHiding(const QPoint &position);
    void hideCursorOverVideo();
    void updateWindowFaces();
    void setProgressSliderHandleVisible(bool visible);
    void showOpenedMedia(int durationMs);
    void showClosedMedia();
    void showProgress(int positionMs);

    PlaybackController *m_playback;
    VideoNotice *m_videoNotice = nullptr;
    CastNotice *m_castNotice = nullptr;

    int m_pressedValue = 0;
    int m_savedVolume = -1; // what un-muting restores; the slider's maximum until the first mute
    AnnouncementList m_announcements;
    int m_announcementIndex = -1;
    QTimer *m_announcementTimer = nullptr;
    QTimer *m_cursorHideTimer = nullptr;
    bool m_exposeWatched = false;

    // The window's drag state. There is one main window, so this is the process's one copy; keeping
    // it in the window means its click timer can never outlive the window it toggles.
    struct DragState
    {
        bool leftPressed = false;
        bool doubleClicked = false;
        bool dragging = false; // past the drag distance since the press
        int pressRegion = 0;
        QPoint pressPoint;
        QRect startGeometry;
        QTimer *clickTimer = nullptr;
    };
    DragState m_drag;
};
