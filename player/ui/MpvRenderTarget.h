#pragma once

#include "player/mpv/MpvPointers.h"

#include <QImage>
#include <QSize>

class QThread;

// Where MpvFrameRenderer's drawing thread puts libmpv's frames: a picture in memory that the
// widget paints (software renderer, OpenGL read back) or a native window of its own (direct).
// prepare() runs on the GUI thread before the drawing thread starts; everything else on the
// drawing thread, in the order open, draw..., close.
class MpvRenderTarget
{
public:
    virtual ~MpvRenderTarget() = default;

    virtual bool prepare() { return true; }
    // GUI thread: the drawing thread is about to start.
    virtual void moveToThread(QThread *) {}
    // The render context for handle; null when it cannot be made.
    virtual MpvRenderContextPtr open(mpv_handle *handle) = 0;
    // A picture of size for draw() to fill; unused by a target that draws on screen itself.
    virtual QImage makePicture(const QSize &size) { return QImage(size, QImage::Format_RGB32); }
    // Draws the current frame at size (into picture, where it keeps one); false when nothing
    // was drawn.
    virtual bool draw(mpv_render_context *render, const QSize &size, QImage &picture) = 0;
    // After the render context has been freed: the target's own resources go.
    virtual void close() {}
    // Whether draw() fills the picture (else it shows the frame by itself).
    virtual bool drawsPicture() const { return true; }
};
