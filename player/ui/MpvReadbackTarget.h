#pragma once

#include "player/ui/MpvRenderTarget.h"

#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QScreen;

// OpenGL off screen, each frame read back into the picture: works wherever OpenGL does, at the
// cost of a copy of every frame from the GPU (and of running the shaders on the CPU where the
// driver is a software one).
class MpvReadbackTarget : public MpvRenderTarget
{
public:
    explicit MpvReadbackTarget(QScreen *screen);
    ~MpvReadbackTarget() override;

    bool prepare() override;
    void moveToThread(QThread *thread) override;
    MpvRenderContextPtr open(mpv_handle *handle) override;
    QImage makePicture(const QSize &size) override;
    bool draw(mpv_render_context *render, const QSize &size, QImage &picture) override;
    void close() override;

    // For mpv_opengl_init_params: the current context's functions.
    static void *procAddress(void *context, const char *name);

private:
    QScreen *m_screen;
    std::unique_ptr<QOpenGLContext> m_context;
    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLFramebufferObject> m_target;
};
