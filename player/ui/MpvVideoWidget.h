#pragma once

#include "player/ui/MpvVideoPath.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class MpvFrameRenderer;
class MpvPlayerEngine;
class MpvVideoWindow;

// The picture of an MpvPlayerEngine with VideoOutput, drawn through libmpv's render API on a
// thread of its own (MpvFrameRenderer), along the path MpvVideoPath chooses: painted here from a
// picture in memory, or drawn by OpenGL into a native window inside this widget.
// Mouse and key input is not kept: it is re-sent to the top-level window in that window's
// coordinates, so the window's event filter handles the video area like the rest of it.
class MpvVideoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MpvVideoWidget(MpvPlayerEngine *engine, QWidget *parent = nullptr);
    ~MpvVideoWidget() override;

    // Creates the render context now if it does not exist yet (the engine asks for this
    // before each open: the core needs it before a media loads).
    bool ensureRenderer();
    bool hasRenderer() const;
    // The path the video takes; meaningful once the renderer exists.
    MpvVideoPath::Kind path() const { return m_path; }
    // Video frames shown (painted, or drawn into the native window) since the renderer started;
    // a frame drawn and replaced before it was painted does not count.
    quint64 shownFrames() const { return m_framesShown; }
    // Video frames the drawing thread drew since the renderer started.
    quint64 drawnFrames() const;

signals:
    // A new video frame has been shown.
    void frameRendered();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private slots:
    void releaseRenderer();
    void pictureReady();

private:
    std::unique_ptr<MpvFrameRenderer> makeRenderer(MpvVideoPath::Kind kind);
    void dropVideoWindow();
    void countShown(quint64 frames);
    // Direct path: widgets stacked above the video's native window must be native themselves,
    // or the video window would cover them.
    void watchOverlays();
    void raiseOverlays();
    QSize pixelSize() const;
    void forwardMouse(QMouseEvent *event);
    void forwardKey(QKeyEvent *event);

    QPointer<MpvPlayerEngine> m_engine;
    std::unique_ptr<MpvFrameRenderer> m_renderer;
    MpvVideoPath::Kind m_path = MpvVideoPath::Software;
    MpvVideoWindow *m_videoWindow = nullptr;
    QWidget *m_container = nullptr;
    // The number of the newest frame shown, those drawn before the current media was asked for,
    // and how many frames were shown.
    quint64 m_shownFrames = 0;
    quint64 m_framesShown = 0;
    quint64 m_earlierFrames = 0;
};
