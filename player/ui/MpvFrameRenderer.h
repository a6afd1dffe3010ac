#pragma once

#include "player/mpv/MpvPointers.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class MpvRenderTarget;
class QThread;

// Draws libmpv's frames on a thread of its own into a render target (MpvRenderTarget): a picture
// that the video widget paints like any other widget, or a native window of the video's own.
// - The core waits for each frame it hands over to be drawn (up to 200 ms): drawn on the GUI
//   thread, every call the window makes into the core while a frame waits (after an open, a seek
//   or a stop) would wait out that time.
// - Pictures are drawn into a second buffer and swapped in: the GUI thread paints the newest one
//   while the next is being drawn, and neither waits for the other's work.
class MpvFrameRenderer : public QObject
{
    Q_OBJECT

public:
    explicit MpvFrameRenderer(std::unique_ptr<MpvRenderTarget> target, QObject *parent = nullptr);
    ~MpvFrameRenderer() override;

    // GUI thread. Creates the render context for handle on the drawing thread; false (and
    // nothing running) when that fails.
    bool start(mpv_handle *handle);
    // Frees the render context on its thread and ends the thread.
    void stop();

    // The size in device pixels to draw at: the current frame is drawn again at a new size.
    void setSize(const QSize &pixels);
    // Draws the current frame again (the target lost what it showed).
    void redraw();

    // Calls draw with the newest picture, which the drawing thread leaves alone meanwhile.
    // Returns the number of video frames drawn up to that picture (0: none yet, draw not called).
    quint64 withPicture(const std::function<void(const QImage &picture)> &draw);
    // Video frames drawn so far.
    quint64 frameCount() const { return m_frameCount; }

signals:
    // Emitted on the drawing thread: a newer picture can be shown (or, for a target that shows
    // frames itself, has been).
    void pictureReady();

private:
    static void renderUpdate(void *context);
    void run(mpv_handle *handle);
    void drawOnce(mpv_render_context *render, const QSize &size, bool newFrame);

    std::unique_ptr<MpvRenderTarget> m_target;
    QThread *m_thread = nullptr;
    // Drawing thread only: the picture being drawn.
    QImage m_back;

    // Guards everything below, the picture while the GUI thread paints it.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    enum class Start { Pending, Failed, Running } m_start = Start::Pending;
    bool m_stopping = false;
    bool m_updatePending = false;
    bool m_redraw = false;
    QSize m_size;
    QImage m_picture;
    quint64 m_pictureFrames = 0;

    std::atomic<quint64> m_frameCount{0};
};
