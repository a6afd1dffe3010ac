// Time from open() to openSucceeded and to the first rendered frame of a 720p clip served over
// local HTTP, median of 10 in one process, against an mpv process that decodes one frame of the
// same address. Needs a display with OpenGL: run under tools/on-x-server.

#include "PlayerSession.h"

#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <httplib.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int Runs = 10;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

bool makeClip(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc2=size=1280x720:rate=25:duration=10"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=10"),
                  QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                  QStringLiteral("-movflags"), QStringLiteral("+faststart"), QStringLiteral("-shortest"), path});
    return ffmpeg.waitForFinished(300000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "bench_engine needs an X display with OpenGL (tools/on-x-server)\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString clipPath = QDir(dir.path()).filePath(QStringLiteral("clip720.mp4"));
    if (!dir.isValid() || !makeClip(clipPath)) {
        std::fprintf(stderr, "could not make the 720p clip with ffmpeg\n");
        return 1;
    }

    httplib::Server server;
    server.set_mount_point("/", dir.path().toStdString());
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&server] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const QString url = QStringLiteral("http://127.0.0.1:%1/clip720.mp4").arg(port);

    MpvPlayerEngine engine(MpvPlayerEngine::VideoOutput);
    if (!engine.isValid()) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(engine.errorString()));
        server.stop();
        serverThread.join();
        return 1;
    }
    // Extra libmpv options to try against the engine's own set-up: BENCH_MPV_OPTIONS="k=v;k=v".
    const QStringList extra = qEnvironmentVariable("BENCH_MPV_OPTIONS").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &option : extra) {
        const QByteArray name = option.section(QLatin1Char('='), 0, 0).toUtf8();
        const QByteArray value = option.section(QLatin1Char('='), 1).toUtf8();
        if (mpv_set_property_string(engine.handle(), name.constData(), value.constData()) < 0)
            std::fprintf(stderr, "option refused: %s\n", qPrintable(option));
    }
    MpvVideoWidget video(&engine);
    video.resize(1280, 720);
    video.show();
    PlayerSession::waitFor([] { return false; }, 300);

    bool opened = false;
    bool framed = false;
    QElapsedTimer clock;
    double openedAt = 0;
    double framedAt = 0;
    QObject::connect(&engine, &PlayerEngine::openSucceeded, [&] {
        opened = true;
        openedAt = clock.nsecsElapsed() / 1e6;
    });
    QObject::connect(&video, &MpvVideoWidget::frameRendered, [&] {
        if (opened && !framed) {
            framed = true;
            framedAt = clock.nsecsElapsed() / 1e6;
        }
    });

    std::vector<double> toOpened;
    std::vector<double> toFrame;
    int failures = 0;
    for (int i = 0; i < Runs + 1; ++i) { // the first run warms caches and is not counted
        opened = framed = false;
        clock.start();
        engine.open(url);
        const bool ok = PlayerSession::waitFor([&] { return framed; }, 20000);
        // BENCH_SNAPSHOT=file.png keeps the first rendered picture, to look at.
        if (ok && i == 0 && !qEnvironmentVariableIsEmpty("BENCH_SNAPSHOT"))
            video.grab().save(qEnvironmentVariable("BENCH_SNAPSHOT"));
        engine.close();
        PlayerSession::waitFor([&] { return engine.state() == PlayerEngine::Ready; }, 20000);
        PlayerSession::waitFor([] { return false; }, 100);
        if (!ok) {
            ++failures;
            continue;
        }
        if (i > 0) {
            toOpened.push_back(openedAt);
            toFrame.push_back(framedAt);
        }
    }

    std::vector<double> process;
    for (int i = 0; i < Runs; ++i) {
        QProcess mpv;
        QElapsedTimer t;
        t.start();
        mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--vo=null"),
                                          QStringLiteral("--ao=null"), QStringLiteral("--frames=1"), url});
        if (mpv.waitForFinished(30000) && mpv.exitCode() == 0)
            process.push_back(t.nsecsElapsed() / 1e6);
        else
            ++failures;
    }

    server.stop();
    serverThread.join();
    if (toFrame.empty() || process.empty()) {
        std::fprintf(stderr, "no complete run (failures: %d)\n", failures);
        return 1;
    }
    const double opensMs = median(toOpened);
    const double frameMs = median(toFrame);
    const double processMs = median(process);
    std::printf("clip: 1280x720 H.264/AAC over local HTTP, %d runs each, failures: %d\n", Runs, failures);
    std::printf("in-process open -> openSucceeded: median %.1f ms (min %.1f, max %.1f)\n", opensMs,
                *std::min_element(toOpened.begin(), toOpened.end()), *std::max_element(toOpened.begin(), toOpened.end()));
    std::printf("in-process open -> first rendered frame: median %.1f ms (min %.1f, max %.1f)\n", frameMs,
                *std::min_element(toFrame.begin(), toFrame.end()), *std::max_element(toFrame.begin(), toFrame.end()));
    std::printf("mpv --no-config --vo=null --ao=null --frames=1 process: median %.1f ms\n", processMs);
    std::printf("ratio=%.3f\n", frameMs / processMs);
    return 0;
}
