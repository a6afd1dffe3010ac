#include "NestedCompositor.h"

#include <QFile>
#include <QImage>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "ChildOfTest.h"

#include <signal.h>

NestedCompositor::NestedCompositor()
    : m_process(std::make_unique<ChildOfTest>())
{
}

NestedCompositor::~NestedCompositor()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process->processId()), SIGTERM);
    if (!m_process->waitForFinished(5000)) {
        ::kill(pid_t(m_process->processId()), SIGKILL);
        m_process->waitForFinished(5000);
    }
}

bool NestedCompositor::start()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        m_error = QStringLiteral("no X display (run under tools/on-x-server)");
        return false;
    }
    // A plain black desktop without a panel: nothing on the screen but the program's own pixels.
    const QString config = m_runtimeDir.filePath(QStringLiteral("weston.ini"));
    QFile file(config);
    if (!m_runtimeDir.isValid() || !file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("no runtime folder");
        return false;
    }
    file.write("[core]\nidle-time=0\n[shell]\nbackground-color=0xff000000\npanel-position=none\n"
               "[keyboard]\nvt-switching=false\n");
    file.close();
    QFile::setPermissions(m_runtimeDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    const QString socket = QStringLiteral("pelorin-test");
    m_process->start(QStringLiteral("weston"),
                    {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                     QStringLiteral("--width=%1").arg(Width), QStringLiteral("--height=%1").arg(Height),
                     QStringLiteral("--socket=") + socket, QStringLiteral("--config=") + config,
                     QStringLiteral("--log=") + m_runtimeDir.filePath(QStringLiteral("weston.log"))});
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("weston did not start (tools/deps installs it)");
        return false;
    }
    const QString socketPath = m_runtimeDir.filePath(socket);
    const bool ready = QTest::qWaitFor(
        [&] { return m_process->state() == QProcess::Running && QFile::exists(socketPath); }, 15000);
    if (!ready) {
        m_error = QStringLiteral("weston did not come up; its log is %1").arg(m_runtimeDir.filePath(QStringLiteral("weston.log")));
        m_runtimeDir.setAutoRemove(false);
        return false;
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir.path()));
    qputenv("WAYLAND_DISPLAY", socket.toUtf8());
    qputenv("QT_QPA_PLATFORM", "wayland");
    return true;
}

QRect NestedCompositor::areaOf(QRgb colour)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return {};
    XImage *image = XGetImage(display, DefaultRootWindow(display), 0, 0, Width, Height, AllPlanes, ZPixmap);
    QRect area;
    if (image && image->bits_per_pixel == 32) {
        int left = Width, top = Height, right = -1, bottom = -1;
        for (int y = 0; y < Height; ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image->data + y * image->bytes_per_line);
            for (int x = 0; x < Width; ++x) {
                if ((line[x] & 0xffffff) != (colour & 0xffffff))
                    continue;
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
        if (right >= 0)
            area = QRect(QPoint(left, top), QPoint(right, bottom));
    }
    if (image)
        XDestroyImage(image);
    XCloseDisplay(display);
    return area;
}
