#include "player/ui/MpvVideoWidget.h"

#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvFrameRenderer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

MpvVideoWidget::MpvVideoWidget(MpvPlayerEngine *engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    // Every pixel is painted: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
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

bool MpvVideoWidget::hasRenderer() const
{
    return m_renderer != nullptr;
}

bool MpvVideoWidget::ensureRenderer()
{
    if (!m_renderer && m_engine && m_engine->handle()) {
        auto renderer = std::make_unique<MpvFrameRenderer>();
        // Queued: emitted on the drawing thread.
        connect(renderer.get(), &MpvFrameRenderer::pictureReady, this, QOverload<>::of(&QWidget::update));
        renderer->setSize(pixelSize());
        QScreen *shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
        if (renderer->start(m_engine->handle(), shownOn)) {
            m_renderer = std::move(renderer);
            m_shownFrames = 0;
            m_engine->setVideoWindowId(effectiveWinId());
        }
    }
    // Asked for before each open: a frame still pending from the media before (drawn while
    // hidden, say) is not this one's first.
    m_earlierFrames = m_renderer ? m_renderer->frameCount() : 0;
    return hasRenderer();
}

QSize MpvVideoWidget::pixelSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void MpvVideoWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    quint64 frames = 0;
    if (m_renderer)
        frames = m_renderer->withPicture([&](const QImage &picture) { painter.drawImage(rect(), picture); });
    if (frames == 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (frames > m_shownFrames) {
        m_shownFrames = frames;
        if (frames > m_earlierFrames)
            emit frameRendered();
    }
}

void MpvVideoWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_renderer)
        m_renderer->setSize(pixelSize());
}

void MpvVideoWidget::releaseRenderer()
{
    // Frees the render context on its thread, before the engine's handle goes.
    m_renderer.reset();
}

void MpvVideoWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
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
