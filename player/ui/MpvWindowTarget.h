#pragma once

#include "player/ui/MpvRenderTarget.h"

#include <memory>

class MpvVideoWindow;
class QOpenGLContext;

// OpenGL straight into the video's own native window: no frame comes back to memory, and frames
// that hardware decoding left on the GPU stay there.
class MpvWindowTarget : public MpvRenderTarget
{
public:
    explicit MpvWindowTarget(MpvVideoWindow *window);
    ~MpvWindowTarget() override;

    bool prepare() override;
    void moveToThread(QThread *thread) override;
    MpvRenderContextPtr open(mpv_handle *handle) override;
    QImage makePicture(const QSize &) override { return {}; }
    bool draw(mpv_render_context *render, const QSize &size, QImage &picture) override;
    void close() override;
    bool drawsPicture() const override { return false; }

private:
    MpvVideoWindow *m_window;
    std::unique_ptr<QOpenGLContext> m_context;
};
