#include "player/ui/MpvReadbackTarget.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QThread>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

#include <mpv/render_gl.h>

MpvReadbackTarget::MpvReadbackTarget(QScreen *screen)
    : m_screen(screen)
{
}

MpvReadbackTarget::~MpvReadbackTarget() = default;

void *MpvReadbackTarget::procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(QByteArray(name))) : nullptr;
}

bool MpvReadbackTarget::prepare()
{
    m_surface = std::make_unique<QOffscreenSurface>(m_screen);
    m_surface->create();
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setScreen(m_screen);
    if (!m_surface->isValid() || !m_context->create()) {
        m_context.reset();
        m_surface.reset();
        return false;
    }
    return true;
}

void MpvReadbackTarget::moveToThread(QThread *thread)
{
    m_context->moveToThread(thread);
}

MpvRenderContextPtr MpvReadbackTarget::open(mpv_handle *handle)
{
    m_context->makeCurrent(m_surface.get());
    mpv_opengl_init_params glInit{};
    glInit.get_proc_address = &MpvReadbackTarget::procAddress;
    char apiType[] = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, apiType},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context *created = nullptr;
    if (mpv_render_context_create(&created, handle, params) < 0)
        return nullptr;
    return MpvRenderContextPtr(created);
}

QImage MpvReadbackTarget::makePicture(const QSize &size)
{
    return QImage(size, m_context->isOpenGLES() ? QImage::Format_RGBX8888 : QImage::Format_RGB32);
}

bool MpvReadbackTarget::draw(mpv_render_context *render, const QSize &size, QImage &picture)
{
    if (!m_target || m_target->size() != size)
        m_target = std::make_unique<QOpenGLFramebufferObject>(size);
    if (!m_target->isValid() || picture.size() != size)
        return false;
    mpv_opengl_fbo fbo{};
    fbo.fbo = static_cast<int>(m_target->handle());
    fbo.w = size.width();
    fbo.h = size.height();
    // Rows top first, as the picture keeps them.
    int flipY = 0;
    // Frames are handed over at their display time (video-timing-offset=0): no waiting here.
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render, params);
    QOpenGLFunctions *gl = m_context->functions();
    m_target->bind();
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, size.width(), size.height(), m_context->isOpenGLES() ? GL_RGBA : GL_BGRA,
                     GL_UNSIGNED_BYTE, picture.bits());
    return true;
}

void MpvReadbackTarget::close()
{
    // GL objects go with their context current (the render context has gone before).
    m_target.reset();
    m_context->doneCurrent();
    m_context->moveToThread(QCoreApplication::instance()->thread());
}
