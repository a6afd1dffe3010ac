#include "player/ui/MpvWindowTarget.h"

#include "player/mpv/MpvAccess.h"
#include "player/mpv/MpvNames.h"
#include "player/ui/MpvReadbackTarget.h"
#include "player/ui/MpvVideoWindow.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <mpv/render_gl.h>

MpvWindowTarget::MpvWindowTarget(MpvVideoWindow *window)
    : m_window(window)
{
}

MpvWindowTarget::~MpvWindowTarget() = default;

bool MpvWindowTarget::prepare()
{
    if (!QOpenGLContext::supportsThreadedOpenGL())
        return false;
    m_window->create();
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setFormat(m_window->requestedFormat());
    m_context->setScreen(m_window->screen());
    if (!m_context->create()) {
        m_context.reset();
        return false;
    }
    return true;
}

void MpvWindowTarget::moveToThread(QThread *thread)
{
    m_context->moveToThread(thread);
}

MpvRenderContextPtr MpvWindowTarget::open(mpv_handle *handle)
{
    if (!m_context->makeCurrent(m_window))
        return nullptr;
    // Frames decoded on the GPU stay there: the decoder interops are wanted on this path.
    MpvAccess mpv(handle);
    if (mpv.string(MpvProperty::Hwdec) != QLatin1String(MpvProperty::HwdecOff))
        mpv.setString(MpvProperty::HwdecInterop, QString::fromLatin1(MpvProperty::HwdecInteropAuto));
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

bool MpvWindowTarget::draw(mpv_render_context *render, const QSize &size, QImage &)
{
    if (!m_context->makeCurrent(m_window))
        return false;
    mpv_opengl_fbo fbo{};
    fbo.fbo = static_cast<int>(m_context->defaultFramebufferObject());
    fbo.w = size.width();
    fbo.h = size.height();
    // A window's rows count from the bottom.
    int flipY = 1;
    // Frames are handed over at their display time (video-timing-offset=0): no waiting here.
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render, params);
    // A hidden window keeps the frame drawn; it shows once the window is exposed and drawn again.
    if (!m_window->exposedNow())
        return true;
    m_context->swapBuffers(m_window);
    mpv_render_context_report_swap(render);
    return true;
}

void MpvWindowTarget::close()
{
    m_context->doneCurrent();
    m_context->moveToThread(QCoreApplication::instance()->thread());
}
