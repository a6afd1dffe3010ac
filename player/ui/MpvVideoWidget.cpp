#include "player/ui/MpvVideoWidget.h"

#include "player/mpv/MpvEngineLog.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvFrameRenderer.h"
#include "player/ui/MpvReadbackTarget.h"
#include "player/ui/MpvSoftwareTarget.h"
#include "player/ui/MpvVideoWindow.h"
#include "player/ui/MpvWindowTarget.h"

#include <QChildEvent>
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
        const MpvVideoPath::Kind chosen = MpvVideoPath::choose(screen() ? screen() : QGuiApplication::primaryScreen());
        // Where the chosen path cannot start, the others in turn.
        const MpvVideoPath::Kind order[] = {chosen, MpvVideoPath::Readback, MpvVideoPath::Software};
        for (MpvVideoPath::Kind kind : order) {
            m_renderer = makeRenderer(kind);
            if (m_renderer) {
                m_path = kind;
                qCInfo(lcEngine, "video path: %s%s", MpvVideoPath::name(kind), kind == chosen ? "" : " (fallback)");
                break;
            }
            qCWarning(lcEngine, "video path %s could not start", MpvVideoPath::name(kind));
        }
        if (m_renderer) {
            m_shownFrames = 0;
            m_framesShown = 0;
            m_engine->setPictureFiltered(m_path == MpvVideoPath::Software);
            m_engine->setVideoWindowId(m_videoWindow ? m_videoWindow->winId() : effectiveWinId());
        }
    }
    // Asked for before each open: a frame still pending from the media before (drawn while
    // hidden, say) is not this one's first.
    m_earlierFrames = m_renderer ? m_renderer->frameCount() : 0;
    return hasRenderer();
}

std::unique_ptr<MpvFrameRenderer> MpvVideoWidget::makeRenderer(MpvVideoPath::Kind kind)
{
    QScreen *shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    std::unique_ptr<MpvRenderTarget> target;
    switch (kind) {
    case MpvVideoPath::Software:
        target = std::make_unique<MpvSoftwareTarget>();
        break;
    case MpvVideoPath::Readback:
        target = std::make_unique<MpvReadbackTarget>(shownOn);
        break;
    case MpvVideoPath::Direct:
        m_videoWindow = new MpvVideoWindow(this);
        m_container = QWidget::createWindowContainer(m_videoWindow, this);
        m_container->setFocusPolicy(Qt::NoFocus);
        // Native itself, so that the video's window lives inside it; the widgets around stay as
        // they are (a native ancestor would be an opaque window above the video's).
        m_container->setAttribute(Qt::WA_DontCreateNativeAncestors);
        m_container->setAttribute(Qt::WA_NativeWindow);
        m_container->setGeometry(rect());
        m_container->show();
        target = std::make_unique<MpvWindowTarget>(m_videoWindow);
        break;
    }
    auto renderer = std::make_unique<MpvFrameRenderer>(std::move(target));
    // Queued: emitted on the drawing thread.
    connect(renderer.get(), &MpvFrameRenderer::pictureReady, this, &MpvVideoWidget::pictureReady);
    if (m_videoWindow)
        connect(m_videoWindow, &MpvVideoWindow::exposed, renderer.get(), &MpvFrameRenderer::redraw);
    renderer->setSize(pixelSize());
    if (!renderer->start(m_engine->handle())) {
        renderer.reset();
        dropVideoWindow();
        return nullptr;
    }
    if (m_videoWindow)
        watchOverlays();
    return renderer;
}

void MpvVideoWidget::dropVideoWindow()
{
    // The container owns the window.
    delete m_container;
    m_container = nullptr;
    m_videoWindow = nullptr;
}

quint64 MpvVideoWidget::drawnFrames() const
{
    return m_renderer ? m_renderer->frameCount() : 0;
}

QSize MpvVideoWidget::pixelSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void MpvVideoWidget::countShown(quint64 frames)
{
    if (frames > m_shownFrames) {
        m_shownFrames = frames;
        ++m_framesShown;
        if (frames > m_earlierFrames)
            emit frameRendered();
    }
}

void MpvVideoWidget::pictureReady()
{
    if (!m_renderer)
        return;
    if (m_videoWindow)
        countShown(m_renderer->frameCount());
    else
        update();
}

void MpvVideoWidget::paintEvent(QPaintEvent *)
{
    if (m_videoWindow)
        return;
    QPainter painter(this);
    quint64 frames = 0;
    if (m_renderer)
        frames = m_renderer->withPicture([&](const QImage &picture) { painter.drawImage(rect(), picture); });
    if (frames == 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    countShown(frames);
}

void MpvVideoWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_container)
        m_container->setGeometry(rect());
    if (m_renderer)
        m_renderer->setSize(pixelSize());
}

void MpvVideoWidget::releaseRenderer()
{
    // Frees the render context on its thread, before the engine's handle goes; then the window
    // it drew into.
    m_renderer.reset();
    dropVideoWindow();
}

void MpvVideoWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_engine)
        m_engine->setVideoWindowId(m_videoWindow ? m_videoWindow->winId() : effectiveWinId());
    if (m_videoWindow)
        raiseOverlays();
}

void MpvVideoWidget::watchOverlays()
{
    for (QWidget *level = parentWidget(); level; level = level->parentWidget()) {
        level->installEventFilter(this);
        if (level->isWindow())
            break;
    }
    raiseOverlays();
}

void MpvVideoWidget::raiseOverlays()
{
    // Children later in a parent's list are stacked above the earlier ones: every widget above
    // the branch that holds the video, at each level up to the window.
    const QWidget *branch = this;
    for (QWidget *level = parentWidget(); level; branch = level, level = level->parentWidget()) {
        bool above = false;
        for (QObject *child : level->children()) {
            if (child == branch) {
                above = true;
                continue;
            }
            auto *overlay = qobject_cast<QWidget *>(child);
            if (!above || !overlay || overlay->isWindow() || overlay->testAttribute(Qt::WA_NativeWindow))
                continue;
            overlay->setAttribute(Qt::WA_DontCreateNativeAncestors);
            overlay->setAttribute(Qt::WA_NativeWindow);
            overlay->raise();
        }
        if (level->isWindow())
            break;
    }
}

bool MpvVideoWidget::eventFilter(QObject *watched, QEvent *event)
{
    // A widget added to (or raised in) a level above the video: made native before it is shown.
    if (m_videoWindow && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished
                          || event->type() == QEvent::ZOrderChange))
        QMetaObject::invokeMethod(this, &MpvVideoWidget::raiseOverlays, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

bool MpvVideoWidget::event(QEvent *event)
{
    // Lowered beneath its siblings (the play page does this): they may have become overlays.
    if (event->type() == QEvent::ZOrderChange && m_videoWindow)
        QMetaObject::invokeMethod(this, &MpvVideoWidget::raiseOverlays, Qt::QueuedConnection);
    return QWidget::event(event);
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
