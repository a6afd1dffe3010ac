#include "player/ui/MpvVideoWidget.h"

#include "player/mpv/MpvPlayerEngine.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>

#include <mpv/render_gl.h>

MpvVideoWidget::MpvVideoWidget(MpvPlayerEngine *engine, QWidget *parent)
    : QOpenGLWidget(parent)
    , m_engine(engine)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    if (m_engine) {
        connect(m_engine, &MpvPlayerEngine::videoSurfaceNeeded, this, &MpvVideoWidget::ensureRenderer,
                Qt::DirectConnection);
        connect(m_engine, &MpvPlayerEngine::aboutToDestroyHandle, this, &MpvVideoWidget::releaseRenderer,
                Qt::DirectConnection);
    }
}

MpvVideoWidget::~MpvVideoWidget()
{
    releaseRenderer();
}

bool MpvVideoWidget::ensureRenderer()
{
    // Asked for before each open: a frame still pending from the media before (taken while hidden,
    // say) is not this one's first.
    m_frameDue = false;
    if (!m_render && !context()) {
        // Qt initialises a QOpenGLWidget only when it is shown; grabbing the framebuffer
        // initialises it while its page is still hidden.
        grabFramebuffer();
    }
    return m_render != nullptr;
}

void *MpvVideoWidget::procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(QByteArray(name))) : nullptr;
}

void MpvVideoWidget::renderUpdate(void *context)
{
    // libmpv's thread: only queue the work for the GUI thread.
    auto *self = static_cast<MpvVideoWidget *>(context);
    if (!self->m_updateQueued.exchange(true))
        QMetaObject::invokeMethod(self, "processRenderUpdate", Qt::QueuedConnection);
}

void MpvVideoWidget::initializeGL()
{
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MpvVideoWidget::releaseRenderer,
            Qt::DirectConnection);
    if (m_render || !m_engine || !m_engine->handle())
        return;
    mpv_opengl_init_params glInit{};
    glInit.get_proc_address = &MpvVideoWidget::procAddress;
    glInit.get_proc_address_ctx = nullptr;
    char apiType[] = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, apiType},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context *render = nullptr;
    if (mpv_render_context_create(&render, m_engine->handle(), params) < 0)
        return;
    m_render.reset(render);
    mpv_render_context_set_update_callback(render, &MpvVideoWidget::renderUpdate, this);
    m_engine->setVideoWindowId(effectiveWinId());
}

void MpvVideoWidget::paintGL()
{
    if (!m_render)
        return;
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{};
    fbo.fbo = static_cast<int>(defaultFramebufferObject());
    fbo.w = qRound(width() * ratio);
    fbo.h = qRound(height() * ratio);
    int flipY = 1;
    // The engine hands each frame over at its display time; waiting for that time here would
    // hold the GUI thread for up to a frame's time on every frame.
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(m_render.get(), params);
    if (m_frameDue) {
        m_frameDue = false;
        emit frameRendered();
    }
}

void MpvVideoWidget::processRenderUpdate()
{
    m_updateQueued = false;
    if (!m_render)
        return;
    if (mpv_render_context_update(m_render.get()) & MPV_RENDER_UPDATE_FRAME) {
        m_frameDue = true;
        update();
    }
}

void MpvVideoWidget::releaseRenderer()
{
    if (!m_render)
        return;
    // The render context owns GL objects: free it with its GL context current, and always
    // before the engine's handle goes.
    const bool haveContext = context() != nullptr;
    if (haveContext)
        makeCurrent();
    m_render.reset();
    if (haveContext)
        doneCurrent();
}

void MpvVideoWidget::showEvent(QShowEvent *event)
{
    QOpenGLWidget::showEvent(event);
    if (m_engine)
        m_engine->setVideoWindowId(effectiveWinId());
}

void MpvVideoWidget::forwardMouse(QMouseEvent *event)
{
    QWidget *target = window();
    if (target == this) {
        event->ignore();
        return;
    }
    const QPointF windowPos = mapTo(target, event->pos());
    QCoreApplication::postEvent(target, new QMouseEvent(event->type(), windowPos, event->windowPos(),
                                                        event->screenPos(), event->button(), event->buttons(),
                                                        event->modifiers(), event->source()));
    event->accept();
}

void MpvVideoWidget::forwardKey(QKeyEvent *event)
{
    QWidget *target = window();
    if (target == this) {
        event->ignore();
        return;
    }
    QCoreApplication::postEvent(target, new QKeyEvent(event->type(), event->key(), event->modifiers(),
                                                      event->text(), event->isAutoRepeat(),
                                                      ushort(event->count())));
    event->accept();
}

void MpvVideoWidget::mousePressEvent(QMouseEvent *event) { forwardMouse(event); }
void MpvVideoWidget::mouseReleaseEvent(QMouseEvent *event) { forwardMouse(event); }
void MpvVideoWidget::mouseDoubleClickEvent(QMouseEvent *event) { forwardMouse(event); }
void MpvVideoWidget::mouseMoveEvent(QMouseEvent *event) { forwardMouse(event); }
void MpvVideoWidget::keyPressEvent(QKeyEvent *event) { forwardKey(event); }
void MpvVideoWidget::keyReleaseEvent(QKeyEvent *event) { forwardKey(event); }
