#include "player/ui/MpvFrameRenderer.h"

#include "player/ui/MpvRenderTarget.h"

#include <QThread>

MpvFrameRenderer::MpvFrameRenderer(std::unique_ptr<MpvRenderTarget> target, QObject *parent)
    : QObject(parent)
    , m_target(std::move(target))
{
}

MpvFrameRenderer::~MpvFrameRenderer()
{
    stop();
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

bool MpvFrameRenderer::start(mpv_handle *handle)
{
    if (m_thread || !handle || !m_target->prepare())
        return false;
    m_start = Start::Pending;
    m_stopping = false;
    m_frameCount = 0;
    m_thread = QThread::create([this, handle] { run(handle); });
    m_thread->setObjectName(QStringLiteral("video frames"));
    m_target->moveToThread(m_thread);
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
        m_redraw = true;
    }
    m_wake.notify_one();
}

void MpvFrameRenderer::redraw()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_redraw = true;
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

void MpvFrameRenderer::drawOnce(mpv_render_context *render, const QSize &size, bool newFrame)
{
    if (m_target->drawsPicture() && m_back.size() != size)
        m_back = m_target->makePicture(size);
    if (!m_target->draw(render, size, m_back))
        return;
    const quint64 frames = newFrame ? ++m_frameCount : m_frameCount.load();
    if (m_target->drawsPicture()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(m_picture, m_back);
        m_pictureFrames = frames;
    }
    emit pictureReady();
}

void MpvFrameRenderer::run(mpv_handle *handle)
{
    MpvRenderContextPtr render = m_target->open(handle);
    const bool ok = render != nullptr;
    if (ok)
        mpv_render_context_set_update_callback(render.get(), &MpvFrameRenderer::renderUpdate, this);

    std::unique_lock<std::mutex> lock(m_mutex);
    m_start = ok ? Start::Running : Start::Failed;
    m_wake.notify_all();
    while (ok) {
        m_wake.wait(lock, [this] { return m_stopping || m_updatePending || m_redraw; });
        if (m_stopping)
            break;
        const bool redraw = m_redraw;
        const QSize size = m_size;
        m_updatePending = false;
        m_redraw = false;
        lock.unlock();
        const bool frame = mpv_render_context_update(render.get()) & MPV_RENDER_UPDATE_FRAME;
        if ((frame || redraw) && !size.isEmpty())
            drawOnce(render.get(), size, frame);
        lock.lock();
    }
    lock.unlock();

    // The render context goes before the target's resources and before the core's handle.
    render.reset();
    m_back = QImage();
    m_target->close();
}
