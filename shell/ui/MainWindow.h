#pragma once

#include "shell/AnnouncementList.h"
#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QRect>
#include <QTimer>

#include <functional>

class PlayerEngine;
class PlayerEngineHost;

// Creates the media engine and puts its video surface into the play page.
using PlayerEngineFactory = std::function<PlayerEngine *(QWidget *playPage)>;

// The program's only top-level window: frameless, dragged and resized from any point, a start page
// and a play page, overlay bars in full screen. It hosts the engine and drives it from its tool bar.
class MainWindow : public QMainWindow, private Ui::MainWindow
{
    Q_OBJECT
    friend class PlayerEngineHost;

public:
    explicit MainWindow(const PlayerEngineFactory &engineFactory, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The one main window of the run; the parent of the program's dialogs.
    static MainWindow *instance();

    PlayerEngine *engine() const { return m_engine; }
    bool isMediaOpen() const { return m_mediaOpen; }

    bool eventFilter(QObject *watched, QEvent *event) override;


signals:
    void btResourceOpened();
    void btResourceClosed();
    // A right click on the content area; the context menu opens there.
    void contextMenuRequested(const QPoint &windowPosition);

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
    void loadAnnouncements();
    void rotateAnnouncement();
    void openResourcePage(const QString &pageName);

    bool filterWindowEvent(QEvent *event);
    bool filterSliderPress(QSlider *slider, QEvent *event);
    bool handleMouseMove(QMouseEvent *event);
    bool handleRelease(QMouseEvent *event);
    bool handleKey(QKeyEvent *event);
    QRect contentArea() const;

    int regionAt(const QPoint &position) const;
    void setFullScreen(bool on);
    void moveOverlayBarsTo(QWidget *page);
    void placeOverlayBars();
    void restoreBarsToLayout();
    void setStartFace(bool start);
    void updateMuteFace(int volume);
    void updateCursorHiding(const QPoint &position);
    void hideCursorOverVideo();
    void updateWindowFaces();

    PlayerEngine *m_engine = nullptr;
    bool m_mediaOpen = false;
    int m_progressTimerId = 0;
    PlayerEngineHost *m_host = nullptr;

    int m_pressedValue = 0;
    int m_savedVolume = -1; // what un-muting restores; the slider's maximum until the first mute
    AnnouncementList m_announcements;
    int m_announcementIndex = -1;
    QTimer *m_announcementTimer = nullptr;
    QTimer *m_cursorHideTimer = nullptr;

    // The window's drag state. There is one main window, so this is the process's one copy; keeping
    // it in the window means its click timer can never outlive the window it toggles.
    struct DragState
    {
        bool leftPressed = false;
        bool doubleClicked = false;
        int pressRegion = 0;
        QPoint pressPoint;
        QRect startGeometry;
        QTimer *clickTimer = nullptr;
    };
    DragState m_drag;
};
