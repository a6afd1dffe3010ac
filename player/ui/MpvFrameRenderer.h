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

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QScreen;
class QThread;

// Draws libmpv's frames through OpenGL on a thread of its own and reads each back into a picture
// that the video widget paints like any other widget.
// - The core waits for each frame it hands over to be drawn (up to 200 ms): drawn on the GUI
//   thread, every call the window makes into the core while a frame waits (after an open, a seek
//   or a stop) would wait out that time.
// - The window stays a plain raster window: no GL composition of the whole window (its texture,
//   a widget framebuffer with depth and stencil), which costs more than the read-back, above all
//   under a software GL driver; overlays on the video are ordinary widgets.
class MpvFrameRenderer : public QObject
{
    Q_OBJECT

public:
    explicit MpvFrameRenderer(QObject *parent = nullptr);
    ~MpvFrameRenderer() override;

    // GUI thread. Creates the render context for handle on the drawing thread, in a GL context
    // of its own on screen; false (and nothing running) when that fails.
    bool start(mpv_handle *handle, QScreen *screen);
    // Frees the render context on its thread and ends the thread.
    void stop();

    // The size in device pixels to draw at: the current frame is drawn again at a new size.
    void setSize(const QSize &pixels);

    // Calls draw with the newest picture, which the drawing thread leaves alone meanwhile.
    // Returns the number of video frames drawn up to that picture (0: none yet, draw not called).
    quint64 withPicture(const std::function<void(const QImage &picture)> &draw);
    // Video frames drawn so far.
    quint64 frameCount() const { return m_frameCount; }

signals:
    // Emitted on the drawing thread: a newer picture can be shown.
    void pictureReady();

private:
    static void *procAddress(void *context, const char *name);
    static void renderUpdate(void *context);
    void run(mpv_handle *handle);
    bool draw(mpv_render_context *render, const QSize &size, bool newFrame);

    QThread *m_thread = nullptr;
    std::unique_ptr<QOpenGLContext> m_context;
    std::unique_ptr<QOffscreenSurface> m_surface;
    // Drawing thread only.
    std::unique_ptr<QOpenGLFramebufferObject> m_target;

    // Guards everything below, the picture while the GUI thread paints it.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    enum class Start { Pending, Failed, Running } m_start = Start::Pending;
    bool m_stopping = false;
    bool m_updatePending = false;
    bool m_resized = false;
    QSize m_size;
    QImage m_picture;
    quint64 m_pictureFrames = 0;

    std::atomic<quint64> m_frameCount{0};
};
