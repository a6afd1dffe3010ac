#include "player/ui/MpvFrameRenderer.h"

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

MpvFrameRenderer::MpvFrameRenderer(QObject *parent)
    : QObject(parent)
{
}

MpvFrameRenderer::~MpvFrameRenderer()
{
    stop();
}

void *MpvFrameRenderer::procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(QByteArray(name))) : nullptr;
}

void MpvFrameRenderer::renderUpdate(void *context)
{
    // libmpv's thread: only wake the drawing thread.
    auto *self = static_cast<MpvFrameRenderer *>(context);
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_updatePending = true;
    }
    self->m_wake.notify_one();
}

bool MpvFrameRenderer::start(mpv_handle *handle, QScreen *screen)
{
    if (m_thread || !handle)
        return false;
    m_surface = std::make_unique<QOffscreenSurface>(screen);
    m_surface->create();
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setScreen(screen);
    if (!m_surface->isValid() || !m_context->create()) {
        m_context.reset();
        m_surface.reset();
        return false;
    }
    m_start = Start::Pending;
    m_stopping = false;
    m_frameCount = 0;
    m_thread = QThread::create([this, handle] { run(handle); });
    m_thread->setObjectName(QStringLiteral("video frames"));
    m_context->moveToThread(m_thread);
    m_thread->start();

    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return m_start != Start::Pending; });
    const bool running = m_start == Start::Running;
    lock.unlock();
    if (!running)
        stop();
    return running;
}

void MpvFrameRenderer::stop()
{
    if (!m_thread)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_context.reset();
    m_surface.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_picture = QImage();
    m_pictureFrames = 0;
}

void MpvFrameRenderer::setSize(const QSize &pixels)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (pixels == m_size)
            return;
        m_size = pixels;
        m_resized = true;
    }
    m_wake.notify_one();
}

quint64 MpvFrameRenderer::withPicture(const std::function<void(const QImage &)> &draw)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_picture.isNull())
        return 0;
    draw(m_picture);
    return m_pictureFrames;
}

bool MpvFrameRenderer::draw(mpv_render_context *render, const QSize &size, bool newFrame)
{
    if (!m_target || m_target->size() != size)
        m_target = std::make_unique<QOpenGLFramebufferObject>(size);
    if (!m_target->isValid())
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
    // Drawn to the end first, so that the GUI thread never waits for the drawing.
    gl->glFinish();
    m_target->bind();
    const bool es = m_context->isOpenGLES();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_picture.size() != size)
        m_picture = QImage(size, es ? QImage::Format_RGBX8888 : QImage::Format_RGB32);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, size.width(), size.height(), es ? GL_RGBA : GL_BGRA, GL_UNSIGNED_BYTE, m_picture.bits());
    if (newFrame)
        m_pictureFrames = ++m_frameCount;
    return true;
}

void MpvFrameRenderer::run(mpv_handle *handle)
{
    m_context->makeCurrent(m_surface.get());
    mpv_opengl_init_params glInit{};
    glInit.get_proc_address = &MpvFrameRenderer::procAddress;
    char apiType[] = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, apiType},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context *created = nullptr;
    const bool ok = mpv_render_context_create(&created, handle, params) >= 0;
    MpvRenderContextPtr render(created);
    if (ok)
        mpv_render_context_set_update_callback(render.get(), &MpvFrameRenderer::renderUpdate, this);

    std::unique_lock<std::mutex> lock(m_mutex);
    m_start = ok ? Start::Running : Start::Failed;
    m_wake.notify_all();
    while (ok) {
        m_wake.wait(lock, [this] { return m_stopping || m_updatePending || m_resized; });
        if (m_stopping)
            break;
        const bool redraw = m_resized;
        const QSize size = m_size;
        m_updatePending = false;
        m_resized = false;
        lock.unlock();
        const bool frame = mpv_render_context_update(render.get()) & MPV_RENDER_UPDATE_FRAME;
        if ((frame || redraw) && !size.isEmpty() && draw(render.get(), size, frame))
            emit pictureReady();
        lock.lock();
    }
    lock.unlock();

    // GL objects go with their context current, and the render context before the core's handle.
    render.reset();
    m_target.reset();
    m_context->doneCurrent();
    m_context->moveToThread(QCoreApplication::instance()->thread());
}
