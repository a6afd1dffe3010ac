#pragma once

#include "player/mpv/MpvPointers.h"

#include <QOpenGLWidget>
#include <QPointer>

#include <atomic>

class MpvPlayerEngine;

// The picture of an MpvPlayerEngine with VideoOutput, drawn through libmpv's render API.
// Mouse and key input is not kept: it is re-sent to the top-level window in that window's
// coordinates, so the window's event filter handles the video area like the rest of it.
class MpvVideoWidget : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit MpvVideoWidget(MpvPlayerEngine *engine, QWidget *parent = nullptr);
    ~MpvVideoWidget() override;

    // Creates the render context now if it does not exist yet (the engine asks for this
    // before each open, since a hidden page is never initialised by Qt on its own).
    bool ensureRenderer();
    bool hasRenderer() const { return m_render != nullptr; }

signals:
    // A new video frame has been drawn.
    void frameRendered();

protected:
    void initializeGL() override;
    void paintGL() override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private slots:
    void processRenderUpdate();
    void releaseRenderer();

private:
    static void *procAddress(void *context, const char *name);
    static void renderUpdate(void *context);
    void forwardMouse(QMouseEvent *event);
    void forwardKey(QKeyEvent *event);

    QPointer<MpvPlayerEngine> m_engine;
    MpvRenderContextPtr m_render;
    std::atomic_bool m_updateQueued{false};
    bool m_frameDue = false;
};
