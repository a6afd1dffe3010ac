#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class MpvFrameRenderer;
class MpvPlayerEngine;

// The picture of an MpvPlayerEngine with VideoOutput, drawn through libmpv's render API on a
// thread of its own (MpvFrameRenderer) and painted here.
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

signals:
    // A new video frame has been drawn.
    void frameRendered();

protected:
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

private:
    QSize pixelSize() const;
    void forwardMouse(QMouseEvent *event);
    void forwardKey(QKeyEvent *event);

    QPointer<MpvPlayerEngine> m_engine;
    std::unique_ptr<MpvFrameRenderer> m_renderer;
    // Video frames shown so far, and those drawn before the current media was asked for.
    quint64 m_shownFrames = 0;
    quint64 m_earlierFrames = 0;
};
